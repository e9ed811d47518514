#include "posting/outgoing_article.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "run/settings.h"

namespace quorix::posting {
namespace {

OutgoingArticle Parse(int engine, std::initializer_list<std::string_view> lines) {
  OutgoingArticleParser parser(engine);
  for (std::string_view line : lines) parser.AddLine(line);
  return parser.TakeArticle();
}

OutgoingArticle ParseUbb(std::initializer_list<std::string_view> lines) {
  return Parse(run::kUbb, lines);
}

constexpr char kUbbId[] = "<de.test@forum7.000123.html.4.1a2b3c>";
constexpr char kOtherUbbId[] = "<de.test@forum9.000777.html.2.ffff>";

TEST(OutgoingSubject, ReCutOnlyWithBlankAfterColon) {
  struct Case {
    std::string_view line;
    std::string_view as_written;
    std::string_view subject;
  };
  const Case cases[] = {
      {"Subject: Re: Hello", "Re: Hello", "Hello"},
      {"Subject: RE: Hello", "RE: Hello", "Hello"},
      {"Subject: rE: Hello", "rE: Hello", "Hello"},
      {"Subject: RE:Hello", "RE:Hello", "RE:Hello"},
      {"Subject: Re: Re: Hi", "Re: Re: Hi", "Re: Hi"},  // only one is cut
      {"Subject: Hello", "Hello", "Hello"},
      {"Subject:Hello", "ello", "ello"},  // the value starts at a fixed position
      {"Subject:", "", ""},
      {"Subject: ", "", ""},
      {"Subject: Re:", "Re:", "Re:"},
  };
  for (const Case& c : cases) {
    OutgoingArticle article = ParseUbb({c.line});
    EXPECT_EQ(article.subject_as_written, c.as_written) << c.line;
    EXPECT_EQ(article.subject, c.subject) << c.line;
  }
}

TEST(OutgoingSubject, AddLineReportsSubjectHeadersOnly) {
  OutgoingArticleParser parser(run::kUbb);
  EXPECT_FALSE(parser.AddLine("Newsgroups: de.test"));
  EXPECT_TRUE(parser.AddLine("Subject: Re: Hello"));
  EXPECT_FALSE(parser.AddLine(""));
  EXPECT_FALSE(parser.AddLine("Subject: in the body"));
  EXPECT_EQ(parser.article().subject, "Hello");
}

TEST(OutgoingHeaders, NamesAreCaseExactAndLaterHeaderWins) {
  OutgoingArticle article = ParseUbb({"subject: lower", "Subject: first", "Subject: second",
                                      "newsgroups: x", "Newsgroups:   de.test.forum  ",
                                      "X-Newsreader:  CrossPoint 3.40 ", "User-Agent: Other/1"});
  EXPECT_EQ(article.subject, "second");
  EXPECT_EQ(article.newsgroup, "de.test.forum");
  EXPECT_EQ(article.newsreader, "Other/1");
  EXPECT_EQ(article.post_action, kNewTopic);
}

TEST(OutgoingHeaders, ReferencesTakesTheFirstOfSeveralIds) {
  OutgoingArticle article = ParseUbb({std::string("References: ") + kUbbId + " " + kOtherUbbId});
  EXPECT_EQ(article.post_action, kReply);
  EXPECT_EQ(article.forum_number, "7");
  EXPECT_EQ(article.topic_id, "000123.cgi");
  EXPECT_EQ(article.reply_number, "");  // a UBB reply needs no post number
}

TEST(OutgoingHeaders, ActionPrecedence) {
  const std::string refs = std::string("References: ") + kUbbId;
  const std::string supersedes = std::string("Supersedes: ") + kOtherUbbId;
  const std::string control = std::string("Control: cancel ") + kOtherUbbId;
  struct Case {
    std::vector<std::string> lines;
    int action;
    std::string_view topic;
    std::string_view reply;
    std::string_view forum;
  };
  const Case cases[] = {
      {{}, kNewTopic, "", "", ""},
      {{refs}, kReply, "000123.cgi", "", "7"},
      {{refs, supersedes}, kEdit, "000777.cgi", "2", "9"},
      {{supersedes, refs}, kEdit, "000777.cgi", "2", "9"},  // References changes nothing
      {{refs, control}, kDelete, "000123.cgi", "2", "9"},   // topic from the earlier References
      {{supersedes, control}, kDelete, "000777.cgi", "2", "9"},
      {{control}, kDelete, "", "2", "9"},                    // no topic without an earlier header
      {{control, refs, supersedes}, kDelete, "", "2", "9"},  // later lines change nothing
      {{"Control: rmgroup"}, kDelete, "", "", ""},           // any command deletes
  };
  for (const Case& c : cases) {
    OutgoingArticleParser parser(run::kUbb);
    for (const std::string& line : c.lines) parser.AddLine(line);
    const OutgoingArticle& article = parser.article();
    SCOPED_TRACE(testing::PrintToString(c.lines));
    EXPECT_EQ(article.post_action, c.action);
    EXPECT_EQ(article.topic_id, c.topic);
    EXPECT_EQ(article.reply_number, c.reply);
    EXPECT_EQ(article.forum_number, c.forum);
  }
}

TEST(OutgoingHeaders, ReferenceWordsSkipExtraBlanks) {
  EXPECT_EQ(BlankSeparatedWord("  a  b ", 1), "a");
  EXPECT_EQ(BlankSeparatedWord("  a  b ", 2), "b");
  EXPECT_EQ(BlankSeparatedWord("  a  b ", 3), "");
  EXPECT_EQ(BlankSeparatedWord("", 1), "");
  OutgoingArticle article = ParseUbb({std::string("Control:  cancel   ") + kUbbId});
  EXPECT_EQ(article.reply_number, "4");
}

// The article's own Message-ID goes into the Supersedes of the forum's copy:
// only one "<...>" without blanks is taken.
TEST(OutgoingHeaders, OwnMessageIdOnlyWhenItIsOne) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"Message-ID: <out1@reader.invalid>", "<out1@reader.invalid>"},
      {"Message-Id:   <a.b@c>  ", "<a.b@c>"},
      {"message-id:<x@y>", "<x@y>"},
      {"Message-ID: <a b@c>", ""},
      {"Message-ID: <a@c> <b@c>", ""},
      {"Message-ID: <a<b@c>", ""},
      {"Message-ID: out1@reader.invalid", ""},
      {"Message-ID: <>", ""},
      {"Message-ID:", ""},
      {"X-Message-ID: <x@y>", ""},
  };
  for (const auto& [line, id] : cases) {
    EXPECT_EQ(ParseUbb({line, "", "x"}).message_id, id) << line;
  }
  EXPECT_EQ(ParseUbb({"Message-ID: <x@y>", "", "Message-ID: <z@y>"}).message_id, "<x@y>")
      << "the body is no header";
}

TEST(UbbMessageId, Decomposition) {
  struct Case {
    std::string_view id;
    std::string_view forum;
    std::string_view topic;
    std::string_view reply;
  };
  const Case cases[] = {
      {"<g@forum7.000123.html.4.x>", "7", "000123.cgi", "4"},
      {"<g@forum12.000123.html.14.x>", "12", "000123.cgi", "14"},
      {"<g@forum123.000123.html.4.x>", "12", "000123.cgi", "4"},  // two digits at most
      {"<g@forum7.1.html.4@other.x>", "7", "1.cgi", "4"},         // up to a second "@"
      {"<no-at-sign>", "", ".cgi", ""},
      {"", "", ".cgi", ""},
      {"<g@forum>", ">", ".cgi", ""},
      {"<g@forum7>", "7>", ".cgi", ""},
  };
  for (const Case& c : cases) {
    ReferencedPost post = DecomposeUbbMessageId(c.id);
    EXPECT_EQ(post.forum_number, c.forum) << c.id;
    EXPECT_EQ(post.topic_id, c.topic) << c.id;
    EXPECT_EQ(post.reply_number, c.reply) << c.id;
  }
}

TEST(ThreadsMessageId, DecompositionAndForumCut) {
  ReferencedPost post = DecomposeThreadsMessageId("<de.board@forum12.4711.4700.3.9f>");
  EXPECT_EQ(post.forum_number, "forum12");
  EXPECT_EQ(post.topic_id, "4711");
  EXPECT_EQ(post.reply_number, "4700");
  EXPECT_EQ(CutThreadsForumPrefix("forum12"), "12");
  EXPECT_EQ(CutThreadsForumPrefix("forum123456"), "123456");  // no limit on digits
  EXPECT_EQ(CutThreadsForumPrefix("forum"), "");
  EXPECT_EQ(CutThreadsForumPrefix(""), "");
}

TEST(ThreadsMessageId, ReferencesTakeAllThreeFields) {
  OutgoingArticle article =
      Parse(run::kUbbThreads, {"References: <de.board@forum12.4711.4700.3.9f> <x@forum1.2.3.4.5>"});
  EXPECT_EQ(article.post_action, kReply);
  EXPECT_EQ(article.forum_number, "forum12");  // cut after the whole file was read
  EXPECT_EQ(article.topic_id, "4711");
  EXPECT_EQ(article.reply_number, "4700");
}

TEST(MessageIdDomain, BetweenFirstAndSecondAt) {
  EXPECT_EQ(MessageIdDomain("<a@b.c>"), "b.c>");
  EXPECT_EQ(MessageIdDomain("<a@b@c>"), "b");
  EXPECT_EQ(MessageIdDomain("<a@>"), ">");
  EXPECT_EQ(MessageIdDomain("abc"), "");
}

TEST(OutgoingBody, FirstEmptyLineEndsHeaderForGood) {
  OutgoingArticle article = ParseUbb(
      {"Subject: s", "", "Subject: not a header", "References: <g@forum7.1.html.2.x>", "", "end"});
  EXPECT_EQ(article.subject, "s");
  EXPECT_EQ(article.post_action, kNewTopic);
  EXPECT_EQ(article.body,
            "\r\nSubject: not a header\r\nReferences: <g@forum7.1.html.2.x>\r\n\r\nend\r\n");
}

TEST(OutgoingBody, LineRules) {
  const std::string hyphens40(40, '-');
  struct Case {
    std::string line;
    std::string converted;
  };
  const Case cases[] = {
      {"-- ", "------------------"},
      {"--", "--"},
      {"-- x", "-- x"},
      {" -- ", " -- "},
      {"--- Cut ----" + hyphens40, "[CODE]"},
      {"before --- Cut ----" + hyphens40 + " after", "[CODE]"},
      {"--- Cut ----" + hyphens40.substr(1), "--- Cut ----" + hyphens40.substr(1)},
      {"--- Cut End " + hyphens40, "[/CODE]"},
      {"x--- Cut End " + hyphens40 + "-y", "[/CODE]"},
      {"plain text", "plain text"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertBodyLine(c.line), c.converted) << c.line;
  EXPECT_EQ(ParseUbb({"", "-- ", "sig"}).body, "\r\n------------------\r\nsig\r\n");
}

TEST(OutgoingBody, ContentFlagIgnoresEmptyLines) {
  EXPECT_FALSE(ParseUbb({""}).has_content);
  EXPECT_FALSE(ParseUbb({"", "", ""}).has_content);
  EXPECT_TRUE(ParseUbb({"", "x"}).has_content);
  EXPECT_TRUE(ParseUbb({"Subject: x"}).has_content);
}

TEST(OutgoingBody, BinaryBytesPassThrough) {
  const std::string binary("\x00\x01\xff\x7f", 4);
  OutgoingArticle article = ParseUbb({"Subject: " + binary, "", binary});
  EXPECT_EQ(article.subject, binary);
  EXPECT_EQ(article.body, "\r\n" + binary + "\r\n");
}

}  // namespace
}  // namespace quorix::posting
