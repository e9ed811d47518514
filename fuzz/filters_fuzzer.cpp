// The HTML-to-text filters and the UBB field extractors.
//
// - The whole filter chain of each engine with the simulator's template runs
//   on the body (no crash, no hang, bounded growth).
// - The one-pass forms are checked against literal step-by-step readings:
//   the tag tables of UbbBodyToText and StripHighlights (each replacement in
//   turn), the code-block step and the signature rule, and the mail address
//   scanner (against std::regex).
// - The block loop: RunBlockLoop (one pass when it can vouch for the result)
//   must equal RunLiteralBlockLoop for the input's markers and a replacement
//   chosen by the input, including replacements that form new start markers.
//
// Input: control ("u"/"t" engine, then a digit choosing the replacement),
// body, start marker, end marker; separated by 0x1E.
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>

#include "convert/article_charset.h"
#include "convert/article_delivery.h"
#include "convert/article_headers.h"
#include "convert/block_loop.h"
#include "convert/filters.h"
#include "fuzz_support.h"
#include "text/text.h"

namespace {

namespace convert = quorix::convert;
using quorix::text::ReplaceAll;

std::string WithoutByte(std::string_view text, char byte) {
  std::string out;
  for (char c : text) {
    if (c != byte) out.push_back(c);
  }
  return out;
}

std::string ReferenceBodyToText(std::string_view cell) {
  std::string body = WithoutByte(
      WithoutByte(quorix::text::ExtractField(cell, "<FONT><HR>", 12, "</FONT>"), '\r'), '\n');
  for (auto [from, to] : {std::pair{"<p>", "\n\n"},
                          {"<P>", "\n\n"},
                          {"<br>", "\n"},
                          {"<BR>", "\n"},
                          {"<br />", "\n"}}) {
    body = ReplaceAll(body, from, to);
  }
  return body;
}

std::string ReferenceHighlights(std::string text) {
  for (const char* tag : {"<B>", "</B>", "<b>", "</b>", "<U>", "</U>", "<u>", "</u>"}) {
    text = ReplaceAll(text, tag, "_");
  }
  text = ReplaceAll(text, "<em>", "[");
  return ReplaceAll(text, "</em></font>", "]");
}

// 18 hyphens + LF at the start of a line become "-- " + LF, one pass.
std::string ReferenceSignatureRule(std::string_view text) {
  constexpr std::string_view kRule = "------------------\n";
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if ((i == 0 || text[i - 1] == '\n') && text.substr(i, kRule.size()) == kRule) {
      out.append("-- \n");
      i += kRule.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

const std::string kCutStart = "--- Cut ----" + std::string(40, '-') + "\n";
const std::string kCutEnd = "\n--- Cut End " + std::string(40, '-');

std::string ReferenceUbbCodeBlocks(std::string text, const quorix::run::ForumTemplate& tmpl) {
  text = ReplaceAll(text, tmpl.format_start, kCutStart);
  text = ReplaceAll(text, tmpl.format_end, kCutEnd);
  return ReferenceSignatureRule(text);
}

std::string ReferenceThreadsCodeBlocks(std::string text, const quorix::run::ForumTemplate& tmpl) {
  text = ReplaceAll(text, tmpl.format_start, kCutStart);
  text = ReplaceAll(text, tmpl.format_end, kCutEnd);
  text = ReplaceAll(text, "<pre>code:</font><hr>", kCutStart);
  text = ReplaceAll(text, "</pre><hr>", kCutEnd);
  text = ReferenceSignatureRule(text);
  return ReplaceAll(text, "---- \n", "-- \n");
}

std::string ReferenceMailAddress(const std::string& text) {
  static const std::regex kPattern("[a-z._-]+@[a-z._-]+", std::regex::icase);
  std::smatch match;
  return std::regex_search(text, match, kPattern) ? match.str() : std::string();
}

// Replacements for the block loop check; some are longer than the block or
// put a start marker back, so the one-pass form must see that it cannot vouch.
convert::BlockReplacement ChooseReplacement(char mode, std::string_view start_marker,
                                            std::string_view end_marker) {
  const std::string start(start_marker);
  const size_t inner_skip = start_marker.size();
  const size_t end_size = end_marker.size();
  switch (mode) {
    case '1':  // the content between the markers
      return [inner_skip, end_size](std::string_view block) {
        if (block.size() < inner_skip + end_size) return std::string();
        return std::string(block.substr(inner_skip, block.size() - inner_skip - end_size));
      };
    case '2':  // the block in brackets (holds the start marker again)
      return [](std::string_view block) { return "[" + std::string(block) + "]"; };
    case '3':  // the start marker and one more byte
      return [start](std::string_view) { return start + "x"; };
    case '4':  // the block without its first byte
      return [](std::string_view block) {
        return block.empty() ? std::string() : std::string(block.substr(1));
      };
    case '5':  // the block unchanged
      return [](std::string_view block) { return std::string(block); };
    case '6':  // the first half of the block
      return [](std::string_view block) { return std::string(block.substr(0, block.size() / 2)); };
    default:  // a fixed text
      return [](std::string_view) { return std::string("<>"); };
  }
}

void CheckBlockLoop(std::string_view body, std::string_view start_marker,
                    std::string_view end_marker, char mode) {
  if (start_marker.empty()) return;
  const convert::BlockReplacement replacement = ChooseReplacement(mode, start_marker, end_marker);
  std::string one_pass(body);
  const convert::BlockLoopResult fast =
      convert::RunBlockLoop(one_pass, start_marker, end_marker, replacement);
  std::string literal(body);
  const convert::BlockLoopResult slow =
      convert::RunLiteralBlockLoop(literal, start_marker, end_marker, replacement);
  QUORIX_FUZZ_CHECK(one_pass == literal, literal, one_pass);
  QUORIX_FUZZ_CHECK(fast.any_block == slow.any_block);
  QUORIX_FUZZ_CHECK(fast.last_replacement == slow.last_replacement, slow.last_replacement,
                    fast.last_replacement);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = quorix::fuzz::SplitParts(quorix::fuzz::AsText(data, size), 4);
  const std::string_view control = parts[0];
  const std::string_view body = parts[1];
  const bool threads = !control.empty() && control[0] == 't';
  const char mode = control.size() > 1 ? control[1] : '0';
  const quorix::run::ForumTemplate& tmpl =
      threads ? quorix::fuzz::ThreadsTemplate() : quorix::fuzz::UbbTemplate();

  // Field extractors.
  const std::string text = convert::UbbBodyToText(body);
  QUORIX_FUZZ_CHECK(text == ReferenceBodyToText(body), ReferenceBodyToText(body), text);
  QUORIX_FUZZ_CHECK(convert::UbbAuthorField(body) ==
                    quorix::text::ExtractField(body, "<B>", 3, "</B>"));
  (void)convert::UbbDateField(body);

  // Single filters against their literal readings.
  std::string highlights(body);
  convert::StripHighlights(highlights);
  QUORIX_FUZZ_CHECK(highlights == ReferenceHighlights(std::string(body)),
                    ReferenceHighlights(std::string(body)), highlights);
  std::string code(body);
  if (threads) {
    convert::ApplyThreadsCodeBlocks(code, tmpl);
    QUORIX_FUZZ_CHECK(code == ReferenceThreadsCodeBlocks(std::string(body), tmpl),
                      ReferenceThreadsCodeBlocks(std::string(body), tmpl), code);
  } else {
    convert::ApplyUbbCodeBlocks(code, tmpl);
    QUORIX_FUZZ_CHECK(code == ReferenceUbbCodeBlocks(std::string(body), tmpl),
                      ReferenceUbbCodeBlocks(std::string(body), tmpl), code);
  }
  if (body.size() <= 512) {
    const std::string address(convert::FindMailAddress(body));
    QUORIX_FUZZ_CHECK(address == ReferenceMailAddress(std::string(body)),
                      ReferenceMailAddress(std::string(body)), address);
  }

  // The whole chain of the engine, as the converters apply it.
  std::string filtered(body);
  const std::string author_address = convert::FilterBody(
      filtered, tmpl, threads ? convert::Engine::kThreads : convert::Engine::kUbb);
  QUORIX_FUZZ_CHECK(!author_address.empty());

  // Character sets: the article's texts are valid in the set they declare,
  // encoded headers keep their limit, folded lines their length.
  const quorix::text::Charset charsets[] = {
      quorix::text::Charset::kLatin1, quorix::text::Charset::kWindows1252,
      quorix::text::Charset::kLatin9, quorix::text::Charset::kUtf8};
  const quorix::text::Charset page_charset = charsets[static_cast<unsigned char>(mode) % 4];
  std::string decoded(body);
  convert::DecodeEntities(decoded, page_charset);
  const convert::ArticleText article =
      convert::ArticleTextFor(body, decoded, filtered, page_charset);
  if (!article.charset) {
    QUORIX_FUZZ_CHECK(quorix::text::IsAscii(article.subject) &&
                      quorix::text::IsAscii(article.body));
  } else {
    const std::string subject =
        convert::EncodeHeaderText(article.subject, *article.charset, convert::kMaxEncodedSubject);
    QUORIX_FUZZ_CHECK(subject.size() <= convert::kMaxEncodedSubject);
    if (*article.charset == quorix::text::Charset::kUtf8) {
      const std::string again = quorix::text::EncodeText(
          quorix::text::DecodeText(article.body, quorix::text::Charset::kUtf8),
          quorix::text::Charset::kUtf8, [](char32_t, std::string* out) { out->push_back('?'); });
      QUORIX_FUZZ_CHECK(again == article.body);
    }
  }

  // The block loop with the input's markers, and the block filters with them.
  CheckBlockLoop(body, parts[2], parts[3], mode);
  quorix::run::ForumTemplate own = tmpl;
  own.href_url_start = own.href_mail_start = own.href_quote_start = std::string(parts[2]);
  own.href_url_end = own.href_mail_end = own.href_quote_end = std::string(parts[3]);
  std::string blocks(body);
  convert::StripUrlLinks(blocks, own);
  (void)convert::StripMailLinks(blocks, own);
  std::string quotes(body);
  if (threads) {
    convert::QuoteThreadsBlocks(quotes, own);
  } else {
    convert::QuoteUbbBlocks(quotes, own);
  }
  return 0;
}
