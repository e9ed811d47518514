#include "posting/outgoing_spool.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <vector>

#include "bases/pending_posts.h"
#include "log/logger.h"
#include "posting/threads_poster.h"
#include "posting/ubb_poster.h"
#include "text/text.h"

namespace quorix::posting {
namespace {

constexpr int64_t kReadBlockSize = 4096;
constexpr std::string_view kOutgoingPattern = "n????.OUT";

class FileSource : public SpoolSource {
 public:
  explicit FileSource(platform::File& file) : file_(file) {}
  int64_t Size() override { return file_.Size(); }
  int64_t Read(char* buffer, int64_t size) override { return file_.Read(buffer, size); }

 private:
  platform::File& file_;
};

bool DispatchToEngine(const worker::Worker& worker, int engine, std::string_view file_name,
                      int article_number) {
  if (engine == run::kUbb) return PostUbbArticle(worker, file_name, article_number);
  if (engine == run::kUbbThreads) return PostThreadsArticle(worker, file_name, article_number);
  return false;  // no engine: nothing is posted, but the file still counts
}

std::string ReadFailed(SpoolLineReader& reader, const log::ThreadLog& log) {
  log.Write("Error: parsing file", log::kError);
  reader.end_flag = 1;
  return {};
}

}  // namespace

void OrderOutgoingFiles(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string upper_a = text::UpperCase437(a);
    const std::string upper_b = text::UpperCase437(b);
    return upper_a != upper_b ? upper_a < upper_b : a < b;
  });
}

void ProcessOutgoingSpool(const worker::Worker& worker) {
  ProcessOutgoingSpool(worker, DispatchToEngine);
}

void ProcessOutgoingSpool(const worker::Worker& worker, const ArticlePoster& poster) {
  run::Slot& state = worker.slot();
  const run::WebSettings& web = state.web;
  std::vector<std::string> files = platform::ListDirectory(web.spool, kOutgoingPattern);
  OrderOutgoingFiles(files);
  if (files.empty()) {
    std::string message = "Nothing to send to " + web.server;
    worker.Log(message, log::kProgress);
    state.activity.Set("");
    state.status.Set(message);
    return;
  }
  if (web.posting != 1) return;
  // Without the pending-post records no article can be sent safely.
  if (!bases::PendingPostsReadable(worker.run(), worker.log())) {
    state.status.Set("Error posting Article");
    state.error.store(1);
    return;
  }

  int article_number = 0;
  for (const std::string& file_name : files) {
    if (article_number > 0 && web.flooding_control > 0) {
      state.status.Set("Flooding control" + text::DecimalSigned(web.flooding_control));
      int64_t pause_ms = std::min<int64_t>(int64_t{web.flooding_control} * 1000, INT_MAX);
      worker.run().sleeper.SleepMs(static_cast<int>(pause_ms));
    }
    ++article_number;
    try {
      poster(worker, web.engine, file_name, article_number);
    } catch (const std::exception&) {
      // Memory ran out for this file: it stays in the spool, the pass goes on.
      state.status.Set("Error posting Article");
      worker.Log("Article not posted", log::kError);
    }
  }
}

std::string ReadSpoolLine(platform::File& file, SpoolLineReader& reader,
                          const log::ThreadLog& log) {
  FileSource source(file);
  return ReadSpoolLine(source, reader, log);
}

std::string ReadSpoolLine(SpoolSource& source, SpoolLineReader& reader, const log::ThreadLog& log) {
  if (!reader.started) {
    reader = SpoolLineReader();
    reader.started = true;
    reader.remaining = source.Size();
    if (reader.remaining < 0) {
      reader.remaining = 0;
      return ReadFailed(reader, log);
    }
  }
  std::string line;
  bool found = false;
  while (!found && reader.end_flag == 0) {
    size_t lf = reader.buffer.find('\n', reader.scanned);
    if (lf != std::string::npos) {
      std::string_view text =
          std::string_view(reader.buffer).substr(reader.start, lf - reader.start);
      line.reserve(text.size());
      for (size_t cr; (cr = text.find('\r')) != std::string_view::npos;
           text.remove_prefix(cr + 1)) {
        line.append(text.substr(0, cr));
      }
      line.append(text);
      reader.start = reader.scanned = lf + 1;
      ++reader.line_count;
      found = true;
    } else if (reader.remaining > 0) {
      // Drop what was returned before growing the buffer, so a long file
      // never moves more than one unfinished line per block.
      reader.buffer.erase(0, reader.start);
      reader.scanned = reader.buffer.size();
      reader.start = 0;
      int64_t want = std::min(kReadBlockSize, reader.remaining);
      size_t old_size = reader.buffer.size();
      reader.buffer.resize(old_size + static_cast<size_t>(want));
      int64_t got = source.Read(reader.buffer.data() + old_size, want);
      if (got <= 0) {
        // An error, or a file that shrank while it was read.
        reader.buffer.resize(old_size);
        return ReadFailed(reader, log);
      }
      reader.buffer.resize(old_size + static_cast<size_t>(got));
      reader.remaining -= got;
    } else {
      line.clear();
      reader.end_flag = 1;
    }
    if (reader.remaining == 0 && reader.start == reader.buffer.size()) reader.end_flag = 1;
  }
  return line;
}

}  // namespace quorix::posting
