// An outgoing news article as CrossPoint writes it, taken apart into the values
// that the forum forms need. Pure: lines in, values out, no I/O.
//
// Header lines are recognised by their exact, case-sensitive names; the later
// header of a kind overwrites the earlier one. The first empty line ends the
// header for good; it and every later line are body lines, each appended to
// the body followed by CR LF (so the body begins with CR LF). A header line
// that starts with a blank or tab continues the header before it (folding).
//
// Once the article is taken, its body is decoded as its Content-Type and
// Content-Transfer-Encoding say (quoted-printable, base64, the first text part
// of a multipart body; see posting/transfer_encoding.h) before the line rules
// apply, and the Content-Type is that of the text posted.
//
// The kind of article follows from the headers, whatever their order: a
// "Control:" header makes a delete, else "Supersedes:" an edit, else
// "References:" a reply, and an article with none of them is a new topic.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorix::posting {

enum PostAction : int { kNewTopic = 0, kReply = 1, kEdit = 2, kDelete = 3 };

struct OutgoingArticle {
  int post_action = kNewTopic;  // PostAction
  std::string subject;          // Subject, one leading "RE: " (any letter case) removed
  std::string newsgroup;        // Newsgroup
  std::string newsreader;       // Newsreader
  std::string forum_number;     // ForumNumber
  std::string forum_name;       // ForumName
  std::string topic_id;         // TopicId
  std::string reply_number;     // ReplyNumber
  std::string body;             // Body
  // The "Content-Type:" header as written (its charset names the reader's
  // character set); empty when the article has none.
  std::string content_type;
  std::string referenced_id;  // the Message-ID the forum fields were taken from
  // The article's own "Message-ID:" (any letter case), when it is one "<...>"
  // without blanks; else empty.
  std::string message_id;

  // The last "Subject:" value as written, before the "RE: " cut: what the
  // status line shows while the article is posted.
  std::string subject_as_written;
  // The "Content-Transfer-Encoding:" header as written; empty when absent.
  std::string transfer_encoding;
  // What the body decoding could not decode or left out (for the log).
  std::vector<std::string> decode_problems;
  // False while every line read was empty: an empty file is no article.
  bool has_content = false;
};

// The values that a referenced Message-ID names.
struct ReferencedPost {
  std::string forum_number;
  std::string topic_id;
  std::string reply_number;
};

// The domain part of a Message-ID: the text after its first "@" up to a
// second "@" or the end. Empty when there is no "@".
std::string_view MessageIdDomain(std::string_view message_id);

// A UBB Message-ID ("<group@forum7.000123.html.4.crc>"): the forum number is
// characters 6 and 7 of the domain part with "." removed (one or two digits),
// the topic is field 2 + ".cgi", the reply number field 4.
ReferencedPost DecomposeUbbMessageId(std::string_view message_id);

// A UBBThreads Message-ID ("<group@forum12.4711.4700.3.crc>"): fields 1, 2 and
// 3 of the domain part. The forum number keeps its "forum" prefix here; it is
// cut once the whole article has been read (see CutThreadsForumPrefix).
ReferencedPost DecomposeThreadsMessageId(std::string_view message_id);

// The value without its first five characters ("forum12" gives "12").
std::string CutThreadsForumPrefix(std::string_view forum_number);

// Word `index` (1-based) of `text` split at blanks, runs of blanks counting as
// one separator and leading blanks skipped; empty when there are fewer words.
std::string_view BlankSeparatedWord(std::string_view text, int index);

// A body line turned back into forum markup: the news signature separator
// "-- " becomes 18 hyphens, a line with the code-block start marker becomes
// "[CODE]" and one with the end marker "[/CODE]". Any other line is returned
// unchanged.
std::string_view ConvertBodyLine(std::string_view line);

// Collects one article line by line. `engine` (run::kUbb or run::kUbbThreads)
// selects how referenced Message-IDs are taken apart.
class OutgoingArticleParser {
 public:
  explicit OutgoingArticleParser(int engine) : engine_(engine) {}

  // Takes one line without its line end. Returns true when the line was a
  // "Subject:" header, so the caller can show the new subject at once.
  bool AddLine(std::string_view line);

  // The headers read so far (the body is built when the article is taken).
  const OutgoingArticle& article() const { return article_; }
  // The article with its body decoded and converted line by line.
  OutgoingArticle TakeArticle();

 private:
  void AddHeaderLine(std::string_view line, bool* subject_seen);
  void ContinueHeader(std::string_view line, bool* subject_seen);
  void TakeReference(std::string_view message_id, bool topic, bool reply);

  int engine_;
  bool header_mode_ = true;
  std::string* folded_into_ = nullptr;  // the header that a continuation line extends
  size_t body_lines_ = 0;
  std::string raw_body_;  // the body lines as written, separated by LF
  OutgoingArticle article_;
};

}  // namespace quorix::posting
