// Spool file creation and rnews entries.
#include "convert/spool_writer.h"

#include <mutex>
#include <vector>

#include "convert/article_headers.h"
#include "log/logger.h"
#include "text/text.h"

namespace quorix::convert {

namespace {

constexpr int kSpoolNumbers = 1000000;  // 000000 .. 999999
constexpr size_t kDigits = 6;

// The extension as written: lower case where file names are case-sensitive.
std::string WrittenExtension(std::string_view extension) {
#ifdef _WIN32
  return std::string(extension);
#else
  return text::LowerCase437(extension);
#endif
}

std::string SixDigits(int number) {
  std::string digits = text::Decimal(number);
  return std::string(kDigits - digits.size(), '0') + digits;
}

// The numbers in use: every existing prefix + six digits + extension, letter
// case ignored (the listing's wildcard ignores it).
std::vector<bool> NumbersInUse(std::string_view spool_dir, std::string_view prefix,
                               std::string_view extension) {
  std::vector<bool> used(kSpoolNumbers, false);
  std::string pattern(prefix);
  pattern.append(kDigits, '?');
  pattern.append(extension);
  for (const std::string& found : platform::ListDirectory(spool_dir, pattern)) {
    if (found.size() != prefix.size() + kDigits + extension.size()) continue;
    std::string_view digits = std::string_view(found).substr(prefix.size(), kDigits);
    int number = 0;
    bool all_digits = true;
    for (char c : digits) {
      if (c < '0' || c > '9') {
        all_digits = false;
        break;
      }
      number = number * 10 + (c - '0');
    }
    if (all_digits) used[number] = true;
  }
  return used;
}

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

platform::File CreateSpoolFile(run::Run& run, std::string_view spool_dir, std::string* name,
                               std::string_view prefix, std::string_view extension, int slot) {
  const std::string written_extension = WrittenExtension(extension);
  std::lock_guard<platform::NamedMutex> lock(run.file_open_mutex);
  std::vector<bool> used = NumbersInUse(spool_dir, prefix, written_extension);
  platform::File file;
  for (int number = 0; number < kSpoolNumbers; ++number) {
    if (used[number]) continue;
    *name = std::string(spool_dir) + std::string(prefix) + SixDigits(number) + written_extension;
    run.log.WriteLog("Creating Spoolfile: " + *name, slot, log::kDetail);
    // The listing (letter case ignored) is the only look at the directory; the
    // create itself never opens an existing file: one that appeared under
    // this name since the listing moves the choice on to the next number.
    int error = 0;
    file = platform::File::Open(*name, platform::Access::kReadWrite, platform::Sharing::kShared,
                                platform::Missing::kCreateNew, &error);
    if (!file.IsOpen() && platform::IsFileExistsError(error)) continue;
    if (!file.IsOpen()) run.log.WriteLog("Error Spoolfile: " + *name, slot, log::kProblem);
    return file;
  }
  // Every number is taken: no existing file is ever reused.
  *name = std::string(spool_dir) + std::string(prefix) + SixDigits(kSpoolNumbers - 1) +
          written_extension;
  run.log.WriteLog("Error Spoolfile: " + *name, slot, log::kProblem);
  return file;
}

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
