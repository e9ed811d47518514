#include <gtest/gtest.h>

#include <string>

#include "convert/filters.h"

namespace quorix::convert {
namespace {

run::ForumTemplate UbbTemplate() {
  run::ForumTemplate tmpl;
  tmpl.href_url_start = "<A HREF=\"http";
  tmpl.href_url_end = "</A>";
  tmpl.href_mail_start = "<A HREF=\"mailto:";
  tmpl.href_mail_end = "</A>";
  tmpl.href_quote_start = "<BLOCKQUOTE>";
  tmpl.href_quote_end = "</BLOCKQUOTE>";
  return tmpl;
}

std::string MailLink(const std::string& address) {
  return "<A HREF=\"mailto:" + address + "\">" + address + "</A>";
}

TEST(StripUrlLinks, LinkBecomesItsTarget) {
  std::string text =
      "see <A HREF=\"http://x.de/a\" TARGET=_blank>here</A> and "
      "<A HREF=\"http://y.de/\">y</A>.";
  StripUrlLinks(text, UbbTemplate());
  EXPECT_EQ(text, "see http://x.de/a and http://y.de/.");
}

TEST(StripUrlLinks, LineFeedsInTargetRemovedAndRepeatsShareOneRound) {
  std::string text = "<A HREF=\"http://x\n.de\">x</A> <A HREF=\"http://x\n.de\">x</A>";
  StripUrlLinks(text, UbbTemplate());
  EXPECT_EQ(text, "http://x.de http://x.de");
}

TEST(StripUrlLinks, StartWithoutEndStaysUntouched) {
  std::string text = "<A HREF=\"http://x.de\">x</A> then <A HREF=\"http://broken";
  StripUrlLinks(text, UbbTemplate());
  EXPECT_EQ(text, "http://x.de then <A HREF=\"http://broken");
  std::string only_broken = "<A HREF=\"http://a <A HREF=\"http://b";
  StripUrlLinks(only_broken, UbbTemplate());
  EXPECT_EQ(only_broken, "<A HREF=\"http://a <A HREF=\"http://b");
}

TEST(StripUrlLinks, EmptyMarkersChangeNothing) {
  run::ForumTemplate tmpl;
  std::string text = "<A HREF=\"http://x.de\">x</A>";
  StripUrlLinks(text, tmpl);
  EXPECT_EQ(text, "<A HREF=\"http://x.de\">x</A>");
  tmpl.href_url_start = "<A HREF=\"";  // an end marker left empty: blocks are empty
  StripUrlLinks(text, tmpl);
  EXPECT_EQ(text, "<A HREF=\"http://x.de\">x</A>");
}

TEST(StripMailLinks, TwoLinksGiveTheSecondAddress) {
  std::string text = "mail " + MailLink("a@x.de") + " or " + MailLink("b@y.de");
  EXPECT_EQ(StripMailLinks(text, UbbTemplate()), "b@y.de");
  EXPECT_EQ(text, "mail a@x.de or b@y.de");
}

TEST(StripMailLinks, RepeatedFirstLinkDoesNotCountAsLast) {
  // The loop handles each distinct link once, in the order of first
  // appearance; the later copy of the first link was replaced with it.
  std::string text = MailLink("a@x.de") + MailLink("b@y.de") + MailLink("a@x.de");
  EXPECT_EQ(StripMailLinks(text, UbbTemplate()), "b@y.de");
  EXPECT_EQ(text, "a@x.deb@y.dea@x.de");
}

TEST(StripMailLinks, SignatureSearchVariants) {
  run::ForumTemplate tmpl = UbbTemplate();
  struct Case {
    const char* text;
    const char* address;
  } cases[] = {
      {"Hello\n-- \nJoe Smith, Joe.Smith@Example.COM", "Joe.Smith@Example.COM"},
      {"write to first@a.de\n-- \nJoe, joe@b.de", "first@a.de"},
      {"write to first@a.de, no signature", ""},
      {"text\n-- \n", ""},  // an empty signature is none
      {"text\n-- \nno address here", ""},
      {"user1@x.de\n-- \nsig", ""},  // digits are no address characters
      {"x@y\n-- \nsig", "x@y"},
      {"@@a@b\n-- \ns", "a@b"},
      {"name_x-y.z@host-1.de\n-- \n.", "name_x-y.z@host-"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(StripMailLinks(text, tmpl), c.address) << c.text;
    EXPECT_EQ(text, c.text);  // the search does not change the text
  }
}

TEST(StripMailLinks, LinkWithoutAddressFallsBackToSignature) {
  std::string text = "<A HREF=\"mailto:\"></A> hi\n-- \nme@home.de";
  EXPECT_EQ(StripMailLinks(text, UbbTemplate()), "me@home.de");
  EXPECT_EQ(text, " hi\n-- \nme@home.de");
}

TEST(FindMailAddress, LeftmostGreedy) {
  EXPECT_EQ(FindMailAddress("a b.c@d.e f@g"), "b.c@d.e");
  EXPECT_EQ(FindMailAddress("no at sign"), "");
  EXPECT_EQ(FindMailAddress("trailing@"), "");
  EXPECT_EQ(FindMailAddress("x@ y@z"), "y@z");
  EXPECT_EQ(FindMailAddress("A@B"), "A@B");
  EXPECT_EQ(FindMailAddress(""), "");
}

TEST(QuoteUbbBlocks, TwoLinesBecomeQuotedLines) {
  std::string text =
      "before<BLOCKQUOTE><font size=\"1\">quote:</font><HR>first<B>!</B>\nsecond<HR>"
      "</BLOCKQUOTE>after";
  QuoteUbbBlocks(text, UbbTemplate());
  EXPECT_EQ(text, "before\n> first!\n> secondafter");
}

TEST(QuoteUbbBlocks, EmptyStartMarkerMeansNoQuoteProcessing) {
  run::ForumTemplate tmpl = UbbTemplate();
  tmpl.href_quote_start.clear();
  std::string text = "<BLOCKQUOTE><HR>x<HR></BLOCKQUOTE>";
  QuoteUbbBlocks(text, tmpl);
  EXPECT_EQ(text, "<BLOCKQUOTE><HR>x<HR></BLOCKQUOTE>");
}

TEST(QuoteUbbBlocks, NestedQuotesFollowTheLoop) {
  // The first block runs from the outer start to the inner end; its content
  // is the inner start marker, which the next round then takes up.
  std::string text =
      "<BLOCKQUOTE>q<HR><BLOCKQUOTE>q<HR>inner<HR></BLOCKQUOTE>outer<HR></BLOCKQUOTE>";
  QuoteUbbBlocks(text, UbbTemplate());
  EXPECT_EQ(text, "\n> \n> </BLOCKQUOTE>");
}

TEST(QuoteThreadsBlocks, ContentBetweenOffsets) {
  run::ForumTemplate tmpl;
  tmpl.href_quote_start = "[q]";
  tmpl.href_quote_end = "[/q]";
  std::string text = "A[q]xhello\nworldyz[/q]B";
  QuoteThreadsBlocks(text, tmpl);
  EXPECT_EQ(text, "A\n> hello\n> worldB");
  // The end marker lies before the content's start: the content runs to the
  // end of the block.
  std::string tiny = "[q][/q]";
  QuoteThreadsBlocks(tiny, tmpl);
  EXPECT_EQ(tiny, "\n> /q]");
}

}  // namespace
}  // namespace quorix::convert
