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

bool NotPosted(run::Run& run, int slot) {
  run.slots[slot].status.Set("Error posting Article");
  run.log.WriteLog("Article not posted", slot, log::kProgress);
  return false;
}

// Reads the whole file into the parser, showing each subject as it is read.
void ReadArticle(run::Run& run, platform::File& file, int article_number, int slot,
                 OutgoingArticleParser& parser) {
  SpoolLineReader reader;
  do {
    std::string line = ReadSpoolLine(file, reader, run, slot);
    if (parser.AddLine(line)) {
      run.slots[slot].activity.Set("Posting Article " + text::Decimal(article_number) + " (" +
                                   parser.article().subject_as_written + ")");
      run.slots[slot].status.Set("");
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

// A record left by an earlier run for this very file: its article may be on
// the forum. Empty when the file is to be sent; else whether the forum has it
// (the file was deleted) or not (it stays unsent).
std::optional<bool> SettleEarlierSend(run::Run& run, const std::string& name, uint32_t file_crc,
                                      int slot) {
  const std::optional<run::PendingPost> earlier = bases::FindPendingPost(run, name);
  if (!earlier) return std::nullopt;
  if (earlier->file_crc != file_crc) {
    // Another article under the same name: the record was about its predecessor.
    bases::ForgetPendingPost(run, name, {run.log, slot});
    return std::nullopt;
  }
  run::Slot& state = run.slots[slot];
  if (earlier->seen) {
    state.status.Set("Article posted");
    run.log.WriteLog("Article already on the forum: " + name, slot, log::kProgress);
    if (!platform::DeleteFile(name)) {
      run.log.WriteLog("Error deleting " + name, slot, log::kProblem);
      return true;
    }
    bases::ForgetPendingPost(run, name, {run.log, slot});
    return true;
  }
  state.status.Set("Article not posted");
  run.log.WriteLog("Sent before without an answer, not found on the forum since: " + name +
                       " is kept and not sent again, so that the forum cannot get it twice",
                   slot, log::kProblem);
  return false;
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

FormSender HttpFormSender(run::Run& run, int slot) {
  return [&run, slot](std::string_view path, std::string_view body) {
    const worker::Worker worker(run, slot);
    http::Response response =
        http::HttpPost(worker.requester(), path, body, [&] { worker.ShowPosting(path); });
    if (response.sent) WritePostedHtml(run, response.text);
    worker.ShowForm(response);
    return response;
  };
}

bool PostOutgoingArticle(run::Run& run, int engine, std::string_view file_name, int article_number,
                         int slot, const FormSender& send) {
  run::Slot& state = run.slots[slot];
  const std::string name = state.web.spool + std::string(file_name);
  run.log.WriteLog("Posting: " + name, slot, log::kProgress);

  // The shared open creates a missing file; a file that vanished since the
  // directory was listed must not come back as an empty article.
  if (!platform::FileExists(name)) {
    run.log.WriteLog("Error (2) Opening " + name, slot, log::kProblem);
    state.status.Set("");
    return false;
  }
  platform::File file;
  if (!log::OpenShared(run.file_open_mutex, run.log, name, slot, &file)) {
    state.status.Set("");
    return false;
  }
  if (file.Size() > kMaxOutgoingFileSize) {
    file.Close();
    run.log.WriteLog("Article too large: " + name, slot, log::kProblem);
    return NotPosted(run, slot);
  }
  OutgoingArticleParser parser(engine);
  ReadArticle(run, file, article_number, slot, parser);
  file.Close();
  std::string content;
  if (!platform::ReadWholeFile(name, &content, kMaxOutgoingFileSize)) {
    run.log.WriteLog("Error (2) Opening " + name, slot, log::kProblem);
    return NotPosted(run, slot);
  }
  const uint32_t file_crc = text::Crc32(content);
  content = std::string();
  if (const std::optional<bool> settled = SettleEarlierSend(run, name, file_crc, slot)) {
    return *settled;
  }

  OutgoingArticle article = parser.TakeArticle();
  if (!article.has_content) {
    run.log.WriteLog("Empty article: " + name, slot, log::kProblem);
    return NotPosted(run, slot);
  }
  for (const std::string& problem : article.decode_problems) {
    run.log.WriteLog(problem + ": " + name, slot, log::kProblem);
  }
  if (!IsAsciiArticle(article)) {
    const std::optional<text::Charset> forum = ForumCharset(state.web.charset, state.forum_charset);
    if (!forum) {
      // Sent in a guessed set, the text would stay garbled in the forum.
      run.log.WriteLog("Forum character set unknown, article kept: " + name, slot, log::kProblem);
      return NotPosted(run, slot);
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
  if (pending && !bases::RecordPendingPost(run, *pending, {run.log, slot}))
    return NotPosted(run, slot);

  const http::Response answer = send(request.path, request.body);
  const std::string& response = answer.text;
  if (!IsPostAccepted(response, state.forum_template)) {
    if (pending && answer.sent && !IsWholeAnswer(response)) {
      run.log.WriteLog("No answer from the forum: " + name +
                           " is kept until the forum shows whether it has the article",
                       slot, log::kProblem);
    } else if (pending) {
      bases::ForgetPendingPost(run, name, {run.log, slot});
    }
    return NotPosted(run, slot);
  }

  state.status.Set("Article posted");
  run.log.WriteLog("Article posted", slot, log::kProgress);
  if (!platform::DeleteFile(name)) {
    run.log.WriteLog("Error deleting " + name, slot, log::kProblem);
    // The forum has it: the record stays, as found on the forum, so that the
    // next run deletes the file instead of sending it again.
    run::PendingPost done = pending.value_or(run::PendingPost());
    done.file = name;
    done.file_crc = file_crc;
    done.seen = true;
    bases::RecordPendingPost(run, done, {run.log, slot});
  }
  // Kept until the harvest brings the forum's copy, which is then to replace
  // the reader's.
  if (pending) bases::ConfirmPendingPost(run, *pending, outgoing_id, {run.log, slot});
  return true;
}

bool PostUbbArticle(run::Run& run, std::string_view file_name, int article_number, int slot) {
  return PostOutgoingArticle(run, run::kUbb, file_name, article_number, slot,
                             HttpFormSender(run, slot));
}

bool PostThreadsArticle(run::Run& run, std::string_view file_name, int article_number, int slot) {
  return PostOutgoingArticle(run, run::kUbbThreads, file_name, article_number, slot,
                             HttpFormSender(run, slot));
}

}  // namespace quorix::posting
