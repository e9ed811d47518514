#include "posting/article_poster.h"

#include "http/http_client.h"
#include "log/logger.h"
#include "log/shared_file.h"
#include "platform/file.h"
#include "posting/outgoing_article.h"
#include "posting/outgoing_charset.h"
#include "posting/outgoing_spool.h"
#include "posting/posting_forms.h"
#include "posting/threads_poster.h"
#include "posting/ubb_poster.h"
#include "text/text.h"

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

std::string SendWithHttpClient(run::Run& run, std::string_view path, std::string_view body,
                               int slot) {
  return http::HttpPost(run, path, body, slot);
}

}  // namespace

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

  OutgoingArticle article = parser.TakeArticle();
  if (!article.has_content) {
    run.log.WriteLog("Empty article: " + name, slot, log::kProblem);
    return NotPosted(run, slot);
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
  article = OutgoingArticle();  // the request holds the text now

  std::string response = send(run, request.path, request.body, slot);
  if (!IsPostAccepted(response, state.forum_template)) return NotPosted(run, slot);

  state.status.Set("Article posted");
  run.log.WriteLog("Article posted", slot, log::kProgress);
  if (!platform::DeleteFile(name)) {
    run.log.WriteLog("Error deleting " + name, slot, log::kProblem);
  }
  return true;
}

bool PostUbbArticle(run::Run& run, std::string_view file_name, int article_number, int slot) {
  return PostOutgoingArticle(run, run::kUbb, file_name, article_number, slot, SendWithHttpClient);
}

bool PostThreadsArticle(run::Run& run, std::string_view file_name, int article_number, int slot) {
  return PostOutgoingArticle(run, run::kUbbThreads, file_name, article_number, slot,
                             SendWithHttpClient);
}

}  // namespace quorix::posting
