// Test-only: a run with one fetch slot whose spool directory is a scratch
// folder, and readers for the spool files the converters write.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "bases/spool_names.h"
#include "bases/test_installation.h"
#include "convert/article_delivery.h"

namespace quorix::convert::testing {

// The name of spool file `number` as the delivery names it: "N" + six digits
// + the platform's extension (bases/spool_names.h).
inline std::string SpoolFileName(int number) { return bases::SpoolFileName("", number); }

class ConverterTest : public ::testing::Test {
 protected:
  static constexpr int kSlot = 1;

  ConverterTest() {
    std::filesystem::create_directory(t_.Path("SPOOL"));
    slot().web.spool = t_.dir() + "/SPOOL\\";
    slot().web.server = "forum.example";
    slot().web.time_zone = "+0000";  // UBB dates independent of the machine's zone
  }

  run::Slot& slot() { return t_.run().slots[kSlot]; }
  run::ForumTemplate& tmpl() { return slot().forum_template; }
  // What a page's conversion gets from the slot's worker.
  PageTarget target() {
    return PageTarget{t_.run(), {t_.run().log, kSlot}, slot().web, slot().forum_template};
  }

  // Names in the spool directory, sorted.
  std::vector<std::string> SpoolFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(t_.Path("SPOOL"))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The articles of a spool file; fails the test when the batch is malformed.
  std::vector<std::string> Articles(const std::string& name) const {
    std::string data = t_.Read("SPOOL/" + name);
    std::vector<std::string> articles;
    size_t at = 0;
    while (at < data.size()) {
      size_t line_end = data.find('\n', at);
      EXPECT_NE(line_end, std::string::npos);
      if (line_end == std::string::npos) break;
      std::string line = data.substr(at, line_end - at);
      EXPECT_EQ(line.substr(0, 9), "#! rnews ");
      size_t length = std::stoul(line.substr(9));
      EXPECT_LE(line_end + 1 + length, data.size());
      articles.push_back(data.substr(line_end + 1, length));
      at = line_end + 1 + length;
    }
    return articles;
  }

  // The value of a header line of an article ("" when missing).
  static std::string Header(const std::string& article, const std::string& name) {
    std::string key = "\n" + name + ": ";
    size_t at = ("\n" + article).find(key);
    if (at == std::string::npos) return "";
    size_t start = at + key.size() - 1;
    return article.substr(start, article.find('\n', start) - start);
  }
  static bool HasHeader(const std::string& article, const std::string& name) {
    return ("\n" + article).find("\n" + name + ": ") != std::string::npos;
  }
  static std::string Body(const std::string& article) {
    size_t at = article.find("\n\n");
    return at == std::string::npos ? "" : article.substr(at + 2);
  }

  bases::testing::TestInstallation t_;
};

}  // namespace quorix::convert::testing
