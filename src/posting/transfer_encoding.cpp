// Decoding the transfer encodings and multipart bodies of outgoing articles.
#include "posting/transfer_encoding.h"

#include <cstdint>

#include "text/text.h"

namespace quorix::posting {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

namespace {

// Parts nested deeper than this (multipart/alternative inside
// multipart/mixed is the usual case) are not searched for text.
constexpr int kMaxNesting = 4;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimTrailingBlanks(std::string_view line) {
  while (!line.empty() && (IsBlank(line.back()) || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The media type of a Content-Type value ("text/plain"), in lower case.
std::string MediaType(std::string_view content_type) {
  return Lower(text::TrimBlanks(content_type.substr(0, content_type.find(';'))));
}

// Decoded text as lines: CR removed (as the spool reader removes it from every
// line), and one line end at the very end dropped, as a file's last line end
// ends no further line.
std::string AsLines(std::string decoded) {
  std::string lines;
  lines.reserve(decoded.size());
  for (char c : decoded) {
    if (c != '\r') lines.push_back(c);
  }
  if (!lines.empty() && lines.back() == '\n') lines.pop_back();
  return lines;
}

struct Part {
  std::string content_type;
  std::string transfer_encoding;
  std::string body;
};

// A MIME part: header lines (folded ones unfolded) up to the first empty line,
// then its body.
Part ParsePart(std::string_view text) {
  Part part;
  std::string* last = nullptr;
  while (!text.empty()) {
    const size_t lf = text.find('\n');
    const std::string_view line = TrimTrailingBlanks(text.substr(0, lf));
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    if (line.empty()) break;
    if (IsBlank(line[0])) {
      if (last) last->append(line);
      continue;
    }
    const std::string name = Lower(line.substr(0, line.find(':')));
    const std::string_view value =
        line.find(':') == std::string_view::npos ? std::string_view() : line.substr(line.find(':') + 1);
    last = name == "content-type"                ? &part.content_type
           : name == "content-transfer-encoding" ? &part.transfer_encoding
                                                 : nullptr;
    if (last) *last = std::string(text::TrimBlanks(value));
  }
  part.body = std::string(text);
  return part;
}

// The parts between the boundary lines of a multipart body.
std::vector<std::string_view> SplitParts(std::string_view body, std::string_view boundary) {
  const std::string delimiter = "--" + std::string(boundary);
  std::vector<std::string_view> parts;
  size_t part_start = std::string_view::npos;  // none before the first delimiter
  size_t pos = 0;
  while (pos <= body.size()) {
    const size_t lf = body.find('\n', pos);
    const size_t end = lf == std::string_view::npos ? body.size() : lf;
    const std::string_view line = TrimTrailingBlanks(body.substr(pos, end - pos));
    const bool close = line == delimiter + "--";
    if (line == delimiter || close) {
      // The line end before a delimiter belongs to the delimiter.
      if (part_start != std::string_view::npos) {
        parts.push_back(body.substr(part_start, pos > part_start ? pos - 1 - part_start : 0));
      }
      if (close) return parts;
      part_start = end + 1;
    }
    if (lf == std::string_view::npos) break;
    pos = lf + 1;
  }
  if (part_start != std::string_view::npos && part_start <= body.size()) {
    parts.push_back(body.substr(part_start));  // no closing delimiter: the rest
  }
  return parts;
}

DecodedBody Decode(std::string_view content_type, std::string_view transfer_encoding,
                   std::string_view body, int depth);

// The first text/plain part of a multipart body, searched depth first.
bool FirstTextPart(std::string_view content_type, std::string_view body, int depth,
                   DecodedBody* found, int* parts_seen) {
  const std::string boundary = HeaderParameter(content_type, "boundary");
  if (boundary.empty() || depth >= kMaxNesting) return false;
  bool have = false;
  for (std::string_view text : SplitParts(body, boundary)) {
    ++*parts_seen;
    if (have) continue;
    Part part = ParsePart(text);
    const std::string type = MediaType(part.content_type);
    if (type.starts_with("multipart/")) {
      --*parts_seen;  // its own parts are counted instead
      have = FirstTextPart(part.content_type, part.body, depth + 1, found, parts_seen);
    } else if (type.empty() || type == "text/plain") {
      *found = Decode(part.content_type, part.transfer_encoding, part.body, depth + 1);
      have = true;
    }
  }
  return have;
}

DecodedBody Decode(std::string_view content_type, std::string_view transfer_encoding,
                   std::string_view body, int depth) {
  DecodedBody decoded;
  decoded.content_type = std::string(content_type);
  if (MediaType(content_type).starts_with("multipart/")) {
    int parts = 0;
    if (FirstTextPart(content_type, body, depth, &decoded, &parts)) {
      if (parts > 1) {
        decoded.problems.push_back("Multipart article: its first text part is posted, " +
                                   text::Decimal(parts - 1) + " other part(s) left out");
      }
      return decoded;
    }
    decoded.problems.push_back("Multipart article without a text part, posted as written");
    decoded.text = std::string(body);
    return decoded;
  }
  const std::string encoding = Lower(text::TrimBlanks(transfer_encoding));
  if (encoding == "quoted-printable") {
    std::string out;
    if (!DecodeQuotedPrintable(body, &out)) {
      decoded.problems.push_back("Stray \"=\" in a quoted-printable body, kept as written");
    }
    decoded.text = AsLines(std::move(out));
  } else if (encoding == "base64") {
    std::string out;
    if (DecodeBase64(body, &out)) {
      decoded.text = AsLines(std::move(out));
    } else {
      decoded.problems.push_back("Body is not valid base64, posted as written");
      decoded.text = std::string(body);
    }
  } else {
    if (!encoding.empty() && encoding != "7bit" && encoding != "8bit" && encoding != "binary") {
      decoded.problems.push_back("Unknown Content-Transfer-Encoding \"" + encoding +
                                 "\", posted as written");
    }
    decoded.text = std::string(body);
  }
  return decoded;
}

}  // namespace

bool DecodeQuotedPrintable(std::string_view encoded, std::string* out) {
  const std::vector<std::string_view> lines = text::Split(encoded, "\n");
  bool clean = true;
  for (size_t i = 0; i < lines.size(); ++i) {
    // Blanks at a line's end were added in transport (RFC 2045 6.7 (3)).
    std::string_view line = TrimTrailingBlanks(lines[i]);
    if (line == "-- =") {
      // The signature separator, its blank protected by a soft line break;
      // an empty line after it is the separator's own line end.
      out->append("-- ");
      if (i + 1 < lines.size() && TrimTrailingBlanks(lines[i + 1]).empty()) ++i;
      if (i + 1 < lines.size()) out->push_back('\n');
      continue;
    }
    bool soft_break = false;
    for (size_t at = 0; at < line.size(); ++at) {
      if (line[at] != '=') {
        out->push_back(line[at]);
      } else if (at + 1 == line.size()) {
        soft_break = true;
      } else if (at + 2 < line.size() && HexDigit(line[at + 1]) >= 0 &&
                 HexDigit(line[at + 2]) >= 0) {
        out->push_back(static_cast<char>(HexDigit(line[at + 1]) * 16 + HexDigit(line[at + 2])));
        at += 2;
      } else {
        out->push_back('=');
        clean = false;
      }
    }
    if (!soft_break && i + 1 < lines.size()) out->push_back('\n');
  }
  return clean;
}

bool DecodeBase64(std::string_view encoded, std::string* out) {
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  size_t digits = 0;
  bool padding = false;
  for (char c : encoded) {
    if (IsBlank(c) || c == '\r' || c == '\n') continue;
    if (c == '=') {
      padding = true;
      continue;
    }
    const int value = Base64Digit(c);
    if (value < 0 || padding) return false;
    ++digits;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  if (digits % 4 == 1) return false;  // no encoder ends with 6 bits
  out->append(bytes);
  return true;
}

std::string HeaderParameter(std::string_view value, std::string_view name) {
  const std::string lower = Lower(value);
  const std::string wanted = Lower(name) + "=";
  for (size_t at = lower.find(wanted); at != std::string::npos; at = lower.find(wanted, at + 1)) {
    // Only a whole parameter name: after ";" or blanks.
    size_t before = at;
    while (before > 0 && IsBlank(lower[before - 1])) --before;
    if (before != 0 && lower[before - 1] != ';') continue;
    std::string_view rest = value.substr(at + wanted.size());
    if (!rest.empty() && rest[0] == '"') {
      rest.remove_prefix(1);
      return std::string(rest.substr(0, rest.find('"')));
    }
    return std::string(text::TrimBlanks(rest.substr(0, rest.find_first_of("; \t"))));
  }
  return {};
}

DecodedBody DecodeOutgoingBody(std::string_view content_type, std::string_view transfer_encoding,
                               std::string_view body) {
  return Decode(content_type, transfer_encoding, body, 0);
}

}  // namespace quorix::posting
