#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/test_util.h"

namespace quorix::platform {
namespace {

using testing::CurrentDirectoryGuard;
using testing::ReadTestFile;
using testing::ScratchDir;
using testing::WriteTestFile;

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ResolveName, FindsFileIgnoringCase) {
  ScratchDir dir;
  WriteTestFile(dir / "xpoint.cfg", "x");
  EXPECT_EQ(ResolveName(dir / "XPOINT.CFG"), dir / "xpoint.cfg");
  EXPECT_TRUE(FileExists(dir / "XPOINT.CFG"));
}

TEST(ResolveName, ResolvesDirectoryComponentsAndBackslashes) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "Spool").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "Spool/out").c_str(), 0755), 0);
  WriteTestFile(dir / "Spool/out/n0001.OUT", "x");
  EXPECT_EQ(ResolveName(dir.path() + "\\SPOOL\\OUT\\N0001.out"), dir / "Spool/out/n0001.OUT");
}

TEST(ResolveName, KeepsSpellingOfMissingNames) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "Spool").c_str(), 0755), 0);
  EXPECT_EQ(ResolveName(dir.path() + "\\SPOOL\\New.Msg"), dir / "Spool/New.Msg");
  EXPECT_EQ(ResolveName(dir.path() + "\\NoDir\\Sub\\X.TXT"), dir / "NoDir/Sub/X.TXT");
  EXPECT_EQ(ResolveName(dir.path() + "\\SPOOL\\"), dir / "Spool/");
  EXPECT_EQ(ResolveName(""), "");
}

TEST(ResolveName, ExactNameWinsOverOtherCase) {
  ScratchDir dir;
  WriteTestFile(dir / "a.txt", "lower");
  WriteTestFile(dir / "A.TXT", "upper");
  EXPECT_EQ(ResolveName(dir / "a.txt"), dir / "a.txt");
  EXPECT_EQ(ResolveName(dir / "A.TXT"), dir / "A.TXT");
  // Neither matches exactly: the smallest name in byte order is taken.
  EXPECT_EQ(ResolveName(dir / "a.TXT"), dir / "A.TXT");
}

TEST(ResolveName, RelativeNamesUseCurrentDirectory) {
  ScratchDir dir;
  CurrentDirectoryGuard guard;
  ASSERT_EQ(::mkdir((dir / "Log").c_str(), 0755), 0);
  WriteTestFile(dir / "Log/quorix.log", "x");
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  EXPECT_EQ(ResolveName("LOG\\QUORIX.LOG"), "Log/quorix.log");
  EXPECT_EQ(ResolveName("./LOG/QUORIX.LOG"), "./Log/quorix.log");
}

TEST(ResolveName, OwnFileExistsLooksUpOnlyTheDirectory) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "Spool").c_str(), 0755), 0);
  WriteTestFile(dir / "Spool/QX1-5.tmp", "x");
  EXPECT_TRUE(OwnFileExists(dir.path() + "\\SPOOL\\QX1-5.tmp"));
  EXPECT_FALSE(OwnFileExists(dir.path() + "\\SPOOL\\qx1-5.TMP"));
  EXPECT_FALSE(OwnFileExists(dir / "Spool"));
}

TEST(FileOpen, MissingFileFailsWithErrorNumber) {
  ScratchDir dir;
  int error = 0;
  File file = File::Open(dir / "none.txt", Access::kRead, Sharing::kShared, Missing::kFail, &error);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(FileExists(dir / "none.txt"));
}

TEST(FileOpen, CreatesMissingFileUnderGivenName) {
  ScratchDir dir;
  int error = -1;
  File file = File::Open(dir.path() + "\\New.Txt", Access::kReadWrite, Sharing::kShared,
                         Missing::kCreate, &error);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(error, 0);
  EXPECT_EQ(file.Size(), 0);
  EXPECT_EQ(Sorted(ListDirectory(dir.path(), "*")), std::vector<std::string>{"New.Txt"});
}

TEST(FileOpen, CreateNewNeverOpensAnExistingFileAndLooksUpOnlyTheDirectory) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir.path() + "/Spool").c_str(), 0755), 0);
  WriteTestFile(dir.path() + "/Spool/N000000.MSG", "taken");
  int error = 0;
  File same = File::Open(dir.path() + "/spool/N000000.MSG", Access::kReadWrite, Sharing::kShared,
                         Missing::kCreateNew, &error);
  EXPECT_FALSE(same.IsOpen());
  EXPECT_TRUE(IsFileExistsError(error));
  EXPECT_EQ(ReadTestFile(dir.path() + "/Spool/N000000.MSG"), "taken");

  File fresh = File::Open(dir.path() + "\\spool\\N000000.msg", Access::kReadWrite, Sharing::kShared,
                          Missing::kCreateNew, &error);
  ASSERT_TRUE(fresh.IsOpen()) << "the directory is found ignoring case, the name is new";
  EXPECT_EQ(Sorted(ListDirectory(dir.path() + "/Spool", "*")),
            (std::vector<std::string>{"N000000.MSG", "N000000.msg"}));
}

TEST(FileOpen, WritesReadsSeeksAndCuts) {
  ScratchDir dir;
  File file = File::Open(dir / "data.bin", Access::kReadWrite, Sharing::kShared, Missing::kCreate);
  ASSERT_TRUE(file.IsOpen());
  ASSERT_TRUE(file.Write(std::string("abc\0def\r\n", 9)));
  EXPECT_EQ(file.Position(), 9);
  ASSERT_TRUE(file.Seek(4));
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "def");
  ASSERT_TRUE(file.Seek(3));
  ASSERT_TRUE(file.SetEnd());
  EXPECT_EQ(file.Size(), 3);
  EXPECT_TRUE(file.Sync());
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Position(), -1);
  EXPECT_EQ(ReadTestFile(dir / "data.bin"), "abc");
}

TEST(FileOpen, AppendWritesAtTheEnd) {
  ScratchDir dir;
  WriteTestFile(dir / "QUORIX.LOG", "one\n");
  File file =
      File::Open(dir / "quorix.log", Access::kAppend, Sharing::kExclusive, Missing::kCreate);
  ASSERT_TRUE(file.IsOpen());
  ASSERT_TRUE(file.Seek(0));
  ASSERT_TRUE(file.Write("two\n"));
  EXPECT_EQ(ReadTestFile(dir / "QUORIX.LOG"), "one\ntwo\n");
}

TEST(FileOpen, ReadToEndReadsLargeFileWhole) {
  ScratchDir dir;
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 7 % 256));
  WriteTestFile(dir / "big.bin", bytes);
  File file = File::Open(dir / "big.bin", Access::kRead, Sharing::kShared, Missing::kFail);
  std::string read;
  ASSERT_TRUE(file.ReadToEnd(&read));
  EXPECT_EQ(read, bytes);
  ASSERT_TRUE(file.Seek(199990));
  ASSERT_TRUE(file.ReadToEnd(&read));
  EXPECT_EQ(read, bytes.substr(199990));
  ASSERT_TRUE(file.Seek(200000));  // at the end: nothing, and no error
  ASSERT_TRUE(file.ReadToEnd(&read));
  EXPECT_EQ(read, "");

  // What another writer appends after the size was taken is read too.
  File writer = File::Open(dir / "big.bin", Access::kAppend, Sharing::kShared, Missing::kFail);
  ASSERT_TRUE(writer.Write(std::string(10000, 'z')));
  ASSERT_TRUE(file.ReadToEnd(&read));
  EXPECT_EQ(read, std::string(10000, 'z'));
}

TEST(FileOpen, ExclusiveOpenIsRefusedWhileHeld) {
  ScratchDir dir;
  File first =
      File::Open(dir / "QUORIX.LOG", Access::kAppend, Sharing::kExclusive, Missing::kCreate);
  ASSERT_TRUE(first.IsOpen());
  int error = 0;
  File second = File::Open(dir / "quorix.log", Access::kAppend, Sharing::kExclusive,
                           Missing::kCreate, &error);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(error, EWOULDBLOCK);
  first.Close();
  File third =
      File::Open(dir / "QUORIX.LOG", Access::kAppend, Sharing::kExclusive, Missing::kCreate);
  EXPECT_TRUE(third.IsOpen());
}

TEST(FileOpen, ReadWriteOrReadFallsBackWhenWritingIsRefused) {
  // A running program cannot be opened for writing, not even by root.
  int error = 0;
  File refused =
      File::Open("/proc/self/exe", Access::kReadWrite, Sharing::kShared, Missing::kFail, &error);
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_NE(error, 0);
  File file = File::Open("/proc/self/exe", Access::kReadWriteOrRead, Sharing::kShared,
                         Missing::kFail, &error);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(error, 0);
  char magic[4] = {};
  EXPECT_EQ(file.Read(magic, 4), 4);
  EXPECT_EQ(std::string(magic, 4),
            "\x7f"
            "ELF");
  EXPECT_FALSE(file.Write("x"));
}

TEST(FileOpen, ReadWriteOrReadFallsBackOnReadOnlyFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  ScratchDir dir;
  WriteTestFile(dir / "XPOINT.CFG", "Key=1\r\n");
  ASSERT_EQ(::chmod((dir / "XPOINT.CFG").c_str(), 0444), 0);
  File file = File::Open(dir / "xpoint.cfg", Access::kReadWriteOrRead, Sharing::kExclusive,
                         Missing::kCreate);
  ASSERT_TRUE(file.IsOpen());
  std::string text;
  ASSERT_TRUE(file.ReadToEnd(&text));
  EXPECT_EQ(text, "Key=1\r\n");
}

TEST(FileOpen, DirectoryIsNotAFile) {
  ScratchDir dir;
  const struct {
    Access access;
    Missing missing;
  } cases[] = {
      {Access::kRead, Missing::kFail},
      {Access::kReadWrite, Missing::kFail},
      {Access::kReadWriteOrRead, Missing::kFail},  // opened for reading after all
      {Access::kReadWriteOrRead, Missing::kCreate},
      {Access::kAppend, Missing::kCreate},
  };
  for (const auto& c : cases) {
    int error = 0;
    File file = File::Open(dir.path(), c.access, Sharing::kShared, c.missing, &error);
    EXPECT_FALSE(file.IsOpen()) << static_cast<int>(c.access) << static_cast<int>(c.missing);
    EXPECT_EQ(error, EISDIR) << static_cast<int>(c.access) << static_cast<int>(c.missing);
  }
  EXPECT_FALSE(FileExists(dir.path()));
  EXPECT_TRUE(DirectoryExists(dir.path()));
}

TEST(FileOpen, MoveHandsOverTheDescriptor) {
  ScratchDir dir;
  File file = File::Open(dir / "a", Access::kReadWrite, Sharing::kShared, Missing::kCreate);
  File moved(std::move(file));
  EXPECT_FALSE(file.IsOpen());  // NOLINT(bugprone-use-after-move): the moved-from state is defined
  EXPECT_TRUE(moved.Write("x"));
  File assigned;
  assigned = std::move(moved);
  EXPECT_TRUE(assigned.Write("y"));
  assigned.Close();
  EXPECT_EQ(ReadTestFile(dir / "a"), "xy");
}

TEST(MatchWildcard, DosPatterns) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"n????.OUT", "N0001.out", true},
      {"n????.OUT", "n001.OUT", false},
      {"n????.OUT", "n00011.OUT", false},
      {"n????.OUT", "n0001.OUTX", false},
      {"*.msg", "N000001.MSG", true},
      {"*.msg", "N000001.MSG.tmp", false},
      {"*", "", true},
      {"*", "anything", true},
      {"", "", true},
      {"", "a", false},
      {"?", "", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"*ab", "aab", true},
      {"N*.*", "n1.x", true},
      {"N*.*", "n1x", false},
      {"x?z", "X\xE4Z", true},
      {"\xE4", "\xC4", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
  }
}

TEST(ListDirectory, ListsMatchingRegularFilesOnly) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "Spool").c_str(), 0755), 0);
  for (const char* name : {"N0001.out", "n001.OUT", "n00011.OUT", "n1234.OUT", "readme"}) {
    WriteTestFile(dir / "Spool/" + name, "x");
  }
  ASSERT_EQ(::mkdir((dir / "Spool/n9999.OUT").c_str(), 0755), 0);
  const std::vector<std::string> expected = {"N0001.out", "n1234.OUT"};
  EXPECT_EQ(Sorted(ListDirectory(dir.path() + "\\SPOOL\\", "n????.OUT")), expected);
  EXPECT_EQ(Sorted(ListDirectory(dir.path() + "/spool", "n????.OUT")), expected);
  EXPECT_TRUE(ListDirectory(dir / "missing", "*").empty());
}

TEST(ListDirectory, EmptyDirectoryMeansCurrentDirectory) {
  ScratchDir dir;
  CurrentDirectoryGuard guard;
  WriteTestFile(dir / "BOX.BFG", "x");
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  EXPECT_EQ(ListDirectory("", "*.bfg"), std::vector<std::string>{"BOX.BFG"});
}

// A directory's names are flushed under any spelling of it; what is not a
// directory cannot be, and says so.
TEST(SyncDirectory, FlushesDirectoriesAndReportsWhatIsNone) {
  ScratchDir dir;
  CurrentDirectoryGuard guard;
  WriteTestFile(dir / "FILE.TXT", "x");
  ASSERT_EQ(::mkdir((dir / "Spool").c_str(), 0755), 0);
  struct Case {
    std::string directory;
    bool synced;
  };
  const Case cases[] = {
      {dir.path(), true},       {dir.path() + "/", true},  {dir.path() + "\\SPOOL\\", true},
      {dir / "missing", false}, {dir / "FILE.TXT", false},
  };
  for (const Case& c : cases) EXPECT_EQ(SyncDirectory(c.directory), c.synced) << c.directory;
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  EXPECT_TRUE(SyncDirectory("")) << "the current directory";
}

TEST(ReplaceFileContents, ReplacesWholeAndLeavesNoTemporary) {
  ScratchDir dir;
  WriteTestFile(dir / "QUORIX.IDX", "old contents that are longer\n");
  ASSERT_TRUE(ReplaceFileContents(dir / "quorix.idx", "new\n"));
  EXPECT_EQ(ReadTestFile(dir / "QUORIX.IDX"), "new\n");
  EXPECT_EQ(Sorted(ListDirectory(dir.path(), "*")), std::vector<std::string>{"QUORIX.IDX"});
}

TEST(ReplaceFileContents, CreatesMissingFile) {
  ScratchDir dir;
  ASSERT_TRUE(ReplaceFileContents(dir.path() + "\\BOX.WEB", ""));
  EXPECT_EQ(Sorted(ListDirectory(dir.path(), "*")), std::vector<std::string>{"BOX.WEB"});
}

TEST(ReplaceFileContents, FailureRemovesTemporary) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "QUORIX.HTM").c_str(), 0755), 0);  // cannot be renamed over
  EXPECT_FALSE(ReplaceFileContents(dir / "QUORIX.HTM", "data"));
  EXPECT_TRUE(ListDirectory(dir.path(), "*").empty());
  EXPECT_FALSE(ReplaceFileContents(dir / "missing/QUORIX.HTM", "data"));
}

TEST(FileNames, RenameOverDeleteAndReadWhole) {
  ScratchDir dir;
  WriteTestFile(dir / "new.tmp", "fresh");
  WriteTestFile(dir / "Target.Dat", "stale");
  ASSERT_TRUE(RenameOver(dir / "NEW.TMP", dir / "TARGET.DAT"));
  EXPECT_EQ(Sorted(ListDirectory(dir.path(), "*")), std::vector<std::string>{"Target.Dat"});
  std::string text;
  ASSERT_TRUE(ReadWholeFile(dir / "target.dat", &text));
  EXPECT_EQ(text, "fresh");
  ASSERT_TRUE(ReadWholeFile(dir / "target.dat", &text, 3));
  EXPECT_EQ(text, "fre");
  EXPECT_TRUE(DeleteFile(dir / "TARGET.DAT"));
  EXPECT_FALSE(DeleteFile(dir / "TARGET.DAT"));
  EXPECT_FALSE(ReadWholeFile(dir / "target.dat", &text));
  EXPECT_FALSE(RenameOver(dir / "none", dir / "other"));
}

}  // namespace
}  // namespace quorix::platform
