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
// With "--kept N" it fetches them as a harvest with N kept connections does:
// N threads, each with the harvest's own kept HTTP/1.1 connection
// (http::FetchConnections: gzip asked for and decoded, chunks, a session of
// its own over TLS), taking the next path in turn.
//
//   quorix_fetch HOST PORT AGENT [CA_FILE] [--kept N]
//
// harvest_bench.py runs it for its "fetch alone" figures, so that the HTTP
// and the HTTPS figure are both taken with the program's own code.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http/http_client.h"
#include "http/kept_connection.h"
#include "log/logger.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "platform/tls.h"
#include "run/run.h"

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

// Fetches `paths` over `count` kept connections, each on a thread of its
// own; the bytes of the decoded answers, or -1 when a request failed.
int64_t FetchKept(const std::string& host, int port, const std::string& ca_file, int count,
                  const std::vector<std::string>& paths) {
  quorix::run::WebSettings web;
  web.server = host;
  web.port = port;
  web.tls = !ca_file.empty();
  web.ca_file = ca_file;
  web.timeout_seconds = kTimeoutMs / 1000;
  web.keep_alive = 1;
  const quorix::platform::SystemClock clock;
  quorix::log::Logger logger(clock, "", "");  // no log file open: lines go nowhere
  std::atomic<size_t> next{0};
  std::atomic<int64_t> bytes{0};
  std::atomic<bool> failed{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&] {
      quorix::run::WorkerConnections connections;
      std::atomic<int> handles{0};
      std::atomic<long long> total{0};
      const quorix::http::Requester requester{web, logger, 1, connections, handles, total};
      quorix::http::FetchConnections kept(/*own_tls_client=*/true);
      for (size_t index; (index = next.fetch_add(1)) < paths.size();) {
        const quorix::http::Response response = kept.Get(requester, paths[index]);
        if (response.outcome != quorix::http::Outcome::kAnswered) {
          std::cerr << "request failed: " << paths[index] << "\n";
          failed = true;
          return;
        }
        bytes += static_cast<int64_t>(response.text.size());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  return failed ? -1 : bytes.load();
}

}  // namespace

int main(int argc, char** argv) {
  int kept = 0;
  if (argc >= 6 && std::string(argv[argc - 2]) == "--kept") {
    kept = std::stoi(argv[argc - 1]);
    argc -= 2;
  }
  if (argc < 4 || argc > 5 || kept < 0) {
    std::cerr << "usage: quorix_fetch HOST PORT AGENT [CA_FILE] [--kept N] < paths\n";
    return 2;
  }
  const std::string host = argv[1];
  const int port = std::stoi(argv[2]);
  const std::string agent = argv[3];
  std::unique_ptr<TlsClient> tls;
  if (argc == 5 && kept == 0) {
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
  if (kept > 0) {
    bytes = FetchKept(host, port, argc == 5 ? argv[4] : "", kept, paths);
    if (bytes < 0) return 1;
  }
  for (const std::string& path : kept > 0 ? std::vector<std::string>{} : paths) {
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
