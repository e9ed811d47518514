#include "http/proxy.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "text/text.h"

namespace quorix::http {
namespace {

constexpr char kCrLf[] = "\r\n";
// The longest answer to a CONNECT that is read (status line and headers).
constexpr size_t kMaxConnectAnswer = 16 * 1024;

std::string Lower(std::string_view value) {
  std::string lower(value);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view value) {
  std::string decoded;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
        HexDigit(value[i + 2]) >= 0) {
      decoded += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
      i += 2;
    } else {
      decoded += value[i];
    }
  }
  return decoded;
}

std::string Base64(std::string_view data) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const uint32_t n = (uint32_t{static_cast<unsigned char>(data[i])} << 16) |
                       (uint32_t{static_cast<unsigned char>(data[i + 1])} << 8) |
                       uint32_t{static_cast<unsigned char>(data[i + 2])};
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i + 1 == data.size()) {
    const uint32_t n = uint32_t{static_cast<unsigned char>(data[i])} << 16;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += "==";
  } else if (i + 2 == data.size()) {
    const uint32_t n = (uint32_t{static_cast<unsigned char>(data[i])} << 16) |
                       (uint32_t{static_cast<unsigned char>(data[i + 1])} << 8);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += '=';
  }
  return out;
}

// Four decimal numbers 0..255 separated by dots, into `bytes`.
bool ParseIpv4(std::string_view host, unsigned char bytes[4]) {
  int part = 0;
  int value = -1;
  for (char c : host) {
    if (c >= '0' && c <= '9') {
      value = (value < 0 ? 0 : value * 10) + (c - '0');
      if (value > 255) return false;
    } else if (c == '.' && value >= 0 && part < 3) {
      bytes[part++] = static_cast<unsigned char>(value);
      value = -1;
    } else {
      return false;
    }
  }
  if (part != 3 || value < 0) return false;
  bytes[3] = static_cast<unsigned char>(value);
  return true;
}

std::string HostForRequest(std::string_view host) {
  // An IPv6 address takes its brackets back wherever a port follows it.
  if (host.find(':') != std::string_view::npos) return "[" + std::string(host) + "]";
  return std::string(host);
}

// What is left of a time budget, for one wait.
class Budget {
 public:
  explicit Budget(int timeout_ms)
      : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms)) {}
  int LeftMs() const {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now())
            .count();
    return left <= 0 ? 0 : static_cast<int>(left);
  }

 private:
  std::chrono::steady_clock::time_point end_;
};

// Reads exactly `count` bytes; false when the connection ended, failed or the
// budget ran out first.
bool ReceiveExactly(platform::Connection& connection, std::string* into, size_t count,
                    const Budget& budget) {
  const size_t target = into->size() + count;
  while (into->size() < target) {
    const int wait = budget.LeftMs();
    if (wait == 0) return false;
    char buffer[512];
    const auto want = static_cast<int64_t>(std::min(sizeof buffer, target - into->size()));
    const int64_t got = connection.Receive(buffer, want, wait);
    if (got <= 0) return false;
    into->append(buffer, static_cast<size_t>(got));
  }
  return true;
}

const char* NoAnswer(const platform::Connection& connection) {
  return connection.Interrupted() ? "cut" : "no answer in time, or the connection closed";
}

bool HttpTunnel(platform::Connection& connection, const Proxy& proxy, std::string_view host,
                int port, const Budget& budget, std::string* reason) {
  if (!connection.SendAll(HttpConnectRequest(proxy, host, port), budget.LeftMs())) {
    *reason = "the CONNECT request could not be sent";
    return false;
  }
  // Byte by byte up to the empty line, so that nothing of the tunnel's own
  // stream is taken for the proxy's answer.
  std::string answer;
  while (answer.find("\r\n\r\n") == std::string::npos) {
    if (answer.size() >= kMaxConnectAnswer) {
      *reason = "answer to CONNECT longer than 16 KiB";
      return false;
    }
    if (!ReceiveExactly(connection, &answer, 1, budget)) {
      *reason = answer.empty() ? NoAnswer(connection) : "answer to CONNECT incomplete";
      return false;
    }
  }
  const std::string status_line = answer.substr(0, answer.find("\r\n"));
  // "HTTP/1.x 200 ..." opens the tunnel; any other status refuses it.
  const size_t blank = status_line.find(' ');
  const std::string code = blank == std::string::npos ? "" : status_line.substr(blank + 1, 3);
  if (!status_line.starts_with("HTTP/") || code != "200") {
    *reason = blank == std::string::npos ? "answer to CONNECT is no HTTP status line"
                                         : status_line.substr(blank + 1);
    return false;
  }
  return true;
}

bool Socks5Tunnel(platform::Connection& connection, const Proxy& proxy, std::string_view host,
                  int port, const Budget& budget, std::string* reason) {
  if (host.size() > 255) {
    *reason = "host name longer than 255 bytes";
    return false;
  }
  if (proxy.user.size() > 255 || proxy.password.size() > 255) {
    *reason = "user name or password longer than 255 bytes";
    return false;
  }
  std::string answer;
  if (!connection.SendAll(Socks5Greeting(proxy), budget.LeftMs()) ||
      !ReceiveExactly(connection, &answer, 2, budget)) {
    *reason = NoAnswer(connection);
    return false;
  }
  if (answer[0] != 5) {
    *reason = "no SOCKS5 answer";
    return false;
  }
  const auto method = static_cast<unsigned char>(answer[1]);
  if (method == 2 && !proxy.user.empty()) {
    answer.clear();
    if (!connection.SendAll(Socks5Login(proxy), budget.LeftMs()) ||
        !ReceiveExactly(connection, &answer, 2, budget)) {
      *reason = NoAnswer(connection);
      return false;
    }
    if (answer[1] != 0) {
      *reason = "user name or password refused";
      return false;
    }
  } else if (method != 0) {
    *reason = proxy.user.empty() ? "the proxy requires a user name and password"
                                 : "no acceptable authentication method";
    return false;
  }
  answer.clear();
  if (!connection.SendAll(Socks5ConnectRequest(host, port), budget.LeftMs()) ||
      !ReceiveExactly(connection, &answer, 5, budget)) {
    *reason = NoAnswer(connection);
    return false;
  }
  if (answer[0] != 5) {
    *reason = "no SOCKS5 answer";
    return false;
  }
  const int code = static_cast<unsigned char>(answer[1]);
  if (code != 0) {
    *reason = Socks5ReplyText(code);
    return false;
  }
  // The bound address follows: IPv4, a name (its length is the fifth byte)
  // or IPv6, then the port. It is read whole so that the tunnel starts clean.
  size_t rest = 0;
  switch (answer[3]) {
    case 1: rest = 4 - 1 + 2; break;
    case 3: rest = static_cast<unsigned char>(answer[4]) + size_t{2}; break;
    case 4: rest = 16 - 1 + 2; break;
    default:
      *reason = "SOCKS5 answer with an unknown address type";
      return false;
  }
  if (!ReceiveExactly(connection, &answer, rest, budget)) {
    *reason = NoAnswer(connection);
    return false;
  }
  return true;
}

}  // namespace

std::string Proxy::Name() const {
  const char* scheme = kind == ProxyKind::kSocks5 ? "socks5://" : "http://";
  return scheme + HostForRequest(host) + ":" + text::Decimal(port);
}

bool ParseProxy(std::string_view url, Proxy* proxy, std::string* problem) {
  *proxy = Proxy();
  std::string_view rest = text::TrimBlanks(url);
  const size_t scheme_end = rest.find("://");
  proxy->kind = ProxyKind::kHttp;
  if (scheme_end != std::string_view::npos) {
    const std::string scheme = Lower(rest.substr(0, scheme_end));
    if (scheme == "socks5" || scheme == "socks5h") {
      proxy->kind = ProxyKind::kSocks5;
    } else if (scheme != "http") {
      *problem = "proxy scheme " + scheme + ":// not supported (http:// or socks5://)";
      return false;
    }
    rest.remove_prefix(scheme_end + 3);
  }
  if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
    rest = rest.substr(0, slash);
  }
  if (const size_t at = rest.rfind('@'); at != std::string_view::npos) {
    const std::string_view login = rest.substr(0, at);
    const size_t colon = login.find(':');
    proxy->user = PercentDecoded(login.substr(0, colon));
    if (colon != std::string_view::npos) proxy->password = PercentDecoded(login.substr(colon + 1));
    rest.remove_prefix(at + 1);
  }
  std::string_view port_text;
  if (rest.starts_with('[')) {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos) {
      *problem = "proxy address without its closing \"]\"";
      return false;
    }
    proxy->host = std::string(rest.substr(1, close - 1));
    rest.remove_prefix(close + 1);
    if (rest.starts_with(':')) port_text = rest.substr(1);
    else if (!rest.empty()) proxy->host.clear();
  } else {
    const size_t colon = rest.find(':');
    proxy->host = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) port_text = rest.substr(colon + 1);
  }
  if (proxy->host.empty()) {
    *problem = "no proxy host in " + std::string(url);
    return false;
  }
  proxy->port = kDefaultProxyPort;
  if (!port_text.empty() || rest.ends_with(':')) {
    const bool digits = !port_text.empty() && port_text.size() <= 5 &&
                        std::all_of(port_text.begin(), port_text.end(),
                                    [](char c) { return c >= '0' && c <= '9'; });
    const int64_t port = digits ? text::LeadingNumber(port_text) : 0;
    if (port < 1 || port > 65535) {
      *problem = "proxy port not in 1..65535 in " + std::string(url);
      return false;
    }
    proxy->port = static_cast<int>(port);
  }
  return true;
}

bool NoProxyMatches(std::string_view no_proxy, std::string_view host) {
  const std::string name = Lower(host);
  size_t start = 0;
  while (start <= no_proxy.size()) {
    size_t end = no_proxy.find_first_of(", ", start);
    if (end == std::string_view::npos) end = no_proxy.size();
    std::string entry = Lower(no_proxy.substr(start, end - start));
    start = end + 1;
    if (entry.empty()) continue;
    if (entry == "*") return true;
    if (entry.starts_with('.')) entry.erase(0, 1);
    if (entry.empty()) continue;
    if (name == entry) return true;
    if (name.size() > entry.size() && name.ends_with(entry) &&
        name[name.size() - entry.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

Proxy ChooseProxy(const run::WebSettings& web, const EnvironmentLookup& environment,
                  std::string* problem) {
  problem->clear();
  Proxy proxy;
  std::string url = web.proxy;
  if (url.empty()) {
    // curl's order: the scheme's own variable (http_proxy only in lower
    // case), then all_proxy; no_proxy (or NO_PROXY) exempts hosts.
    std::string no_proxy = environment("no_proxy");
    if (no_proxy.empty()) no_proxy = environment("NO_PROXY");
    if (NoProxyMatches(no_proxy, web.server)) return proxy;
    if (web.tls) {
      url = environment("https_proxy");
      if (url.empty()) url = environment("HTTPS_PROXY");
    } else {
      url = environment("http_proxy");
    }
    if (url.empty()) url = environment("all_proxy");
    if (url.empty()) url = environment("ALL_PROXY");
    if (url.empty()) return proxy;
  }
  if (!ParseProxy(url, &proxy, problem)) return Proxy();
  if (!web.proxy_user.empty()) {
    proxy.user = web.proxy_user;
    proxy.password = web.proxy_password;
  }
  return proxy;
}

std::string ProxyAuthorizationLine(const Proxy& proxy) {
  if (proxy.user.empty()) return {};
  return "Proxy-Authorization: Basic " + Base64(proxy.user + ":" + proxy.password) + kCrLf;
}

std::string HttpConnectRequest(const Proxy& proxy, std::string_view host, int port) {
  const std::string authority = HostForRequest(host) + ":" + text::Decimal(port);
  return "CONNECT " + authority + " HTTP/1.0" + kCrLf + "Host: " + authority + kCrLf +
         ProxyAuthorizationLine(proxy) + kCrLf;
}

std::string AbsoluteTarget(std::string_view host, int port, std::string_view target) {
  std::string absolute = "http://" + HostForRequest(host);
  if (port != 80) absolute += ":" + text::Decimal(port);
  if (!target.starts_with('/')) absolute += '/';
  return absolute + std::string(target);
}

bool ProxyRefusedRequest(std::string_view response, std::string* reason) {
  const std::string_view status_line = response.substr(0, response.find("\r\n"));
  const size_t blank = status_line.find(' ');
  if (!status_line.starts_with("HTTP/") || blank == std::string_view::npos ||
      status_line.substr(blank + 1, 4) != "407 ") {
    return false;
  }
  *reason = std::string(status_line.substr(blank + 1));
  return true;
}

std::string Socks5Greeting(const Proxy& proxy) {
  // Version 5; no authentication, and user/password when there is a user.
  if (proxy.user.empty()) return std::string("\x05\x01\x00", 3);
  return std::string("\x05\x02\x00\x02", 4);
}

std::string Socks5Login(const Proxy& proxy) {
  std::string login(1, '\x01');
  login += static_cast<char>(proxy.user.size());
  login += proxy.user;
  login += static_cast<char>(proxy.password.size());
  login += proxy.password;
  return login;
}

std::string Socks5ConnectRequest(std::string_view host, int port) {
  std::string request("\x05\x01\x00", 3);
  unsigned char address[4];
  if (ParseIpv4(host, address)) {
    request += '\x01';
    request.append(reinterpret_cast<const char*>(address), 4);
  } else {
    request += '\x03';
    request += static_cast<char>(host.size());
    request += host;
  }
  request += static_cast<char>((port >> 8) & 0xff);
  request += static_cast<char>(port & 0xff);
  return request;
}

std::string Socks5ReplyText(int code) {
  switch (code) {
    case 1: return "SOCKS5 error 1: general failure";
    case 2: return "SOCKS5 error 2: connection not allowed by the rules";
    case 3: return "SOCKS5 error 3: network unreachable";
    case 4: return "SOCKS5 error 4: host unreachable";
    case 5: return "SOCKS5 error 5: connection refused";
    case 6: return "SOCKS5 error 6: TTL expired";
    case 7: return "SOCKS5 error 7: command not supported";
    case 8: return "SOCKS5 error 8: address type not supported";
    default: return "SOCKS5 error " + text::Decimal(code);
  }
}

bool OpenTunnel(platform::Connection& connection, const Proxy& proxy, std::string_view host,
                int port, int timeout_ms, std::string* reason) {
  const Budget budget(timeout_ms);
  if (proxy.kind == ProxyKind::kSocks5) {
    return Socks5Tunnel(connection, proxy, host, port, budget, reason);
  }
  return HttpTunnel(connection, proxy, host, port, budget, reason);
}

}  // namespace quorix::http
