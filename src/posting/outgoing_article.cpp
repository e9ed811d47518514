#include "posting/outgoing_article.h"

#include "posting/transfer_encoding.h"
#include "run/settings.h"
#include "text/text.h"

namespace quorix::posting {
namespace {

// The code-block markers that the article conversion writes: a fixed lead-in
// followed by 40 hyphens.
constexpr std::string_view kCodeStartMarker =
    "--- Cut ----"
    "----------------------------------------";
constexpr std::string_view kCodeEndMarker =
    "--- Cut End "
    "----------------------------------------";
constexpr std::string_view kSignatureSeparator = "-- ";
constexpr std::string_view kForumSignatureLine = "------------------";  // 18 hyphens

// The line from its (1-based) character `position` on; empty when shorter.
std::string_view FromCharacter(std::string_view line, size_t position) {
  return position - 1 < line.size() ? line.substr(position - 1) : std::string_view();
}

bool StartsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

// MIME's own headers are matched in any letter case, as MIME readers do.
bool StartsWithAnyCase(std::string_view line, std::string_view prefix) {
  return line.size() >= prefix.size() &&
         text::LowerCase437(line.substr(0, prefix.size())) == text::LowerCase437(prefix);
}

}  // namespace

std::string_view MessageIdDomain(std::string_view message_id) {
  size_t at = message_id.find('@');
  if (at == std::string_view::npos) return {};
  std::string_view domain = message_id.substr(at + 1);
  size_t second = domain.find('@');
  return second == std::string_view::npos ? domain : domain.substr(0, second);
}

ReferencedPost DecomposeUbbMessageId(std::string_view message_id) {
  std::string_view domain = MessageIdDomain(message_id);
  ReferencedPost post;
  // "forum" takes characters 1 to 5; the number is at most two digits.
  std::string_view digits = domain.size() > 5 ? domain.substr(5, 2) : std::string_view();
  post.forum_number = text::ReplaceAll(digits, ".", "");
  post.topic_id = std::string(text::Field(domain, ".", 2)) + ".cgi";
  post.reply_number = std::string(text::Field(domain, ".", 4));
  return post;
}

ReferencedPost DecomposeThreadsMessageId(std::string_view message_id) {
  std::string_view domain = MessageIdDomain(message_id);
  ReferencedPost post;
  post.forum_number = std::string(text::Field(domain, ".", 1));
  post.topic_id = std::string(text::Field(domain, ".", 2));
  post.reply_number = std::string(text::Field(domain, ".", 3));
  return post;
}

std::string CutThreadsForumPrefix(std::string_view forum_number) {
  return forum_number.size() > 5 ? std::string(forum_number.substr(5)) : std::string();
}

std::string_view BlankSeparatedWord(std::string_view text, int index) {
  size_t pos = 0;
  for (int word = 1;; ++word) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (pos >= text.size()) return {};
    size_t end = text.find(' ', pos);
    if (end == std::string_view::npos) end = text.size();
    if (word == index) return text.substr(pos, end - pos);
    pos = end;
  }
}

std::string_view ConvertBodyLine(std::string_view line) {
  if (line == kSignatureSeparator) return kForumSignatureLine;
  if (line.find(kCodeStartMarker) != std::string_view::npos) return "[CODE]";
  if (line.find(kCodeEndMarker) != std::string_view::npos) return "[/CODE]";
  return line;
}

bool OutgoingArticleParser::AddLine(std::string_view line) {
  if (!line.empty()) article_.has_content = true;
  bool subject_seen = false;
  if (header_mode_ && !line.empty()) {
    if (line[0] == ' ' || line[0] == '\t') {
      ContinueHeader(line, &subject_seen);
    } else {
      folded_into_ = nullptr;
      AddHeaderLine(line, &subject_seen);
    }
    return subject_seen;
  }
  if (header_mode_) {
    header_mode_ = false;
    article_.body = "\r\n";  // the empty line that ended the header
    return false;
  }
  if (body_lines_++ > 0) raw_body_.push_back('\n');
  raw_body_.append(line);
  return false;
}

OutgoingArticle OutgoingArticleParser::TakeArticle() {
  if (body_lines_ > 0) {
    DecodedBody decoded =
        DecodeOutgoingBody(article_.content_type, article_.transfer_encoding, raw_body_);
    raw_body_ = std::string();
    article_.content_type = std::move(decoded.content_type);
    article_.decode_problems = std::move(decoded.problems);
    std::string_view rest = decoded.text;
    for (;;) {
      const size_t lf = rest.find('\n');
      article_.body.append(ConvertBodyLine(rest.substr(0, lf)));
      article_.body.append("\r\n");
      if (lf == std::string_view::npos) break;
      rest.remove_prefix(lf + 1);
    }
  }
  return std::move(article_);
}

// A folded header line: the line, its leading blank included, is appended to
// the header it continues (RFC 5322 2.2.3). Only the headers whose whole
// value is read are unfolded; a References line is read for its first ID.
void OutgoingArticleParser::ContinueHeader(std::string_view line, bool* subject_seen) {
  if (folded_into_ == nullptr) return;
  folded_into_->append(line);
  if (folded_into_ == &article_.subject_as_written) {
    article_.subject.append(line);
    *subject_seen = true;
  }
}

void OutgoingArticleParser::TakeReference(std::string_view message_id, bool topic, bool reply) {
  ReferencedPost post = engine_ == run::kUbbThreads ? DecomposeThreadsMessageId(message_id)
                                                    : DecomposeUbbMessageId(message_id);
  article_.forum_number = std::move(post.forum_number);
  article_.referenced_id = std::string(message_id);
  if (topic) article_.topic_id = std::move(post.topic_id);
  if (reply) article_.reply_number = std::move(post.reply_number);
}

// Values start at fixed positions: one character after the colon for Subject,
// References, Supersedes and Control (where a blank is expected), directly
// after the colon for the other three, which are then trimmed.
void OutgoingArticleParser::AddHeaderLine(std::string_view line, bool* subject_seen) {
  const bool threads = engine_ == run::kUbbThreads;
  if (StartsWith(line, "Subject:")) {
    article_.subject_as_written = std::string(FromCharacter(line, 10));
    article_.subject = article_.subject_as_written;
    folded_into_ = &article_.subject_as_written;
    if (text::UpperCase437(std::string_view(article_.subject).substr(0, 4)) == "RE: ") {
      article_.subject.erase(0, 4);
    }
    *subject_seen = true;
  } else if (StartsWith(line, "References:")) {
    if (article_.post_action < kEdit) {
      article_.post_action = kReply;
      // The first reference names the thread's first post, and with it the topic.
      TakeReference(BlankSeparatedWord(FromCharacter(line, 13), 1), true, threads);
    }
  } else if (StartsWith(line, "Supersedes:")) {
    if (article_.post_action < kDelete) {
      article_.post_action = kEdit;
      TakeReference(BlankSeparatedWord(FromCharacter(line, 13), 1), true, true);
    }
  } else if (StartsWith(line, "Control:")) {
    article_.post_action = kDelete;
    // The word after the control command ("cancel <id>") is the Message-ID.
    TakeReference(BlankSeparatedWord(FromCharacter(line, 10), 2), false, true);
  } else if (StartsWith(line, "Newsgroups:")) {
    article_.newsgroup = std::string(text::TrimBlanks(FromCharacter(line, 12)));
  } else if (StartsWith(line, "X-Newsreader:")) {
    article_.newsreader = std::string(text::TrimBlanks(FromCharacter(line, 14)));
    folded_into_ = &article_.newsreader;
  } else if (StartsWith(line, "User-Agent:")) {
    article_.newsreader = std::string(text::TrimBlanks(FromCharacter(line, 12)));
    folded_into_ = &article_.newsreader;
  } else if (StartsWithAnyCase(line, "Content-Type:")) {
    article_.content_type = std::string(text::TrimBlanks(FromCharacter(line, 14)));
    folded_into_ = &article_.content_type;
  } else if (StartsWithAnyCase(line, "Message-ID:")) {
    // "<...>" and nothing else: it goes into a header of the harvested copy.
    const std::string_view id = text::TrimBlanks(FromCharacter(line, 12));
    const bool usable = id.size() > 2 && id.front() == '<' && id.back() == '>' &&
                        id.find_first_of(" \t<>", 1) == id.size() - 1;
    article_.message_id = usable ? std::string(id) : std::string();
  } else if (StartsWithAnyCase(line, "Content-Transfer-Encoding:")) {
    article_.transfer_encoding = std::string(text::TrimBlanks(FromCharacter(line, 27)));
    folded_into_ = &article_.transfer_encoding;
  }
}

}  // namespace quorix::posting
