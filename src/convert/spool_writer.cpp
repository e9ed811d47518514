// rnews entries.
#include "convert/spool_writer.h"

#include "convert/article_headers.h"
#include "text/text.h"

namespace quorix::convert {

namespace {

// A header value as written: CR, LF and NUL become blanks.
std::string HeaderValue(std::string_view value) {
  std::string clean(value);
  for (char& c : clean) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return clean;
}

void AppendHeader(std::string& article, std::string_view name, std::string_view value) {
  article.append(name).append(HeaderValue(value)).push_back('\n');
}

}  // namespace

std::string BuildNewsArticle(const NewsArticle& a) {
  std::string article;
  article.reserve(200 + a.newsgroup.size() + a.address.size() + a.author.size() + a.subject.size() +
                  a.message_id.size() + a.references.size() + a.date.size() + a.body.size() +
                  a.page_url.size());
  article.append("Path: quorix!localhost\n");
  std::string from = HeaderValue(a.author);
  if (a.charset) from = EncodeHeaderText(from, *a.charset, kMaxEncodedName);
  from.append(" <").append(a.address).append(">");
  AppendHeader(article, "From: ", from);
  article.append("Reply-To: \n");
  AppendHeader(article, "Newsgroups: ", a.newsgroup);
  AppendHeader(article, "Message-ID: ", a.message_id);
  if (a.article_index > 0) article.append(FoldedHeader("References: ", HeaderValue(a.references)));
  if (!a.supersedes.empty()) AppendHeader(article, "Supersedes: ", a.supersedes);
  std::string subject = HeaderValue(a.subject);
  std::string_view prefix;
  if (a.article_index > 0 && subject.compare(0, 4, "Re: ") != 0) prefix = "Re: ";
  if (a.charset) {
    subject = EncodeHeaderText(subject, *a.charset, kMaxEncodedSubject - prefix.size());
  }
  subject.insert(0, prefix);
  AppendHeader(article, "Subject: ", subject);
  AppendHeader(article, "Date: ", a.date);
  AppendHeader(article, "X-Htmlpage: ", a.page_url);
  if (a.charset) {
    article.append("MIME-Version: 1.0\n");
    article.append("Content-Type: text/plain; charset=").append(text::CharsetName(*a.charset));
    article.append("\nContent-Transfer-Encoding: 8bit\n");
  }
  article.push_back('\n');
  article.append(a.body);
  article.push_back('\n');
  return article;
}

std::string BuildSpoolEntry(const NewsArticle& article) {
  std::string text = BuildNewsArticle(article);
  std::string entry = "#! rnews " + text::Decimal(static_cast<int64_t>(text.size())) + "\n";
  entry.append(text);
  return entry;
}

bool WriteNewsArticle(platform::File& file, const NewsArticle& article) {
  return WriteSpoolEntry(file, BuildSpoolEntry(article));
}

bool WriteSpoolEntry(platform::File& file, std::string_view entry) {
  const int64_t entry_start = file.Position();
  if (entry_start < 0) return false;
  if (file.Write(entry)) return true;
  // A partial entry would be misread: cut the file back to the last whole one.
  if (file.Seek(entry_start)) file.SetEnd();
  return false;
}

bool WriteNewsArticle(platform::File& file, std::string_view newsgroup, std::string_view address,
                      std::string_view author, std::string_view subject,
                      std::string_view message_id, std::string_view references,
                      std::string_view date, std::string_view body, std::string_view page_url,
                      int article_index) {
  NewsArticle article{newsgroup, address, author,   subject,       message_id, references,
                      date,      body,    page_url, article_index, {},         std::nullopt};
  return WriteNewsArticle(file, article);
}

}  // namespace quorix::convert
