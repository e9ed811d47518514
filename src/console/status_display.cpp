#include "console/status_display.h"

#include <cmath>
#include <exception>

#include "console/colours.h"
#include "console/status_layout.h"
#include "log/clock_text.h"
#include "log/logger.h"
#include "platform/file.h"
#include "platform/named_mutex.h"
#include "text/text.h"

namespace quorix::console {
namespace {

constexpr int kDisplayThread = 0;
constexpr int kCycleMs = 5;
constexpr int kSummaryWidth = 44;
constexpr long long kSummaryMinimumBytes = 5000;
constexpr double kSummaryMinimumSeconds = 3;
constexpr double kSecondsPerDay = 86400;
constexpr int64_t kClockFieldBytes = 9;

class StatusScreen {
 public:
  StatusScreen(run::Run& run, Screen& screen) : run_(run), screen_(screen) {}

  void Run();

 private:
  void LayOut(bool first_time);
  void Cycle();
  std::string ClockText() const;

  run::Run& run_;
  Screen& screen_;
  StatusLayout layout_;
  DisplayColours colours_;
  double clock_base_ = 0;
  int shown_rows_ = 0;
  int shown_columns_ = 0;
  int last_error_ = 0;
};

void StatusScreen::Run() {
  run_.log.WriteLog("Console Starting ...", kDisplayThread, log::kDebug);
  const double start = run_.clock.Now().seconds_since_midnight;
  run_.display_start.store(start);
  clock_base_ = ReadClockBase(run_, start);
  LayOut(/*first_time=*/true);

  for (;;) {
    Cycle();
    if (run_.stop_display.load() != 0) {
      run_.log.WriteLog("Console: Exit requested", kDisplayThread, log::kDebug);
      return;
    }
    HandleStatusKey(run_, screen_.console().ReadKey());
    run_.sleeper.SleepMs(kCycleMs);
  }
}

// The first lay-out settles the screen height (and may resize the console);
// a later one follows a console whose size changed under the running display
// (a terminal window resized by the user), without resize requests or lines.
void StatusScreen::LayOut(bool first_time) {
  platform::Console& console = screen_.console();
  const int rows = console.Rows();
  const int columns = console.Columns();
  const int fetch_threads = run_.fetch_thread_count.load();
  if (first_time) {
    layout_ = ComputeLayout(run_.env.screen_lines, rows, columns, fetch_threads,
                            [&console](int want_rows, int want_columns) {
                              console.Resize(want_rows, want_columns);
                              return console.Rows();
                            });
    for (const std::string& problem : layout_.problems) {
      run_.log.WriteLog(problem, kDisplayThread, log::kProblem);
    }
    run_.env.screen_lines = layout_.screen_lines;

    platform::CursorState cursor = console.GetCursor();
    cursor.visible = false;
    console.SetCursor(cursor);
    run_.user_exit_requested.store(0);
    ReadColours(run_, &colours_.frame, &colours_.value, &colours_.title);
  } else {
    layout_ = ComputeLayout(run_.env.screen_lines, run_.env.screen_lines, columns, fetch_threads,
                            nullptr);
  }
  shown_rows_ = console.Rows();
  shown_columns_ = console.Columns();

  screen_.BeginScreenUpdate();
  DrawStaticLayout(screen_, layout_, colours_);
  screen_.EndScreenUpdate();
  DrawTitle(screen_, layout_, colours_, TitleText(run_.log.version_text(), run_.env.is_xp2 == 1),
            first_time ? "00:00:00" : ClockText());
}

void StatusScreen::Cycle() {
  // A failing console would fail every 5 ms: one line per run of equal errors.
  const int error = screen_.TakeError();
  if (error != 0 && error != last_error_) {
    run_.log.WriteLog("Runtime Error" + text::DecimalSigned(error), kDisplayThread, log::kError);
  }
  last_error_ = error;

  platform::Console& console = screen_.console();
  if (console.Rows() != shown_rows_ || console.Columns() != shown_columns_) LayOut(false);

  screen_.BeginScreenUpdate();
  DrawValues(screen_, layout_, colours_, run_, ClockText(), TransferSummary(run_));
  screen_.EndScreenUpdate();
}

std::string StatusScreen::ClockText() const {
  return log::FormatElapsed(clock_base_, run_.clock.Now().seconds_since_midnight);
}

void InterruptSlot(run::Run& run, int slot) {
  if (slot < 1 || slot >= run::kSlotCount) return;
  run.slots[static_cast<size_t>(slot)].connections.InterruptAll();
}

}  // namespace

void StatusDisplay(run::Run& run, Screen& screen) {
  try {
    StatusScreen(run, screen).Run();
  } catch (const std::exception&) {
    // Out of memory or a failing library call: the display ends, the work goes on.
    try {
      run.log.WriteLog("Runtime Error", kDisplayThread, log::kError);
    } catch (...) {
    }
  } catch (...) {
  }
  // An update left open by an exception is dropped unseen.
  if (screen.UpdateOpen()) screen.EndScreenUpdate();
}

void HandleStatusKey(run::Run& run, int key) {
  if (key == platform::kNoKey) return;
  const int slot_count = run.slot_count.load();
  if (key == platform::kKeyEscape) {
    run.user_exit_requested.store(1);
  } else if (key == platform::kKeyAltX) {
    run.log.WriteLog("All Connections killed by User", kDisplayThread, log::kProblem);
    for (int slot = 1; slot <= slot_count; ++slot) InterruptSlot(run, slot);
  } else if (key >= '1' && key <= '9') {
    // The key read as a number; any other key reads as 0 and names no slot.
    const int slot = key - '0';
    if (slot <= slot_count) {
      run.log.WriteLog("WebBBS-Connection " + text::DecimalSigned(slot) + " killed by User",
                       kDisplayThread, log::kProblem);
      InterruptSlot(run, slot);
    }
  }
}

bool ParseSecondsValue(std::string_view text, double* value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  double number = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10 + (text[i] - '0');
    digits = true;
  }
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      number += (text[i] - '0') * scale;
      scale /= 10;
      digits = true;
    }
  }
  if (!digits) return false;
  *value = negative ? -number : number;
  return true;
}

// A time of day outside 0..86400 seconds is no start time: it would make the
// clock run from an arbitrary point, so the display's own start is used.
double ReadClockBase(run::Run& run, double now) {
  if (!platform::FileExists(run.env.program_dir + "Wdial.Dat")) return now;
  platform::File file;
  {
    platform::NamedLock lock(run.file_open_mutex);
    file = platform::File::Open(run.env.program_dir + "WDial.Dat", platform::Access::kRead,
                                platform::Sharing::kShared, platform::Missing::kFail);
  }
  if (!file.IsOpen()) return now;
  char bytes[kClockFieldBytes];
  int64_t have = 0;
  while (have < kClockFieldBytes) {
    const int64_t count = file.Read(bytes + have, kClockFieldBytes - have);
    if (count < 0) return now;
    if (count == 0) break;
    have += count;
  }
  file.Close();
  double base = 0;
  if (!ParseSecondsValue(std::string_view(bytes, static_cast<size_t>(have)), &base)) return now;
  if (base < 0 || base >= kSecondsPerDay) return now;
  return base;
}

std::string TransferSummary(const run::Run& run) {
  const double now = run.clock.Now().seconds_since_midnight;
  const long long total = run.total_bytes.load();
  const double start = run.display_start.load();
  if (total <= kSummaryMinimumBytes || start <= 0) return std::string(kSummaryWidth, ' ');
  if (!(now > start + kSummaryMinimumSeconds)) return std::string();
  const long long seconds = static_cast<long long>(std::nearbyint(now - start));
  const long long cps = total / seconds;
  std::string text = text::DecimalSigned(total) + " Bytes /" + text::DecimalSigned(cps) + " cps";
  if (text.size() < static_cast<size_t>(kSummaryWidth)) {
    text.insert(0, static_cast<size_t>(kSummaryWidth) - text.size(), ' ');
  }
  return text;
}

}  // namespace quorix::console
