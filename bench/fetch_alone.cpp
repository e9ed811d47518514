// quorix_fetch: the network side of a harvest, made with the program's own
// connections and TLS streams and nothing else. It fetches the request paths
// read from standard input (one per line) one after the other as the
// program does: a new connection per request, over TLS a handshake that
// resumes the session of the connection before, the five request lines each
// in its own send, the answer read in 4096-byte chunks until the server
// closes. The answers are dropped. It prints one line:
//
//   <requests> <wall seconds> <CPU seconds> <bytes received>
//
//   quorix_fetch HOST PORT AGENT [CA_FILE]     (a CA file: over TLS)
//
// harvest_bench.py runs it for its "fetch alone" figures, so that the HTTP
// and the HTTPS figure are both taken with the program's own code.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "platform/tls.h"

namespace {

using quorix::platform::Connection;
using quorix::platform::TlsClient;
using quorix::platform::TlsFailure;
using quorix::platform::TlsStream;

constexpr int kTimeoutMs = 30000;

double ProcessCpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// One request; the bytes received, or -1 when the connection or the
// handshake failed.
int64_t Fetch(TlsClient* tls, const std::string& host, int port,
              const std::vector<std::string>& lines) {
  int error = 0;
  std::unique_ptr<Connection> connection = Connection::Connect(host, port, kTimeoutMs, &error);
  if (!connection) return -1;
  std::unique_ptr<TlsStream> stream;
  if (tls != nullptr) {
    TlsFailure failure = TlsFailure::kNone;
    std::string reason;
    stream = TlsStream::Handshake(*tls, *connection, host, port, kTimeoutMs, &failure, &reason);
    if (!stream) {
      std::cerr << "handshake failed: " << reason << "\n";
      return -1;
    }
  }
  for (const std::string& line : lines) {
    const bool sent = stream ? stream->SendAll(line, kTimeoutMs)
                             : connection->SendAll(line, kTimeoutMs);
    if (!sent) return -1;
  }
  int64_t total = 0;
  char buffer[4096];
  for (;;) {
    const int64_t got = stream ? stream->Receive(buffer, sizeof buffer, kTimeoutMs)
                               : connection->Receive(buffer, sizeof buffer, kTimeoutMs);
    if (got <= 0) break;
    total += got;
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::cerr << "usage: quorix_fetch HOST PORT AGENT [CA_FILE] < paths\n";
    return 2;
  }
  const std::string host = argv[1];
  const int port = std::stoi(argv[2]);
  const std::string agent = argv[3];
  std::unique_ptr<TlsClient> tls;
  if (argc == 5) {
    std::string error;
    tls = TlsClient::Create(argv[4], &error);
    if (!tls) {
      std::cerr << error << "\n";
      return 1;
    }
  }
  std::vector<std::string> paths;
  for (std::string path; std::getline(std::cin, path);) {
    if (!path.empty()) paths.push_back(path);
  }

  const auto started = std::chrono::steady_clock::now();
  const double cpu_before = ProcessCpuSeconds();
  int64_t bytes = 0;
  for (const std::string& path : paths) {
    const std::vector<std::string> lines = {"GET " + path + " HTTP/1.0\r\n", "Host: " + host + "\r\n",
                                            "Referer: " + host + "\r\n",
                                            "User-Agent: " + agent + "\r\n", "\r\n"};
    const int64_t got = Fetch(tls.get(), host, port, lines);
    if (got < 0) {
      std::cerr << "request failed: " << path << "\n";
      return 1;
    }
    bytes += got;
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%zu %.6f %.6f %lld\n", paths.size(), wall, ProcessCpuSeconds() - cpu_before,
              static_cast<long long>(bytes));
  return 0;
}
