#include <gtest/gtest.h>

#include <string>

#include "convert/filters.h"

namespace quorix::convert {
namespace {

std::string Applied(void (*filter)(std::string&), std::string text) {
  filter(text);
  return text;
}

TEST(UbbFields, AuthorBetweenBoldTags) {
  EXPECT_EQ(UbbAuthorField("<FONT><B>Joe Smith</B></FONT>"), "Joe Smith");
  EXPECT_EQ(UbbAuthorField("<B> spaced </B>"), " spaced ");  // no trimming
  // No start marker: the field starts at the skip value, the third character.
  EXPECT_EQ(UbbAuthorField("abcdef</B>"), "cdef");
  EXPECT_EQ(UbbAuthorField("<B>no end"), "no end");
  EXPECT_EQ(UbbAuthorField(""), "");
}

TEST(UbbFields, DateTrimmedBeforeNbsp) {
  EXPECT_EQ(UbbDateField("<FONT>posted   October 05, 2004 10:30 PM &nbsp;&nbsp;"),
            "October 05, 2004 10:30 PM");
  EXPECT_EQ(UbbDateField(">posted"), "");
}

TEST(UbbFields, BodyLineBreaksComeFromTagsOnly) {
  EXPECT_EQ(UbbBodyToText("<FONT><HR>xya<br>\r\nb<P>\r\nc</FONT>"), "a\nb\n\nc");
  EXPECT_EQ(UbbBodyToText("<FONT><HR>..1<p>2<BR>3<br />4\n5</FONT>tail"), "1\n\n2\n3\n45");
  // A CR inside a tag is removed first, so the tag still breaks the line.
  EXPECT_EQ(UbbBodyToText("<FONT><HR>..a<b\rr>b"), "a\nb");
  // Without the end marker the body runs to the end of the cell.
  EXPECT_EQ(UbbBodyToText("<FONT><HR>..abc"), "abc");
  EXPECT_EQ(UbbBodyToText("<FONT><HR>."), "");
  EXPECT_EQ(UbbBodyToText("<br/>"), "");  // no marker: starts at the 12th character
}

TEST(DecodeEntities, OrderMakesTwoStepDecodes) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"Tom &amp; Jerry", "Tom & Jerry"}, {"&amp;gt;", ">"},
      {"&amp;lt;b&gt;", "<b>"},           {"&amp;amp;", "&amp;"},  // one pass each: decoded once
      {"<LI>one<LI>two", "- one- two"},   {"&lt;LI>", "- "},  // "<LI>" is replaced after "&lt;"
      {"&quot;&nbsp;", "&quot;&nbsp;"},   {"", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    DecodeEntities(text);
    EXPECT_EQ(text, c.out) << c.in;
  }
}

TEST(StripHighlights, TagsBecomeMarks) {
  EXPECT_EQ(Applied(StripHighlights, "<B>bold</B> <b>b</b> <U>u</U> <u>u</u>"),
            "_bold_ _b_ _u_ _u_");
  EXPECT_EQ(Applied(StripHighlights, "<em>quoted</em></font> x</em>"), "[quoted] x</em>");
  EXPECT_EQ(Applied(StripHighlights, "<<B>>"), "<_>");
  EXPECT_EQ(Applied(StripHighlights, "<i>as is</i>"), "<i>as is</i>");
}

TEST(ReplaceSmileys, EachKeyInOrderEmptySkipped) {
  run::ForumTemplate tmpl;
  tmpl.smileys[0] = "<img src=\"smile.gif\">";
  tmpl.smileys[2] = "<img src=\"big.gif\">";
  tmpl.smileys[10] = "<img src=\"eek.gif\">";
  std::string text = "a<img src=\"smile.gif\">b<img src=\"big.gif\">c<img src=\"eek.gif\">;-)";
  ReplaceSmileys(text, tmpl);
  EXPECT_EQ(text, "a:-)b:)c:-|;-)");  // the empty wink row adds and removes nothing

  run::ForumTemplate all;
  for (size_t i = 0; i < all.smileys.size(); ++i) all.smileys[i] = "[" + std::to_string(i) + "]";
  std::string every = "[0][1][2][3][4][5][6][7][8][9][10]";
  ReplaceSmileys(every, all);
  EXPECT_EQ(every, ":-);-):)?-):-(8-)8-):^):-):-]:-|");
}

TEST(ReplaceSmileys, TableKeptWithTheTemplateFollowsItsChangesAndCopies) {
  run::ForumTemplate tmpl;
  tmpl.smileys[0] = "<s>";
  std::string text = "<s><t>";
  ReplaceSmileys(text, tmpl);
  EXPECT_EQ(text, ":-)<t>");

  run::ForumTemplate copy = tmpl;  // starts without the original's table
  copy.smileys[0] = "<t>";
  tmpl.smileys[2] = "<s>";  // the original changes after its table was built
  std::string for_copy = "<s><t>";
  std::string for_original = "<s><t>";
  ReplaceSmileys(for_copy, copy);
  ReplaceSmileys(for_original, tmpl);
  EXPECT_EQ(for_copy, "<s>:-)");
  EXPECT_EQ(for_original, ":-)<t>");  // row 0 comes first
  tmpl.smileys[0].clear();
  for_original = "<s><t>";
  ReplaceSmileys(for_original, tmpl);
  EXPECT_EQ(for_original, ":)<t>");
}

const std::string kCutStart = "--- Cut ----" + std::string(40, '-') + "\n";
const std::string kCutEnd = "\n--- Cut End " + std::string(40, '-');

TEST(CodeBlocks, UbbMarkersAndSignatureRule) {
  run::ForumTemplate tmpl;
  tmpl.format_start = "<pre>";
  tmpl.format_end = "</pre>";
  std::string text = "x<pre>code</pre>\nsig\n------------------\nJoe";
  ApplyUbbCodeBlocks(text, tmpl);
  // The cut lines end in hyphens too; only the rule's own line changes.
  EXPECT_EQ(text, "x" + kCutStart + "code" + kCutEnd + "\nsig\n-- \nJoe");
}

TEST(CodeBlocks, SignatureRuleIsAWholeLineOfEighteenHyphens) {
  run::ForumTemplate tmpl;
  struct Case {
    std::string in, out;
  } cases[] = {
      {std::string(18, '-') + "\nJoe", "-- \nJoe"},
      {"a\n" + std::string(18, '-') + "\n" + std::string(18, '-') + "\n", "a\n-- \n-- \n"},
      {"a\n" + std::string(19, '-') + "\nJoe", "a\n" + std::string(19, '-') + "\nJoe"},
      {"a " + std::string(18, '-') + "\nJoe", "a " + std::string(18, '-') + "\nJoe"},
      {std::string(18, '-'), std::string(18, '-')},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    ApplyUbbCodeBlocks(text, tmpl);
    EXPECT_EQ(text, c.out) << c.in;
  }
}

TEST(CodeBlocks, EmptyMarkersChangeNothing) {
  run::ForumTemplate tmpl;
  std::string text = "plain <pre> text";
  ApplyUbbCodeBlocks(text, tmpl);
  EXPECT_EQ(text, "plain <pre> text");
}

TEST(CodeBlocks, ThreadsSixReplacements) {
  run::ForumTemplate tmpl;
  tmpl.format_start = "[code]";
  tmpl.format_end = "[/code]";
  std::string text = "[code]a[/code] <pre>code:</font><hr>b</pre><hr> end\n---- \nJoe";
  ApplyThreadsCodeBlocks(text, tmpl);
  EXPECT_EQ(text, kCutStart + "a" + kCutEnd + " " + kCutStart + "b" + kCutEnd + " end\n-- \nJoe");
}

TEST(CodeBlocks, ThreadsFourHyphenSignature) {
  run::ForumTemplate tmpl;
  std::string text = "text\n---- \nJoe";
  ApplyThreadsCodeBlocks(text, tmpl);
  EXPECT_EQ(text, "text\n-- \nJoe");
}

TEST(MarkOwnAddress, WrapsEveryOccurrence) {
  EXPECT_EQ(MarkOwnAddress("to me@x.de and me@x.de.", "me@x.de"),
            "to [MAILTO]me@x.de[/MAILTO] and [MAILTO]me@x.de[/MAILTO].");
  EXPECT_EQ(MarkOwnAddress("nothing here", "me@x.de"), "nothing here");
  EXPECT_EQ(MarkOwnAddress("text", ""), "text");
}

}  // namespace
}  // namespace quorix::convert
