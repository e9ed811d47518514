// Reading one HTTP/1.1 response off a kept connection: the header block, the
// body framed by Content-Length, chunked transfer coding or the end of the
// connection, and a gzip body decoded. Pure: the bytes come from a source,
// nothing is logged; the caller says what a failure means.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quorix::http {

// Receives at most `size` bytes into `buffer`; 0 when no more come (closed,
// cut or timed out: the caller knows which).
using ByteSource = std::function<int64_t(char* buffer, int64_t size)>;

enum class ReadFailure {
  kNone,
  kNoAnswer,         // the connection ended before the first byte
  kCutShort,         // it ended inside the answer
  kBadHead,          // no status line, or a header block past its limit
  kBadLength,        // Content-Length not a number, or two that differ
  kBadChunk,         // a chunk size that is not hex
  kBadChunkEnd,      // a chunk's data not ended by CR LF, or endless trailers
  kTooLarge,         // the body (or a chunk) passes the response limit
  kBadCoding,        // a transfer or content coding other than chunked / gzip
  kCorruptGzip,      // the gzip body does not decode
  kGzipTooLarge,     // the gzip body expands past its limit
  kTrailingBytes,    // more bytes came than the answer's framing holds
};

// A short English phrase for a failure ("chunk size not hex").
std::string_view ReadFailureText(ReadFailure failure);

struct KeptResponse {
  ReadFailure failure = ReadFailure::kNone;
  // The status line and header lines as received (each ending in CR LF, the
  // empty line after them) without the framing and coding lines
  // (Content-Length, Transfer-Encoding, Content-Encoding), then the body as
  // decoded: what a page reader expects of a whole answer.
  std::string response;
  // Whether the connection may carry the next request.
  bool reusable = false;
  // Bytes taken from the source, this answer's and any after it.
  int64_t received = 0;
};

struct ReaderLimits {
  int64_t max_response_bytes = int64_t{64} * 1024 * 1024;  // header block + body on the wire
  int64_t max_decoded_bytes = int64_t{64} * 1024 * 1024;   // a gzip body once decoded
  int64_t receive_chunk = 16384;                           // bytes asked for in one receive
};

// Reads the answer to one GET request (the answer to a HEAD request would
// have no body; none is sent). Interim 1xx answers are skipped.
KeptResponse ReadKeptResponse(const ByteSource& source, const ReaderLimits& limits = {});

}  // namespace quorix::http
