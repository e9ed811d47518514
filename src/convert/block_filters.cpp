// The block filters: web links, mail links and quotes, and the mail address
// scanner of the signature search.
#include "convert/block_loop.h"
#include "convert/filters.h"
#include "text/text.h"

namespace quorix::convert {

namespace {

std::string WithoutLineFeeds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\n') out.push_back(c);
  }
  return out;
}

// A link's target: the text between the block's first double quote and the next.
std::string LinkTarget(std::string_view block) {
  return WithoutLineFeeds(text::ExtractField(block, "\"", 1, "\""));
}

// A mail link's address: after the first double quote and the seven
// characters of the "mailto:" scheme, up to the next double quote.
std::string MailTarget(std::string_view block) {
  return WithoutLineFeeds(text::ExtractField(block, "\"", 8, "\""));
}

// LF + the content, every LF followed by "> ", and the bold tags removed.
std::string QuoteLines(std::string_view content) {
  std::string quoted = "\n> ";
  quoted.reserve(content.size() + content.size() / 16 + 8);
  for (char c : content) {
    if (c == '\n') {
      quoted.append("\n> ");
    } else {
      quoted.push_back(c);
    }
  }
  text::ReplaceAllInPlace(quoted, "<B>", "");
  text::ReplaceAllInPlace(quoted, "</B>", "");
  return quoted;
}

// UBB quote: the content lies between the block's first "<HR>" and the next.
std::string UbbQuote(std::string_view block) {
  return QuoteLines(text::ExtractField(block, "<HR>", 4, "<HR>"));
}

bool IsAddressCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '_' || c == '-';
}

// The text after the first "-- " LF is the signature.
bool HasSignature(std::string_view text) {
  size_t separator = text.find("-- \n");
  return separator != std::string_view::npos && separator + 4 < text.size();
}

}  // namespace

std::string_view FindMailAddress(std::string_view text) {
  // A match needs a run of address characters directly before "@" and at
  // least one after it. The leftmost match begins where such a run begins;
  // both runs are taken whole (greedy).
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    if (!IsAddressCharacter(text[i])) {
      ++i;
      continue;
    }
    size_t run_start = i;
    while (i < n && IsAddressCharacter(text[i])) ++i;
    if (i + 1 < n && text[i] == '@' && IsAddressCharacter(text[i + 1])) {
      size_t end = i + 1;
      while (end < n && IsAddressCharacter(text[end])) ++end;
      return text.substr(run_start, end - run_start);
    }
  }
  return {};
}

void StripUrlLinks(std::string& text, const run::ForumTemplate& tmpl) {
  RunBlockLoop(text, tmpl.href_url_start, tmpl.href_url_end, LinkTarget);
}

std::string StripMailLinks(std::string& text, const run::ForumTemplate& tmpl) {
  std::string address =
      RunBlockLoop(text, tmpl.href_mail_start, tmpl.href_mail_end, MailTarget).last_replacement;
  if (address.empty() && HasSignature(text)) address = std::string(FindMailAddress(text));
  return address;
}

void QuoteUbbBlocks(std::string& text, const run::ForumTemplate& tmpl) {
  RunBlockLoop(text, tmpl.href_quote_start, tmpl.href_quote_end, UbbQuote);
}

void QuoteThreadsBlocks(std::string& text, const run::ForumTemplate& tmpl) {
  const std::string& start_marker = tmpl.href_quote_start;
  const std::string& end_marker = tmpl.href_quote_end;
  // The content starts one character after the start marker and ends two
  // characters before the first end marker from there.
  auto threads_quote = [&start_marker, &end_marker](std::string_view block) {
    size_t from = start_marker.size() + 1;
    if (from >= block.size()) return QuoteLines({});
    size_t end = block.find(end_marker, from);
    if (end == std::string_view::npos) {
      end = block.size();
    } else {
      end = end >= 2 ? end - 2 : 0;
    }
    return QuoteLines(end > from ? block.substr(from, end - from) : std::string_view());
  };
  RunBlockLoop(text, start_marker, end_marker, threads_quote);
}

}  // namespace quorix::convert
