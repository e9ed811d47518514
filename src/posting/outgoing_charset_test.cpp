#include "posting/outgoing_charset.h"

#include <gtest/gtest.h>

#include <string>

namespace quorix::posting {
namespace {

using text::Charset;

TEST(DecodeHeaderText, EncodedWordsAndRawBytes) {
  struct Case {
    std::string value;
    Charset reader;
    std::u32string chars;
  };
  const Case cases[] = {
      {"Gr\xFC\xDF"
       "e",
       Charset::kLatin1, U"Gr\u00FC\u00DFe"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       Charset::kUtf8, U"Gr\u00FC\u00DFe"},
      {"Re: =?ISO-8859-1?Q?Gr=FC=DFe_aus?= K=?utf-8?b?w7Y=?=ln", Charset::kLatin1,
       U"Re: Gr\u00FC\u00DFe aus K\u00F6ln"},
      // Blanks between two encoded-words go; blanks before plain text stay.
      {"=?UTF-8?Q?a?= =?UTF-8?Q?b?= c", Charset::kLatin1, U"ab c"},
      {"=?UTF-8*de?Q?=E2=82=AC?=", Charset::kLatin1, U"\u20AC"},
      // Unknown sets and broken words stay as written.
      {"=?KOI8-R?Q?x?= =?UTF-8?Q?=ZZ?= =?UTF-8?X?y?= =?UTF-8?Q?", Charset::kLatin1,
       U"=?KOI8-R?Q?x?= =?UTF-8?Q?=ZZ?= =?UTF-8?X?y?= =?UTF-8?Q?"},
      {"1+1=? 2", Charset::kLatin1, U"1+1=? 2"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeHeaderText(c.value, c.reader), c.chars) << c.value;
}

TEST(ConvertArticleCharset, ReaderToForum) {
  OutgoingArticle article;
  article.subject = "=?UTF-8?B?R3LDvMOfZQ==?=";
  article.body = "\r\n5 \x80 \xFC\r\n";
  ConvertArticleCharset(article, ReaderCharset(""), Charset::kLatin1);
  EXPECT_EQ(article.subject,
            "Gr\xFC\xDF"
            "e");
  EXPECT_EQ(article.body, "\r\n5 \x80 \xFC\r\n");  // same set: the bytes stay
  ConvertArticleCharset(article, ReaderCharset("text/plain; charset=windows-1252"), Charset::kUtf8);
  EXPECT_EQ(article.subject,
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(article.body, "\r\n5 \xE2\x82\xAC \xC3\xBC\r\n");
  EXPECT_EQ(ReaderCharset("text/plain; charset=\"UTF-8\""), Charset::kUtf8);
  EXPECT_EQ(ReaderCharset("text/plain; charset=IBM437"), Charset::kLatin1);
  EXPECT_EQ(ReaderCharset("text/plain; Charset=UTF-8"), Charset::kUtf8);
}

TEST(ConvertArticleCharset, EncodedReplyPrefixAndNewsreader) {
  struct Case {
    std::string as_written;  // the Subject value
    std::string subject;     // after the header rule's "RE: " cut
    std::string posted;
  };
  const Case cases[] = {
      {"=?UTF-8?Q?Re:_Zo=C3=AB?=", "=?UTF-8?Q?Re:_Zo=C3=AB?=", "Zo\xEB"},
      {"=?UTF-8?Q?RE:_x?=", "=?UTF-8?Q?RE:_x?=", "x"},
      {"=?UTF-8?Q?Re:x?=", "=?UTF-8?Q?Re:x?=", "Re:x"},
      // Cut once by the header rule: an encoded "Re: " after it stays.
      {"Re: =?UTF-8?Q?Re:_x?=", "=?UTF-8?Q?Re:_x?=", "Re: x"},
  };
  for (const Case& c : cases) {
    OutgoingArticle article;
    article.subject_as_written = c.as_written;
    article.subject = c.subject;
    article.newsreader = "=?ISO-8859-1?Q?L=FCtt?= 1.0";
    EXPECT_FALSE(IsAsciiArticle(article));
    ConvertArticleCharset(article, Charset::kLatin1, Charset::kLatin1);
    EXPECT_EQ(article.subject, c.posted) << c.as_written;
    EXPECT_EQ(article.newsreader, "L\xFCtt 1.0");
  }
  OutgoingArticle plain;
  plain.newsreader = "=?UTF-8?Q?x?=";
  EXPECT_FALSE(IsAsciiArticle(plain));
  plain.newsreader = "CrossPoint";
  EXPECT_TRUE(IsAsciiArticle(plain));
}

}  // namespace
}  // namespace quorix::posting
