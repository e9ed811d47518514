// A box's web settings and forum template, as the configuration fills them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"

namespace quorix::run {

enum ForumEngine : int { kNoEngine = 0, kUbb = 1, kUbbThreads = 2 };

struct WebSettings {
  std::string server;          // WebServer: the host alone, without a scheme
  bool tls = false;            // "https://" before the host: the forum is read over TLS
  std::string ca_file;         // WebCAFile: further trusted certificates (PEM), or empty
  int port = 0;                // WebPort (1..65535 when valid)
  bool port_valid = true;      // false when the configured port lies outside 1..65535
  std::string user;            // WebUser
  std::string password;        // WebPass
  int engine = kNoEngine;      // WebClient
  int timeout_seconds = 0;     // WebTimeOut
  std::string spool;           // WebSpool, always ending in "\" (read as "/" when opened)
  std::string path;            // WebPath
  std::string topic;           // WebTopic
  std::string post;            // WebPost
  int posting = 0;             // WebPosting, 1 = post outgoing articles
  int flooding_control = 0;    // WebFloodingControl, seconds
  std::string group_file;      // WebFile
  std::string sender_address;  // SenderAddress
  std::string charset;         // WebCharset: the forum's character set, when its pages mislead
  std::string proxy;           // WebProxy: "http://host:port" or "socks5://host:port", or empty
  std::string proxy_user;      // WebProxyUser
  std::string proxy_password;  // WebProxyPass
  std::string time_zone;       // WebTimeZone: "+0100", "-0530" or "local" (also when empty)
  int keep_alive = -1;         // WebKeepAlive: 1 "Y", 0 "N", -1 not given (kept for https only)
  int connections = 0;         // WebConnections: 1..8, 0 not given (see http::ConnectionCount)
};

// The eleven smileys, in the order the smiley filter applies them.
constexpr int kSmileyCount = 11;

// What the converters build from a template once and keep with it (their
// smiley table); defined by them.
struct TemplateTables;

// A template's built tables. A copy of the template starts without them, so
// that no two templates share one; each builds its own on first use. The
// threads that convert pages with one template (a box's fetch threads) share
// its tables: each takes a reference of its own under the lock, so a table
// another thread replaces stays whole while it is in use.
class TemplateTablesHolder {
 public:
  TemplateTablesHolder() = default;
  TemplateTablesHolder(const TemplateTablesHolder&) {}
  TemplateTablesHolder& operator=(const TemplateTablesHolder& other) {
    if (this != &other) Store(nullptr);
    return *this;
  }
  std::shared_ptr<const TemplateTables> Load() const EXCLUDES(mutex_) {
    platform::MutexLock lock(mutex_);
    return tables_;
  }
  void Store(std::shared_ptr<const TemplateTables> tables) const EXCLUDES(mutex_) {
    platform::MutexLock lock(mutex_);
    tables_ = std::move(tables);
  }

 private:
  mutable platform::Mutex mutex_;
  mutable std::shared_ptr<const TemplateTables> tables_ GUARDED_BY(mutex_);
};

struct ForumTemplate {
  std::string index_count;       // Index_Count=
  std::string article_start;     // Article_Start=
  std::string article_end;       // Article_End=
  std::string article_post_ok;   // Article_Post_Ok=
  std::string article_edit_ok;   // Article_Edit_Ok=
  std::string article_dele_ok;   // Article_Dele_Ok=
  std::string format_start;      // Format_Start=
  std::string format_end;        // Format_End=
  std::string href_mail_start;   // Href_Mail_Start=
  std::string href_mail_end;     // Href_Mail_End=
  std::string href_url_start;    // Href_Url_Start=
  std::string href_url_end;      // Href_Url_End=
  std::string href_quote_start;  // Href_Quote_Start=
  std::string href_quote_end;    // Href_Quote_End=
  int strip_smiley = 1;          // Strip_Smiley=
  int strip_highlights = 1;      // Strip_Highlights=
  int strip_mailto = 1;          // Strip_Mailto=
  int strip_urls = 1;            // Strip_Urls=
  int strip_html = 1;            // Strip_Html=
  int strip_quote = 1;           // Strip_Quote=
  int strip_format = 1;          // Strip_Format=
  // Smiley_Default, _Wink, _Biggrin, _Confused, _Frown, _Rolleyes, _Blush,
  // _Tongue, _Redface, _Cool, _Eek: the forum's HTML of each smiley.
  std::array<std::string, kSmileyCount> smileys;
  TemplateTablesHolder tables;  // built by the converters from the fields above
};

}  // namespace quorix::run
