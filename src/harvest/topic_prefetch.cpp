#include "harvest/topic_prefetch.h"

#include <chrono>
#include <exception>
#include <system_error>
#include <utility>

#include "harvest/article_retrieval.h"
#include "http/http_response.h"
#include "run/run.h"
#include "text/text.h"

namespace quorix::harvest {

namespace {

// How long a wait lasts before its condition is looked at again: a missed
// wake-up costs this, never a hang.
constexpr auto kRecheck = std::chrono::milliseconds(200);

}  // namespace

bool IsWholePage(std::string_view response) {
  if (http::StatusCode(response) != 200) return false;
  const std::string_view length = http::HeaderValue(response, "Content-Length");
  if (length.empty()) return true;
  for (char c : length) {
    if (c < '0' || c > '9') return false;
  }
  return static_cast<int64_t>(http::ResponseBody(response).size()) >= text::LeadingNumber(length);
}

bool WalkTopicPages(int engine, const std::string& request_path,
                    const std::function<std::string_view(const std::string& path)>& fetch,
                    const std::function<void(std::string_view page)>& take,
                    const std::function<void()>& cut) {
  std::string_view page = fetch(request_path);
  if (page.empty()) return false;
  take(page);
  if (engine != run::kUbb) return true;
  for (int64_t number = 2;; ++number) {
    const std::string next_path = ContinuationPath(request_path, number);
    if (page.find(next_path) == std::string_view::npos) return true;
    if (number > kMaxTopicPages) {
      cut();
      return false;
    }
    page = fetch(next_path);
    if (page.empty()) return false;
    take(page);
  }
}

FetchedTopic FetchTopic(int engine, const std::string& request_path, const HeldPageFetcher& fetch,
                        const PageConverter& convert_page) {
  FetchedTopic topic;
  convert::TopicConversion conversion;
  try {
    WalkTopicPages(
        engine, request_path,
        [&](const std::string& path) -> std::string_view {
          FetchedPage& page = topic.pages.emplace_back();
          page.path = path;
          page.response = fetch(path, &page.lines);
          const std::string& text = page.response.text;
          if (text.empty() || !IsWholePage(text)) return {};
          return text;  // the deque keeps it in place
        },
        [&](std::string_view page) {
          if (!convert_page) return;
          std::vector<convert::Post> posts = convert_page(request_path, page, conversion);
          conversion.article_counter += static_cast<int>(posts.size());
          topic.pages.back().posts = std::move(posts);
        },
        [] {});
  } catch (const std::exception& failure) {
    topic.failure = failure.what();
  }
  return topic;
}

TopicPrefetch::TopicPrefetch(TopicFetchers fetchers, int engine, PageConverter convert)
    : fetchers_(std::move(fetchers)), engine_(engine), convert_(std::move(convert)) {
  for (size_t index = 0; index < fetchers_.size(); ++index) {
    try {
      threads_.emplace_back([this, index] { FetchLoop(index); });
    } catch (const std::system_error&) {
      break;  // fewer threads; Take fetches itself when none started
    }
  }
}

TopicPrefetch::~TopicPrefetch() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    ending_ = true;
  }
  work_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

int TopicPrefetch::pending() const {
  std::lock_guard<std::mutex> lock(lock_);
  int count = 0;
  for (const auto& [number, job] : jobs_) count += job.dropped ? 0 : 1;
  return count;
}

bool TopicPrefetch::Queued(int64_t number) const {
  std::lock_guard<std::mutex> lock(lock_);
  const auto job = jobs_.find(number);
  return job != jobs_.end() && !job->second.dropped;
}

void TopicPrefetch::Queue(int64_t number, const std::string& request_path) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    const auto known = jobs_.find(number);
    if (known != jobs_.end()) {
      known->second.dropped = false;  // the same topic: one in flight is wanted again
      return;
    }
    jobs_[number].path = request_path;
  }
  work_.notify_one();
}

FetchedTopic TopicPrefetch::Take(int64_t number, const std::string& request_path) {
  if (threads_.empty()) return FetchTopic(engine_, request_path, fetchers_.front(), convert_);
  if (!Queued(number)) Queue(number, request_path);
  std::unique_lock<std::mutex> lock(lock_);
  while (!jobs_[number].done) arrived_.wait_for(lock, kRecheck);
  FetchedTopic topic = std::move(jobs_[number].topic);
  jobs_.erase(number);
  return topic;
}

void TopicPrefetch::Drop(int64_t number) {
  std::lock_guard<std::mutex> lock(lock_);
  const auto job = jobs_.find(number);
  if (job == jobs_.end()) return;
  if (job->second.started && !job->second.done) {
    job->second.dropped = true;
  } else {
    jobs_.erase(job);
  }
}

void TopicPrefetch::FetchLoop(size_t fetcher) {
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    if (ending_) return;
    auto next = jobs_.begin();
    while (next != jobs_.end() && next->second.started) ++next;
    if (next == jobs_.end()) {
      work_.wait_for(lock, kRecheck);
      continue;
    }
    const int64_t number = next->first;
    Job& job = next->second;  // stays in place: only this thread erases a started job
    job.started = true;
    const std::string path = job.path;
    lock.unlock();
    FetchedTopic topic = FetchTopic(engine_, path, fetchers_[fetcher], convert_);
    lock.lock();
    if (job.dropped) {
      jobs_.erase(number);
    } else {
      job.topic = std::move(topic);
      job.done = true;
      arrived_.notify_all();
    }
  }
}

}  // namespace quorix::harvest
