#include "config/forum_template.h"

#include <gtest/gtest.h>

namespace quorix::config {
namespace {

TEST(ReadForumTemplate, AllFiltersOnWithoutKeys) {
  const run::ForumTemplate t = ReadForumTemplate("\r\n");
  EXPECT_EQ(t.strip_smiley + t.strip_highlights + t.strip_mailto + t.strip_urls + t.strip_html +
                t.strip_quote + t.strip_format,
            7);
  EXPECT_EQ(t.index_count, "");
  for (const std::string& smiley : t.smileys) EXPECT_EQ(smiley, "");
}

TEST(ReadForumTemplate, OneSwitchOffLeavesTheOthers) {
  const run::ForumTemplate t = ReadForumTemplate("Strip_Html=N\r\n");
  EXPECT_EQ(t.strip_html, 0);
  EXPECT_EQ(t.strip_quote, 1);
  EXPECT_EQ(t.strip_smiley, 1);
}

TEST(ReadForumTemplate, MarkersKeepTheirBlanksAndSmileysTheirOrder) {
  const run::ForumTemplate t = ReadForumTemplate(
      "Index_Count=&start=\r\nArticle_Start=<!-- post --> \r\nSmiley_Default=<IMG SRC=\"s.gif\">\r\n"
      "Smiley_Eek=<IMG SRC=\"e.gif\">\r\nHref_Quote_End=</BLOCKQUOTE>\r\n");
  EXPECT_EQ(t.index_count, "&start=");
  EXPECT_EQ(t.article_start, "<!-- post --> ");
  EXPECT_EQ(t.smileys[0], "<IMG SRC=\"s.gif\">");
  EXPECT_EQ(t.smileys[10], "<IMG SRC=\"e.gif\">");
  EXPECT_EQ(t.href_quote_end, "</BLOCKQUOTE>");
}

}  // namespace
}  // namespace quorix::config
