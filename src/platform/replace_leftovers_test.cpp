#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/test_util.h"

namespace quorix::platform {
namespace {

using testing::ScratchDir;
using testing::WriteTestFile;

// Only what a rewrite of exactly this file leaves behind goes: the file
// itself, other files' temporaries and names merely starting alike stay.
TEST(DeleteReplaceLeftovers, DeletesOnlyTheFilesOwnTemporaries) {
  ScratchDir dir;
  const std::vector<std::string> kept = {"PHP.WEB",          "PHP.WEB.tmp",      "PHP.WEB.tmpx1-2",
                                         "PHP.WEB.tmp12-",   "PHP.WEB.tmp-34",   "PHP.WEB.tmp1-2.x",
                                         "PHP.WEB.tmp1-2-3", "OTHER.WEB.tmp1-2", "PHP.WEBX.tmp1-2"};
  const std::vector<std::string> deleted = {"PHP.WEB.tmp4960-973091", "PHP.WEB.tmp1-0"};
  for (const auto* names : {&kept, &deleted}) {
    for (const std::string& name : *names) WriteTestFile(dir / name, "x");
  }
  DeleteReplaceLeftovers(dir / "PHP.WEB");
  std::vector<std::string> left = ListDirectory(dir.path(), "*");
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);

  // A real leftover: a rewrite's temporary name, whatever it is, goes too.
  ASSERT_TRUE(ReplaceFileContents(dir / "PHP.WEB", "new"));
  WriteTestFile(dir / "PHP.WEB.tmp7-7", "old");
  DeleteReplaceLeftovers(dir / "PHP.WEB");
  EXPECT_FALSE(FileExists(dir / "PHP.WEB.tmp7-7"));
  EXPECT_EQ(testing::ReadTestFile(dir / "PHP.WEB"), "new");
}

}  // namespace
}  // namespace quorix::platform
