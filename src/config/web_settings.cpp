#include "config/web_settings.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "config/forum_template.h"
#include "config/group_list.h"
#include "log/logger.h"
#include "platform/process.h"
#include "text/settings.h"
#include "text/text.h"

namespace quorix::config {
namespace {

using text::GetSetting;

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;

bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// The port as configured; a value outside 1..65535 is never wrapped to another
// port: the slot gets no connection and the log says why.
void SetPort(log::ThreadLog log, run::WebSettings& web, std::string_view value) {
  const int64_t port = text::LeadingNumber(value);
  web.port_valid = port >= kLowestPort && port <= kHighestPort;
  web.port = web.port_valid ? static_cast<int>(port) : 0;
  if (!web.port_valid) {
    log.Write("Error: WebPort " + text::Decimal(port) + " out of range (1..65535)", log::kError);
  }
}

// The server setting with its scheme taken off; an https server gets port 443
// when the box names no port.
void SetServerAndPort(log::ThreadLog log, run::WebSettings& web, std::string_view server_value,
                      const std::string& port_value) {
  web.server = ServerHost(server_value, &web.tls);
  const char* default_port = web.tls ? "443" : "119";
  SetPort(log, web, port_value.empty() ? default_port : port_value);
}

void ReadRfcPppKeys(log::ThreadLog log, std::string_view cfg, std::string_view box_file,
                    WebConfig& config) {
  run::WebSettings& web = config.web;
  SetServerAndPort(log, web, GetSetting(cfg, "WebServer=", ""), GetSetting(cfg, "WebPort=", ""));
  web.user = GetSetting(cfg, "WebUser=", "");
  web.password = GetSetting(cfg, "WebPass=", "");
  web.engine = EngineFromName(GetSetting(cfg, "WebClient=", "UBBCGI"));
  web.timeout_seconds = text::LeadingNumber32(GetSetting(cfg, "WebTimeOut=", "15"));
  web.spool = GetSetting(cfg, "WebSpool=", "SPOOL");
  if (!EndsWithSeparator(web.spool)) web.spool += '\\';
  web.path = GetSetting(cfg, "WebPath=", "/support/forums");
  web.topic = GetSetting(cfg, "WebTopic=", "forumdisplay.cgi?action=topics&forum=");
  web.post = GetSetting(cfg, "WebPost=", "postings.cgi");
  web.posting = text::IsTrueSetting(GetSetting(cfg, "WebPosting=", "Y")) ? 1 : 0;
  web.flooding_control = text::LeadingNumber32(GetSetting(cfg, "WebFloodingControl=", "10"));
  config.dupe_base_size = text::LeadingNumber(GetSetting(cfg, "WebDupeSize=", "128000"));
  web.group_file = std::string(NameBeforeFirstDot(box_file)) + ".WEB";
}

void ReadRfcClientKeys(const run::Environment& env, log::ThreadLog log, std::string_view cfg,
                       std::string_view box_name, WebConfig& config) {
  run::WebSettings& web = config.web;
  SetServerAndPort(log, web, GetSetting(cfg, "Client-WebServer=", ""),
                   GetSetting(cfg, "Client-WebPort=", ""));
  web.user = GetSetting(cfg, "Client-WebUser=", "");
  web.password = GetSetting(cfg, "Client-WebPassword=", "");
  web.engine = EngineFromName(GetSetting(cfg, "Client-WebClient=", "UBBCGI"));
  web.timeout_seconds = text::LeadingNumber32(GetSetting(cfg, "WebTimeOut=", "15"));
  web.spool = GetSetting(cfg, "Client-WebSpool=", "");
  if (web.spool.empty()) {
    web.spool = GetSetting(cfg, "Client-Spool=", platform::CurrentDirectory() + "\\");
  }
  if (!EndsWithSeparator(web.spool)) web.spool += '\\';
  web.path = GetSetting(cfg, "WebPath=", "/support/forums");
  web.topic = GetSetting(cfg, "WebTopic=", "forumdisplay.cgi?action=topics&forum=");
  web.post = GetSetting(cfg, "WebPost=", "postings.cgi");
  web.posting = text::IsTrueSetting(GetSetting(cfg, "WebPosting=", "Y")) ? 1 : 0;
  // "WebFloodingControl=" is not a key of this style: the slot keeps its value.
  config.dupe_base_size = text::LeadingNumber(GetSetting(cfg, "WebDupeSize=", "64000"));
  web.group_file =
      GetSetting(cfg, "Client-Path=", "") + std::string(NameBeforeFirstDot(box_name)) + ".WEB";
  log.logger.OpenClientLog(cfg, env.omralog);
}

// The box name without its directory, as the RFC/Client style looks it up.
std::string_view WithoutDirectory(std::string_view name) {
  const size_t cut = name.find_last_of("\\/");
  return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

}  // namespace

int EngineFromName(std::string_view name) {
  const std::string upper = text::UpperCase437(name);
  if (upper == "CGI" || upper == "UBBCGI") return run::kUbb;
  if (upper == "THREADS" || upper == "UBBTHREADS" || upper == "UBBTHREAD") return run::kUbbThreads;
  return run::kNoEngine;
}

std::string ServerHost(std::string_view value, bool* tls) {
  const std::string upper = text::UpperCase437(value.substr(0, 8));
  *tls = upper.starts_with("HTTPS://");
  size_t scheme = *tls ? 8 : 0;
  if (upper.starts_with("HTTP://")) scheme = 7;
  if (scheme == 0) return std::string(value);
  std::string_view host = value.substr(scheme);
  if (host.ends_with('/')) host.remove_suffix(1);
  return std::string(host);
}

int KeepAliveSetting(std::string_view value) {
  const std::string_view trimmed = text::TrimBlanks(value);
  if (trimmed.empty()) return -1;
  const char first = text::ToLower437(trimmed.front());
  if (first == 'y' || first == 'j' || first == '1') return 1;
  if (first == 'n' || first == '0') return 0;
  return -1;
}

int ConnectionsSetting(std::string_view value, std::string* problem) {
  const std::string_view trimmed = text::TrimBlanks(value);
  problem->clear();
  if (trimmed.empty()) return 0;
  const bool digits =
      trimmed.size() <= 9 &&
      std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) {
    *problem =
        "WebConnections=" + std::string(trimmed) + " is no number of connections, the default used";
    return 0;
  }
  const int64_t asked = text::LeadingNumber(trimmed);
  const int64_t used = std::clamp<int64_t>(asked, 1, kMaxConnections);
  if (used != asked) {
    *problem = "WebConnections=" + std::string(trimmed) + " is not in 1.." +
               text::Decimal(kMaxConnections) + ", " + text::Decimal(used) + " used";
  }
  return static_cast<int>(used);
}

std::string_view NameBeforeFirstDot(std::string_view name) {
  return name.substr(0, name.find('.'));
}

WebConfig ReadWebSettings(const run::Environment& env, log::ThreadLog log,
                          std::string_view config_text, run::WebSettings web,
                          std::string_view box_file) {
  WebConfig config{std::move(web), {}, std::nullopt};
  if (env.is_xp2) {
    ReadRfcPppKeys(log, config_text, box_file, config);
  } else if (env.is_rfc_client) {
    ReadRfcClientKeys(env, log, config_text, WithoutDirectory(box_file), config);
  }
  run::WebSettings& w = config.web;
  w.sender_address = GetSetting(config_text, "Username=", "") + "@" +
                     GetSetting(config_text, "Pointname=", "") +
                     GetSetting(config_text, "Domain=", "");
  w.charset = GetSetting(config_text, "WebCharset=", "");
  w.time_zone = GetSetting(config_text, "WebTimeZone=", "");
  w.ca_file = GetSetting(config_text, "WebCAFile=", "");
  w.proxy = GetSetting(config_text, "WebProxy=", "");
  w.proxy_user = GetSetting(config_text, "WebProxyUser=", "");
  w.proxy_password = GetSetting(config_text, "WebProxyPass=", "");
  w.keep_alive = KeepAliveSetting(GetSetting(config_text, "WebKeepAlive=", ""));
  std::string problem;
  w.connections = ConnectionsSetting(GetSetting(config_text, "WebConnections=", ""), &problem);
  if (!problem.empty()) log.Write(problem, log::kProblem);
  config.forum_template = ReadForumTemplate(config_text);
  return config;
}

}  // namespace quorix::config
