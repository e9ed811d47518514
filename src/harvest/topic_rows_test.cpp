#include "harvest/topic_rows.h"

#include <gtest/gtest.h>

#include <string>

namespace quorix::harvest {
namespace {

constexpr char kWebPath[] = "ubb/";

// A UBB topic row of `lines` lines: the row marker on line 1, the link on
// line 2, and "cell" + k on every further line k.
std::string UbbRow(int lines, const std::string& href = "http://host/ubb/Forum3/HTML/000123.html") {
  std::string row = std::string(kUbbRowMarker) + "<IMG SRC=\"icon.gif\">\n";
  if (lines >= 2) row += "<A HREF=\"" + href + "\">A topic</A>";
  for (int k = 3; k <= lines; ++k) {
    row += "\n<FONT SIZE=\"1\">cell" + std::to_string(k) + "</FONT></TD>";
  }
  return row + "</td></tr>\n";
}

// A UBBThreads topic row of `lines` lines with `marker` on line 13.
std::string ThreadsRow(const std::string& link, const std::string& marker, int lines = 14) {
  std::string row = "<tr><td><a href=\"" + link + "\">Subject</a>";
  for (int k = 2; k <= lines; ++k) {
    row += "\n";
    row += k == 13 ? marker : "<td>line" + std::to_string(k) + "</td>";
  }
  return row + "</tr>\n";
}

TEST(ParseUbbTopicRows, ThirteenLineRowTakesItsMarkerFromLineNine) {
  TopicTable table;
  EXPECT_EQ(ParseUbbTopicRows("<html>" + UbbRow(13) + "</html>", kWebPath, table), 1u);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0], "/ubb/Forum3/HTML/000123.html,cell9");
}

TEST(ParseUbbTopicRows, FifteenLineRowTakesItsMarkerFromLineEleven) {
  TopicTable table;
  ParseUbbTopicRows(UbbRow(15), kWebPath, table);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0], "/ubb/Forum3/HTML/000123.html,cell11");
}

TEST(ParseUbbTopicRows, RowsAreRecordedInPageOrder) {
  TopicTable table{"earlier,1"};
  const std::string page = UbbRow(13, "http://h/ubb/F/000001.html") + "<tr>between</tr>" +
                           UbbRow(13, "http://h/ubb/F/000002.html");
  EXPECT_EQ(ParseUbbTopicRows(page, kWebPath, table), 2u);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[1], "/ubb/F/000001.html,cell9");
  EXPECT_EQ(table[2], "/ubb/F/000002.html,cell9");
}

TEST(ParseUbbTopicRows, LinkIsTakenFromTheCharacterBeforeTheWebPath) {
  struct Case {
    std::string href;
    std::string web_path;
    std::string link;
  };
  const Case cases[] = {
      {"http://host/ubb/F/1.html", "ubb/", "/ubb/F/1.html"},
      {"/ubb/F/1.html", "ubb/", "/ubb/F/1.html"},
      {"ubb/F/1.html", "ubb/", "ubb/F/1.html"},                          // no character before it
      {"http://host/other/1.html", "ubb/", "http://host/other/1.html"},  // recorded whole
      {"http://host/x/ubb/1.html", "", "http://host/x/ubb/1.html"},
      // The default prefix keeps its own leading "/", so the character before it is
      // the last one of the host name.
      {"http://host/support/forums/1.html", "/support/forums", "t/support/forums/1.html"},
  };
  for (const Case& c : cases) {
    TopicTable table;
    ParseUbbTopicRows(UbbRow(13, c.href), c.web_path, table);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0], c.link + ",cell9") << c.href;
  }
}

TEST(ParseUbbTopicRows, ShortRowsStillCountAsTopics) {
  struct Case {
    int lines;
    std::string entry;
  };
  const Case cases[] = {
      {1, ","},  // no link line, no marker line
      {2, "/ubb/Forum3/HTML/000123.html,"},
      {4, "/ubb/Forum3/HTML/000123.html,"},
      // Line 1 is the marker line: no "</" on it, so the cell runs to its end.
      {5,
       "/ubb/Forum3/HTML/000123.html,<FONT SIZE=\"2\" FACE=\"Verdana, Arial\"><IMG "
       "SRC=\"icon.gif\">"},
      {6, "/ubb/Forum3/HTML/000123.html,A topic"},  // line 2
      {7, "/ubb/Forum3/HTML/000123.html,cell3"},
  };
  for (const Case& c : cases) {
    TopicTable table;
    EXPECT_EQ(ParseUbbTopicRows(UbbRow(c.lines), kWebPath, table), 1u) << c.lines;
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0], c.entry) << c.lines;
  }
}

TEST(ParseUbbTopicRows, MalformedLinkAndMarkerLinesGiveEmptyFields) {
  const std::string marker(kUbbRowMarker);
  struct Case {
    std::string row;
    std::string entry;
  };
  const Case cases[] = {
      {marker + "\nno link here\n3\n4\n5\n6</td></tr>", ","},
      {marker + "\n<A HREF=\"\n3\n4\n5\n6</td></tr>", ","},
      {marker + "\n<A HREF=\"x>\n3\n4\n5\n6</td></tr>", ","},
      {marker + "\n<A HREF=\"ubb/a\n3\n4\n5\n6</td></tr>", "ubb/a,"},
      {marker + "\n<A HREF=\"/ubb/a\">\n3\nno tags\n5\n6\n7\n8</td></tr>", "/ubb/a,"},
      {marker + "\n<A HREF=\"/ubb/a\">\n3\n<b>open\n5\n6\n7\n8</td></tr>", "/ubb/a,open"},
  };
  for (const Case& c : cases) {
    TopicTable table;
    ParseUbbTopicRows(c.row, kWebPath, table);
    ASSERT_EQ(table.size(), 1u) << c.row;
    EXPECT_EQ(table[0], c.entry) << c.row;
  }
}

TEST(ParseUbbTopicRows, RowWithoutEndTagEndsThePageUnrecorded) {
  TopicTable table;
  std::string page = UbbRow(13, "http://h/ubb/1.html") + UbbRow(13, "http://h/ubb/2.html");
  page.resize(page.size() - 12);  // cut into the second row's end tag
  EXPECT_EQ(ParseUbbTopicRows(page, kWebPath, table), 1u);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0], "/ubb/1.html,cell9");
}

TEST(ParseUbbTopicRows, MarkerIsCaseSensitive) {
  TopicTable table;
  std::string row = UbbRow(13);
  row.replace(1, 2, "td");
  EXPECT_EQ(ParseUbbTopicRows(row, kWebPath, table), 0u);
  EXPECT_TRUE(table.empty());
}

TEST(ParseUbbTopicRows, EveryTruncationOfAPageParsesWithoutHarm) {
  const std::string page = "<html>\r\n" + UbbRow(13, "http://h/ubb/1.html") +
                           UbbRow(2, "http://h/ubb/2.html") + UbbRow(15) + "</html>";
  for (size_t length = 0; length <= page.size(); ++length) {
    TopicTable table;
    const size_t added =
        ParseUbbTopicRows(std::string_view(page).substr(0, length), kWebPath, table);
    EXPECT_LE(added, 3u);
    EXPECT_EQ(added, table.size());
  }
}

TEST(ParseUbbTopicRows, TableGrowsPastTenThousandTopics) {
  std::string page;
  const std::string row = UbbRow(13, "http://h/ubb/F/topic.html");
  page.reserve(row.size() * 10050);
  for (int i = 0; i < 10050; ++i) page += row;
  TopicTable table;
  EXPECT_EQ(ParseUbbTopicRows(page, kWebPath, table), 10050u);
  ASSERT_EQ(table.size(), 10050u);
  EXPECT_EQ(table[10049], "/ubb/F/topic.html,cell9");
}

TEST(ParseThreadsTopicRows, LinkIsCutBeforePageAndMarkerTrimmed) {
  TopicTable table;
  const std::string page = ThreadsRow(
      "/ubbthreads/showflat.php?Cat=&amp;Board=X&amp;Number=123&amp;page=0&amp;view=collapsed",
      "  5 ");
  EXPECT_EQ(ParseThreadsTopicRows("<table>" + page + "</table>", table), 1u);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0], "/ubbthreads/showflat.php?Cat=&Board=X&Number=123,5");
}

TEST(ParseThreadsTopicRows, LineThirteenIsTheMarker) {
  TopicTable table;
  ParseThreadsTopicRows(
      ThreadsRow("/ubbthreads/showflat.php?Cat=&amp;Board=X&amp;Number=123&amp;page=0",
                 "&nbsp;&nbsp;17&nbsp;"),
      table);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0], "/ubbthreads/showflat.php?Cat=&Board=X&Number=123,17");
}

TEST(ParseThreadsTopicRows, ShortRowGivesAnEmptyMarker) {
  TopicTable table;
  ParseThreadsTopicRows(ThreadsRow("/ubbthreads/showflat.php?Number=9&page=0", "13", 12), table);
  ParseThreadsTopicRows("/ubbthreads/showflat.php</tr>", table);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0], "/ubbthreads/showflat.php?Number=9,");
  EXPECT_EQ(table[1], "/ubbthreads/showflat.php,");
}

TEST(ParseThreadsTopicRows, LinkWithoutPageEndsWithItsAttributeValue) {
  TopicTable table;
  ParseThreadsTopicRows(ThreadsRow("/ubbthreads/showflat.php?Board=X&amp;Number=5", "2"), table);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0], "/ubbthreads/showflat.php?Board=X&Number=5,2");
}

TEST(ParseThreadsTopicRows, RowsFollowOneAnotherAndAnUnendedRowIsDropped) {
  TopicTable table;
  const std::string page = ThreadsRow("/ubbthreads/showflat.php?Number=1&amp;page=0", "1") +
                           ThreadsRow("/ubbthreads/showflat.php?Number=2&amp;page=0", "2") +
                           "<a href=\"/ubbthreads/showflat.php?Number=3&amp;page=0\">x";
  EXPECT_EQ(ParseThreadsTopicRows(page, table), 2u);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0], "/ubbthreads/showflat.php?Number=1,1");
  EXPECT_EQ(table[1], "/ubbthreads/showflat.php?Number=2,2");
}

TEST(ParseThreadsTopicRows, EveryTruncationOfAPageParsesWithoutHarm) {
  const std::string page = ThreadsRow("/ubbthreads/showflat.php?Number=1&amp;page=0", "1") +
                           std::string("\0\x01\xff", 3) +
                           ThreadsRow("/ubbthreads/showflat.php?Number=2&amp;page=0", "2");
  for (size_t length = 0; length <= page.size(); ++length) {
    TopicTable table;
    const size_t added = ParseThreadsTopicRows(std::string_view(page).substr(0, length), table);
    EXPECT_LE(added, 2u);
    EXPECT_EQ(added, table.size());
  }
}

TEST(RowLine, NumbersLinesFromOne) {
  EXPECT_EQ(RowLine("a\nb\nc", 1), "a");
  EXPECT_EQ(RowLine("a\nb\nc", 3), "c");
  EXPECT_EQ(RowLine("a\nb\nc", 4), "");
  EXPECT_EQ(RowLine("a\nb\nc", 0), "");
  EXPECT_EQ(RowLine("a\n", 2), "");
  EXPECT_EQ(RowLineCount(""), 1u);
  EXPECT_EQ(RowLineCount("a\nb\n"), 3u);
}

}  // namespace
}  // namespace quorix::harvest
