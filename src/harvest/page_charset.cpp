// Finding the character set a forum page declares.
#include "harvest/page_charset.h"

#include "http/http_response.h"
#include "text/text.h"

namespace quorix::harvest {

namespace {

constexpr size_t kMetaSearchBytes = 64 * 1024;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The value after the first "charset=" of `lower_text` (already lower case):
// up to a blank, ";", a quote, "/" or ">", opening quotes skipped.
std::optional<text::Charset> CharsetParameter(std::string_view lower_text) {
  size_t at = lower_text.find("charset=");
  if (at == std::string_view::npos) return std::nullopt;
  size_t start = at + 8;
  while (start < lower_text.size() && (lower_text[start] == '"' || lower_text[start] == '\'')) {
    ++start;
  }
  size_t end = lower_text.find_first_of(" \t\r\n;\"'/>", start);
  if (end == std::string_view::npos) end = lower_text.size();
  return text::CharsetFromLabel(lower_text.substr(start, end - start));
}

}  // namespace

std::optional<text::Charset> DeclaredCharset(std::string_view response) {
  const std::string_view content_type = http::HeaderValue(response, "Content-Type");
  if (auto declared = CharsetParameter(Lower(content_type))) return declared;
  const std::string page = Lower(http::ResponseBody(response).substr(0, kMetaSearchBytes));
  for (size_t meta = page.find("<meta"); meta != std::string::npos;
       meta = page.find("<meta", meta + 5)) {
    const size_t close = page.find('>', meta);
    const std::string_view tag = std::string_view(page).substr(
        meta, close == std::string::npos ? std::string::npos : close - meta);
    if (auto declared = CharsetParameter(tag)) return declared;
  }
  return std::nullopt;
}

text::Charset PageCharset(const run::WebSettings& web, std::string_view response) {
  if (auto configured = text::CharsetFromLabel(web.charset)) return *configured;
  return DeclaredCharset(response).value_or(text::Charset::kLatin1);
}

text::Charset NotePageCharset(run::Slot& slot, std::string_view response) {
  const text::Charset charset = PageCharset(slot.web, response);
  if (http::StatusCode(response) == 200) slot.forum_charset = charset;
  return charset;
}

}  // namespace quorix::harvest
