#include "http/response_reader.h"

#include <algorithm>
#include <vector>

#include "http/gzip_body.h"
#include "http/http_response.h"
#include "text/text.h"

namespace quorix::http {
namespace {

// A header block is never longer than this.
constexpr int64_t kMaxHeadBytes = 256 * 1024;
// Interim (1xx) answers skipped before the real one.
constexpr int kMaxInterimAnswers = 8;
// A chunk-size line (with its extensions) or trailer line is never longer.
constexpr size_t kMaxChunkLine = 4096;

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (text::ToLower437(a[i]) != text::ToLower437(b[i])) return false;
  }
  return true;
}

// Whether the comma-separated list `value` holds `token` (letter case ignored).
bool HasToken(std::string_view value, std::string_view token) {
  while (!value.empty()) {
    const size_t comma = value.find(',');
    if (SameIgnoringCase(text::TrimBlanks(value.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return false;
}

// The received bytes, read further from the source on demand.
class Input {
 public:
  Input(const ByteSource& source, const ReaderLimits& limits) : source_(source), limits_(limits) {}

  // Reads more; false when the source gave nothing or the limit is reached.
  bool More() {
    if (static_cast<int64_t>(data_.size()) >= limits_.max_response_bytes) {
      over_limit_ = true;
      return false;
    }
    const int64_t want =
        std::min(limits_.receive_chunk, limits_.max_response_bytes - static_cast<int64_t>(data_.size()));
    const size_t size = data_.size();
    data_.resize(size + static_cast<size_t>(want));
    const int64_t got = source_(data_.data() + size, want);
    data_.resize(size + static_cast<size_t>(got > 0 ? got : 0));
    if (got <= 0) return false;
    received_ += got;
    return true;
  }
  // Makes at least `count` bytes available past the position.
  bool Need(size_t count) {
    while (data_.size() - pos_ < count) {
      if (!More()) return false;
    }
    return true;
  }
  std::string_view Rest() const { return std::string_view(data_).substr(pos_); }
  void Skip(size_t count) { pos_ += count; }
  size_t pos() const { return pos_; }
  int64_t received() const { return received_; }
  bool over_limit() const { return over_limit_; }
  bool empty() const { return data_.empty(); }

  // One line up to LF (CR LF or a bare LF), without its end; false when
  // the source ends first or the line passes `max_length`.
  bool Line(size_t max_length, std::string_view* line, bool* too_long) {
    size_t searched = 0;
    for (;;) {
      const std::string_view rest = Rest();
      const size_t lf = rest.find('\n', searched);
      if (lf != std::string_view::npos) {
        std::string_view found = rest.substr(0, lf);
        if (!found.empty() && found.back() == '\r') found.remove_suffix(1);
        if (found.size() > max_length) {
          *too_long = true;
          return false;
        }
        *line = found;
        pos_ += lf + 1;
        return true;
      }
      if (rest.size() > max_length + 1) {
        *too_long = true;
        return false;
      }
      searched = rest.size();
      if (!More()) return false;
    }
  }

 private:
  const ByteSource& source_;
  const ReaderLimits& limits_;
  std::string data_;
  size_t pos_ = 0;
  int64_t received_ = 0;
  bool over_limit_ = false;
};

struct Head {
  std::string kept_lines;  // status line and the header lines passed on
  int status = 0;
  bool http11 = false;
  std::vector<std::string> content_lengths;
  std::string transfer_encoding;
  std::string content_encoding;
  std::string connection;
};

// Reads a header block (the status line first). kNone on success.
ReadFailure ReadHead(Input& input, Head* head) {
  const size_t start = input.pos();
  // Whatever does not start as a status line is refused at once.
  constexpr std::string_view kPrefix = "HTTP/";
  const bool whole_prefix = input.Need(kPrefix.size());
  const std::string_view begin = input.Rest().substr(0, kPrefix.size());
  if (begin != kPrefix.substr(0, begin.size())) return ReadFailure::kBadHead;
  if (!whole_prefix) {
    return begin.empty() && input.empty() ? ReadFailure::kNoAnswer : ReadFailure::kCutShort;
  }
  bool too_long = false;
  std::string_view line;
  if (!input.Line(static_cast<size_t>(kMaxHeadBytes), &line, &too_long)) {
    if (too_long || input.over_limit()) return ReadFailure::kBadHead;
    return input.Rest().empty() && input.pos() == start && input.empty() ? ReadFailure::kNoAnswer
                                                                          : ReadFailure::kCutShort;
  }
  head->status = StatusCode(line);
  if (head->status == 0) return ReadFailure::kBadHead;
  head->http11 = !line.starts_with("HTTP/1.0");
  head->kept_lines.append(line).append("\r\n");
  for (;;) {
    const auto used = static_cast<int64_t>(input.pos() - start);
    if (used > kMaxHeadBytes) return ReadFailure::kBadHead;
    if (!input.Line(static_cast<size_t>(kMaxHeadBytes - used), &line, &too_long)) {
      return too_long || input.over_limit() ? ReadFailure::kBadHead : ReadFailure::kCutShort;
    }
    if (line.empty()) break;
    const size_t colon = line.find(':');
    const std::string_view name = text::TrimBlanks(line.substr(0, colon));
    const std::string_view value =
        colon == std::string_view::npos ? std::string_view{} : text::TrimBlanks(line.substr(colon + 1));
    if (SameIgnoringCase(name, "Content-Length")) {
      head->content_lengths.emplace_back(value);
      continue;
    }
    if (SameIgnoringCase(name, "Transfer-Encoding")) {
      if (!head->transfer_encoding.empty()) head->transfer_encoding += ",";
      head->transfer_encoding += value;
      continue;
    }
    if (SameIgnoringCase(name, "Content-Encoding")) {
      if (!head->content_encoding.empty()) head->content_encoding += ",";
      head->content_encoding += value;
      continue;
    }
    if (SameIgnoringCase(name, "Connection")) {
      if (!head->connection.empty()) head->connection += ",";
      head->connection += value;
    }
    head->kept_lines.append(line).append("\r\n");
  }
  head->kept_lines += "\r\n";
  return ReadFailure::kNone;
}

// The declared length; -1 when the head declares none. kNone or kBadLength.
ReadFailure DeclaredLength(const Head& head, int64_t limit, int64_t* length) {
  *length = -1;
  for (const std::string& value : head.content_lengths) {
    if (value.empty()) return ReadFailure::kBadLength;
    int64_t number = 0;
    for (char c : value) {
      if (c < '0' || c > '9') return ReadFailure::kBadLength;
      number = number * 10 + (c - '0');
      if (number > limit) return ReadFailure::kTooLarge;
    }
    if (*length >= 0 && *length != number) return ReadFailure::kBadLength;
    *length = number;
  }
  return ReadFailure::kNone;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

ReadFailure ReadChunked(Input& input, int64_t limit, std::string* body) {
  bool too_long = false;
  std::string_view line;
  for (;;) {
    if (!input.Line(kMaxChunkLine, &line, &too_long)) {
      return too_long ? ReadFailure::kBadChunk
                      : (input.over_limit() ? ReadFailure::kTooLarge : ReadFailure::kCutShort);
    }
    // The size in hex, then blanks or ";" extensions.
    size_t digits = 0;
    int64_t size = 0;
    while (digits < line.size() && HexDigit(line[digits]) >= 0) {
      size = size * 16 + HexDigit(line[digits]);
      ++digits;
      if (size > limit) return ReadFailure::kTooLarge;
    }
    if (digits == 0) return ReadFailure::kBadChunk;
    const std::string_view after = text::TrimBlanks(line.substr(digits));
    if (!after.empty() && after.front() != ';') return ReadFailure::kBadChunk;
    if (size == 0) break;
    if (static_cast<int64_t>(body->size()) + size > limit) return ReadFailure::kTooLarge;
    if (!input.Need(static_cast<size_t>(size))) {
      return input.over_limit() ? ReadFailure::kTooLarge : ReadFailure::kCutShort;
    }
    body->append(input.Rest().substr(0, static_cast<size_t>(size)));
    input.Skip(static_cast<size_t>(size));
    // The chunk's data ends in CR LF (a bare LF accepted).
    if (!input.Line(0, &line, &too_long)) {
      return too_long ? ReadFailure::kBadChunkEnd
                      : (input.over_limit() ? ReadFailure::kTooLarge : ReadFailure::kCutShort);
    }
  }
  // Trailer lines up to the empty one; their content is not used.
  for (size_t trailers = 0;; ++trailers) {
    if (trailers > 64) return ReadFailure::kBadChunkEnd;
    if (!input.Line(kMaxChunkLine, &line, &too_long)) {
      return too_long ? ReadFailure::kBadChunkEnd
                      : (input.over_limit() ? ReadFailure::kTooLarge : ReadFailure::kCutShort);
    }
    if (line.empty()) return ReadFailure::kNone;
  }
}

}  // namespace

std::string_view ReadFailureText(ReadFailure failure) {
  switch (failure) {
    case ReadFailure::kNone: return "none";
    case ReadFailure::kNoAnswer: return "closed without answering";
    case ReadFailure::kCutShort: return "answer cut short";
    case ReadFailure::kBadHead: return "no valid status line and headers";
    case ReadFailure::kBadLength: return "Content-Length not valid";
    case ReadFailure::kBadChunk: return "chunk size not hex";
    case ReadFailure::kBadChunkEnd: return "chunk not ended by CR LF";
    case ReadFailure::kTooLarge: return "answer past 64 MiB";
    case ReadFailure::kBadCoding: return "coding not understood";
    case ReadFailure::kCorruptGzip: return "gzip body corrupt";
    case ReadFailure::kGzipTooLarge: return "gzip body expands past 64 MiB";
    case ReadFailure::kTrailingBytes: return "more bytes than its length";
  }
  return "unknown";
}

KeptResponse ReadKeptResponse(const ByteSource& source, const ReaderLimits& limits) {
  KeptResponse result;
  Input input(source, limits);
  Head head;
  ReadFailure failure = ReadFailure::kNone;
  for (int interim = 0;; ++interim) {
    head = Head{};
    failure = ReadHead(input, &head);
    if (failure != ReadFailure::kNone || head.status >= 200 || head.status < 100) break;
    if (interim >= kMaxInterimAnswers) {
      failure = ReadFailure::kBadHead;
      break;
    }
  }
  std::string body;
  bool until_close = false;
  if (failure == ReadFailure::kNone) {
    const int64_t limit = limits.max_response_bytes;
    const bool no_body = head.status == 204 || head.status == 304;
    if (!head.transfer_encoding.empty()) {
      // Only chunked alone: a transfer coding under it would need decoding too.
      failure = SameIgnoringCase(text::TrimBlanks(head.transfer_encoding), "chunked")
                    ? ReadChunked(input, limit, &body)
                    : ReadFailure::kBadCoding;
    } else if (!no_body) {
      int64_t length = -1;
      failure = DeclaredLength(head, limit, &length);
      if (failure == ReadFailure::kNone && length >= 0) {
        if (input.Need(static_cast<size_t>(length))) {
          body.assign(input.Rest().substr(0, static_cast<size_t>(length)));
          input.Skip(static_cast<size_t>(length));
        } else {
          failure = input.over_limit() ? ReadFailure::kTooLarge : ReadFailure::kCutShort;
        }
      } else if (failure == ReadFailure::kNone) {
        // No length: the body ends with the connection.
        until_close = true;
        while (input.More()) {
        }
        if (input.over_limit()) failure = ReadFailure::kTooLarge;
        body.assign(input.Rest());
        input.Skip(body.size());
      }
    }
  }
  if (failure == ReadFailure::kNone && !input.Rest().empty()) {
    // Nothing was asked after this request: bytes past the answer mean
    // the framing lied, and the answer itself cannot be trusted.
    failure = ReadFailure::kTrailingBytes;
  }
  if (failure == ReadFailure::kNone && !head.content_encoding.empty()) {
    const std::string_view coding = text::TrimBlanks(head.content_encoding);
    if (SameIgnoringCase(coding, "gzip") || SameIgnoringCase(coding, "x-gzip")) {
      std::string decoded;
      const GzipResult gzip = GunzipBody(body, &decoded, limits.max_decoded_bytes);
      if (gzip == GzipResult::kCorrupt) failure = ReadFailure::kCorruptGzip;
      if (gzip == GzipResult::kTooLarge) failure = ReadFailure::kGzipTooLarge;
      body.swap(decoded);
    } else if (!SameIgnoringCase(coding, "identity")) {
      failure = ReadFailure::kBadCoding;
    }
  }
  result.received = input.received();
  result.failure = failure;
  if (failure != ReadFailure::kNone) return result;
  const bool close = HasToken(head.connection, "close");
  const bool keep = head.http11 ? !close : HasToken(head.connection, "keep-alive");
  result.reusable = keep && !until_close;
  result.response = std::move(head.kept_lines);
  result.response += body;
  return result;
}

}  // namespace quorix::http
