#include "posting/article_poster.h"

#include <mutex>
#include <optional>

#include "bases/pending_posts.h"
#include "http/http_client.h"
#include "http/http_response.h"
#include "log/logger.h"
#include "log/shared_file.h"
#include "platform/file.h"
#include "platform/named_mutex.h"
#include "posting/outgoing_article.h"
#include "posting/outgoing_charset.h"
#include "posting/outgoing_spool.h"
#include "posting/posting_forms.h"
#include "posting/threads_poster.h"
#include "posting/ubb_poster.h"
#include "text/text.h"
#include "worker/worker.h"

namespace quorix::posting {
namespace {

bool NotPosted(const worker::Worker& worker) {
  worker.slot().status.Set("Error posting Article");
  worker.Log("Article not posted", log::kProgress);
  return false;
}

// Reads the whole file into the parser, showing each subject as it is read.
void ReadArticle(const worker::Worker& worker, platform::File& file, int article_number,
                 OutgoingArticleParser& parser) {
  SpoolLineReader reader;
  do {
    std::string line = ReadSpoolLine(file, reader, worker.log());
    if (parser.AddLine(line)) {
      worker.slot().activity.Set("Posting Article " + text::Decimal(article_number) + " (" +
                                 parser.article().subject_as_written + ")");
      worker.slot().status.Set("");
    }
  } while (reader.end_flag == 0);
}

// An answer that arrived whole: a status line, and the whole body its
// Content-Length announced or, without one, the end of an HTML page. Only such
// an answer may say that the forum refused a form.
bool IsWholeAnswer(std::string_view response) {
  if (http::StatusCode(response) == 0) return false;
  const std::string_view body = http::ResponseBody(response);
  const std::string_view length = http::HeaderValue(response, "Content-Length");
  if (!length.empty()) return body.size() >= static_cast<size_t>(text::LeadingNumber(length));
  return text::LowerCase437(body).find("</html>") != std::string::npos;
}

// The record of a new topic or reply about to be sent; none for an edit or a
// delete, or for an article whose text gives no words to look for.
std::optional<run::PendingPost> PendingRecord(const run::Slot& state, const std::string& name,
                                              uint32_t file_crc, const OutgoingArticle& article) {
  if (article.post_action != kNewTopic && article.post_action != kReply) return std::nullopt;
  run::PendingPost post;
  post.file = name;
  post.file_crc = file_crc;
  post.user = state.web.user;
  if (article.post_action == kReply) {
    // "<newsgroup@forum7." of the referenced post: the posts of its forum.
    const std::string_view id = article.referenced_id;
    const size_t at = id.find('@');
    const size_t dot = at == std::string_view::npos ? at : id.find('.', at);
    if (dot == std::string_view::npos) return std::nullopt;
    post.id_prefix = std::string(id.substr(0, dot + 1));
  } else {
    post.id_prefix = "<" + article.newsgroup + "@forum" +
                     text::Decimal(text::LeadingNumber(article.forum_number)) + ".";
  }
  std::string body = article.body;
  const std::string footer = Footer(article.newsreader);
  if (body.ends_with(footer)) body.resize(body.size() - footer.size());
  post.words = bases::PostWords(body);
  if (post.words.size() > bases::kMaxPendingWords) {
    const size_t cut = post.words.rfind(' ', bases::kMaxPendingWords);
    post.words.resize(cut == std::string::npos ? bases::kMaxPendingWords : cut);
  }
  if (post.words.empty()) return std::nullopt;
  return post;
}

// What a record left by an earlier run for this very file says: none (or
// one about another article under the same name, forgotten), the article is
// on the forum (its file deleted when it can be), or it may be and is not
// found (the file stays unsent).
enum class EarlierSend { kNone, kOnForum, kKeptUnsent };

EarlierSend SettleEarlierSend(const worker::Worker& worker, const std::string& name,
                              uint32_t file_crc) {
  const std::optional<run::PendingPost> earlier = bases::FindPendingPost(worker.run(), name);
  if (!earlier) return EarlierSend::kNone;
  if (earlier->file_crc != file_crc) {
    // Another article under the same name: the record was about its predecessor.
    bases::ForgetPendingPost(worker.run(), name, worker.log());
    return EarlierSend::kNone;
  }
  run::Slot& state = worker.slot();
  if (earlier->seen) {
    state.status.Set("Article posted");
    worker.Log("Article already on the forum: " + name, log::kProgress);
    if (!platform::DeleteFile(name)) {
      worker.Log("Error deleting " + name, log::kProblem);
      return EarlierSend::kOnForum;
    }
    bases::ForgetPendingPost(worker.run(), name, worker.log());
    return EarlierSend::kOnForum;
  }
  state.status.Set("Article not posted");
  worker.Log("Sent before without an answer, not found on the forum since: " + name +
                 " is kept and not sent again, so that the forum cannot get it twice",
             log::kProblem);
  return EarlierSend::kKeptUnsent;
}

}  // namespace

void WritePostedHtml(run::Run& run, std::string_view response) {
  // One file for all slots: one writer at a time, and a crash never leaves
  // half an answer behind.
  // The cross-process file lock is held by every writer of it, so a
  // killed run's temporary copy can be told from one being written.
  std::lock_guard<std::mutex> lock(run.posted_html_lock);
  platform::NamedLock file_lock(run.file_open_mutex);
  platform::DeleteReplaceLeftovers(kPostedHtmlFile);
  platform::ReplaceFileContents(kPostedHtmlFile, response);
}

FormSender HttpFormSender(const worker::Worker& worker) {
  return [worker](std::string_view path, std::string_view body) {
    http::Response response =
        http::HttpPost(worker.requester(), path, body, [&] { worker.ShowPosting(path); });
    if (response.sent) WritePostedHtml(worker.run(), response.text);
    worker.ShowForm(response);
    return response;
  };
}

bool PostOutgoingArticle(const worker::Worker& worker, int engine, std::string_view file_name,
                         int article_number, const FormSender& send) {
  run::Slot& state = worker.slot();
  const std::string name = state.web.spool + std::string(file_name);
  worker.Log("Posting: " + name, log::kProgress);

  // The shared open creates a missing file; a file that vanished since the
  // directory was listed must not come back as an empty article.
  if (!platform::FileExists(name)) {
    worker.Log("Error (2) Opening " + name, log::kProblem);
    state.status.Set("");
    return false;
  }
  platform::File file;
  if (!log::OpenShared(worker.run().file_open_mutex, worker.run().log, name, worker.tag(), &file)) {
    state.status.Set("");
    return false;
  }
  if (file.Size() > kMaxOutgoingFileSize) {
    file.Close();
    worker.Log("Article too large: " + name, log::kProblem);
    return NotPosted(worker);
  }
  OutgoingArticleParser parser(engine);
  ReadArticle(worker, file, article_number, parser);
  file.Close();
  std::string content;
  if (!platform::ReadWholeFile(name, &content, kMaxOutgoingFileSize)) {
    worker.Log("Error (2) Opening " + name, log::kProblem);
    return NotPosted(worker);
  }
  const uint32_t file_crc = text::Crc32(content);
  content = std::string();
  switch (SettleEarlierSend(worker, name, file_crc)) {
    case EarlierSend::kOnForum:
      return true;
    case EarlierSend::kKeptUnsent:
      return false;
    case EarlierSend::kNone:
      break;
  }

  OutgoingArticle article = parser.TakeArticle();
  if (!article.has_content) {
    worker.Log("Empty article: " + name, log::kProblem);
    return NotPosted(worker);
  }
  for (const std::string& problem : article.decode_problems) {
    worker.Log(problem + ": " + name, log::kProblem);
  }
  if (!IsAsciiArticle(article)) {
    const std::optional<text::Charset> forum = ForumCharset(state.web.charset, state.forum_charset);
    if (!forum) {
      // Sent in a guessed set, the text would stay garbled in the forum.
      worker.Log("Forum character set unknown, article kept: " + name, log::kProblem);
      return NotPosted(worker);
    }
    ConvertArticleCharset(article, ReaderCharset(article.content_type), *forum);
  }
  CompleteArticle(engine, state.web, state.group_list_text, article);
  PostingRequest request = BuildPostingRequest(engine, state.web, article);
  const std::optional<run::PendingPost> pending = PendingRecord(state, name, file_crc, article);
  const std::string outgoing_id = article.message_id;
  article = OutgoingArticle();  // the request holds the text now
  // Recorded before the form goes out, so that even a run killed while it
  // waits for the answer leaves the record behind.
  if (pending && !bases::RecordPendingPost(worker.run(), *pending, worker.log()))
    return NotPosted(worker);

  const http::Response answer = send(request.path, request.body);
  const std::string& response = answer.text;
  if (!IsPostAccepted(response, state.forum_template)) {
    if (pending && answer.sent && !IsWholeAnswer(response)) {
      worker.Log("No answer from the forum: " + name +
                     " is kept until the forum shows whether it has the article",
                 log::kProblem);
    } else if (pending) {
      bases::ForgetPendingPost(worker.run(), name, worker.log());
    }
    return NotPosted(worker);
  }

  state.status.Set("Article posted");
  worker.Log("Article posted", log::kProgress);
  if (!platform::DeleteFile(name)) {
    worker.Log("Error deleting " + name, log::kProblem);
    // The forum has it: the record stays, as found on the forum, so that the
    // next run deletes the file instead of sending it again.
    run::PendingPost done = pending.value_or(run::PendingPost());
    done.file = name;
    done.file_crc = file_crc;
    done.seen = true;
    bases::RecordPendingPost(worker.run(), done, worker.log());
  }
  // Kept until the harvest brings the forum's copy, which is then to replace
  // the reader's.
  if (pending) bases::ConfirmPendingPost(worker.run(), *pending, outgoing_id, worker.log());
  return true;
}

bool PostUbbArticle(const worker::Worker& worker, std::string_view file_name, int article_number) {
  return PostOutgoingArticle(worker, run::kUbb, file_name, article_number, HttpFormSender(worker));
}

bool PostThreadsArticle(const worker::Worker& worker, std::string_view file_name,
                        int article_number) {
  return PostOutgoingArticle(worker, run::kUbbThreads, file_name, article_number,
                             HttpFormSender(worker));
}

}  // namespace quorix::posting
