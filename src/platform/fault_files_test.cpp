#include "platform/fault_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/test_util.h"

namespace quorix::platform::testing {
namespace {

using Survival = FaultFiles::Survival;

// Windows writes a rename through (MOVEFILE_WRITE_THROUGH): it is on the disk
// when it returns, without a flush of its directory.
#ifdef _WIN32
constexpr bool kRenamesWriteThrough = true;
#else
constexpr bool kRenamesWriteThrough = false;
#endif

class FaultFilesTest : public ::testing::Test {
 public:
  std::string Path(const std::string& name) const { return dir() + "/" + name; }
  const std::string& dir() const { return scratch_->path(); }
  void Fresh() { scratch_ = std::make_unique<ScratchDir>(); }
  // Creates `name` with `bytes` through the layer.
  void Create(const std::string& name, const std::string& bytes, bool flush) {
    File file = File::Open(Path(name), Access::kReadWrite, Sharing::kShared, Missing::kCreateNew);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Write(bytes));
    if (flush) {
      ASSERT_TRUE(file.Sync());
    }
  }
  void Append(const std::string& name, const std::string& bytes, bool flush) {
    File file = File::Open(Path(name), Access::kAppend, Sharing::kShared, Missing::kFail);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Write(bytes));
    if (flush) {
      ASSERT_TRUE(file.Sync());
    }
  }
  bool FlushDirectory() { return SyncDirectory(dir()); }
  // The file's bytes, or "-" when it does not exist.
  std::string Contents(const std::string& name) const {
    return FileExists(Path(name)) ? ReadTestFile(Path(name)) : "-";
  }

  std::unique_ptr<ScratchDir> scratch_ = std::make_unique<ScratchDir>();
};

// What a power cut that keeps only what was flushed leaves of each sequence.
TEST_F(FaultFilesTest, PowerCutKeepsOnlyWhatWasFlushed) {
  struct Case {
    const char* name;
    std::function<void(FaultFilesTest&)> steps;
    std::string a;  // file "a" afterwards
    std::string b;  // file "b" afterwards
  };
  const Case cases[] = {
      {"new file, nothing flushed", [](FaultFilesTest& t) { t.Create("a", "new", false); }, "-",
       "old"},
      {"new file's data flushed, not its name",
       [](FaultFilesTest& t) { t.Create("a", "new", true); }, "-", "old"},
      {"new file's name flushed, not its data",
       [](FaultFilesTest& t) {
         t.Create("a", "new", false);
         EXPECT_TRUE(t.FlushDirectory());
       },
       "", "old"},
      {"new file flushed whole",
       [](FaultFilesTest& t) {
         t.Create("a", "new", true);
         EXPECT_TRUE(t.FlushDirectory());
       },
       "new", "old"},
      {"old file appended", [](FaultFilesTest& t) { t.Append("b", "+more", false); }, "-", "old"},
      {"old file appended and flushed", [](FaultFilesTest& t) { t.Append("b", "+more", true); },
       "-", "old+more"},
      {"rename, directory not flushed",
       [](FaultFilesTest& t) { EXPECT_TRUE(RenameNew(t.Path("b"), t.Path("a"))); },
       kRenamesWriteThrough ? "old" : "-", kRenamesWriteThrough ? "-" : "old"},
      {"rename, directory flushed",
       [](FaultFilesTest& t) {
         EXPECT_TRUE(RenameNew(t.Path("b"), t.Path("a")));
         EXPECT_TRUE(t.FlushDirectory());
       },
       "old", "-"},
      {"delete, directory not flushed",
       [](FaultFilesTest& t) { EXPECT_TRUE(DeleteFile(t.Path("b"))); }, "-", "old"},
      {"delete, directory flushed",
       [](FaultFilesTest& t) {
         EXPECT_TRUE(DeleteFile(t.Path("b")));
         EXPECT_TRUE(t.FlushDirectory());
       },
       "-", "-"},
      {"crash-safe rewrite",
       [](FaultFilesTest& t) { EXPECT_TRUE(ReplaceFileContents(t.Path("b"), "rewritten")); }, "-",
       "rewritten"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    WriteTestFile(Path("b"), "old");  // on the disk before the layer watches
    {
      FaultFiles faults(dir());
      c.steps(*this);
      faults.PowerCut(Survival::kFlushedOnly);
    }
    EXPECT_EQ(Contents("a"), c.a);
    EXPECT_EQ(Contents("b"), c.b);
    EXPECT_EQ(ListDirectory(dir(), "*").size(), static_cast<size_t>((c.a != "-") + (c.b != "-")));
  }
}

TEST_F(FaultFilesTest, TraceNamesEveryChangeInOrder) {
  FaultFiles faults(dir());
  Create("a", "12345", true);
  {
    File file = File::Open(Path("a"), Access::kReadWrite, Sharing::kShared, Missing::kFail);
    ASSERT_TRUE(file.Seek(2));
    ASSERT_TRUE(file.SetEnd());
  }
  EXPECT_TRUE(FlushDirectory());
  EXPECT_TRUE(RenameOver(Path("a"), Path("c")));
  EXPECT_TRUE(DeleteFile(Path("c")));
  EXPECT_EQ(faults.Trace(),
            (std::vector<std::string>{"create a", "write a 0+5", "sync a", "setend a 2",
                                      "syncdir .", "rename a c", "delete c"}));
  EXPECT_EQ(faults.operations(), 7);
}

// Some of the cache may reach the disk: whatever survives lies between the
// flushed state and the last one, a leading part of the later writes.
TEST_F(FaultFilesTest, SomeOfTheCacheSurvivesAsALeadingPart) {
  std::set<std::string> seen;
  for (uint32_t seed = 0; seed < 40; ++seed) {
    Fresh();
    WriteTestFile(Path("j"), "head;");
    {
      FaultFiles faults(dir());
      Append("j", "one;", false);
      Append("j", "two;", false);
      faults.PowerCut(Survival::kSomeOfTheCache, seed);
    }
    const std::string after = Contents("j");
    EXPECT_EQ(std::string("head;one;two;").substr(0, after.size()), after) << seed;
    EXPECT_GE(after.size(), 5u) << seed;
    seen.insert(after);
  }
  EXPECT_TRUE(seen.contains("head;"));
  EXPECT_TRUE(seen.contains("head;one;two;"));
  EXPECT_GT(seen.size(), 3u);  // torn writes as well
}

TEST_F(FaultFilesTest, FullDiskStopsAWriteAtItsByteAndCuttingFreesSpace) {
  FaultFiles faults(dir());
  faults.SetFreeSpace(dir(), 4);
  File file = File::Open(Path("a"), Access::kReadWrite, Sharing::kShared, Missing::kCreateNew);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_FALSE(file.Write("123456"));
  EXPECT_EQ(LastError(), DiskFullError());
  EXPECT_EQ(file.Size(), 4);
  ASSERT_TRUE(file.Seek(1));
  ASSERT_TRUE(file.SetEnd());
  EXPECT_TRUE(file.Write("abc"));  // the three bytes cut off are free again
  EXPECT_FALSE(file.Write("d"));
  file.Close();
  EXPECT_EQ(ReadTestFile(Path("a")), "1abc");
}

TEST_F(FaultFilesTest, InjectedFaultsFailOnceAndChangeNothing) {
  WriteTestFile(Path("b.txt"), "old");
  FaultFiles faults(dir());
  faults.FailNext(FileOp::kRename, "*.msg");
  faults.FailNext(FileOp::kSync, "b.*");
  faults.FailNext(FileOp::kSyncDirectory, "*");
  faults.FailNext(FileOp::kDelete, "B.TXT");  // letter case ignored

  EXPECT_FALSE(RenameNew(Path("b.txt"), Path("N000001.msg")));
  EXPECT_TRUE(RenameNew(Path("b.txt"), Path("c.txt")));  // another name: not this fault
  EXPECT_TRUE(RenameNew(Path("c.txt"), Path("b.txt")));
  File file = File::Open(Path("b.txt"), Access::kReadWrite, Sharing::kShared, Missing::kFail);
  EXPECT_FALSE(file.Sync());
  EXPECT_TRUE(file.Sync());
  file.Close();
  EXPECT_FALSE(FlushDirectory());
  EXPECT_TRUE(FlushDirectory());
  EXPECT_FALSE(DeleteFile(Path("b.txt")));
  EXPECT_EQ(ReadTestFile(Path("b.txt")), "old");
  EXPECT_TRUE(DeleteFile(Path("b.txt")));
}

TEST_F(FaultFilesTest, AfterThePowerFailsNothingChanges) {
  FaultFiles faults(dir());
  faults.CutPowerAfter(2);
  File file = File::Open(Path("a"), Access::kReadWrite, Sharing::kShared, Missing::kCreateNew);
  EXPECT_TRUE(file.Write("one"));
  EXPECT_FALSE(file.Write("two"));
  EXPECT_FALSE(file.Sync());
  file.Close();
  EXPECT_FALSE(
      File::Open(Path("b"), Access::kReadWrite, Sharing::kShared, Missing::kCreate).IsOpen());
  EXPECT_FALSE(ReplaceFileContents(Path("a"), "new"));
  EXPECT_EQ(ReadTestFile(Path("a")), "one");
  EXPECT_EQ(faults.operations(), 2);
  EXPECT_EQ(ListDirectory(dir(), "*"), std::vector<std::string>{"a"});

  faults.PowerCut(Survival::kFlushedOnly);
  EXPECT_FALSE(FileExists(Path("a")));
  Create("a", "back", false);  // the power is on again
  EXPECT_EQ(ReadTestFile(Path("a")), "back");
}

TEST_F(FaultFilesTest, FilesOutsideTheDirectoryAreNotWatched) {
  ScratchDir outside;
  FaultFiles faults(dir());
  faults.CutPowerAfter(0);
  File file =
      File::Open(outside.path() + "/log", Access::kAppend, Sharing::kShared, Missing::kCreate);
  EXPECT_TRUE(file.Write("line"));
  file.Close();
  faults.PowerCut(Survival::kFlushedOnly);
  EXPECT_EQ(ReadTestFile(outside.path() + "/log"), "line");
  EXPECT_TRUE(faults.Trace().empty());
}

}  // namespace
}  // namespace quorix::platform::testing
