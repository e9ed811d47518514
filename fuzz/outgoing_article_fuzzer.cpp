// Outgoing articles from file bytes to the form request that posts them.
//
// - The spool line reader, fed through a source that hands out the bytes in
//   short reads of input-chosen sizes, returns the file's LF-terminated lines
//   without CR, then one empty line when text follows the last LF (or the
//   file is empty), and ends.
// - The article parser of both engines: the action is the strongest of the
//   Control / Supersedes / References headers before the first empty line,
//   the body is every line from there on, converted and followed by CR LF;
//   lines under a Content-Type or Content-Transfer-Encoding (folded or not)
//   are decoded first.
// - Completion and form building for both engines never put an LF into the
//   form body, and each action goes to its script with its own form.
// - The success test of a forum's answer.
//
// Input: outgoing file, group list text, forum answer; separated by 0x1E.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "posting/outgoing_article.h"
#include "posting/outgoing_spool.h"
#include "posting/posting_forms.h"
#include "posting/transfer_encoding.h"
#include "text/text.h"

namespace {

namespace posting = quorix::posting;
namespace run = quorix::run;

// The file's bytes in reads of 1 to 64 bytes, the sizes taken from the bytes.
class ChoppedSource : public posting::SpoolSource {
 public:
  explicit ChoppedSource(std::string_view bytes) : bytes_(bytes) {}
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  int64_t Read(char* buffer, int64_t size) override {
    if (at_ >= bytes_.size()) return 0;
    const size_t chunk = 1 + (static_cast<unsigned char>(bytes_[at_]) + reads_++) % 64;
    const size_t count = std::min({chunk, static_cast<size_t>(size), bytes_.size() - at_});
    std::copy_n(bytes_.data() + at_, count, buffer);
    at_ += count;
    return static_cast<int64_t>(count);
  }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
  size_t reads_ = 0;
};

std::vector<std::string> ReferenceLines(std::string_view file) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t lf = file.find('\n'); lf != std::string_view::npos; lf = file.find('\n', start)) {
    std::string line;
    for (char c : file.substr(start, lf - start)) {
      if (c != '\r') line.push_back(c);
    }
    lines.push_back(std::move(line));
    start = lf + 1;
  }
  if (file.empty() || start < file.size()) lines.emplace_back();
  return lines;
}

std::vector<std::string> ReadLines(std::string_view file, run::Run& run) {
  ChoppedSource source(file);
  posting::SpoolLineReader reader;
  std::vector<std::string> lines;
  do {
    lines.push_back(
        posting::ReadSpoolLine(source, reader, {run.log, quorix::fuzz::FuzzRun::kSlot}));
    QUORIX_FUZZ_CHECK(lines.size() <= file.size() + 1, "the reader ends");
  } while (reader.end_flag == 0);
  return lines;
}

bool StartsWithAnyCase(std::string_view line, std::string_view prefix) {
  if (line.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(line[i]) != lower(prefix[i])) return false;
  }
  return true;
}

// The body as the parser must give it: every line after the header's end,
// converted and followed by CR LF; an article that names a Content-Type or a
// Content-Transfer-Encoding (folded lines unfolded) has its body lines
// decoded first, as its reader wrote them.
void CheckParsedArticle(const std::vector<std::string>& lines, const posting::OutgoingArticle& a) {
  int action = posting::kNewTopic;
  bool header = true;
  bool content = false;
  std::string content_type;
  std::string transfer_encoding;
  std::string* folded_into = nullptr;
  std::string body;
  std::string raw_body;
  size_t body_lines = 0;
  for (const std::string& line : lines) {
    content = content || !line.empty();
    if (header && !line.empty()) {
      if (line[0] == ' ' || line[0] == '\t') {
        if (folded_into != nullptr) folded_into->append(line);
        continue;
      }
      folded_into = nullptr;
      if (line.rfind("Control:", 0) == 0) action = posting::kDelete;
      if (line.rfind("Supersedes:", 0) == 0) action = std::max<int>(action, posting::kEdit);
      if (line.rfind("References:", 0) == 0) action = std::max<int>(action, posting::kReply);
      if (StartsWithAnyCase(line, "Content-Type:")) {
        content_type = std::string(quorix::text::TrimBlanks(std::string_view(line).substr(13)));
        folded_into = &content_type;
      } else if (StartsWithAnyCase(line, "Content-Transfer-Encoding:")) {
        transfer_encoding =
            std::string(quorix::text::TrimBlanks(std::string_view(line).substr(26)));
        folded_into = &transfer_encoding;
      }
      continue;
    }
    if (header) {
      header = false;
      body = "\r\n";
      continue;
    }
    if (body_lines++ > 0) raw_body.push_back('\n');
    raw_body.append(line);
  }
  std::string text = raw_body;
  if (body_lines > 0 && (!content_type.empty() || !transfer_encoding.empty())) {
    text = posting::DecodeOutgoingBody(content_type, transfer_encoding, raw_body).text;
  }
  if (body_lines > 0) {
    std::string_view rest = text;
    for (;;) {
      const size_t lf = rest.find('\n');
      body.append(posting::ConvertBodyLine(rest.substr(0, lf))).append("\r\n");
      if (lf == std::string_view::npos) break;
      rest.remove_prefix(lf + 1);
    }
  }
  QUORIX_FUZZ_CHECK(a.post_action == action, std::to_string(action), std::to_string(a.post_action));
  QUORIX_FUZZ_CHECK(a.body == body, body, a.body);
  QUORIX_FUZZ_CHECK(a.has_content == content);
}

void CheckRequest(int engine, const run::WebSettings& web, const posting::OutgoingArticle& a) {
  const posting::PostingRequest request = posting::BuildPostingRequest(engine, web, a);
  QUORIX_FUZZ_CHECK(request.body.find('\n') == std::string::npos, "no LF in a form", request.body);
  const bool threads_reply = engine == run::kUbbThreads && a.post_action == posting::kReply;
  const std::string script = threads_reply ? "addpost.php" : web.post;
  QUORIX_FUZZ_CHECK(request.path == "/" + web.path + script, "/" + web.path + script, request.path);
  std::string_view first_field = "UserName=";
  if (threads_reply) first_field = "postername=";
  if (!threads_reply && a.post_action == posting::kDelete) first_field = "DeletePost=yes&";
  QUORIX_FUZZ_CHECK(request.body.rfind(first_field, 0) == 0, first_field, request.body);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = quorix::fuzz::SplitParts(quorix::fuzz::AsText(data, size), 3);
  const std::string_view file = parts[0];
  const std::string_view group_list = parts[1];
  const std::string_view answer = parts[2];
  run::Run& run = quorix::fuzz::FuzzRun::ForEngine(run::kUbb).run();

  const std::vector<std::string> lines = ReadLines(file, run);
  QUORIX_FUZZ_CHECK(lines == ReferenceLines(file), "the file's lines");

  for (int engine : {run::kUbb, run::kUbbThreads}) {
    posting::OutgoingArticleParser parser(engine);
    bool header = true;
    bool in_subject = false;  // the last header line began a Subject: or continued one
    std::string value;
    for (const std::string& line : lines) {
      header = header && !line.empty();
      bool is_subject = false;
      if (header && line.rfind("Subject:", 0) == 0) {
        value = line.size() > 9 ? line.substr(9) : std::string();
        is_subject = in_subject = true;
      } else if (header && (line[0] == ' ' || line[0] == '\t')) {
        if (in_subject) value += line;  // a folded Subject goes on, its blank kept
        is_subject = in_subject;
      } else {
        in_subject = false;
      }
      QUORIX_FUZZ_CHECK(parser.AddLine(line) == is_subject, "a Subject: header", line);
      if (is_subject) {
        QUORIX_FUZZ_CHECK(parser.article().subject_as_written == value, value,
                          parser.article().subject_as_written);
      }
    }
    posting::OutgoingArticle article = parser.TakeArticle();
    CheckParsedArticle(lines, article);

    run::WebSettings web;
    web.user = "Tester";
    web.password = "p&ss word";
    web.path = engine == run::kUbbThreads ? "ubbthreads/" : "support/forums/";
    web.post = engine == run::kUbbThreads ? "postings.php" : "postings.cgi";
    web.sender_address = "tester@example.org";
    posting::CompleteArticle(engine, web, group_list, article);
    CheckRequest(engine, web, article);
  }

  const run::ForumTemplate& tmpl = quorix::fuzz::UbbTemplate();
  const bool accepted =
      !answer.empty() && (answer.find(tmpl.article_post_ok) != std::string::npos ||
                          answer.find(tmpl.article_edit_ok) != std::string::npos ||
                          answer.find(tmpl.article_dele_ok) != std::string::npos);
  QUORIX_FUZZ_CHECK(posting::IsPostAccepted(answer, tmpl) == accepted);
  run::ForumTemplate empty_texts;
  QUORIX_FUZZ_CHECK(!posting::IsPostAccepted(answer, empty_texts), "an empty text never confirms");
  return 0;
}
