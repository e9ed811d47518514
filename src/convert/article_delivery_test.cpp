#include "convert/article_delivery.h"

#include <gtest/gtest.h>

#include <string>

namespace quorix::convert {
namespace {

run::ForumTemplate FullTemplate() {
  run::ForumTemplate tmpl;
  tmpl.smileys[0] = "<IMG SRC=\"s.gif\">";
  tmpl.href_url_start = "<A HREF=\"http";
  tmpl.href_url_end = "</A>";
  tmpl.href_mail_start = "<a href=\"mailto:";
  tmpl.href_mail_end = "</a>";
  tmpl.href_quote_start = "<BLOCKQUOTE>";
  tmpl.href_quote_end = "</BLOCKQUOTE>";
  tmpl.format_start = "<pre>";
  tmpl.format_end = "</pre>";
  return tmpl;
}

const std::string kBody =
    "Hi <IMG SRC=\"s.gif\"> see <A HREF=\"http://x.de\" TARGET=_blank>x</A> &amp; "
    "<BLOCKQUOTE>q<HR>quoted<HR></BLOCKQUOTE>\n<pre>code</pre>\n------------------\n"
    "<a href=\"mailto:me@x.de\">me</a> <B>b</B>";

TEST(FilterBody, AllFiltersInOrder) {
  std::string body = kBody;
  EXPECT_EQ(FilterBody(body, FullTemplate(), Engine::kUbb), "me@x.de");
  EXPECT_EQ(body, "Hi :-) see http://x.de & \n> quoted\n--- Cut ----" + std::string(40, '-') +
                      "\ncode\n--- Cut End " + std::string(40, '-') + "\n-- \nme@x.de _b_");
}

TEST(FilterBody, AllSwitchesOff) {
  run::ForumTemplate tmpl = FullTemplate();
  tmpl.strip_smiley = tmpl.strip_urls = tmpl.strip_html = tmpl.strip_quote = 0;
  tmpl.strip_format = tmpl.strip_mailto = tmpl.strip_highlights = 0;
  std::string body = kBody;
  EXPECT_EQ(FilterBody(body, tmpl, Engine::kThreads), "");
  EXPECT_EQ(body, kBody);
}

TEST(FilterBody, PlaceholderWhenNoAddressIsFound) {
  std::string body = "no address";
  EXPECT_EQ(FilterBody(body, FullTemplate(), Engine::kUbb), kPlaceholderAddress);
  EXPECT_EQ(kPlaceholderAddress, "unknown@quorix.invalid");
}

std::string Chain(int count) {
  std::string chain;
  for (int i = 0; i < count; ++i) {
    if (i) chain += ' ';
    chain += "<de.test@forum1.000123.html." + std::to_string(i) + ".abcdef12>";
  }
  return chain;
}

TEST(ReferencesValue, ShortChainsStayWhole) {
  EXPECT_EQ(ReferencesValue(""), "");
  EXPECT_EQ(ReferencesValue(Chain(3)), Chain(3));
  std::string at_limit(kMaxReferences, 'x');
  EXPECT_EQ(ReferencesValue(at_limit), at_limit);
}

TEST(ReferencesValue, LongChainsKeepTheFirstAndTheLatestWholeIds) {
  const std::string chain = Chain(2000);
  ASSERT_GT(chain.size(), kMaxReferences);
  std::string value = ReferencesValue(chain);
  EXPECT_LE(value.size(), kMaxReferences);
  EXPECT_GT(value.size(), kMaxReferences - 50);
  EXPECT_EQ(value.substr(0, value.find(' ')), "<de.test@forum1.000123.html.0.abcdef12>");
  EXPECT_EQ(value.substr(value.rfind(' ') + 1), "<de.test@forum1.000123.html.1999.abcdef12>");
  // After the first ID, a tail of the chain that starts at an ID.
  std::string tail = value.substr(value.find(' ') + 1);
  EXPECT_EQ(chain.substr(chain.size() - tail.size()), tail);
  EXPECT_EQ(chain[chain.size() - tail.size() - 1], ' ');
  EXPECT_EQ(tail[0], '<');
}

TEST(ReferencesValue, CutLandingOnAnIdStartKeepsThatId) {
  // A first ID of 10 characters and 200 IDs of 9 (each after a blank): the
  // room left after the first ID and its blank (969) begins exactly at an ID
  // of the chain, which is kept.
  ASSERT_EQ((kMaxReferences - 10) % 10, 0u);
  std::string chain = "<first123>";
  for (int i = 0; i < 200; ++i) chain += " <id.0000>";
  std::string value = ReferencesValue(chain);
  EXPECT_EQ(value.size(), kMaxReferences);
  EXPECT_EQ(value, "<first123> " + chain.substr(chain.size() - (kMaxReferences - 11)));
  EXPECT_EQ(value.substr(0, 21), "<first123> <id.0000> ");
}

TEST(ReferencesValue, WithinTheReadersLimitTheParentLast) {
  struct Case {
    int ids;
    size_t kept;  // IDs in the value
  };
  // IDs of 39 to 42 characters: as many of the latest as fit beside the first.
  for (const Case& c : {Case{5, 5}, Case{21, 21}, Case{30, 24}, Case{120, 23}, Case{2000, 22}}) {
    const std::string chain = Chain(c.ids);
    const std::string value = ReferencesValue(chain);
    EXPECT_LE(value.size(), kMaxReferences) << c.ids;
    size_t blanks = 0;
    for (char ch : value) blanks += ch == ' ';
    EXPECT_EQ(blanks + 1, c.kept) << c.ids;
    EXPECT_EQ(value.substr(0, value.find(' ')), chain.substr(0, chain.find(' '))) << c.ids;
    EXPECT_EQ(value.substr(value.rfind(' ') + 1), chain.substr(chain.rfind(' ') + 1)) << c.ids;
  }
}

TEST(ReferencesValue, OverlongIdsStillKeepFirstAndParent) {
  const std::string first = "<" + std::string(600, 'a') + "@x>";
  const std::string parent = "<" + std::string(600, 'p') + "@x>";
  EXPECT_EQ(ReferencesValue(first + " <mid@x> " + parent), first + " " + parent);
  const std::string lone = "<" + std::string(1200, 'a') + "@x>";
  EXPECT_EQ(ReferencesValue(lone), lone);
}

}  // namespace
}  // namespace quorix::convert
