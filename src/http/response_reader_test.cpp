#include "http/response_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "http/gzip_body.h"

namespace quorix::http {
namespace {

// gzip of "<html>hello</html>" (34 bytes) and of 1000 times "a" (29 bytes).
const std::string kHelloGzip(
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xb3\xc9\x28\xc9\xcd\xb1\xcb\x48\xcd\xc9\xc9\xb7"
    "\xd1\x07\xb3\x01\x31\x6b\xb8\x98\x12\x00\x00\x00",
    34);
const std::string kThousandAGzip(
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x4b\x4c\x1c\x05\xa3\x60\x14\x0c\x77\x00\x00\x03"
    "\xda\x38\x9a\xe8\x03\x00\x00",
    29);

// Hands out `data` in pieces of at most `piece` bytes, then nothing.
struct Pieces {
  std::string data;
  size_t piece;
  size_t at = 0;
  int64_t operator()(char* buffer, int64_t size) {
    const size_t take = std::min({data.size() - at, piece, static_cast<size_t>(size)});
    std::memcpy(buffer, data.data() + at, take);
    at += take;
    return static_cast<int64_t>(take);
  }
};

KeptResponse Read(const std::string& wire, size_t piece, ReaderLimits limits = {}) {
  Pieces pieces{wire, piece};
  const ByteSource source = [&pieces](char* buffer, int64_t size) { return pieces(buffer, size); };
  return ReadKeptResponse(source, limits);
}

struct Case {
  const char* name;
  std::string wire;
  ReadFailure failure;
  std::string response;  // when taken
  bool reusable;
};

TEST(ReadKeptResponse, FramingCodingAndFaults) {
  const Case cases[] = {
      {"content length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX: y\r\n\r\nhello",
       ReadFailure::kNone, "HTTP/1.1 200 OK\r\nX: y\r\n\r\nhello", true},
      {"chunked with extension and trailer",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;a=b\r\nhello\r\nB\r\n 0123456789"
       "\r\n0\r\nX-Trailer: 1\r\n\r\n",
       ReadFailure::kNone, "HTTP/1.1 200 OK\r\n\r\nhello 0123456789", true},
      {"gzip with length",
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 34\r\n\r\n" + kHelloGzip,
       ReadFailure::kNone, "HTTP/1.1 200 OK\r\n\r\n<html>hello</html>", true},
      {"gzip chunked in two",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Encoding: gzip\r\n\r\n10\r\n" +
           kHelloGzip.substr(0, 16) + "\r\n12\r\n" + kHelloGzip.substr(16) + "\r\n0\r\n\r\n",
       ReadFailure::kNone, "HTTP/1.1 200 OK\r\n\r\n<html>hello</html>", true},
      {"connection close", "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok",
       ReadFailure::kNone, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nok", false},
      {"HTTP/1.0 answer closes", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok",
       ReadFailure::kNone, "HTTP/1.0 200 OK\r\n\r\nok", false},
      {"HTTP/1.0 keep-alive", "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nok",
       ReadFailure::kNone, "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\n\r\nok", true},
      {"no length: until the close", "HTTP/1.1 200 OK\r\n\r\nall of it", ReadFailure::kNone,
       "HTTP/1.1 200 OK\r\n\r\nall of it", false},
      {"interim answer skipped", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 404 No\r\nContent-Length: 0\r\n\r\n",
       ReadFailure::kNone, "HTTP/1.1 404 No\r\n\r\n", true},
      {"304 has no body", "HTTP/1.1 304 Not Modified\r\n\r\n", ReadFailure::kNone,
       "HTTP/1.1 304 Not Modified\r\n\r\n", true},
      {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", ReadFailure::kNone,
       "HTTP/1.1 200 OK\r\n\r\nok", true},
      {"nothing at all", "", ReadFailure::kNoAnswer, "", false},
      {"cut inside the head", "HTTP/1.1 200 OK\r\nContent-Le", ReadFailure::kCutShort, "", false},
      {"cut after the head", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf", ReadFailure::kCutShort,
       "", false},
      {"cut inside a chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nhal",
       ReadFailure::kCutShort, "", false},
      {"no last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n",
       ReadFailure::kCutShort, "", false},
      {"not a status line", "<html>hello</html>", ReadFailure::kBadHead, "", false},
      {"length not a number", "HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\nok", ReadFailure::kBadLength,
       "", false},
      {"two lengths that differ", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nok!",
       ReadFailure::kBadLength, "", false},
      {"length shorter than the body", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokay",
       ReadFailure::kTrailingBytes, "", false},
      {"chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nok\r\n0\r\n\r\n",
       ReadFailure::kBadChunk, "", false},
      {"chunk size followed by junk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2 x\r\nok\r\n0\r\n\r\n",
       ReadFailure::kBadChunk, "", false},
      {"chunk longer than its size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nokay\r\n0\r\n\r\n",
       ReadFailure::kBadChunkEnd, "", false},
      {"chunk size past the limit",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFF\r\nok\r\n0\r\n\r\n",
       ReadFailure::kTooLarge, "", false},
      {"length past the limit", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nok",
       ReadFailure::kTooLarge, "", false},
      {"other transfer coding", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n",
       ReadFailure::kBadCoding, "", false},
      {"other content coding", "HTTP/1.1 200 OK\r\nContent-Encoding: br\r\nContent-Length: 2\r\n\r\nok",
       ReadFailure::kBadCoding, "", false},
      {"corrupt gzip", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 5\r\n\r\nhello",
       ReadFailure::kCorruptGzip, "", false},
      {"gzip cut short",
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 20\r\n\r\n" + kHelloGzip.substr(0, 20),
       ReadFailure::kCorruptGzip, "", false},
  };
  for (const Case& c : cases) {
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{1} << 20}) {
      // Bytes past a lying length are seen when they come with the answer,
      // as a server sends them; one byte at a time they start the next one.
      if (c.failure == ReadFailure::kTrailingBytes && piece < c.wire.size()) continue;
      const KeptResponse got = Read(c.wire, piece);
      EXPECT_EQ(got.failure, c.failure) << c.name << " in pieces of " << piece << ": "
                                        << ReadFailureText(got.failure);
      if (c.failure != ReadFailure::kNone) continue;
      EXPECT_EQ(got.received, static_cast<int64_t>(c.wire.size())) << c.name;
      EXPECT_EQ(got.response, c.response) << c.name;
      EXPECT_EQ(got.reusable, c.reusable) << c.name;
    }
  }
}

TEST(ReadKeptResponse, LimitsOnTheWireAndAfterDecoding) {
  ReaderLimits limits;
  limits.max_response_bytes = 100;
  limits.max_decoded_bytes = 999;
  const std::string bomb =
      "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 29\r\n\r\n" + kThousandAGzip;
  EXPECT_EQ(Read(bomb, 1 << 20, limits).failure, ReadFailure::kGzipTooLarge);
  limits.max_decoded_bytes = 1000;
  const KeptResponse whole = Read(bomb, 1 << 20, limits);
  ASSERT_EQ(whole.failure, ReadFailure::kNone);
  EXPECT_EQ(whole.response, "HTTP/1.1 200 OK\r\n\r\n" + std::string(1000, 'a'));

  const std::string big_chunk = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n65\r\n";
  EXPECT_EQ(Read(big_chunk + std::string(101, 'x') + "\r\n0\r\n\r\n", 1 << 20, limits).failure,
            ReadFailure::kTooLarge);
  const std::string endless = "HTTP/1.1 200 OK\r\n\r\n" + std::string(200, 'x');
  EXPECT_EQ(Read(endless, 1 << 20, limits).failure, ReadFailure::kTooLarge);
  const std::string long_head = "HTTP/1.1 200 OK\r\nX: " + std::string(200, 'x') + "\r\n\r\n";
  EXPECT_EQ(Read(long_head, 1 << 20, limits).failure, ReadFailure::kBadHead);
}

TEST(GunzipBody, MembersOneAfterTheOtherAndGarbageAfterThem) {
  std::string out;
  EXPECT_EQ(GunzipBody(kHelloGzip + kHelloGzip, &out), GzipResult::kDecoded);
  EXPECT_EQ(out, "<html>hello</html><html>hello</html>");
  EXPECT_EQ(GunzipBody(kHelloGzip + "junk", &out), GzipResult::kCorrupt);
  EXPECT_EQ(out, "");
  EXPECT_EQ(GunzipBody("", &out), GzipResult::kCorrupt);
}

}  // namespace
}  // namespace quorix::http
