// The shared run state: everything the threads share lives here, created by
// main and passed by reference. No mutable globals anywhere else.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "log/logger.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/named_mutex.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "platform/tls.h"
#include "run/base_state.h"
#include "run/settings.h"
#include "run/shared_text.h"
#include "text/charset.h"

namespace quorix::run {

constexpr int kSlotCount = 11;  // slots 0..10
constexpr int kMaxFetchThreads = 8;
constexpr int kMaxOpenHandles = 999;  // open files and connections of the process
inline constexpr char kVersionText[] = "v0.23g";
inline constexpr char kProgramTag[] = "QUORIX ";
inline constexpr char kExitRequestText[] = "Exit requested by User";

// A worker's network connections as the status display sees them: how many
// are in a request, the handle of the current or last one, and the list that a
// digit cuts. The worker's requests attach a connection after creating it
// and detach it before closing it; the display only interrupts them, under
// the same lock. Nothing else of the slot is the requests' to touch.
class WorkerConnections {
 public:
  // SlotConnected: the requests in progress (at most one but for a harvest
  // over several connections).
  std::atomic<int> connected{0};
  // The connections the slot's harvest fetches over (WebConnections of its box).
  std::atomic<int> count{1};
  std::atomic<int> socket{0};     // SlotSocket: handle of the current or last connection
  // Trusted roots and resumable sessions of the worker's TLS connections,
  // made by the first HTTPS request and kept for the next ones (the worker's
  // thread only).
  std::unique_ptr<platform::TlsClient> tls_client;

  void Attach(platform::Connection* connection) {
    std::lock_guard<std::mutex> lock(lock_);
    for (platform::Connection*& entry : open_) {
      if (entry == nullptr) {
        entry = connection;
        return;
      }
    }
  }
  void Detach(platform::Connection* connection) {
    std::lock_guard<std::mutex> lock(lock_);
    for (platform::Connection*& entry : open_) {
      if (entry == connection) entry = nullptr;
    }
  }
  // Returns true when a connection was open and has been cut; cuts them all.
  bool InterruptAll() {
    std::lock_guard<std::mutex> lock(lock_);
    bool cut = false;
    for (platform::Connection* entry : open_) {
      if (entry == nullptr) continue;
      entry->Interrupt();
      cut = true;
    }
    return cut;
  }

 private:
  std::mutex lock_;
  // One per connection in use: at most eight kept ones and a form's.
  std::array<platform::Connection*, 9> open_{};
};

// One worker's state. Texts that the status display reads are SharedText;
// flags are atomic. The rest is written and read by the slot's own thread.
struct Slot {
  std::string box_file;           // BoxFile
  SharedText activity;            // SlotActivity: the "Information" line
  SharedText status;              // SlotStatus: the "Sent/Rcvd" line
  SharedText shown_server;        // WebServer as the status screen shows it
  std::atomic<int> error{0};      // SlotError

  WebSettings web;
  ForumTemplate forum_template;
  std::string group_list_text;  // GroupListText
  int topic_count = 0;          // TopicCount
  int next_topic = 1;           // NextTopic
  // The character set of the forum's pages as this run read them (the last
  // page fetched with status 200); none before the first. Written by the
  // fetch thread, read by the posting thread after the fetch threads ended.
  std::optional<text::Charset> forum_charset;
  // The network connections of the slot's requests.
  WorkerConnections connections;
};

// Facts about the CrossPoint installation, set once at start.
struct Environment {
  std::string program_dir;        // ProgramDir, ending in "\" or "/" (empty: current directory)
  int xp_supported = 0;           // XpSupported
  int xp_variant = 0;             // XpVariant: 0 none, 1 OpenXP/FreeXP, 2 XP2
  int is_xp2 = 0;                 // IsXp2: RFC/PPP style
  int is_rfc_client = 0;          // IsRfcClient: RFC/Client style
  int is_free_xp = 0;             // IsFreeXp
  int has_openxp_help = 0;        // HasOpenXpHelp
  int screen_lines = 0;           // ScreenLines
  std::string log_dir = "LOG\\";  // LogDir
  int shell25 = 0;                // Shell25
  std::string omralog;            // the environment variable OMRALOG
};

// Starts a worker thread: platform::Thread::Start in the program; tests give
// one that refuses, as a system out of threads does.
using ThreadStarter = std::function<platform::Thread(std::function<void(int)> body, int argument)>;

struct Run {
  Run(const platform::Clock& clock, platform::Sleeper& sleeper, platform::Console& console)
      : clock(clock), sleeper(sleeper), console(console), log(clock, kProgramTag, kVersionText) {}
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  const platform::Clock& clock;
  platform::Sleeper& sleeper;
  platform::Console& console;
  log::Logger log;
  Environment env;

  std::array<Slot, kSlotCount> slots;

  std::atomic<int> posting_enabled{1};      // PostingEnabled
  std::atomic<int> fetch_thread_count{0};   // FetchThreadCount
  std::atomic<int> slot_count{0};           // SlotCount
  std::atomic<int> stop_display{0};         // StopDisplay
  std::atomic<int> user_exit_requested{0};  // UserExitRequested
  std::atomic<long long> total_bytes{0};    // TotalBytes: bytes sent and received
  std::atomic<double> display_start{0};     // DisplayStart
  std::atomic<int> open_handles{0};         // entries of the 999-entry handle table in use
  // Set when a thread could not be started or ended with an exception: the
  // run still ends in order, with exit code 1.
  std::atomic<int> aborted{0};

  ThreadStarter start_thread = platform::Thread::Start;

  // DupeBaseLimit: the largest size any box asked for, at least 16000 once a box was read.
  void RaiseDupeBaseLimit(long long requested) {
    std::lock_guard<std::mutex> lock(dupe_limit_lock_);
    if (requested > dupe_base_limit_) dupe_base_limit_ = requested;
    if (dupe_base_limit_ < 16000) dupe_base_limit_ = 16000;
  }
  long long DupeBaseLimit() const {
    std::lock_guard<std::mutex> lock(dupe_limit_lock_);
    return dupe_base_limit_;
  }

  // Held while a shared file is opened and while the bases and group lists
  // are rewritten; see base_state.h for its place in the lock order.
  platform::NamedMutex file_open_mutex{"quorix_fileopen"};
  platform::NamedMutex req_access_mutex{"quorix_req_access"};
  platform::NamedMutex logfile_mutex{"quorix_logfile"};

  // The bases, each owning its data and its locks (base_state.h).
  DupeBaseState dupe_base;
  DeliveryState delivery;  // with "quorix_dupebase": the journal, the spool names
  HtmlBaseState html_base;
  PendingPostState pending_posts;  // with "quorix_pendingposts"

  std::mutex posted_html_lock;  // one slot at a time writes POSTED.HTML

 private:
  mutable std::mutex dupe_limit_lock_;
  long long dupe_base_limit_ = 0;
};

}  // namespace quorix::run
