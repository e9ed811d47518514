// Body filters, delivery of one post and the page's spool file.
#include "convert/article_delivery.h"

#include "bases/dupe_base.h"
#include "bases/pending_posts.h"
#include "convert/article_charset.h"
#include "convert/filters.h"
#include "convert/spool_writer.h"
#include "convert/threads_converter.h"
#include "convert/ubb_converter.h"
#include "log/logger.h"

namespace quorix::convert {

std::string FilterBody(std::string& body, const run::ForumTemplate& tmpl, Engine engine,
                       text::Charset charset) {
  if (tmpl.strip_smiley) ReplaceSmileys(body, tmpl);
  if (tmpl.strip_urls) StripUrlLinks(body, tmpl);
  if (tmpl.strip_html) DecodeEntities(body, charset);
  if (tmpl.strip_quote) {
    if (engine == Engine::kUbb) {
      QuoteUbbBlocks(body, tmpl);
    } else {
      QuoteThreadsBlocks(body, tmpl);
    }
  }
  if (tmpl.strip_format) {
    if (engine == Engine::kUbb) {
      ApplyUbbCodeBlocks(body, tmpl);
    } else {
      ApplyThreadsCodeBlocks(body, tmpl);
    }
  }
  std::string address;
  if (tmpl.strip_mailto) {
    address = StripMailLinks(body, tmpl);
    if (address.empty()) address = kPlaceholderAddress;
  }
  if (tmpl.strip_highlights) StripHighlights(body);
  return address;
}

std::string ArticleEntry(const Post& post, std::string_view newsgroup, std::string_view page_url,
                         const TopicConversion& topic, std::string_view replaced) {
  const std::string references = ReferencesValue(topic.reference_chain);
  const ArticleText text = ArticleTextFor(post.author, post.subject, post.body, topic.charset);
  const NewsArticle article{
      newsgroup, post.address, text.author, text.subject,          post.message_id, references,
      post.date, text.body,    page_url,    topic.article_counter, replaced,        text.charset};
  return BuildSpoolEntry(article);
}

void JoinTopic(std::string_view message_id, TopicConversion& topic) {
  if (topic.article_counter == 0) {
    topic.reference_chain = message_id;
  } else {
    topic.reference_chain.append(" ").append(message_id);
  }
  ++topic.article_counter;
}

std::vector<Post> PagePosts(int engine, const run::ForumTemplate& tmpl, std::string_view time_zone,
                            std::string_view newsgroup, std::string_view page_address,
                            int forum_number, std::string_view page, const TopicConversion& topic) {
  if (engine == run::kUbbThreads) {
    return ThreadsPagePosts(tmpl, newsgroup, page_address, forum_number, page, topic);
  }
  return UbbPagePosts(tmpl, time_zone, newsgroup, page_address, forum_number, page, topic);
}

PageOutcome DeliverPage(const PageTarget& target, std::string_view newsgroup,
                        std::string_view page_address, const std::vector<Post>& posts,
                        TopicConversion& topic) {
  PageSpool spool(target);
  const std::string page_url = PageUrl(target.web, page_address);
  for (const Post& post : posts) spool.Deliver(post, newsgroup, page_url, topic);
  return spool.Close();
}

PageSpool::PageSpool(const PageTarget& target)
    : target_(target), log_hold_(target.log.logger, target.log.thread) {}

void PageSpool::Deliver(const Post& post, std::string_view newsgroup, std::string_view page_url,
                        TopicConversion& topic) {
  const std::string& id = post.message_id;
  ++posts_;
  if (pending_ids_.contains(id) || bases::IsDupe(target_.run, id)) {
    target_.log.Write("Article: " + id + " is a Dupe", log::kProgress);
  } else {
    // A post sent by an earlier run may turn up here: without an answer, or
    // confirmed, when the reader holds the user's own copy of it.
    const std::string own =
        bases::WatchHarvestedPost(target_.run, target_.log, id, post.author, post.body);
    target_.log.Write("Article: " + id + " is new/edited", log::kProgress);
    std::string replaced = bases::EarlierVersion(target_.run, id);
    if (!own.empty()) {
      if (replaced.empty()) replaced = own;
      own_posts_.push_back({id, own});
    }
    articles_.push_back(SpoolArticle{id, ArticleEntry(post, newsgroup, page_url, topic, replaced)});
    pending_ids_.insert(id);
  }
  JoinTopic(id, topic);
}

PageOutcome PageSpool::Close() {
  if (posts_ == 0) return PageOutcome::kNoPosts;
  std::vector<SpoolArticle> articles = std::move(articles_);
  articles_.clear();
  pending_ids_.clear();
  const bool delivered =
      DeliverSpoolArticles(target_.run, target_.log, target_.web.spool, articles);
  if (!own_posts_.empty()) {
    // Only a delivery on record lets the user's post go: else the next run
    // must find it again.
    std::vector<std::string> done, open;
    for (const auto& [id, outgoing] : own_posts_) {
      (delivered || bases::IsDupe(target_.run, id) ? done : open).push_back(outgoing);
    }
    own_posts_.clear();
    bases::SettleOwnPosts(target_.run, target_.log, done, open);
  }
  return delivered ? PageOutcome::kDelivered : PageOutcome::kFailed;
}

std::string ReferencesValue(std::string_view chain) {
  if (chain.size() <= kMaxReferences) return std::string(chain);
  const std::string_view first = chain.substr(0, chain.find(' '));
  const std::string_view parent = chain.substr(chain.rfind(' ') + 1);
  std::string value(first);
  if (first.size() + 1 + parent.size() >= kMaxReferences) {
    // No room for more than these two.
    return first.size() == chain.size() ? value : value.append(" ").append(parent);
  }
  // The latest whole IDs within the room left after the first and a blank.
  // (It starts after the first ID, as the chain is longer than the limit.)
  size_t start = chain.size() - (kMaxReferences - first.size() - 1);
  if (chain[start - 1] != ' ') start = chain.find(' ', start) + 1;  // the parent fits: found
  return value.append(" ").append(chain.substr(start));
}

std::string PageUrl(const run::WebSettings& web, std::string_view page_address) {
  std::string url = (web.tls ? "https://" : "http://") + web.server;
  url.append(page_address);
  return url;
}

}  // namespace quorix::convert
