// Field extractors of UBB post cells and the replacement filters.
#include <array>
#include <memory>
#include <utility>

#include "convert/filters.h"
#include "text/replacement_sequence.h"
#include "text/text.h"

namespace quorix::run {

// The tables the filters build from a template and keep with it (settings.h).
struct TemplateTables {
  std::array<std::string, kSmileyCount> markups;  // the smileys `smileys` was built from
  text::ReplacementSequence smileys;
};

}  // namespace quorix::run

namespace quorix::convert {

namespace {

// Replaces every occurrence of `from` by `to` in one pass; leaves the text
// alone (no copy) when there is none.
void ReplaceInPlace(std::string& text, std::string_view from, std::string_view to) {
  text::ReplaceAllInPlace(text, from, to);
}

using Replacement = std::pair<std::string_view, std::string_view>;

// One pass for a table of tags that begin with "<": at each "<" the first tag
// of the table that matches is replaced. The tables below hold tags that
// cannot overlap one another, and replacements without "<" cannot form new
// tags, so this equals applying the replacements one after the other.
template <size_t N>
void ReplaceTags(std::string& text, const std::array<Replacement, N>& table) {
  size_t hit = text.find('<');
  if (hit == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  size_t done = 0;
  while (hit != std::string::npos) {
    std::string_view rest = std::string_view(text).substr(hit);
    size_t skip = 1;
    for (const auto& [from, to] : table) {
      // Every tag has a second byte; comparing it first rejects most tags of
      // a page without a call per table entry.
      if (rest.size() < from.size() || rest[1] != from[1]) continue;
      if (rest.substr(0, from.size()) == from) {
        out.append(text, done, hit - done);
        out.append(to);
        done = hit + from.size();
        skip = from.size();
        break;
      }
    }
    hit = text.find('<', hit + skip);
  }
  out.append(text, done, std::string::npos);
  text.swap(out);
}

constexpr std::array<Replacement, 5> kBodyBreaks = {{
    {"<p>", "\n\n"},
    {"<P>", "\n\n"},
    {"<br>", "\n"},
    {"<BR>", "\n"},
    {"<br />", "\n"},
}};

constexpr std::array<Replacement, 10> kHighlights = {{
    {"<B>", "_"},
    {"</B>", "_"},
    {"<b>", "_"},
    {"</b>", "_"},
    {"<U>", "_"},
    {"</U>", "_"},
    {"<u>", "_"},
    {"</u>", "_"},
    {"<em>", "["},
    {"</em></font>", "]"},
}};

constexpr std::array<std::string_view, run::kSmileyCount> kTextSmileys = {
    ":-)", ";-)", ":)", "?-)", ":-(", "8-)", "8-)", ":^)", ":-)", ":-]", ":-|",
};

const std::string& CutStart() {
  static const std::string kCutStart = "--- Cut ----" + std::string(40, '-') + "\n";
  return kCutStart;
}
const std::string& CutEnd() {
  static const std::string kCutEnd = "\n--- Cut End " + std::string(40, '-');
  return kCutEnd;
}
// The forum's signature rule, a line of exactly 18 hyphens, becomes the news
// signature separator "-- ". Only whole lines count: the cut lines made just
// before end in hyphens too and keep them.
void ReplaceSignatureRule(std::string& text) {
  static constexpr std::string_view kRule = "------------------\n";
  size_t hit = text.find(kRule);
  while (hit != std::string::npos && hit != 0 && text[hit - 1] != '\n') {
    hit = text.find(kRule, hit + 1);
  }
  if (hit == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  size_t done = 0;
  while (hit != std::string::npos) {
    if (hit == 0 || text[hit - 1] == '\n') {
      out.append(text, done, hit - done);
      out.append("-- \n");
      done = hit + kRule.size();
      hit = text.find(kRule, done);
    } else {
      hit = text.find(kRule, hit + 1);
    }
  }
  out.append(text, done, std::string::npos);
  text.swap(out);
}

// The template's smileys as one replacement table. Checking whether the table
// allows a single pass costs more than filtering a short post, so the table is
// built once and kept with the template (rebuilt when its smileys change): a
// box's fetch threads convert page after page with its template. Not kept in
// the thread: a thread's objects with destructors are unsafe at thread exit
// under the Windows toolchain's thread library.
std::shared_ptr<const run::TemplateTables> SmileyTables(const run::ForumTemplate& tmpl) {
  std::shared_ptr<const run::TemplateTables> tables = tmpl.tables.Load();
  if (!tables || tables->markups != tmpl.smileys) {
    std::vector<text::ReplacementSequence::Entry> entries;
    for (size_t i = 0; i < kTextSmileys.size(); ++i) {
      entries.emplace_back(tmpl.smileys[i], kTextSmileys[i]);
    }
    tables = std::make_shared<const run::TemplateTables>(
        run::TemplateTables{tmpl.smileys, text::ReplacementSequence(std::move(entries))});
    tmpl.tables.Store(tables);
  }
  return tables;
}

}  // namespace

std::string UbbAuthorField(std::string_view cell) {
  return std::string(text::ExtractField(cell, "<B>", 3, "</B>"));
}

std::string UbbDateField(std::string_view cell) {
  return std::string(text::TrimBlanks(text::ExtractField(cell, ">posted", 7, "&nbsp")));
}

std::string UbbBodyToText(std::string_view cell) {
  std::string_view field = text::ExtractField(cell, "<FONT><HR>", 12, "</FONT>");
  // The page's own line ends vanish first, so that only the tags break lines.
  // Copied line by line: the line feeds and carriage returns are found with
  // a byte search, and what lies between them is appended as a whole.
  std::string body;
  body.reserve(field.size());
  while (!field.empty()) {
    const size_t feed = field.find('\n');
    std::string_view line = field.substr(0, feed);
    for (size_t cr = line.find('\r'); cr != std::string_view::npos; cr = line.find('\r')) {
      body.append(line.substr(0, cr));
      line.remove_prefix(cr + 1);
    }
    body.append(line);
    field.remove_prefix(feed == std::string_view::npos ? field.size() : feed + 1);
  }
  ReplaceTags(body, kBodyBreaks);
  return body;
}

void DecodeEntities(std::string& text) {
  // One pass each, in this order: an encoded ampersand decodes first, so
  // "&amp;lt;" ends as "<".
  ReplaceInPlace(text, "&amp;", "&");
  ReplaceInPlace(text, "&lt;", "<");
  ReplaceInPlace(text, "&gt;", ">");
  ReplaceInPlace(text, "<LI>", "- ");
}

void StripHighlights(std::string& text) { ReplaceTags(text, kHighlights); }

void ReplaceSmileys(std::string& text, const run::ForumTemplate& tmpl) {
  const std::shared_ptr<const run::TemplateTables> tables = SmileyTables(tmpl);
  tables->smileys.Apply(text);
}

void ApplyUbbCodeBlocks(std::string& text, const run::ForumTemplate& tmpl) {
  ReplaceInPlace(text, tmpl.format_start, CutStart());
  ReplaceInPlace(text, tmpl.format_end, CutEnd());
  ReplaceSignatureRule(text);
}

void ApplyThreadsCodeBlocks(std::string& text, const run::ForumTemplate& tmpl) {
  ReplaceInPlace(text, tmpl.format_start, CutStart());
  ReplaceInPlace(text, tmpl.format_end, CutEnd());
  ReplaceInPlace(text, "<pre>code:</font><hr>", CutStart());
  ReplaceInPlace(text, "</pre><hr>", CutEnd());
  ReplaceSignatureRule(text);
  ReplaceInPlace(text, "---- \n", "-- \n");
}

std::string MarkOwnAddress(std::string_view text, std::string_view sender_address) {
  if (sender_address.empty()) return std::string(text);
  std::string marked = "[MAILTO]";
  marked.append(sender_address);
  marked.append("[/MAILTO]");
  return text::ReplaceAll(text, sender_address, marked);
}

}  // namespace quorix::convert
