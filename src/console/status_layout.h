// Where the status screen puts things: the frame's top row T, the number of
// fetch panels P, and the drawing of the frame, labels and values at those
// places. The geometry is a pure function of the screen height, the console
// and the number of fetch threads.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console/colours.h"
#include "console/screen.h"
#include "run/run.h"

namespace quorix::console {

struct StatusLayout {
  int top = 0;                        // T: top row of the frame
  int panels = 0;                     // P: fetch panels; one more panel shows the posting thread
  int columns = 0;                    // C: console columns
  int screen_lines = 0;               // ScreenLines once the screen height is settled
  int console_rows = 0;               // R: console rows once the screen height is settled
  std::vector<std::string> problems;  // level-2 log lines, in order

  int FrameHeight() const { return 9 + 4 * panels; }
  int FrameWidth() const { return columns - 10; }
  // Base row of panel k (1..panels + 1).
  int PanelRow(int k) const { return top + 4 * k - 1; }
  int ThreadsRow() const { return top + 4 * panels + 7; }
  // The slot panel k shows: slot k for the fetch panels, SlotCount for the last.
  int SlotOfPanel(int k, int slot_count) const { return k <= panels ? k : slot_count; }
};

// Asks the console for `rows` x `columns`; returns the rows it has afterwards.
using ResizeRequest = std::function<int(int rows, int columns)>;

// The screen height rule: T = R \ 2 - 7 when ScreenLines equals the console's
// rows R; otherwise the console is asked for ScreenLines rows ("Reseting
// Console" line), and when it refuses ("Wrong Screen-Settings ..." line) T
// stays 5 and ScreenLines drops to what the console has. Then the panel rule.
// A ScreenLines of 0 or below (not configured) takes the console's rows.
StatusLayout ComputeLayout(int screen_lines, int console_rows, int columns, int fetch_threads,
                           const ResizeRequest& resize);

// The panel rule by screen lines L: adjusts T and sets P from n fetch threads.
void ApplyPanelRule(int screen_lines, int fetch_threads, StatusLayout* layout);

// The texts of the title line: "Korvendale-Webforums " + version + the variant tail.
std::string TitleText(std::string_view version_text, bool is_xp2);

// `text` padded with blanks or cut to `width` (empty for a width of 0 or less).
std::string FitText(std::string_view text, int width);

// What a panel's "Connect: [ ]" field shows of the slot's connections: the
// mark "x" between the brackets while its one connection is in a request,
// " " otherwise; for a harvest over several connections, in place of the
// brackets, how many are in a request of how many ("3/4").
std::string ConnectedMark(const run::WorkerConnections& connections);

// Frame, separators and labels in the frame colour.
void DrawStaticLayout(Screen& screen, const StatusLayout& layout, const DisplayColours& colours);
// Title and the clock text in one update.
void DrawTitle(Screen& screen, const StatusLayout& layout, const DisplayColours& colours,
               std::string_view title, std::string_view clock_text);
// One cycle's values (into the open update): clock, the panels' marks and
// texts, the slot count and the transfer summary.
void DrawValues(Screen& screen, const StatusLayout& layout, const DisplayColours& colours,
                const run::Run& run, std::string_view clock_text, std::string_view summary);

}  // namespace quorix::console
