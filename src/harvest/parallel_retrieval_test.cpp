// Topics fetched over several connections at once are delivered as over one:
// every file of the installation and every log line come out the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bases/delivery_journal.h"
#include "bases/dupe_base.h"
#include "bases/html_base.h"
#include "harvest/scan_driver.h"
#include "harvest/test_forum.h"
#include "harvest/topic_rows.h"
#include "log/logger.h"
#include "run/testing.h"

namespace quorix::harvest {
namespace {

constexpr int kSlot = 2;

std::string Answer(const std::string& body, int status = 200) {
  return "HTTP/1.0 " + std::to_string(status) +
         " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string ListPath(const std::string& forum, int number) {
  return "/ubb/f.cgi?forum=" + forum + "&number=" + std::to_string(number) +
         "&DaysPrune=20&LastLogin=";
}

std::string Row(int topic, int replies) {
  return std::string(kUbbRowMarker) + "\n<A HREF=\"http://h/ubb/" + std::to_string(topic) +
         ".html\">T</A>\n3\n4\n<FONT>" + std::to_string(replies) +
         "</FONT>\n6\n7\n8\n9</td></tr>\n";
}

std::string Posts(int topic, int page, int count) {
  std::string cells;
  for (int post = 1; post <= count; ++post) {
    cells += "<TD width=18% valign=top>\r\nJoe" + std::to_string(post % 3) +
             "\r\n3\r\n4\r\n5\r\n6\r\nOctober 05, 2004 10:30 PM\r\n8\r\n9\r\nTopic " +
             std::to_string(topic) + " page " + std::to_string(page) + " post " +
             std::to_string(post) + "</td></tr>\r\n";
  }
  return cells;
}

// A UBB forum of two boards: board F lists topics 1..10, board G topics
// 11..14; topics divisible by 3 have a second page, topic 9 a third.
std::map<std::string, std::string> Forum() {
  std::map<std::string, std::string> pages;
  std::string f_list;
  std::string g_list;
  for (int topic = 1; topic <= 14; ++topic) {
    const std::string link = "/ubb/" + std::to_string(topic) + ".html";
    const int extra_pages = topic == 9 ? 2 : topic % 3 == 0 ? 1 : 0;
    (topic <= 10 ? f_list : g_list) += Row(topic, 2 + extra_pages);
    std::string first = Posts(topic, 1, 2);
    for (int page = 2; page <= 1 + extra_pages; ++page) {
      const std::string path =
          "/ubb/" + std::to_string(topic) + "-" + std::to_string(page) + ".html";
      (page == 2
           ? first
           : pages["/ubb/" + std::to_string(topic) + "-" + std::to_string(page - 1) + ".html"]) +=
          "<a href=\"" + path + "\">next</a>";
      pages[path] = Posts(topic, page, 1);
    }
    pages[link] = first;
  }
  pages[ListPath("F", 1)] = f_list;
  pages[ListPath("G", 2)] = g_list;
  for (auto& [path, body] : pages) body = Answer(body);
  return pages;
}

// Everything a harvest leaves behind: each file of the installation, and the
// log with the times taken out.
using Installation = std::map<std::string, std::string>;

// A harvest of `pages` into a fresh installation over `connections`.
struct Harvest {
  int connections = 1;
  std::map<std::string, std::string> pages;
  std::string group_list = "de.test,F,1,20\r\nde.test,G,2,20\r\n";
  std::vector<std::string> known_topics;  // in the HTML base before the run
  std::string exit_at;                    // the exit request comes with this request
  int held_requests = 0;
  std::vector<std::string> paths;  // requested, sorted

  Installation Run() {
    quorix::testing::ScratchDir dir;
    dir.Write("BOX.WEB", group_list);
    std::filesystem::create_directories(dir.PathOf("SPOOL"));
    quorix::testing::TestRun test_run;
    run::Run& run = test_run.run;
    run.env.program_dir = dir.Prefix();
    run.RaiseDupeBaseLimit(16000);
    run.log.SetMainLog(log::Logger::OpenLogFile(dir.PathOf("QUORIX.LOG")), "");
    run::Slot& slot = run.slots[kSlot];
    slot.web.group_file = dir.PathOf("BOX.WEB");
    slot.web.spool = dir.PathOf("SPOOL") + "/";
    slot.web.engine = run::kUbb;
    slot.web.path = "ubb/";
    slot.web.topic = "f.cgi?forum=";
    bases::LoadDupeBase(run);
    bases::LoadHtmlBase(run);
    for (const std::string& topic : known_topics) bases::RecordTopic(run, topic);
    testing::TestForum forum(slot, pages);
    forum.LogRequests(run.log, kSlot);
    forum.OnRequest([&](std::string_view path) {
      if (path == exit_at) run.user_exit_requested.store(1);
    });
    ScanForums(worker::Worker(run, run.slots[kSlot], kSlot), forum.fetcher(),
               connections > 1 ? forum.topic_fetchers(connections) : TopicFetchers{});
    if (bases::FlushDeliveries(run)) {
      bases::SaveHtmlBase(run);
      bases::SaveDupeBase(run);
    }
    run.log.CloseLogs();
    held_requests = forum.held_requests();
    paths = forum.paths();
    std::sort(paths.begin(), paths.end());
    Installation files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
      if (!entry.is_regular_file()) continue;
      const std::string name = std::filesystem::relative(entry.path(), dir.path()).string();
      files[name] = dir.Read(name);
    }
    // "  hh:mm:ss  QUORIX #2: ...": the time goes.
    std::string& log = files["QUORIX.LOG"];
    for (size_t line = log.find("\r\n"); line != std::string::npos; line = log.find("\r\n", line)) {
      line += 2;
      if (line + 10 <= log.size()) log.replace(line + 2, 8, "--:--:--");
    }
    return files;
  }
};

void ExpectSameInstallation(const Installation& one, const Installation& several) {
  ASSERT_EQ(one.size(), several.size());
  for (const auto& [name, bytes] : one) {
    SCOPED_TRACE(name);
    ASSERT_EQ(several.count(name), 1u);
    EXPECT_EQ(several.at(name), bytes);
  }
}

int SpoolFiles(const Installation& files) {
  int count = 0;
  for (const auto& [name, bytes] : files) count += name.starts_with("SPOOL") ? 1 : 0;
  return count;
}

class ParallelRetrieval : public ::testing::TestWithParam<int> {};

// Each case changes the forum or the run; one connection and several give
// the same files and log lines.
TEST_P(ParallelRetrieval, DeliversAsOneConnectionDoes) {
  struct Case {
    const char* name;
    std::function<void(Harvest&)> change;
    int spool_files;  // what the one-connection run delivers
  };
  const Case cases[] = {
      {"every topic new", [](Harvest&) {}, 14 + 5},
      {"some topics known, one changed",
       [](Harvest& h) {
         h.known_topics = {"/ubb/2.html,2", "/ubb/5.html,2", "/ubb/9.html,3", "/ubb/12.html,2"};
       },
       14 + 5 - 2},  // topics 2 and 5 unchanged
      {"a topic listed twice in a board and again in the next",
       [](Harvest& h) {
         h.pages[ListPath("F", 1)].insert(h.pages[ListPath("F", 1)].find("\r\n\r\n") + 4,
                                          Row(4, 2));
         h.pages[ListPath("G", 2)] = Answer(Row(7, 2) + Row(11, 2) + Row(4, 2));
       },
       14 + 5 - 4},  // board G lists topics 12 to 14 no more
      {"a failing page and a missing continuation in the middle",
       [](Harvest& h) {
         h.pages["/ubb/4.html"] = Answer("<html>busy</html>", 503);
         h.pages.erase("/ubb/6-2.html");
         h.pages["/ubb/9-3.html"] = Answer(Posts(9, 3, 1)).substr(0, 60);
       },
       14 + 5 - 3},
      {"the exit request during the first board", [](Harvest& h) { h.exit_at = "/ubb/3.html"; },
       10 + 4},  // board G is not read
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harvest one;
    one.pages = Forum();
    c.change(one);
    Harvest several = one;
    several.connections = GetParam();
    const Installation expected = one.Run();
    EXPECT_EQ(SpoolFiles(expected), c.spool_files);
    ExpectSameInstallation(expected, several.Run());
    EXPECT_GT(several.held_requests, 0);
    // No page is asked for twice, nor one that one connection does not ask for.
    EXPECT_EQ(several.paths, one.paths);
  }
}

INSTANTIATE_TEST_SUITE_P(Connections, ParallelRetrieval, ::testing::Values(2, 4, 8));

}  // namespace
}  // namespace quorix::harvest
