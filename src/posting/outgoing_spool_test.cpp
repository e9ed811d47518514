#include "posting/outgoing_spool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "run/testing.h"

namespace quorix::posting {
namespace {

constexpr int kSlot = 3;

// Serves `data` and records the size of every read; fails the read numbered
// `fail_at` (1-based) with `fail_result`.
class MemorySource : public SpoolSource {
 public:
  explicit MemorySource(std::string data) : data_(std::move(data)) {}
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  int64_t Read(char* buffer, int64_t size) override {
    reads_.push_back(size);
    if (static_cast<int>(reads_.size()) == fail_at_) return fail_result_;
    int64_t n = std::min<int64_t>(size, static_cast<int64_t>(data_.size()) - position_);
    std::copy_n(data_.data() + position_, n, buffer);
    position_ += n;
    return n;
  }
  void FailAt(int read, int64_t result) {
    fail_at_ = read;
    fail_result_ = result;
  }
  const std::vector<int64_t>& reads() const { return reads_; }

 private:
  std::string data_;
  int64_t position_ = 0;
  std::vector<int64_t> reads_;
  int fail_at_ = 0;
  int64_t fail_result_ = 0;
};

class SpoolTest : public ::testing::Test {
 protected:
  SpoolTest() {
    run().log.SetMainLog(log::Logger::OpenLogFile(dir_.PathOf("QUORIX.LOG")), "");
    run::WebSettings& web = run().slots[kSlot].web;
    web.server = "forum.example";
    web.spool = dir_.Prefix() + "SPOOL\\";
    web.posting = 1;
    web.engine = run::kUbb;
    std::filesystem::create_directories(dir_.PathOf("SPOOL"));
  }

  run::Run& run() { return test_run_.run; }
  run::Slot& slot() { return run().slots[kSlot]; }
  worker::Worker worker() { return worker::Worker(run(), run().slots[kSlot], kSlot); }
  std::string Log() const { return dir_.Read("QUORIX.LOG"); }
  void Spool(const std::string& name, const std::string& content = "Subject: x\n") {
    dir_.Write("SPOOL/" + name, content);
  }

  // Every line up to and including the one returned with the end flag.
  std::vector<std::string> ReadLines(SpoolSource& source, SpoolLineReader* reader = nullptr) {
    SpoolLineReader local;
    SpoolLineReader& state = reader != nullptr ? *reader : local;
    std::vector<std::string> lines;
    do {
      lines.push_back(ReadSpoolLine(source, state, worker().log()));
    } while (state.end_flag == 0 && lines.size() < 10000000);
    return lines;
  }
  std::vector<std::string> ReadLines(const std::string& content) {
    MemorySource source(content);
    return ReadLines(source);
  }

  struct Call {
    int engine;
    std::string file_name;
    int article_number;
    std::string status;
    size_t sleeps_before;
  };
  ArticlePoster Recorder() {
    return [this](const worker::Worker& w, int engine, std::string_view file_name, int number) {
      EXPECT_EQ(w.tag(), kSlot);
      calls_.push_back({engine, std::string(file_name), number, w.slot().status.Get(),
                        test_run_.sleeper.sleeps().size()});
      return true;
    };
  }

  testing::ScratchDir dir_;
  testing::TestRun test_run_;
  std::vector<Call> calls_;
};

TEST_F(SpoolTest, CrLfAndLfGiveTheSameLines) {
  const std::vector<std::string> expected = {"Subject: a", "", "body", "end"};
  EXPECT_EQ(ReadLines("Subject: a\r\n\r\nbody\r\nend\r\n"), expected);
  EXPECT_EQ(ReadLines("Subject: a\n\nbody\nend\n"), expected);
}

TEST_F(SpoolTest, CrInsideALineIsRemoved) {
  EXPECT_EQ(ReadLines("a\rb\r\r\nc\r\n"), (std::vector<std::string>{"ab", "c"}));
}

TEST_F(SpoolTest, TextAfterLastLineFeedIsNotReturned) {
  EXPECT_EQ(ReadLines("a\nb"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(ReadLines("no line feed"), (std::vector<std::string>{""}));
  EXPECT_EQ(ReadLines(""), (std::vector<std::string>{""}));
}

TEST_F(SpoolTest, LastLineComesWithTheEndFlag) {
  MemorySource source("a\nb\n");
  SpoolLineReader reader;
  EXPECT_EQ(ReadSpoolLine(source, reader, worker().log()), "a");
  EXPECT_EQ(reader.end_flag, 0);
  EXPECT_EQ(ReadSpoolLine(source, reader, worker().log()), "b");
  EXPECT_EQ(reader.end_flag, 1);
  EXPECT_EQ(reader.line_count, 2);
}

TEST_F(SpoolTest, ReadsInBlocksOf4096) {
  std::string content;
  for (int i = 0; i < 100; ++i) content += std::string(99, static_cast<char>('a' + i % 26)) + "\n";
  ASSERT_EQ(content.size(), 10000u);
  MemorySource source(content);
  SpoolLineReader reader;
  std::vector<std::string> lines = ReadLines(source, &reader);
  EXPECT_EQ(source.reads(), (std::vector<int64_t>{4096, 4096, 1808}));
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[99], std::string(99, 'a' + 99 % 26));
  EXPECT_EQ(reader.line_count, 100);
}

TEST_F(SpoolTest, LineLongerThanABlock) {
  const std::string long_line(10000, 'x');
  EXPECT_EQ(ReadLines("a\n" + long_line + "\nz\n"),
            (std::vector<std::string>{"a", long_line, "z"}));
}

TEST_F(SpoolTest, HugeInputStaysLinear) {
  // Quadratic buffer handling would take minutes on these.
  std::vector<std::string> lines = ReadLines(std::string(2000000, '\n'));
  EXPECT_EQ(lines.size(), 2000000u);
  const std::string one_line(8 * 1024 * 1024, 'y');
  lines = ReadLines(one_line + "\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), one_line.size());
}

TEST_F(SpoolTest, ReadErrorEndsTheFileWithAnEmptyLine) {
  MemorySource source("first\n" + std::string(5000, 's') + "\nlast\n");
  source.FailAt(2, -1);
  EXPECT_EQ(ReadLines(source), (std::vector<std::string>{"first", ""}));
  EXPECT_NE(Log().find("! 14:03:59  QUORIX #3: Error: parsing file\r\n"), std::string::npos)
      << Log();
}

TEST_F(SpoolTest, FileThatShrinksWhileReadEndsWithoutHanging) {
  MemorySource source(std::string(5000, 's') + "\n");
  source.FailAt(2, 0);
  EXPECT_EQ(ReadLines(source), (std::vector<std::string>{""}));
  EXPECT_NE(Log().find("Error: parsing file"), std::string::npos);
}

TEST_F(SpoolTest, ReadsARealFile) {
  dir_.Write("a.out", "Subject: x\r\n\r\nbody\r\n");
  platform::File file = platform::File::Open(dir_.PathOf("a.out"), platform::Access::kRead,
                                             platform::Sharing::kShared, platform::Missing::kFail);
  ASSERT_TRUE(file.IsOpen());
  SpoolLineReader reader;
  std::vector<std::string> lines;
  do {
    lines.push_back(ReadSpoolLine(file, reader, worker().log()));
  } while (reader.end_flag == 0);
  EXPECT_EQ(lines, (std::vector<std::string>{"Subject: x", "", "body"}));
}

TEST_F(SpoolTest, EmptySpoolSaysNothingToSend) {
  slot().activity.Set("Posting Article 1 (x)");
  ProcessOutgoingSpool(worker(), Recorder());
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(slot().activity.Get(), "");
  EXPECT_EQ(slot().status.Get(), "Nothing to send to forum.example");
  EXPECT_NE(Log().find("  14:03:59  QUORIX #3: Nothing to send to forum.example\r\n"),
            std::string::npos);
}

TEST_F(SpoolTest, MissingSpoolDirectorySaysNothingToSend) {
  slot().web.spool = dir_.Prefix() + "NOSUCH\\";
  ProcessOutgoingSpool(worker(), Recorder());
  EXPECT_EQ(slot().status.Get(), "Nothing to send to forum.example");
}

TEST_F(SpoolTest, PatternTakesFourCharactersAnyCase) {
  for (const char* name : {"n0001.OUT", "N1234.OUT", "n00x2.out", "n12345.OUT", "n123.OUT",
                           "x0001.OUT", "n0001.OUT.bak", "N0001.MSG"}) {
    Spool(name);
  }
  ProcessOutgoingSpool(worker(), Recorder());
  std::vector<std::string> names;
  for (const Call& call : calls_) names.push_back(call.file_name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"N1234.OUT", "n0001.OUT", "n00x2.out"}));
}

TEST(OrderOutgoingFiles, ByNameLetterCaseIgnored) {
  struct Case {
    std::vector<std::string> listed;
    std::vector<std::string> ordered;
  };
  const Case cases[] = {
      {{"n0002.OUT", "n0001.OUT", "n0003.OUT"}, {"n0001.OUT", "n0002.OUT", "n0003.OUT"}},
      {{"n0010.OUT", "N0002.OUT", "n0009.out"}, {"N0002.OUT", "n0009.out", "n0010.OUT"}},
      {{"n00a1.OUT", "n0001.OUT", "N00B1.OUT"}, {"n0001.OUT", "n00a1.OUT", "N00B1.OUT"}},
      {{"n0001.out", "N0001.OUT"}, {"N0001.OUT", "n0001.out"}},  // same name but for case
      {{}, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names = c.listed;
    OrderOutgoingFiles(names);
    EXPECT_EQ(names, c.ordered);
  }
}

TEST_F(SpoolTest, FilesArePostedInNameOrder) {
  // Created newest first, so that a directory listing in creation or hash
  // order would not happen to give the name order.
  for (const char* name : {"n0005.OUT", "n0003.OUT", "n0004.OUT", "n0001.OUT", "n0002.OUT"}) {
    Spool(name);
  }
  ProcessOutgoingSpool(worker(), Recorder());
  std::vector<std::string> names;
  for (const Call& call : calls_) names.push_back(call.file_name);
  EXPECT_EQ(names, (std::vector<std::string>{"n0001.OUT", "n0002.OUT", "n0003.OUT", "n0004.OUT",
                                             "n0005.OUT"}));
}

TEST_F(SpoolTest, FloodingControlBetweenFiles) {
  slot().web.flooding_control = 10;
  for (const char* name : {"n0001.OUT", "n0002.OUT", "n0003.OUT"}) Spool(name);
  ProcessOutgoingSpool(worker(), Recorder());
  EXPECT_EQ(test_run_.sleeper.sleeps(), (std::vector<int>{10000, 10000}));
  ASSERT_EQ(calls_.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(calls_[i].article_number, i + 1);
    EXPECT_EQ(calls_[i].engine, run::kUbb);
    EXPECT_EQ(calls_[i].sleeps_before, static_cast<size_t>(i));  // the first is not delayed
  }
  EXPECT_EQ(calls_[1].status, "Flooding control 10");
  EXPECT_EQ(calls_[2].status, "Flooding control 10");
}

TEST_F(SpoolTest, NoFloodingControlForZeroOrNegative) {
  for (int value : {0, -5}) {
    slot().web.flooding_control = value;
    slot().status.Set("before");
    calls_.clear();
    Spool("n0001.OUT");
    Spool("n0002.OUT");
    ProcessOutgoingSpool(worker(), Recorder());
    EXPECT_EQ(calls_.size(), 2u);
    EXPECT_TRUE(test_run_.sleeper.sleeps().empty());
    EXPECT_EQ(calls_[1].status, "before");
  }
}

TEST_F(SpoolTest, PostingOffSendsNothing) {
  slot().web.posting = 0;
  slot().web.flooding_control = 10;
  Spool("n0001.OUT");
  Spool("n0002.OUT");
  ProcessOutgoingSpool(worker(), Recorder());
  EXPECT_TRUE(calls_.empty());
  EXPECT_TRUE(test_run_.sleeper.sleeps().empty());
}

TEST_F(SpoolTest, UnknownEngineKeepsFilesButStillPauses) {
  slot().web.engine = run::kNoEngine;
  slot().web.flooding_control = 2;
  Spool("n0001.OUT");
  Spool("n0002.OUT");
  ProcessOutgoingSpool(worker());
  EXPECT_EQ(test_run_.sleeper.sleeps(), (std::vector<int>{2000}));
  EXPECT_TRUE(dir_.Exists("SPOOL/n0001.OUT"));
  EXPECT_TRUE(dir_.Exists("SPOOL/n0002.OUT"));
  EXPECT_EQ(Log().find("Posting: "), std::string::npos);
}

TEST_F(SpoolTest, HugeFloodingValueDoesNotOverflow) {
  slot().web.flooding_control = 2147483647;
  Spool("n0001.OUT");
  Spool("n0002.OUT");
  ProcessOutgoingSpool(worker(), Recorder());
  EXPECT_EQ(test_run_.sleeper.sleeps(), (std::vector<int>{2147483647}));
  EXPECT_EQ(calls_[1].status, "Flooding control 2147483647");
}

TEST_F(SpoolTest, PosterRunningOutOfMemorySkipsOnlyThatFile) {
  Spool("n0001.OUT");
  Spool("n0002.OUT");
  int calls = 0;
  ProcessOutgoingSpool(worker(), [&](const worker::Worker&, int, std::string_view, int) -> bool {
    if (++calls == 1) throw std::bad_alloc();
    return true;
  });
  EXPECT_EQ(calls, 2);
  EXPECT_NE(Log().find("! 14:03:59  QUORIX #3: Article not posted\r\n"), std::string::npos);
}

}  // namespace
}  // namespace quorix::posting
