#include "posting/transfer_encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "posting/outgoing_article.h"
#include "run/settings.h"

namespace quorix::posting {
namespace {

TEST(DecodeQuotedPrintable, SoftBreaksHexAndTheSignatureLine) {
  struct Case {
    std::string encoded;
    std::string decoded;
    bool clean;
  };
  const Case cases[] = {
      {"Sch=F6ne Gr=FC=DFe, J=F6rg!", "Sch\xF6ne Gr\xFC\xDF" "e, J\xF6rg!", true},
      {"lower =e4 hex", "lower \xE4 hex", true},
      {"a long line=\ncontinued", "a long linecontinued", true},
      {"soft after blanks= \t\nnext", "soft after blanksnext", true},
      {"trailing blanks  \nline", "trailing blanks\nline", true},
      {"=3D is an equals sign", "= is an equals sign", true},
      {"two\n\nparagraphs", "two\n\nparagraphs", true},
      // The signature separator, its blank protected: with the empty line that
      // is its own line end, or without it.
      {"text\n-- =\n\nJ=F6rg", "text\n-- \nJ\xF6rg", true},
      {"text\n-- =\nJ=F6rg", "text\n-- \nJ\xF6rg", true},
      {"text\n-- =", "text\n-- ", true},
      {"text\n--=20\nsig", "text\n-- \nsig", true},
      {"-- =20", "--  ", true},
      {"x -- =\ny", "x -- y", true},  // not a line of its own: a soft break
      // Stray "=": kept as written.
      {"5 = 5", "5 = 5", false},
      {"=G1 bad hex", "=G1 bad hex", false},
      {"end =4", "end =4", false},
      {"", "", true},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(DecodeQuotedPrintable(c.encoded, &out), c.clean) << c.encoded;
    EXPECT_EQ(out, c.decoded) << c.encoded;
  }
}

TEST(DecodeBase64, ValidAndInvalid) {
  struct Case {
    std::string encoded;
    bool valid;
    std::string decoded;
  };
  const Case cases[] = {
      {"U2No9m5lIEdy/N9lIQ==", true, "Sch\xF6ne Gr\xFC\xDF" "e!"},
      {"U2No\n9m5l\r\nIA==", true, "Sch\xF6ne "},
      {"YWI", true, "ab"},  // padding left out
      {"YQ==", true, "a"},
      {"", true, ""},
      {"YWJj!", false, ""},
      {"YQ==YQ==", false, ""},  // data after the padding
      {"YWJjZ", false, ""},     // five digits: no encoder ends so
      {"Hello, world", false, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(DecodeBase64(c.encoded, &out), c.valid) << c.encoded;
    EXPECT_EQ(out, c.decoded) << c.encoded;
  }
}

TEST(HeaderParameter, QuotedUnquotedAndWholeNames) {
  struct Case {
    std::string value;
    std::string name;
    std::string found;
  };
  const Case cases[] = {
      {"text/plain; charset=UTF-8", "charset", "UTF-8"},
      {"text/plain; CHARSET=\"iso-8859-1\"; format=flowed", "charset", "iso-8859-1"},
      {"multipart/mixed; boundary=\"-=_a b;c\"", "boundary", "-=_a b;c"},
      {"multipart/mixed;\tboundary=xyz ; x=1", "boundary", "xyz"},
      {"multipart/mixed; xboundary=no; boundary=yes", "boundary", "yes"},
      {"text/plain", "charset", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(HeaderParameter(c.value, c.name), c.found) << c.value;
}

TEST(DecodeOutgoingBody, TransferEncodings) {
  struct Case {
    std::string encoding;
    std::string body;
    std::string text;
    size_t problems;
  };
  const Case cases[] = {
      {"", "as =F6 is", "as =F6 is", 0},
      {"8bit", "raw \xF6", "raw \xF6", 0},
      {"7BIT", "x", "x", 0},
      {"Quoted-Printable", "Gr=FC=DFe=0D=0Aline", "Gr\xFC\xDF" "e\nline", 0},
      {"quoted-printable", "a = b", "a = b", 1},
      // Base64 with CR LF inside; the text's last line end ends no line.
      {"base64", "R3L83w0K\nbGluZQ0K", "Gr\xFC\xDF\nline", 0},
      {"base64", "not base64!", "not base64!", 1},
      {"x-uuencode", "begin 644", "begin 644", 1},
  };
  for (const Case& c : cases) {
    DecodedBody decoded = DecodeOutgoingBody("text/plain; charset=ISO-8859-1", c.encoding, c.body);
    EXPECT_EQ(decoded.text, c.text) << c.encoding << " " << c.body;
    EXPECT_EQ(decoded.problems.size(), c.problems) << c.encoding << " " << c.body;
    EXPECT_EQ(decoded.content_type, "text/plain; charset=ISO-8859-1");
  }
}

constexpr char kMultipart[] =
    "This is a multi-part message in MIME format.\n"
    "--=_b1\n"
    "Content-Type: text/plain;\n"
    "  charset=\"UTF-8\"\n"
    "Content-Transfer-Encoding: quoted-printable\n"
    "\n"
    "Gr=C3=BC=C3=9Fe\n"
    "--=_b1\n"
    "Content-Type: application/octet-stream; name=\"a.zip\"\n"
    "Content-Transfer-Encoding: base64\n"
    "\n"
    "UEsDBA==\n"
    "--=_b1--\n"
    "epilogue\n";

TEST(DecodeOutgoingBody, MultipartPostsTheFirstTextPart) {
  DecodedBody decoded = DecodeOutgoingBody("multipart/mixed; boundary=\"=_b1\"", "", kMultipart);
  EXPECT_EQ(decoded.text, "Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(decoded.content_type, "text/plain;  charset=\"UTF-8\"");
  ASSERT_EQ(decoded.problems.size(), 1u);
  EXPECT_EQ(decoded.problems[0],
            "Multipart article: its first text part is posted, 1 other part(s) left out");
}

TEST(DecodeOutgoingBody, MultipartFindsTextInsideAlternativeAndSkipsOtherTypes) {
  const std::string body =
      "--outer\n"
      "Content-Type: text/html\n\n<p>no</p>\n"
      "--outer\n"
      "Content-Type: multipart/alternative; boundary=inner\n\n"
      "--inner\n"
      "Content-Type: text/plain; charset=ISO-8859-1\n\nyes\nand more\n"
      "--inner\n"
      "Content-Type: text/html\n\n<p>yes</p>\n"
      "--inner--\n"
      "--outer--";
  DecodedBody decoded = DecodeOutgoingBody("Multipart/Mixed; boundary=outer", "", body);
  EXPECT_EQ(decoded.text, "yes\nand more");
  EXPECT_EQ(decoded.content_type, "text/plain; charset=ISO-8859-1");
  ASSERT_EQ(decoded.problems.size(), 1u);
  EXPECT_NE(decoded.problems[0].find("2 other part(s)"), std::string::npos);
}

TEST(DecodeOutgoingBody, MultipartWithoutTextOrBoundaryIsPostedAsWritten) {
  struct Case {
    std::string content_type;
    std::string body;
  };
  const Case cases[] = {
      {"multipart/mixed; boundary=b", "--b\nContent-Type: image/png\n\nPNG\n--b--"},
      {"multipart/mixed", "--b\n\ntext\n--b--"},
      {"multipart/mixed; boundary=zz", "no delimiter at all"},
  };
  for (const Case& c : cases) {
    DecodedBody decoded = DecodeOutgoingBody(c.content_type, "", c.body);
    EXPECT_EQ(decoded.text, c.body) << c.content_type;
    ASSERT_EQ(decoded.problems.size(), 1u) << c.content_type;
    EXPECT_EQ(decoded.problems[0], "Multipart article without a text part, posted as written");
  }
}

TEST(DecodeOutgoingBody, MultipartWithoutClosingDelimiterTakesTheRest) {
  DecodedBody decoded = DecodeOutgoingBody("multipart/mixed; boundary=b", "", "--b\n\nonly part\nx");
  EXPECT_EQ(decoded.text, "only part\nx");
  EXPECT_TRUE(decoded.problems.empty());
}

// The parser hands the body to the decoder and applies the line rules to
// what comes out, so the signature rule reaches a protected separator.
TEST(OutgoingArticleDecoding, QuotedPrintableArticleAsTheExporterWritesIt) {
  OutgoingArticleParser parser(run::kUbb);
  for (std::string_view line :
       {"Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=", "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=ISO-8859-1", "content-transfer-encoding: quoted-printable",
        "Lines: 4", "", "Sch=F6ne Gr=FC=DFe, J=F6rg! Ein sehr langer Satz, der umbrochen =",
        "wird.", "-- =", "", "J=F6rg"}) {
    parser.AddLine(line);
  }
  OutgoingArticle article = parser.TakeArticle();
  EXPECT_EQ(article.body,
            "\r\nSch\xF6ne Gr\xFC\xDF" "e, J\xF6rg! Ein sehr langer Satz, der umbrochen wird.\r\n"
            "------------------\r\nJ\xF6rg\r\n");
  EXPECT_EQ(article.transfer_encoding, "quoted-printable");
  EXPECT_TRUE(article.decode_problems.empty());
}

TEST(OutgoingArticleDecoding, FoldedHeadersAreUnfolded) {
  OutgoingArticleParser parser(run::kUbb);
  for (std::string_view line :
       {"Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=", " =?UTF-8?Q?_aus_K=C3=B6ln?=",
        "Content-Type: multipart/mixed;", "\tboundary=\"b\"", "References: <a@forum1.1.html.0.x>",
        " <b@forum1.1.html.1.x>", "", "--b", "", "text", "--b--"}) {
    parser.AddLine(line);
  }
  OutgoingArticle article = parser.TakeArticle();
  EXPECT_EQ(article.subject_as_written, "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?= =?UTF-8?Q?_aus_K=C3=B6ln?=");
  EXPECT_EQ(article.referenced_id, "<a@forum1.1.html.0.x>");
  EXPECT_EQ(article.body, "\r\ntext\r\n");
  EXPECT_EQ(article.content_type, "");  // the part's own: none
}

TEST(OutgoingArticleDecoding, PlainBodiesStayAsWritten) {
  OutgoingArticleParser parser(run::kUbb);
  for (std::string_view line : {"Subject: s", "", "a =F6 b", "", "-- ", "sig"}) parser.AddLine(line);
  EXPECT_EQ(parser.TakeArticle().body, "\r\na =F6 b\r\n\r\n------------------\r\nsig\r\n");
}

}  // namespace
}  // namespace quorix::posting
