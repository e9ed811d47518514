#include "console/status_layout.h"

#include <algorithm>

#include "text/text.h"

namespace quorix::console {
namespace {

constexpr int kFrameColumn = 6;
constexpr int kLabelColumn = 8;
constexpr int kValueColumn = 21;
constexpr int kSlotCountColumn = 20;
constexpr int kUnsetTop = 5;

int HalfMinusSeven(int rows) { return rows / 2 - 7; }

std::string Separator(int columns) {
  std::string line(1, kBoxTeeRight);
  line.append(static_cast<size_t>(std::max(columns - 12, 0)), kBoxHorizontal);
  line.push_back(kBoxTeeLeft);
  return line;
}

const run::Slot* SlotAt(const run::Run& run, int slot) {
  if (slot < 0 || slot >= run::kSlotCount) return nullptr;
  return &run.slots[static_cast<size_t>(slot)];
}

}  // namespace

StatusLayout ComputeLayout(int screen_lines, int console_rows, int columns, int fetch_threads,
                           const ResizeRequest& resize) {
  StatusLayout layout;
  layout.columns = columns;
  int rows = console_rows;
  int lines = screen_lines > 0 ? screen_lines : rows;
  if (lines == rows) {
    layout.top = HalfMinusSeven(rows);
  } else {
    layout.top = kUnsetTop;
    layout.problems.push_back("Reseting Console" + text::DecimalSigned(lines) + "/" +
                              text::Decimal(columns));
    rows = resize ? resize(lines, columns) : rows;
    if (rows != lines) {
      layout.problems.push_back("Wrong Screen-Settings between XP and Console?" +
                                text::DecimalSigned(lines) + "/" + text::Decimal(rows));
    } else {
      layout.top = HalfMinusSeven(rows);
    }
    if (rows < lines) {
      lines = rows;
    } else {
      rows = lines;
    }
  }
  layout.screen_lines = lines;
  layout.console_rows = rows;
  ApplyPanelRule(lines, fetch_threads, &layout);
  return layout;
}

void ApplyPanelRule(int screen_lines, int fetch_threads, StatusLayout* layout) {
  const int n = fetch_threads;
  int& top = layout->top;
  int& panels = layout->panels;
  panels = n;
  const int lines = screen_lines;
  if (lines >= 1 && lines <= 32) {
    if (n == 1) top += 2;
    if (n > 2) panels = 2;
  } else if (lines >= 33 && lines <= 35) {
    if (n > 3) panels = 3;
  } else if (lines >= 36 && lines <= 39) {
    if (n > 4) panels = 4;
    top = top - panels + 1;
  } else if (lines >= 40 && lines <= 43) {
    if (n > 5) panels = 5;
    top -= panels;
  } else if (lines >= 44 && lines <= 46) {
    if (n > 6) panels = 6;
    top -= panels;
  } else if (lines >= 47 && lines <= 50) {
    if (n > 8) panels = 8;
    top -= panels;
  } else if (lines == 60) {
    if (n > 9) panels = 9;
    top = top - panels - 4;
  } else {
    panels = 2;
  }
}

std::string ConnectedMark(const run::WorkerConnections& connections) {
  const int count = connections.count.load();
  const int connected = connections.connected.load();
  if (count <= 1) return connected > 0 ? "x" : " ";
  return text::Decimal(std::min(connected, count)) + "/" + text::Decimal(count);
}

std::string TitleText(std::string_view version_text, bool is_xp2) {
  std::string title = "Korvendale-Webforums ";
  title.append(version_text);
  if (is_xp2) {
    title.append(22, ' ');
  } else {
    title.append("      (OpenXP Support)");
  }
  return title;
}

std::string FitText(std::string_view text, int width) {
  if (width <= 0) return std::string();
  std::string fitted(text.substr(0, static_cast<size_t>(width)));
  fitted.resize(static_cast<size_t>(width), ' ');
  return fitted;
}

void DrawStaticLayout(Screen& screen, const StatusLayout& layout, const DisplayColours& colours) {
  const int c = layout.columns;
  const uint16_t colour = colours.frame;
  screen.DrawFrame(layout.top, kFrameColumn, layout.FrameHeight(), layout.FrameWidth(), colour);
  const std::string separator = Separator(c);
  screen.PutText(layout.top + 2, kFrameColumn, separator, colour);
  for (int k = 1; k <= layout.panels + 1; ++k) {
    const int b = layout.PanelRow(k);
    screen.PutText(b, kLabelColumn, "Webforum   :", colour);
    screen.PutText(b, c - 18, "Connect: [ ]", colour);
    screen.PutText(b + 1, kLabelColumn, "Information:", colour);
    screen.PutText(b + 1, c - 18, "Errors : [ ]", colour);
    screen.PutText(b + 2, kLabelColumn, "Sent/Rcvd  :", colour);
    screen.PutText(b + 3, kFrameColumn, separator, colour);
  }
  screen.PutText(layout.ThreadsRow(), kLabelColumn, "Threads    :", colour);
}

void DrawTitle(Screen& screen, const StatusLayout& layout, const DisplayColours& colours,
               std::string_view title, std::string_view clock_text) {
  screen.BeginScreenUpdate();
  screen.PutText(layout.top + 1, kLabelColumn, title, colours.title);
  screen.PutText(layout.top + 1, layout.columns - 14, clock_text, colours.value);
  screen.EndScreenUpdate();
}

void DrawValues(Screen& screen, const StatusLayout& layout, const DisplayColours& colours,
                const run::Run& run, std::string_view clock_text, std::string_view summary) {
  const int c = layout.columns;
  const uint16_t colour = colours.value;
  screen.PutText(layout.top + 1, c - 14, clock_text, colour);
  const int slot_count = run.slot_count.load();
  for (int k = 1; k <= layout.panels + 1; ++k) {
    const run::Slot* slot = SlotAt(run, layout.SlotOfPanel(k, slot_count));
    if (slot == nullptr) continue;
    const int b = layout.PanelRow(k);
    const std::string connected = ConnectedMark(slot->connections);
    if (connected.size() == 1) {
      // One connection: the mark between the frame's brackets, which a
      // harvest over several may have covered before.
      screen.PutText(b, c - 9, "[", colours.frame);
      screen.PutText(b, c - 8, connected, colour);
      screen.PutText(b, c - 7, "]", colours.frame);
    } else {
      screen.PutText(b, c - 9, connected, colour);
    }
    screen.PutText(b + 1, c - 8, slot->error.load() == 1 ? "x" : " ", colour);
    screen.PutText(b, kValueColumn, FitText(slot->shown_server.Get(), c - 40), colour);
    screen.PutText(b + 1, kValueColumn, FitText(slot->activity.Get(), c - 40), colour);
    screen.PutText(b + 2, kValueColumn, FitText(slot->status.Get(), c - 27), colour);
  }
  screen.PutText(layout.ThreadsRow(), kSlotCountColumn, text::DecimalSigned(slot_count), colour);
  screen.PutText(layout.ThreadsRow(), c - 50, summary, colour);
}

}  // namespace quorix::console
