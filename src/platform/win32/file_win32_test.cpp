// Files on Windows: the sharing rules between two opens, creation, listing
// by wildcard and the crash-safe rewrite.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/file.h"
#include "platform/test_util.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

using testing::ReadTestFile;
using testing::ScratchDir;
using testing::WriteTestFile;

struct OpenMode {
  Access access;
  Sharing sharing;
};

// What a second opener gets while the first holds the file.
TEST(FileOpenWin32, SharingBetweenTwoOpens) {
  struct Case {
    const char* what;
    OpenMode first;
    OpenMode second;
    bool second_opens;
    bool second_writes;
  };
  const Case cases[] = {
      {"second log instance",
       {Access::kAppend, Sharing::kExclusive},
       {Access::kAppend, Sharing::kExclusive},
       false,
       false},
      {"reader of a held log",
       {Access::kAppend, Sharing::kExclusive},
       {Access::kRead, Sharing::kShared},
       true,
       false},
      {"writer of a held log",
       {Access::kAppend, Sharing::kExclusive},
       {Access::kReadWriteOrRead, Sharing::kShared},
       true,
       false},
      {"writer falls back to reading",
       {Access::kReadWrite, Sharing::kShared},
       {Access::kReadWriteOrRead, Sharing::kShared},
       true,
       false},
      {"plain writer beside a writer",
       {Access::kReadWrite, Sharing::kShared},
       {Access::kReadWrite, Sharing::kShared},
       false,
       false},
      {"writer beside a reader",
       {Access::kRead, Sharing::kShared},
       {Access::kReadWriteOrRead, Sharing::kShared},
       true,
       true},
      // A viewer that opened the log first does not keep the program out
      // (nor does it on POSIX, where readers take no lock).
      {"exclusive beside a reader",
       {Access::kRead, Sharing::kShared},
       {Access::kReadWrite, Sharing::kExclusive},
       true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const std::string name = dir / "SHARED.DAT";
    WriteTestFile(name, "old");
    File first = File::Open(name, c.first.access, c.first.sharing, Missing::kFail);
    ASSERT_TRUE(first.IsOpen());
    int error = 0;
    File second = File::Open(name, c.second.access, c.second.sharing, Missing::kFail, &error);
    EXPECT_EQ(second.IsOpen(), c.second_opens);
    if (c.second_opens) {
      EXPECT_EQ(second.Write("x"), c.second_writes);
    } else {
      EXPECT_EQ(error, ERROR_SHARING_VIOLATION);
    }
  }
}

TEST(FileOpenWin32, CreatesWritesSeeksCutsAndAppends) {
  ScratchDir dir;
  const std::string name = dir / "LOG\\QUORIX.LOG";
  std::filesystem::create_directory(dir / "LOG");
  {
    File log = File::Open(name, Access::kAppend, Sharing::kExclusive, Missing::kCreate);
    ASSERT_TRUE(log.IsOpen());
    EXPECT_TRUE(log.Write("first line\r\nsecond"));
    EXPECT_TRUE(log.Seek(10));
    EXPECT_TRUE(log.SetEnd());
    EXPECT_EQ(log.Size(), 10);
  }
  File again = File::Open(name, Access::kAppend, Sharing::kExclusive, Missing::kCreate);
  EXPECT_EQ(again.Position(), 10);
  EXPECT_TRUE(again.Write("\r\n"));
  again.Close();
  EXPECT_EQ(ReadTestFile(dir / "LOG/QUORIX.LOG"), "first line\r\n");

  int error = 0;
  File fresh = File::Open(name, Access::kReadWrite, Sharing::kShared, Missing::kCreateNew, &error);
  EXPECT_FALSE(fresh.IsOpen());
  EXPECT_TRUE(IsFileExistsError(error));
  File missing =
      File::Open(dir / "NONE.DAT", Access::kRead, Sharing::kShared, Missing::kFail, &error);
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

// The spool's wildcard: letter case ignored, "?" exactly one character,
// directories and longer extensions left out (the system's own matching
// would let "N000003.MSGX" in through its short name).
TEST(ListDirectoryWin32, WildcardIgnoresCaseAndSkipsDirectories) {
  ScratchDir dir;
  for (const char* file : {"N000001.MSG", "n000002.msg", "N000003.MSGX", "N12345.MSG", "X.MSG"}) {
    WriteTestFile(dir / file, "");
  }
  std::filesystem::create_directory(dir / "N000004.MSG");
  auto names = ListDirectory(dir.path() + "\\", "N??????.MSG");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"N000001.MSG", "n000002.msg"}));
  EXPECT_TRUE(ListDirectory(dir / "MISSING", "*").empty());
}

TEST(FileNamesWin32, ReplaceRenameDeleteWithEitherSeparator) {
  ScratchDir dir;
  const std::string base = dir.path() + "\\QUORIX.IDX";
  WriteTestFile(dir / "QUORIX.IDX", "old contents");
  ASSERT_TRUE(ReplaceFileContents(base, "new"));
  EXPECT_EQ(ReadTestFile(dir / "QUORIX.IDX"), "new");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1u) << "the temporary file is gone";

  WriteTestFile(dir / "GROUPS.TMP", "rewritten");
  EXPECT_TRUE(RenameOver(dir / "GROUPS.TMP", dir.path() + "\\quorix.idx"));
  EXPECT_EQ(ReadTestFile(dir / "QUORIX.IDX"), "rewritten");
  EXPECT_TRUE(FileExists(dir.path() + "\\quorix.IDX"));
  EXPECT_TRUE(DirectoryExists(dir.path() + "\\"));
  EXPECT_FALSE(FileExists(dir.path()));
  std::string read;
  EXPECT_TRUE(ReadWholeFile(base, &read, 3));
  EXPECT_EQ(read, "rew");
  EXPECT_TRUE(DeleteFile(base));
  EXPECT_FALSE(FileExists(base));
  EXPECT_FALSE(DeleteFile(base));
}

// The spool's delivery: a rename that never replaces a file already there.
TEST(FileNamesWin32, RenameNewNeverReplaces) {
  ScratchDir dir;
  WriteTestFile(dir / "N000000.MSG", "delivered");
  WriteTestFile(dir / "PAGE.TMP", "next page");
  int error = 0;
  EXPECT_FALSE(RenameNew(dir / "PAGE.TMP", dir.path() + "\\n000000.msg", &error));
  EXPECT_TRUE(IsFileExistsError(error)) << error;
  EXPECT_EQ(ReadTestFile(dir / "N000000.MSG"), "delivered");
  EXPECT_EQ(ReadTestFile(dir / "PAGE.TMP"), "next page");
  EXPECT_TRUE(RenameNew(dir / "PAGE.TMP", dir.path() + "\\N000001.MSG", &error));
  EXPECT_EQ(ReadTestFile(dir / "N000001.MSG"), "next page");
  EXPECT_FALSE(FileExists(dir / "PAGE.TMP"));
  EXPECT_FALSE(RenameNew(dir / "PAGE.TMP", dir / "N000002.MSG", &error));
  EXPECT_FALSE(IsFileExistsError(error));
}

}  // namespace
}  // namespace quorix::platform
