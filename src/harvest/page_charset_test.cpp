#include "harvest/page_charset.h"

#include <gtest/gtest.h>

#include <string>

namespace quorix::harvest {
namespace {

using text::Charset;

TEST(DeclaredCharset, HeaderThenMetaThenNothing) {
  struct Case {
    std::string response;
    std::optional<Charset> charset;
  };
  const Case cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<meta charset=latin1>",
       Charset::kUtf8},
      {"HTTP/1.0 200 OK\r\ncontent-type: text/html;Charset=\"iso-8859-15\"\r\n\r\nx",
       Charset::kLatin9},
      {"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<HTML><HEAD><META CHARSET=\"utf-8\">",
       Charset::kUtf8},
      {"HTTP/1.0 200 OK\r\n\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
       "charset=windows-1252\" />",
       Charset::kWindows1252},
      {"HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=koi8-r\r\n\r\n<p>charset=utf-8</p>",
       std::nullopt},
      {"HTTP/1.0 200 OK\r\n\r\n<p>no declaration</p>", std::nullopt},
      {"", std::nullopt},
      {"<meta charset=utf-8", std::nullopt},  // no header block ends: no body
  };
  for (const Case& c : cases) EXPECT_EQ(DeclaredCharset(c.response), c.charset) << c.response;
}

TEST(NotePageCharset, ConfiguredSetWinsAndOnlyForumPagesCount) {
  run::Slot slot;
  const std::string utf8 = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\nx";
  EXPECT_EQ(NotePageCharset(slot, "HTTP/1.0 200 OK\r\n\r\nx"), Charset::kLatin1);
  EXPECT_EQ(slot.forum_charset, Charset::kLatin1);
  EXPECT_EQ(NotePageCharset(slot, utf8), Charset::kUtf8);
  EXPECT_EQ(slot.forum_charset, Charset::kUtf8);
  // An error page is read in its set but says nothing about the forum.
  EXPECT_EQ(NotePageCharset(slot, "HTTP/1.0 404 Not Found\r\n\r\nx"), Charset::kLatin1);
  EXPECT_EQ(slot.forum_charset, Charset::kUtf8);
  slot.web.charset = "ISO-8859-1";
  EXPECT_EQ(NotePageCharset(slot, utf8), Charset::kLatin1);
  EXPECT_EQ(slot.forum_charset, Charset::kLatin1);
}

}  // namespace
}  // namespace quorix::harvest
