// The HTTP/1.1 response reader of kept connections (framing by length, by
// chunks or by the close; gzip bodies), fed the bytes whole and in pieces
// of the sizes the input names. The answer must not depend on how the bytes
// arrive (only bytes past a lying length can go unseen when they come
// later), a taken answer is a status line, headers without framing lines
// and the body, a refused one is empty and never reused, and limits hold.
//
// Input: piece sizes (one byte each, 0 read as 1), 0x1E, response bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "http/http_response.h"
#include "http/response_reader.h"

namespace {

using quorix::http::ByteSource;
using quorix::http::KeptResponse;
using quorix::http::ReadFailure;
using quorix::http::ReaderLimits;

KeptResponse ReadInPieces(std::string_view wire, std::string_view sizes,
                          const ReaderLimits& limits) {
  size_t at = 0;
  size_t turn = 0;
  const ByteSource source = [&](char* buffer, int64_t size) -> int64_t {
    size_t piece = wire.size();
    if (!sizes.empty()) {
      piece = std::max<size_t>(1, static_cast<unsigned char>(sizes[turn % sizes.size()]));
      ++turn;
    }
    const size_t take = std::min({wire.size() - at, piece, static_cast<size_t>(size)});
    if (take > 0) std::memcpy(buffer, wire.data() + at, take);  // an empty input has no data
    at += take;
    return static_cast<int64_t>(take);
  };
  return ReadKeptResponse(source, limits);
}

bool HasFramingLine(std::string_view head) {
  for (const char* name : {"Content-Length", "Transfer-Encoding", "Content-Encoding"}) {
    if (!quorix::http::HeaderValue(head, name).empty()) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = quorix::fuzz::SplitParts(quorix::fuzz::AsText(data, size), 2);
  const std::string_view sizes = parts[0].substr(0, 16);
  const std::string_view wire = parts[1];
  ReaderLimits limits;
  // Small limits, so that the fuzzer reaches them.
  limits.max_response_bytes = 4096;
  limits.max_decoded_bytes = 8192;
  limits.receive_chunk = 512;

  const KeptResponse whole = ReadInPieces(wire, {}, limits);
  const KeptResponse pieces = ReadInPieces(wire, sizes, limits);
  QUORIX_FUZZ_CHECK(whole.received <= static_cast<int64_t>(wire.size()));
  QUORIX_FUZZ_CHECK(pieces.received <= static_cast<int64_t>(wire.size()));
  // Whether bytes past a lying length arrive with the answer depends on the
  // pieces; every other outcome must not.
  if (whole.failure != ReadFailure::kTrailingBytes &&
      pieces.failure != ReadFailure::kTrailingBytes) {
    QUORIX_FUZZ_CHECK(pieces.failure == whole.failure,
                      quorix::http::ReadFailureText(whole.failure),
                      quorix::http::ReadFailureText(pieces.failure));
    QUORIX_FUZZ_CHECK(pieces.response == whole.response, whole.response, pieces.response);
    QUORIX_FUZZ_CHECK(pieces.reusable == whole.reusable);
  }
  if (whole.failure == ReadFailure::kNone) {
    const std::string& response = whole.response;
    QUORIX_FUZZ_CHECK(quorix::http::StatusCode(response) >= 200 ||
                      quorix::http::StatusCode(response) < 100);
    const size_t end = response.find("\r\n\r\n");
    QUORIX_FUZZ_CHECK(end != std::string::npos, "a header block", response);
    QUORIX_FUZZ_CHECK(!HasFramingLine(response.substr(0, end + 4)), "no framing line", response);
    QUORIX_FUZZ_CHECK(static_cast<int64_t>(response.size()) <=
                      limits.max_response_bytes + limits.max_decoded_bytes);
  } else {
    QUORIX_FUZZ_CHECK(whole.response.empty());
    QUORIX_FUZZ_CHECK(!whole.reusable);
  }
  return 0;
}
