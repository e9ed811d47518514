// What the two page converters share once a post's fields are known (the
// body filters, the post), and the delivery of a page's posts: the dupe
// check, the topic's reference chain, the page's spool file.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/spool_delivery.h"
#include "log/logger.h"
#include "log/thread_log.h"
#include "run/run.h"
#include "text/charset.h"

namespace quorix::convert {

// The author address of a post whose mail filter found none: ours, local and
// never routable.
inline constexpr std::string_view kPlaceholderAddress = "unknown@quorix.invalid";

// Per topic, kept between the pages of one topic (set up anew for each topic).
struct TopicConversion {
  int article_counter = 0;      // index of the next article of the topic
  std::string reference_chain;  // the topic's Message-IDs so far, blank-separated
  // The character set of the page being converted (the caller sets it for
  // every page, from what the page declares).
  text::Charset charset = text::Charset::kLatin1;
};

enum class Engine { kUbb, kThreads };

// Applies the template's switched-on filters to a body, in the order smileys,
// web links, entities, quotes, code blocks, mail links, highlights. Returns
// the author address: the mail filter's result, the placeholder when it found
// none, empty when the mail filter is off. Numeric character references are
// decoded into `charset`, the page's character set.
std::string FilterBody(std::string& body, const run::ForumTemplate& tmpl, Engine engine,
                       text::Charset charset = text::Charset::kLatin1);

// A post ready to be delivered.
struct Post {
  std::string author;
  std::string address;
  std::string subject;
  std::string date;
  std::string body;
  std::string message_id;
};

// What became of a page.
enum class PageOutcome {
  kDelivered,  // every post of the page is in the spool or was delivered before
  kNoPosts,    // the page held no post: it was no topic page
  kFailed,     // the spool could not take (all of) the page's new articles
};

// What converting and delivering a page use of the worker that fetched it
// (worker::Worker::page_target() makes one): the run for the bases and their
// locks, the worker's log, and the box's settings and template. No slot: a
// conversion writes nothing on the slot's panel, its outcome goes up.
struct PageTarget {
  run::Run& run;
  log::ThreadLog log;
  const run::WebSettings& web;
  const run::ForumTemplate& forum_template;
};

// The posts of one topic page of the engine's forum (run::kUbb or
// run::kUbbThreads): UbbPagePosts or ThreadsPagePosts.
std::vector<Post> PagePosts(int engine, const run::ForumTemplate& tmpl, std::string_view time_zone,
                            std::string_view newsgroup, std::string_view page_address,
                            int forum_number, std::string_view page, const TopicConversion& topic);

// Delivers the posts of one page (a page converter's result), in order,
// through one PageSpool: what became of the page (only kDelivered lets its
// topic count as read; a page without posts is kNoPosts). The topic's counter
// and reference chain carry on across its pages.
PageOutcome DeliverPage(const PageTarget& target, std::string_view newsgroup,
                        std::string_view page_address, const std::vector<Post>& posts,
                        TopicConversion& topic);

// The spool entry of `post` as the topic so far makes it (its References and
// index), naming the Message-ID it replaces (`replaced`; empty for none).
std::string ArticleEntry(const Post& post, std::string_view newsgroup, std::string_view page_url,
                         const TopicConversion& topic, std::string_view replaced);

// The post `message_id` joins the topic: its reference chain, its counter.
void JoinTopic(std::string_view message_id, TopicConversion& topic);

// The new articles of one page, delivered together as one spool file when the
// page is done (see spool_delivery.h).
class PageSpool {
 public:
  explicit PageSpool(const PageTarget& target);
  PageSpool(const PageSpool&) = delete;
  PageSpool& operator=(const PageSpool&) = delete;

  // Dupe check and log line; a new article is kept for the spool file, its
  // texts in the article's character set (article_charset.h), an edited
  // post's entry naming the version it replaces (Supersedes), as does the
  // user's own post confirmed by an earlier run (bases/pending_posts.h). Then
  // the post joins the topic's reference chain and the counter moves on.
  void Deliver(const Post& post, std::string_view newsgroup, std::string_view page_url,
               TopicConversion& topic);

  // Writes the kept articles; what became of the page.
  PageOutcome Close();

 private:
  const PageTarget target_;
  // The page's log lines (one per post, and the spool file's) go out
  // together when the page is done.
  log::LogHold log_hold_;
  int posts_ = 0;
  std::vector<SpoolArticle> articles_;
  run::TextSet pending_ids_;  // the Message-IDs of articles_
  // Articles of articles_ that are the user's own posts: (Message-ID,
  // outgoing Message-ID), settled when the page is delivered.
  std::vector<std::pair<std::string, std::string>> own_posts_;
};

// The References value of an article: the topic's chain, unless it is longer
// than kMaxReferences. Then, as news software trims long chains (RFC 5537
// 3.4.4), the first ID is kept and as many of the latest whole IDs as fit, so
// the immediate parent is always the last ID. The limit is what the reader's
// own exporter writes; its importer loses the tail of a field beyond about
// 3,900 bytes, and with it the parent. A first ID and parent that alone pass
// the limit are both kept.
inline constexpr size_t kMaxReferences = 980;
std::string ReferencesValue(std::string_view chain);

// "http://" (or "https://" for an https box) + the box's WebServer + the page address.
std::string PageUrl(const run::WebSettings& web, std::string_view page_address);

}  // namespace quorix::convert
