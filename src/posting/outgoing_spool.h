// The box's outgoing spool: the articles that CrossPoint's user wrote, one per
// file "n????.OUT" in WebSpool, handed one by one to the poster of the box's
// forum engine, with the flooding-control pause between files. Also the line
// reader with which the posters read an outgoing file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "log/thread_log.h"
#include "platform/file.h"
#include "run/run.h"
#include "worker/worker.h"

namespace quorix::posting {

// Posts one outgoing file (name without directory) as article `article_number`
// of the pass for `engine`; true when the forum confirmed it.
using ArticlePoster = std::function<bool(const worker::Worker& worker, int engine,
                                         std::string_view file_name, int article_number)>;

// Offers every outgoing file of the slot's spool to the forum. Called by the
// posting thread for a box whose configuration was read. Files are taken in
// the order of their names (OrderOutgoingFiles), whatever order the directory
// lists them in, so articles reach the forum in the order the reader wrote
// them; article numbers start at 1; from the second file on, the thread waits
// WebFloodingControl seconds before each.
void ProcessOutgoingSpool(const worker::Worker& worker);
// The same with the poster given (the engine's poster in the program, a fake in tests).
void ProcessOutgoingSpool(const worker::Worker& worker, const ArticlePoster& poster);

// Outgoing file names in posting order: by name, letter case ignored (the
// reader numbers its files n0001.OUT, n0002.OUT, ...), names that differ only
// in case by their bytes.
void OrderOutgoingFiles(std::vector<std::string>& names);

// The line reader's state for one file; a fresh reader starts at the file's start.
// Unreturned bytes are buffer[start, end); buffer[start, scanned) holds no LF.
struct SpoolLineReader {
  int64_t remaining = 0;  // bytes of the file not yet read into the buffer
  std::string buffer;     // bytes read and not yet returned (from `start` on)
  int line_count = 0;     // lines returned so far
  int end_flag = 0;       // 1 at the end of the file or after a read error
  size_t start = 0;
  size_t scanned = 0;
  bool started = false;
};

// Where the reader's bytes come from: the open file, or a stand-in in tests.
class SpoolSource {
 public:
  virtual ~SpoolSource() = default;
  virtual int64_t Size() = 0;                            // -1 on error
  virtual int64_t Read(char* buffer, int64_t size) = 0;  // bytes read, 0 at the end, -1 on error
};

// The next line of `file`, without its line end and with every CR removed.
// The file is read in blocks of at most 4096 bytes. The last line comes with
// end_flag 1; text after the last LF is not returned. A read error logs
// "Error: parsing file" (level 1), sets end_flag and returns an empty line.
std::string ReadSpoolLine(platform::File& file, SpoolLineReader& reader, const log::ThreadLog& log);
std::string ReadSpoolLine(SpoolSource& source, SpoolLineReader& reader, const log::ThreadLog& log);

}  // namespace quorix::posting
