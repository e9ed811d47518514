// Proxies between the gateway and a forum: an HTTP proxy (absolute-form
// requests for plain servers, a CONNECT tunnel for https servers, so that TLS
// and its certificate check stay end to end) or a SOCKS5 proxy (a tunnel for
// both, the forum's name resolved by the proxy).
//
// The box's "WebProxy=" names the proxy ("http://host:port",
// "socks5://host:port"; "WebProxyUser=" / "WebProxyPass=" log in: Basic for
// an HTTP proxy, user and password for SOCKS5). Without it the environment's
// https_proxy / http_proxy / all_proxy and no_proxy are read as curl reads
// them; without those, no proxy.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "run/settings.h"

namespace quorix::http {

enum class ProxyKind { kNone, kHttp, kSocks5 };

struct Proxy {
  ProxyKind kind = ProxyKind::kNone;
  std::string host;
  int port = 0;
  std::string user;
  std::string password;
  // The proxy as log lines name it: "http://host:port" or "socks5://host:port".
  std::string Name() const;
};

// The default port of a proxy URL without one (curl's).
inline constexpr int kDefaultProxyPort = 1080;

// Parses a proxy URL: "http://", "socks5://" or "socks5h://" (both resolve
// the name at the proxy), or no scheme (HTTP); an optional "user:password@"
// (percent-decoded); the host (an IPv6 address in brackets); an optional
// ":port"; a trailing "/". False with *problem for anything else.
bool ParseProxy(std::string_view url, Proxy* proxy, std::string* problem);

// True when the no_proxy list (names separated by commas and blanks; "*"
// alone matches every host; a leading "." is ignored) names `host` or a
// domain it lies in. Letter case does not count.
bool NoProxyMatches(std::string_view no_proxy, std::string_view host);

using EnvironmentLookup = std::function<std::string(std::string_view name)>;

// The proxy for the slot's forum: the box's keys, else the environment
// (looked up through `environment`). kNone for a direct connection. An
// unusable setting gives kNone and *problem (non-empty): the caller must not
// connect directly then.
Proxy ChooseProxy(const run::WebSettings& web, const EnvironmentLookup& environment,
                  std::string* problem);

// The request that opens an HTTP tunnel to host:port, with its
// Proxy-Authorization line when the proxy has a user.
std::string HttpConnectRequest(const Proxy& proxy, std::string_view host, int port);
// "Proxy-Authorization: Basic ...\r\n", or empty without a user.
std::string ProxyAuthorizationLine(const Proxy& proxy);
// The request target for a plain request through an HTTP proxy: the absolute
// form "http://host[:port]" + target (the port only when it is not 80).
std::string AbsoluteTarget(std::string_view host, int port, std::string_view target);

// True when `response`, the answer to a request sent through an HTTP proxy,
// is the proxy's refusal (407: it wants a login) rather than the forum's;
// *reason: its status code and text.
bool ProxyRefusedRequest(std::string_view response, std::string* reason);

// The SOCKS5 messages: the greeting (offering user/password when the proxy
// has a user), the login, and the CONNECT by name (or IPv4 address).
std::string Socks5Greeting(const Proxy& proxy);
std::string Socks5Login(const Proxy& proxy);
std::string Socks5ConnectRequest(std::string_view host, int port);
// The text of a SOCKS5 reply code.
std::string Socks5ReplyText(int code);

// On a connection to the proxy: opens the tunnel to host:port (HTTP CONNECT
// or SOCKS5), every wait and the whole exchange bounded by `timeout_ms`.
// False with *reason when the proxy refused, failed or did not answer in
// time (or the connection was interrupted: see Connection::Interrupted).
bool OpenTunnel(platform::Connection& connection, const Proxy& proxy, std::string_view host,
                int port, int timeout_ms, std::string* reason);

}  // namespace quorix::http
