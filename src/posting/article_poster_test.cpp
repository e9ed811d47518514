#include "posting/article_poster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <string>

#include "bases/pending_posts.h"
#include "http/test_server.h"
#include "platform/test_util.h"
#include "posting/threads_poster.h"
#include "posting/ubb_poster.h"
#include "run/testing.h"

namespace quorix::posting {
namespace {

constexpr int kSlot = 2;
constexpr char kFile[] = "n0001.OUT";
constexpr char kOkPage[] = "HTTP/1.0 200 OK\r\n\r\n<html>Thank you for posting</html>";

// What the stand-in sender makes of a form: never sent, or sent and
// answered with `text` (empty: no answer).
enum class Form { kNotSent, kAnswered, kNoAnswer };

http::Response FormResponse(Form form, const std::string& text) {
  http::Response response;
  response.sent = form != Form::kNotSent;
  response.outcome = form == Form::kNotSent ? http::Outcome::kHostNotFound
                     : text.empty()         ? http::Outcome::kNoAnswer
                                            : http::Outcome::kAnswered;
  if (response.sent) response.text = text;
  return response;
}

class PosterTest : public ::testing::Test {
 protected:
  PosterTest() {
    run().log.SetMainLog(log::Logger::OpenLogFile(dir_.PathOf("QUORIX.LOG")), "");
    std::filesystem::create_directories(dir_.PathOf("SPOOL"));
    run().env.program_dir = dir_.Prefix();
    run::Slot& state = run().slots[kSlot];
    state.web.server = "forum.example";
    state.web.user = "Tester";
    state.web.password = "secret&x";
    state.web.path = "cgi-bin/";
    state.web.post = "postings.cgi";
    state.web.spool = dir_.Prefix() + "SPOOL\\";
    state.forum_template.article_post_ok = "Thank you for posting";
    state.forum_template.article_edit_ok = "Edit done";
    state.forum_template.article_dele_ok = "Post deleted";
    state.group_list_text = "de.test.forum,General+Talk,3,30\r\nde.test.board,Board,12,0\r\n";
  }

  run::Run& run() { return test_run_.run; }
  run::Slot& slot() { return run().slots[kSlot]; }
  worker::Worker worker() { return worker::Worker(run(), run().slots[kSlot], kSlot); }
  std::string Log() const { return dir_.Read("QUORIX.LOG"); }
  bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
  void Spool(const std::string& content) { dir_.Write(std::string("SPOOL/") + kFile, content); }
  bool Spooled() const { return dir_.Exists(std::string("SPOOL/") + kFile); }

  bool Post(int engine = run::kUbb) {
    return PostOutgoingArticle(worker(), engine, kFile, 1,
                               [this](std::string_view path, std::string_view body) {
                                 ++sends_;
                                 path_ = path;
                                 body_ = body;
                                 activity_ = slot().activity.Get();
                                 return FormResponse(outcome_, response_);
                               });
  }

  testing::ScratchDir dir_;
  testing::TestRun test_run_;
  std::string response_ = kOkPage;
  Form outcome_ = Form::kAnswered;
  int sends_ = 0;
  std::string path_, body_, activity_;
};

constexpr char kNewTopic[] =
    "Newsgroups: de.test.forum\r\nSubject: Re: Hello\r\nX-Newsreader: CP\r\n\r\nText\r\n";
constexpr char kNewTopicBody[] =
    "UserName=Tester&Password=secret%26x&TopicSubject=Hello&Message=%0D%0AText%0D%0A"
    "%5BI%5D%23%23+CP%2C+via+QUORIX+v0%2E23g%5B%2FI%5D&number=3&forum=General+Talk"
    "&action=posttopic&Submit=Submit+New+Topic";

TEST_F(PosterTest, ConfirmedArticleIsDeleted) {
  Spool(kNewTopic);
  EXPECT_TRUE(Post());
  EXPECT_EQ(path_, "/cgi-bin/postings.cgi");
  EXPECT_EQ(body_, kNewTopicBody);
  EXPECT_EQ(activity_, "Posting Article 1 (Re: Hello)");
  EXPECT_FALSE(Spooled());
  EXPECT_EQ(slot().status.Get(), "Article posted");
  EXPECT_TRUE(LogHas("  14:03:59  QUORIX #2: Posting: " + dir_.Prefix() + "SPOOL\\n0001.OUT\r\n"))
      << Log();
  EXPECT_TRUE(LogHas("  14:03:59  QUORIX #2: Article posted\r\n"));
}

TEST_F(PosterTest, LfOnlyFilePostsTheSame) {
  std::string lf_only = kNewTopic;
  lf_only.erase(std::remove(lf_only.begin(), lf_only.end(), '\r'), lf_only.end());
  Spool(lf_only);
  EXPECT_TRUE(Post());
  EXPECT_EQ(body_, kNewTopicBody);
}

TEST_F(PosterTest, UnconfirmedAnswersKeepTheFile) {
  const std::pair<std::string, Form> answers[] = {
      {"HTTP/1.0 500 Error\r\n\r\n<html>Sorry</html>", Form::kAnswered}, {"", Form::kNotSent}};
  for (const auto& [response, outcome] : answers) {
    response_ = response;
    outcome_ = outcome;
    Spool(kNewTopic);
    EXPECT_FALSE(Post()) << response;
    EXPECT_TRUE(Spooled());
    EXPECT_EQ(dir_.Read(std::string("SPOOL/") + kFile), kNewTopic);  // untouched
    EXPECT_EQ(slot().status.Get(), "Error posting Article");
  }
  EXPECT_TRUE(LogHas("  14:03:59  QUORIX #2: Article not posted\r\n"));
  EXPECT_FALSE(LogHas("Article posted"));
}

// A form that went out without a whole answer may be on the forum: the file
// stays and is not sent again until the harvest has seen the article, and is
// then deleted without a second send. Whole answers and unsent forms leave no
// record, nor do edits and deletes, which are sent again as before.
TEST_F(PosterTest, FormsSentWithoutAnAnswerAreNeverSentBlindlyAgain) {
  constexpr char kReply[] =
      "Newsgroups: de.test.forum\r\nSubject: Re: Hi\r\n"
      "References: <de.test.forum@forum3.000123.html.0.ab>\r\n\r\nMy reply\r\n";
  constexpr char kEdit[] =
      "Supersedes: <de.test.forum@forum3.000123.html.2.ab>\r\nSubject: x\r\n\r\nNew\r\n";
  using Outcome = Form;
  struct Case {
    const char* what;
    const char* article;
    const char* answer;
    Outcome outcome;
    bool recorded;  // kept back from a second send
  };
  const Case cases[] = {
      {"new topic, connection cut", kNewTopic, "", Outcome::kNoAnswer, true},
      {"reply, answer cut in its page", kReply, "HTTP/1.0 200 OK\r\n\r\n<html>Thank",
       Outcome::kAnswered, true},
      {"reply, short of its Content-Length", kReply,
       "HTTP/1.0 200 OK\r\nContent-Length: 99\r\n\r\n<html></html>", Outcome::kAnswered, true},
      {"reply, whole refusal", kReply, "HTTP/1.0 200 OK\r\n\r\n<html>Flood</html>",
       Outcome::kAnswered, false},
      {"reply, forum never reached", kReply, "", Outcome::kNotSent, false},
      {"edit, connection cut", kEdit, "", Outcome::kNoAnswer, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Spool(c.article);
    sends_ = 0;
    response_ = c.answer;
    outcome_ = c.outcome;
    EXPECT_FALSE(Post());
    EXPECT_TRUE(Spooled());
    EXPECT_EQ(dir_.Exists("QUORIX.PND"), c.recorded);

    response_ = kOkPage;
    outcome_ = Outcome::kAnswered;
    EXPECT_EQ(Post(), !c.recorded);
    EXPECT_EQ(sends_, c.recorded ? 1 : 2);
    EXPECT_EQ(Spooled(), c.recorded);
    if (!c.recorded) continue;
    EXPECT_TRUE(
        LogHas("? 14:03:59  QUORIX #2: Sent before without an answer, not found on the "
               "forum since: " +
               dir_.Prefix() + "SPOOL\\n0001.OUT is kept"));

    // The next harvest finds it: the file goes without another send.
    const bool reply = c.article == kReply;
    bases::WatchHarvestedPost(run(), {run().log, 1},
                              reply ? "<de.test.forum@forum3.000123.html.3.cd>"
                                    : "<de.test.forum@forum3.000124.html.0.cd>",
                              "Tester", reply ? "My reply\r\n## CP" : "<p>Text</p>");
    EXPECT_TRUE(Post());
    EXPECT_EQ(sends_, 1);
    EXPECT_FALSE(Spooled());
    EXPECT_TRUE(LogHas("  14:03:59  QUORIX #2: Article already on the forum: "));
    EXPECT_FALSE(dir_.Exists("QUORIX.PND"));
  }
}

TEST_F(PosterTest, ANewArticleUnderARecordedNameIsSent) {
  Spool(kNewTopic);
  response_ = "";
  outcome_ = Form::kNoAnswer;
  EXPECT_FALSE(Post());
  Spool(std::string(kNewTopic) + "more\r\n");  // CrossPoint reused the name
  response_ = kOkPage;
  outcome_ = Form::kAnswered;
  EXPECT_TRUE(Post());
  EXPECT_EQ(sends_, 2);
  EXPECT_FALSE(dir_.Exists("QUORIX.PND"));
}

// The forum confirmed the article but its file could not be deleted (the
// reader holds it open): the record says the forum has it, so the next run
// deletes the file without sending it again.
TEST_F(PosterTest, AConfirmedArticleWhoseFileStaysIsNeverSentAgain) {
  const std::string name = dir_.Prefix() + "SPOOL\\" + kFile;
  const std::string path = dir_.PathOf(std::string("SPOOL/") + kFile);
  const char* const articles[] = {
      kNewTopic,
      "Newsgroups: de.test.forum\r\nSubject: Re: Hi\r\n"
      "References: <de.test.forum@forum3.000123.html.0.ab>\r\n\r\nMy reply\r\n",
      "Control: cancel <de.test.forum@forum3.000123.html.2.ab>\r\nSubject: x\r\n\r\n"};
  for (const char* article : articles) {
    SCOPED_TRACE(article);
    Spool(article);
    sends_ = 0;
    response_ = std::string(kOkPage) + "Post deleted";
    // A directory in the file's place makes its deletion fail.
    const bool first =
        PostOutgoingArticle(worker(), run::kUbb, kFile, 1, [&](std::string_view, std::string_view) {
          ++sends_;
          std::filesystem::remove(path);
          std::filesystem::create_directory(path);
          return FormResponse(Form::kAnswered, response_);
        });
    EXPECT_TRUE(first);
    EXPECT_EQ(sends_, 1);
    EXPECT_TRUE(LogHas("? 14:03:59  QUORIX #2: Error deleting " + name + "\r\n")) << Log();
    ASSERT_TRUE(bases::FindPendingPost(run(), name).has_value());
    EXPECT_TRUE(bases::FindPendingPost(run(), name)->seen);

    std::filesystem::remove(path);
    Spool(article);  // the reader let go of it
    EXPECT_TRUE(Post());
    EXPECT_EQ(sends_, 1) << "not sent again";
    EXPECT_FALSE(Spooled());
    EXPECT_FALSE(dir_.Exists("QUORIX.PND"));
  }
}

// A confirmed new topic or reply with a Message-ID stays recorded for the
// harvest, which is to replace the reader's copy by the forum's; without a
// Message-ID, or for an edit, nothing stays.
TEST_F(PosterTest, AConfirmedPostWithAMessageIdWaitsForTheHarvest) {
  const std::string reply =
      "Newsgroups: de.test.forum\r\nSubject: Re: Hi\r\nMessage-ID: <out1@reader.invalid>\r\n"
      "References: <de.test.forum@forum3.000123.html.0.ab>\r\n\r\nMy reply\r\n";
  struct Case {
    std::string article;
    bool kept;
  };
  const Case cases[] = {
      {reply, true},
      {"Message-ID: <out2@reader.invalid>\r\n" + std::string(kNewTopic), true},
      {kNewTopic, false},
      {"Message-ID: <out3@reader.invalid>\r\nSupersedes: <de.test.forum@forum3.000123.html.2.ab>"
       "\r\nSubject: x\r\n\r\nNew\r\n",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.article);
    std::filesystem::remove(dir_.PathOf("QUORIX.PND"));
    Spool(c.article);
    EXPECT_TRUE(Post());
    EXPECT_FALSE(Spooled());
    EXPECT_EQ(dir_.Exists("QUORIX.PND"), c.kept);
    if (!c.kept) continue;
    const std::vector<run::PendingPost> saved = bases::ParsePendingPosts(dir_.Read("QUORIX.PND"));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_TRUE(saved[0].posted);
    EXPECT_EQ(saved[0].outgoing_id,
              c.article == reply ? "<out1@reader.invalid>" : "<out2@reader.invalid>");
    EXPECT_EQ(saved[0].confirmed, "20040305");  // the test clock's day
    EXPECT_FALSE(bases::FindPendingPost(run(), saved[0].file).has_value());
  }
  // The harvest brings the reply: its copy replaces the outgoing article.
  Spool(reply);
  EXPECT_TRUE(Post());
  EXPECT_EQ(
      bases::WatchHarvestedPost(run(), {run().log, 1}, "<de.test.forum@forum3.000123.html.3.cd>",
                                "Tester", "My reply\r\n[I]## CP[/I]"),
      "<out1@reader.invalid>");
}

TEST_F(PosterTest, EmptySuccessTextsNeverConfirm) {
  slot().forum_template = run::ForumTemplate();
  response_ = "HTTP/1.0 200 OK\r\n\r\nanything";
  Spool(kNewTopic);
  EXPECT_FALSE(Post());
  EXPECT_TRUE(Spooled());
}

TEST_F(PosterTest, AnySuccessTextConfirmsAnyAction) {
  response_ = "HTTP/1.0 200 OK\r\n\r\nPost deleted";
  Spool("Control: cancel <de.test.forum@forum3.000123.html.2.ab>\r\nSubject: x\r\n\r\n");
  EXPECT_TRUE(Post());
  EXPECT_EQ(body_,
            "DeletePost=yes&UserName=Tester&Password=secret%26x&EditedMessage=%0D%0A"
            "&action=submitedit&TopicSubject=x&forum=General+Talk&ReplyNum=000002&number=3"
            "&topic=&SUBMIT=Submit+Now");
  EXPECT_FALSE(Spooled());
}

TEST_F(PosterTest, ThreadsReplyIsSubmittedAndConfirmed) {
  Spool("Subject: Re: Topic\nReferences: <de.test.board@forum12.4711.4700.3.9f>\n\nAnswer\n");
  EXPECT_TRUE(Post(run::kUbbThreads));
  EXPECT_EQ(path_, "/cgi-bin/addpost.php");
  EXPECT_EQ(body_,
            "postername=Tester&Board=FOR12&Cat=&Reged=y&page=0&Main=4711&Parent=4700"
            "&view=expanded&what=showflat&sb=5&o=&fpart=1&vc=1&replyto=Edvin+Tolland"
            "&Subject=Topic&Icon=book.gif&convert=markup&Body=%0D%0AAnswer%0D%0A"
            "%5BI%5D%23%23+%2C+via+QUORIX+v0%2E23g%5B%2FI%5D&textcont=Weiter");
  EXPECT_FALSE(Spooled());
}

TEST_F(PosterTest, MissingFileIsNotCreated) {
  slot().status.Set("before");
  EXPECT_FALSE(Post());
  EXPECT_EQ(sends_, 0);
  EXPECT_FALSE(Spooled());
  EXPECT_EQ(slot().status.Get(), "");
  EXPECT_TRUE(LogHas("? 14:03:59  QUORIX #2: Error (2) Opening "));
}

TEST_F(PosterTest, EmptyFilesAreNotPostedAndStay) {
  for (std::string content : {"", "\n", "\r\n\r\n\n", "no line end"}) {
    Spool(content);
    EXPECT_FALSE(Post());
    EXPECT_EQ(sends_, 0) << content;
    EXPECT_TRUE(Spooled());
    EXPECT_EQ(slot().status.Get(), "Error posting Article");
  }
  EXPECT_TRUE(LogHas("? 14:03:59  QUORIX #2: Empty article: "));
}

TEST_F(PosterTest, HeadersWithoutBodyArePosted) {
  Spool("Newsgroups: de.test.forum\nSubject: Only headers\n");
  EXPECT_TRUE(Post());
  EXPECT_NE(body_.find("&Message=%5BI%5D%23%23+%2C+via"), std::string::npos) << body_;
}

TEST_F(PosterTest, BinaryBytesAreEncoded) {
  static constexpr char kBinary[] = "Subject: \x01\xff\n\n\x00\x80\x1b\n";
  Spool(std::string(kBinary, sizeof(kBinary) - 1));
  slot().forum_charset = text::Charset::kLatin1;
  EXPECT_TRUE(Post());
  EXPECT_NE(body_.find("&TopicSubject=%01%FF&Message=%0D%0A%00%80%1B%0D%0A"), std::string::npos)
      << body_;
}

TEST_F(PosterTest, EightBitTextIsConvertedToTheForumsCharset) {
  // Written in the reader in ISO-8859-1 (no Content-Type), posted to a
  // forum whose pages were UTF-8; the forum's euro sign stays one character.
  Spool(
      "Subject: Gr\xFC\xDF"
      "e\n\n5 \x80\n");
  slot().forum_charset = text::Charset::kUtf8;
  EXPECT_TRUE(Post());
  EXPECT_NE(body_.find("&TopicSubject=Gr%C3%BC%C3%9Fe&Message=%0D%0A5+%E2%82%AC%0D%0A"),
            std::string::npos)
      << body_;
  // A UTF-8 article (declared) to an ISO-8859-1 forum (configured): what the
  // forum's set lacks goes as a character reference.
  Spool("Content-Type: text/plain; charset=UTF-8\nSubject: \xC3\xBC\n\n\xF0\x9F\x98\x80\n");
  slot().web.charset = "ISO-8859-1";
  slot().forum_charset = text::Charset::kUtf8;
  EXPECT_TRUE(Post());
  EXPECT_NE(body_.find("&TopicSubject=%FC&Message=%0D%0A%26%23128512%3B%0D%0A"), std::string::npos)
      << body_;
}

TEST_F(PosterTest, EightBitTextWaitsWhileTheForumsCharsetIsUnknown) {
  Spool(
      "Subject: Gr\xFC\xDF"
      "e\n\nx\n");
  EXPECT_FALSE(Post());
  EXPECT_EQ(sends_, 0);
  EXPECT_TRUE(Spooled());
  EXPECT_TRUE(LogHas("? 14:03:59  QUORIX #2: Forum character set unknown, article kept: "));
}

TEST_F(PosterTest, OversizedFileIsNotPosted) {
  Spool("Subject: big\n\n" + std::string(kMaxOutgoingFileSize, 'x') + "\n");
  EXPECT_FALSE(Post());
  EXPECT_EQ(sends_, 0);
  EXPECT_TRUE(Spooled());
  EXPECT_TRUE(LogHas("? 14:03:59  QUORIX #2: Article too large: "));
}

TEST_F(PosterTest, LargeBodyJustBelowTheLimitIsPosted) {
  Spool("Subject: big\n\n" + std::string(4 * 1024 * 1024, 'x') + "\n");
  EXPECT_TRUE(Post());
  const std::string expected =
      "UserName=Tester&Password=secret%26x&TopicSubject=big&Message=%0D%0A" +
      std::string(4 * 1024 * 1024, 'x') +
      "%0D%0A%5BI%5D%23%23+%2C+via+QUORIX+v0%2E23g%5B%2FI%5D&number=&forum=&action=posttopic"
      "&Submit=Submit+New+Topic";
  EXPECT_TRUE(body_ == expected);
}

TEST_F(PosterTest, WithoutServerNothingIsConfirmed) {
  // The real HTTP client: no server configured gives an empty answer.
  slot().web.server = "";
  Spool(kNewTopic);
  EXPECT_FALSE(PostUbbArticle(worker(), kFile, 1));
  EXPECT_FALSE(PostThreadsArticle(worker(), kFile, 2));
  EXPECT_TRUE(Spooled());
  EXPECT_EQ(slot().status.Get(), "Error posting Article");
  EXPECT_EQ(slot().activity.Get(), "Posting Article 2 (Re: Hello)");
}

// POSTED.HTML is kept in the current directory, as the reader expects it.
class PostedHtmlTest : public ::testing::Test {
 protected:
  PostedHtmlTest() { std::filesystem::current_path(dir_.path()); }
  run::Run& run() { return test_run_.run; }

  testing::ScratchDir dir_;
  platform::testing::CurrentDirectoryGuard back_;  // after dir_: restored before it goes
  testing::TestRun test_run_;
};

TEST_F(PostedHtmlTest, TheAnswerReplacesTheLastOneWholeAndAKilledRunsCopyGoes) {
  dir_.Write(kPostedHtmlFile, std::string(5000, 'x'));
  const std::string leftover = std::string(kPostedHtmlFile) + ".tmp4711-12";
  const std::string alike = std::string(kPostedHtmlFile) + ".tmp.old";
  dir_.Write(leftover, "half an answer");
  dir_.Write(alike, "the user's");

  WritePostedHtml(run(), "short answer");

  EXPECT_EQ(dir_.Read(kPostedHtmlFile), "short answer");
  EXPECT_FALSE(dir_.Exists(leftover));
  EXPECT_TRUE(dir_.Exists(alike));
}

// The program's sender: a form that went out leaves its answer and shows
// "Disconnected"; one that never reached the forum leaves none and shows why.
TEST_F(PostedHtmlTest, TheFormSenderKeepsTheAnswerOfAFormThatWentOut) {
  const std::string reply = "HTTP/1.0 200 OK\r\n\r\nThanks for posting";
  http::testing::TestServer server(http::testing::Reply{reply});
  ASSERT_TRUE(server.listening());
  int closed_port = 0;
  {
    http::testing::TestServer gone(http::testing::Reply{""});
    closed_port = gone.port();
  }
  struct Case {
    int port;
    const char* answer;
    const char* status;
    int error;
  };
  const Case cases[] = {{server.port(), reply.c_str(), "Disconnected", 0},
                        {closed_port, nullptr, "Host not found", 1}};
  for (const Case& c : cases) {
    std::filesystem::remove(dir_.PathOf(kPostedHtmlFile));
    testing::TestRun fresh;
    run::Slot& slot = fresh.run.slots[kSlot];
    slot.web.server = "127.0.0.1";
    slot.web.port = c.port;
    slot.web.port_valid = true;
    slot.web.timeout_seconds = 5;

    const http::Response response =
        HttpFormSender(worker::Worker(fresh.run, fresh.run.slots[kSlot], kSlot))("/p.cgi", "a=1");

    EXPECT_EQ(response.text, c.answer ? c.answer : "");
    EXPECT_EQ(dir_.Exists(kPostedHtmlFile), c.answer != nullptr);
    if (c.answer) {
      EXPECT_EQ(dir_.Read(kPostedHtmlFile), c.answer);
    }
    EXPECT_EQ(slot.status.Get(), c.status);
    EXPECT_EQ(slot.error.load(), c.error);
    EXPECT_EQ(slot.activity.Get(), c.answer ? "Posting Article(s)" : "");
  }
}

TEST_F(PostedHtmlTest, TwoSlotsPostingAtOnceLeaveOneWholeAnswer) {
  const std::string answer_a(300000, 'a');
  const std::string answer_b(300000, 'b');
  http::testing::TestServer server_a(http::testing::Reply{answer_a});
  http::testing::TestServer server_b(http::testing::Reply{answer_b});
  for (const auto& [number, server] : {std::pair{1, &server_a}, std::pair{2, &server_b}}) {
    ASSERT_TRUE(server->listening());
    run::Slot& slot = run().slots[static_cast<size_t>(number)];
    slot.web.server = "127.0.0.1";
    slot.web.port = server->port();
    slot.web.port_valid = true;
    slot.web.timeout_seconds = 5;
  }
  auto post_a = std::async(std::launch::async, [&] {
    return HttpFormSender(worker::Worker(run(), run().slots[1], 1))("/p", "x=1").text;
  });
  auto post_b = std::async(std::launch::async, [&] {
    return HttpFormSender(worker::Worker(run(), run().slots[2], 2))("/p", "x=2").text;
  });
  EXPECT_EQ(post_a.get(), answer_a);
  EXPECT_EQ(post_b.get(), answer_b);

  const std::string posted = dir_.Read(kPostedHtmlFile);
  EXPECT_TRUE(posted == answer_a || posted == answer_b);
}

}  // namespace
}  // namespace quorix::posting
