#include "bases/pending_posts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "bases/test_installation.h"

namespace quorix::bases {
namespace {

// An outgoing text against the same post as a forum shows it after the
// harvest's filters: reformatting must still match, another text must not.
TEST(PendingPostWords, ReformattedPostsMatchOtherTextsDoNot) {
  struct Case {
    const char* posted;
    const char* harvested;
    bool match;
  };
  const Case cases[] = {
      {"\r\nHello World,\r\nsecond line!\r\n",
       "hello world, second line! [I]## XP2, via QUORIX[/I]", true},
      {"\r\n[B]Bold[/B] & <b>tags</b>\r\n", "<b>Bold</b> &amp; tags", true},
      {"\r\nTom &amp; Jerry\r\n", "Tom & Jerry", true},
      {"\r\nquote:\r\n------------------\r\n> x\r\n", "quote: x", true},
      {"\r\n\x84hnlich \x81"
       "ber\r\n",
       "\x84hnlich \x81"
       "ber",
       true},
      {"\r\nHello World\r\n", "Hello Worlds", false},
      {"\r\nHello World\r\n", "Well, Hello there, World", false},
      {"\r\n\r\n", "anything", false},  // an empty text matches nothing
      {"\r\nlong [not a tag because it has blanks] here",
       "long not a tag because it has blanks here", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WordsMatch(PostWords(c.posted), PostWords(c.harvested)), c.match) << c.posted;
  }
  EXPECT_EQ(PostWords("A<br>B&nbsp;C[i]D[/i]  e-F"), "a b c d e f");
}

class PendingPostsTest : public ::testing::Test {
 protected:
  run::PendingPost Entry(const std::string& file, const std::string& words) {
    run::PendingPost post;
    post.file_crc = 0x0badf00d;
    post.file = t_.dir() + "/SPOOL/" + file;
    post.user = "Tester";
    post.id_prefix = "<de.test@forum3.";
    post.words = PostWords(words);
    return post;
  }
  // A confirmed post of box `box` ("SPOOL" or another spool folder).
  run::PendingPost Posted(const std::string& words, const std::string& id, const std::string& day,
                          const std::string& box = "SPOOL") {
    run::PendingPost post = Entry("n0001.OUT", words);
    post.file = t_.dir() + "/" + box + "/n0001.OUT";
    post.posted = true;
    post.outgoing_id = id;
    post.confirmed = day;
    return post;
  }
  std::string Watch(const std::string& author, const std::string& body,
                    const std::string& id = "<de.test@forum3.000001.html.1.ab>") {
    return WatchHarvestedPost(run(), Log(), id, author, body);
  }
  std::vector<run::PendingPost> Saved() const {
    return ParsePendingPosts(t_.Read(std::string(kPendingPostsFile)));
  }
  testing::TestInstallation t_;
  run::Run& run() { return t_.run(); }
  log::ThreadLog Log() { return {t_.run().log, 1}; }
};

TEST_F(PendingPostsTest, OnlyANewPostOfItsForumByTheUserWithItsWordsMarksItSeen) {
  ASSERT_TRUE(RecordPendingPost(run(), Entry("n0001.OUT", "Hello forum"), Log()));
  ASSERT_TRUE(RecordPendingPost(run(), Entry("n0002.OUT", "Another text"), Log()));
  const std::string first = t_.dir() + "/SPOOL/n0001.OUT";

  WatchHarvestedPost(run(), Log(), "<de.test@forum4.000001.html.1.ab>", "Tester", "Hello forum");
  WatchHarvestedPost(run(), Log(), "<de.test@forum3.000001.html.1.ab>", "Someone", "Hello forum");
  WatchHarvestedPost(run(), Log(), "<de.test@forum3.000001.html.1.ab>", "Tester", "Hello world");
  EXPECT_FALSE(FindPendingPost(run(), first)->seen) << "other forum, author or text";

  WatchHarvestedPost(run(), Log(), "<de.test@forum3.000001.html.1.ab>", " tester ",
                     "<p>Hello <b>forum</b></p>[I]## XP2, via QUORIX v0.23g[/I]");
  EXPECT_TRUE(FindPendingPost(run(), first)->seen);
  EXPECT_FALSE(FindPendingPost(run(), t_.dir() + "/SPOOL/n0002.OUT")->seen);
  EXPECT_NE(t_.LogMessages().find("Article " + first +
                                  " is on the forum as <de.test@forum3.000001.html.1.ab>"),
            std::string::npos)
      << t_.LogMessages();

  ForgetPendingPost(run(), first, Log());
  EXPECT_FALSE(FindPendingPost(run(), first).has_value());
  ForgetPendingPost(run(), t_.dir() + "/SPOOL/n0002.OUT", Log());
  EXPECT_FALSE(t_.Exists("QUORIX.PND")) << "an empty record leaves no file";
}

TEST_F(PendingPostsTest, FileRoundTripsAndIgnoresLinesOfOtherShapes) {
  run::PendingPost seen = Entry("n0001.OUT", "Hello");
  seen.seen = true;
  seen.file_crc = 0x1f;
  const std::string content = FormatPendingPosts({seen, Entry("n0002.OUT", "x y")});
  EXPECT_EQ(content.substr(0, kPendingPostsHeader.size()), kPendingPostsHeader);
  EXPECT_NE(content.find("F\t0000001f\t" + seen.file + "\tTester\t<de.test@forum3.\thello\r\n"),
            std::string::npos)
      << content;

  const std::string damaged = content + "S\t1234\tshort crc\tu\tp\tw\r\nS\tonly\tthree\r\n" +
                              "S\t0000000g\tf\tu\tp\tw\r\ncut line without its end";
  const std::vector<run::PendingPost> entries = ParsePendingPosts(damaged);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].seen);
  EXPECT_EQ(entries[0].file_crc, 0x1fu);
  EXPECT_EQ(entries[1].words, "x y");
  EXPECT_EQ(FormatPendingPosts(entries), content);
}

// A posted record adds its two fields at the end of the line, so that the
// sent and found records read as before; a posted line of any other shape is
// ignored like any other.
TEST_F(PendingPostsTest, PostedRecordsAddTwoFieldsAndOtherShapesAreIgnored) {
  const run::PendingPost sent = Entry("n0002.OUT", "x y");
  const run::PendingPost posted = Posted("Hello", "<out1@reader.invalid>", "20041005");
  const std::string content = FormatPendingPosts({sent, posted});
  EXPECT_EQ(content, std::string(kPendingPostsHeader) + "S\t0badf00d\t" + sent.file +
                         "\tTester\t<de.test@forum3.\tx y\r\n"
                         "P\t0badf00d\t" +
                         posted.file +
                         "\tTester\t<de.test@forum3.\thello\t<out1@reader.invalid>\t20041005\r\n");
  const std::string tail = "\tTester\t<de.test@forum3.\thello";
  const char* const ignored[] = {
      "\t<o@r>\t20041005\tmore",  // nine fields
      "\t<o@r>",                  // seven
      "",                         // six
      "\t\t20041005",             // no Message-ID
      "\t<o@r>\t20041305",        // no day
      "\t<o@r>\t2004105",
      "\t<o@r>\t19691231",
      "\t<o@r>\t2004100a",
  };
  for (const char* fields : ignored) {
    SCOPED_TRACE(fields);
    const std::string line = "P\t0badf00d\t" + posted.file + tail + fields + "\r\n";
    const std::vector<run::PendingPost> entries = ParsePendingPosts(content + line);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(FormatPendingPosts(entries), content);
  }
  const std::vector<run::PendingPost> entries =
      ParsePendingPosts(content + "S\t0badf00d\t" + sent.file + tail + "\t<o@r>\t20041005\r\n");
  ASSERT_EQ(entries.size(), 2u) << "a sent record has no such fields";
  EXPECT_FALSE(entries[0].posted);
  EXPECT_TRUE(entries[1].posted);
  EXPECT_EQ(entries[1].outgoing_id, "<out1@reader.invalid>");
  EXPECT_EQ(entries[1].confirmed, "20041005");
}

TEST(PendingPostDays, DatesFrom1970OnOnly) {
  const std::pair<const char*, int64_t> cases[] = {
      {"19700101", 0},     {"20041005", 12696}, {"20040229", 12477}, {"20000301", 11017},
      {"20991231", 47481}, {"19691231", -1},    {"20041305", -1},    {"20041000", -1},
      {"2004105", -1},     {"200410051", -1},   {"2004-105", -1},    {"", -1}};
  for (const auto& [day, number] : cases) EXPECT_EQ(DayNumber(day), number) << day;
}

// A confirmed new topic or reply stays recorded until the harvest brings it:
// one forum post (of its forum, by its user, with its words) takes it, and
// the record goes only once that post was delivered.
TEST_F(PendingPostsTest, AConfirmedPostWaitsForTheHarvestThatDeliversIt) {
  const run::PendingPost sent = Entry("n0001.OUT", "Hello forum");
  ASSERT_TRUE(RecordPendingPost(run(), sent, Log()));
  ASSERT_TRUE(ConfirmPendingPost(run(), sent, "<out1@reader.invalid>", Log()));
  EXPECT_FALSE(FindPendingPost(run(), sent.file).has_value()) << "the file is gone";
  ASSERT_EQ(Saved().size(), 1u);
  EXPECT_EQ(FormatPendingPosts(Saved()),
            FormatPendingPosts({Posted("Hello forum", "<out1@reader.invalid>", "20041005")}));

  // The reader reuses the name: the new file's records leave the posted one.
  ASSERT_TRUE(RecordPendingPost(run(), Entry("n0001.OUT", "Other"), Log()));
  ForgetPendingPost(run(), sent.file, Log());
  ASSERT_EQ(Saved().size(), 1u);

  EXPECT_EQ(Watch("Tester", "Hello forum", "<de.test@forum4.000001.html.1.ab>"), "");
  EXPECT_EQ(Watch("Anna", "Hello forum"), "");
  EXPECT_EQ(Watch("Tester", "Hello world"), "");
  EXPECT_EQ(Watch(" TESTER", "<p>Hello <b>forum</b></p>"), "<out1@reader.invalid>");
  EXPECT_EQ(Watch("Tester", "Hello forum"), "") << "taken by the post before";
  SettleOwnPosts(run(), Log(), {}, {"<out1@reader.invalid>"});
  EXPECT_EQ(Saved().size(), 1u) << "not delivered: kept";
  EXPECT_EQ(Watch("Tester", "Hello forum"), "<out1@reader.invalid>");
  SettleOwnPosts(run(), Log(), {"<out1@reader.invalid>"}, {});
  EXPECT_FALSE(t_.Exists(std::string(kPendingPostsFile)));
  EXPECT_EQ(Watch("Tester", "Hello forum"), "");
}

TEST_F(PendingPostsTest, WithoutAMessageIdAConfirmedPostLeavesNoRecord) {
  const run::PendingPost sent = Entry("n0001.OUT", "Hello forum");
  ASSERT_TRUE(RecordPendingPost(run(), sent, Log()));
  ASSERT_TRUE(ConfirmPendingPost(run(), sent, "", Log()));
  EXPECT_FALSE(t_.Exists(std::string(kPendingPostsFile)));

  // Found on the forum (its file could not be deleted): that record stays.
  run::PendingPost found = sent;
  found.seen = true;
  ASSERT_TRUE(RecordPendingPost(run(), found, Log()));
  ASSERT_TRUE(ConfirmPendingPost(run(), sent, "<o@r>", Log()));
  ASSERT_EQ(Saved().size(), 2u);
  EXPECT_TRUE(FindPendingPost(run(), sent.file)->seen);
}

// Older than 30 days, a posted record is no longer matched and goes with the
// next confirmation; a box keeps at most 200, the oldest going first, and
// another box's records stay.
TEST_F(PendingPostsTest, PostedRecordsAreBoundedInAgeAndCountPerBox) {
  std::vector<run::PendingPost> entries = {Posted("too old", "<old@r>", "20040904"),
                                           Posted("just in time", "<edge@r>", "20040905"),
                                           Posted("other box", "<b@r>", "20040920", "BOX2")};
  for (int i = 0; i < 198; ++i) {
    entries.push_back(
        Posted("post " + std::to_string(i), "<" + std::to_string(i) + "@r>", "20041001"));
  }
  t_.Write(std::string(kPendingPostsFile), FormatPendingPosts(entries));
  EXPECT_EQ(Watch("Tester", "too old"), "");
  EXPECT_EQ(Watch("Tester", "just in time"), "<edge@r>");

  auto ids = [this] {
    std::vector<std::string> ids;
    for (const run::PendingPost& post : Saved()) ids.push_back(post.outgoing_id);
    return ids;
  };
  ASSERT_TRUE(ConfirmPendingPost(run(), Entry("n0005.OUT", "new"), "<new1@r>", Log()));
  std::vector<std::string> saved = ids();
  ASSERT_EQ(saved.size(), 201u);
  EXPECT_EQ(saved[0], "<edge@r>") << "the expired one went";
  EXPECT_EQ(saved[1], "<b@r>") << "another box keeps its records";
  EXPECT_EQ(saved.back(), "<new1@r>");

  ASSERT_TRUE(ConfirmPendingPost(run(), Entry("n0006.OUT", "newer"), "<new2@r>", Log()));
  saved = ids();
  ASSERT_EQ(saved.size(), 201u);
  EXPECT_EQ(saved[0], "<b@r>") << "the box's oldest went";
  EXPECT_EQ(saved.back(), "<new2@r>");

  // The same Message-ID again replaces its record.
  ASSERT_TRUE(ConfirmPendingPost(run(), Entry("n0007.OUT", "again"), "<new1@r>", Log()));
  saved = ids();
  ASSERT_EQ(saved.size(), 201u);
  EXPECT_EQ(std::count(saved.begin(), saved.end(), "<new1@r>"), 1);
  EXPECT_EQ(saved.back(), "<new1@r>");
}

// A killed instance's temporary copy of the file goes with the next rewrite;
// a file that merely starts alike stays.
TEST_F(PendingPostsTest, RewriteDeletesAKilledInstancesTemporaryCopy) {
  const std::string name(kPendingPostsFile);
  t_.Write(name + ".tmp4960-973091", "half");
  t_.Write(name + ".tmp.bak", "the user's");
  ASSERT_TRUE(RecordPendingPost(run(), Entry("n0001.OUT", "one"), Log()));
  EXPECT_FALSE(t_.Exists(name + ".tmp4960-973091"));
  EXPECT_TRUE(t_.Exists(name + ".tmp.bak"));
  EXPECT_TRUE(FindPendingPost(run(), t_.dir() + "/SPOOL/n0001.OUT").has_value());
}

TEST_F(PendingPostsTest, TwoInstancesKeepEachOthersEntries) {
  // A second Run on the same program directory stands for another process.
  platform::HeadlessConsole console(25, 80, false);
  platform::testing::FakeClock clock;
  clock.Set(testing::TestInstallation::kTime);
  platform::testing::FakeSleeper sleeper;
  run::Run other(clock, sleeper, console);
  other.env.program_dir = run().env.program_dir;

  WatchHarvestedPost(run(), Log(), "<x@forum1.1.1.1.a>", "u", "b");  // loads the empty file
  ASSERT_TRUE(RecordPendingPost(other, Entry("n0001.OUT", "one"), {other.log, 1}));
  ASSERT_TRUE(RecordPendingPost(run(), Entry("n0002.OUT", "two"), Log()));
  EXPECT_TRUE(FindPendingPost(other, t_.dir() + "/SPOOL/n0001.OUT").has_value());
  EXPECT_TRUE(FindPendingPost(other, t_.dir() + "/SPOOL/n0002.OUT").has_value());
}

// A file that exists but cannot be read whole is not an empty file: writing it
// back would drop every other instance's records. No record is written, the
// file stays as it was, and each refusal is logged.
TEST_F(PendingPostsTest, AFileThatCannotBeReadIsNeverRewritten) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
  };
  const std::vector<Case> cases = {
      {"larger than any file written here",
       [](const std::string& path) {
         std::ofstream(path, std::ios::binary) << kPendingPostsHeader;
         std::filesystem::resize_file(path, 64 * 1024 * 1024 + 1);  // sparse
       }},
#ifdef __linux__
      {"a read error",
       [](const std::string& path) {
         // Reading this process's memory at address 0 fails (EIO).
         std::filesystem::create_symlink("/proc/self/mem", path);
       }},
#endif
  };
  const std::string path = t_.Path(std::string(kPendingPostsFile));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(path);
    c.make(path);
    const auto size = std::filesystem::file_size(path);
    const size_t logged = t_.LogMessages().size();

    EXPECT_FALSE(PendingPostsReadable(run(), Log()));
    EXPECT_FALSE(RecordPendingPost(run(), Entry("n0001.OUT", "one"), Log()));
    ForgetPendingPost(run(), t_.dir() + "/SPOOL/n0001.OUT", Log());
    EXPECT_EQ(std::filesystem::file_size(path), size) << "untouched";
    const std::string log = t_.LogMessages().substr(logged);
    size_t count = 0;
    for (size_t at = 0; (at = log.find("Error reading QUORIX.PND", at)) != std::string::npos;
         ++at) {
      ++count;
    }
    EXPECT_EQ(count, 3u) << log;
  }
  std::filesystem::remove(path);
  EXPECT_TRUE(PendingPostsReadable(run(), Log())) << "a missing file is an empty one";
  EXPECT_TRUE(RecordPendingPost(run(), Entry("n0001.OUT", "one"), Log()));
}

#ifndef _WIN32
// Without its lock file the rewrite could lose another instance's records:
// nothing is written, and the caller sends nothing.
TEST_F(PendingPostsTest, NoRecordIsWrittenWithoutTheCrossProcessLock) {
  const char* saved = std::getenv("TMPDIR");
  const std::string saved_value = saved != nullptr ? saved : "";
  ASSERT_EQ(::setenv("TMPDIR", (t_.dir() + "/missing").c_str(), 1), 0);
  platform::HeadlessConsole console(25, 80, false);
  platform::testing::FakeClock clock;
  clock.Set(testing::TestInstallation::kTime);
  platform::testing::FakeSleeper sleeper;
  run::Run other(clock, sleeper, console);
  if (saved != nullptr) {
    ::setenv("TMPDIR", saved_value.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  other.env.program_dir = run().env.program_dir;

  EXPECT_FALSE(RecordPendingPost(other, Entry("n0001.OUT", "one"), {other.log, 1}));
  EXPECT_FALSE(t_.Exists(std::string(kPendingPostsFile)));
  EXPECT_TRUE(RecordPendingPost(run(), Entry("n0001.OUT", "one"), Log()));
}
#endif

}  // namespace
}  // namespace quorix::bases
