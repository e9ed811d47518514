// The status screen colours from a colour file: the scanner, fed whole or in
// pieces of input-chosen sizes, against a literal reading (the last line that
// starts with "MAILER" in any letter case gives the 11 characters from its
// 8th on, a CR at its end dropped), and the file read by ReadColours from
// the program directory.
//
// Input: the colour file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/colours.h"
#include "fuzz_support.h"
#include "platform/file.h"
#include "text/text.h"

namespace {

namespace console = quorix::console;

std::string ReferenceColourText(std::string_view file) {
  std::string colour_text = "$07 $0F $0F";
  while (!file.empty()) {
    const size_t lf = file.find('\n');
    std::string_view line = file.substr(0, lf);
    file.remove_prefix(lf == std::string_view::npos ? file.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() >= 6 && quorix::text::UpperCase437(line.substr(0, 6)) == "MAILER") {
      colour_text = line.size() > 7 ? std::string(line.substr(7, 11)) : std::string();
    }
  }
  return colour_text;
}

uint16_t ReferenceNumber(std::string_view field) {
  if (field.size() >= 2 && field[0] == '&' && (field[1] == 'h' || field[1] == 'H')) {
    uint16_t value = 0;
    for (char c : field.substr(2)) {
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) break;
      value = static_cast<uint16_t>(value * 16 + digit);
    }
    return value;
  }
  return static_cast<uint16_t>(quorix::text::LeadingNumber(field));
}

bool Same(const console::DisplayColours& a, const console::DisplayColours& b) {
  return a.frame == b.frame && a.value == b.value && a.title == b.title;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file = quorix::fuzz::AsText(data, size);

  console::ColourTextScanner whole;
  whole.Feed(file);
  const std::string colour_text = whole.Finish();
  QUORIX_FUZZ_CHECK(colour_text == ReferenceColourText(file), ReferenceColourText(file),
                    colour_text);

  console::ColourTextScanner pieces;
  for (size_t at = 0; at < file.size();) {
    const size_t piece = 1 + static_cast<unsigned char>(file[at]) % 23;
    pieces.Feed(file.substr(at, piece));
    at += piece;
  }
  QUORIX_FUZZ_CHECK(pieces.Finish() == colour_text, "the same text in pieces");

  const std::string converted = quorix::text::ReplaceAll(colour_text, "$", "&h");
  console::DisplayColours expected;
  expected.frame = ReferenceNumber(quorix::text::Field(converted, " ", 1));
  expected.value = ReferenceNumber(quorix::text::Field(converted, " ", 2));
  expected.title = ReferenceNumber(quorix::text::Field(converted, " ", 3));
  const console::DisplayColours parsed = console::ParseColourText(file);
  QUORIX_FUZZ_CHECK(Same(parsed, expected), colour_text);

  quorix::fuzz::FuzzRun& fuzz_run = quorix::fuzz::FuzzRun::ForEngine(quorix::run::kUbb);
  const std::string name = fuzz_run.PathOf("XPOINT.COL");
  QUORIX_FUZZ_CHECK(quorix::platform::ReplaceFileContents(name, file));
  console::DisplayColours read;
  console::ReadColours(fuzz_run.run(), &read.frame, &read.value, &read.title);
  QUORIX_FUZZ_CHECK(Same(read, expected), colour_text);
  quorix::platform::DeleteFile(name);
  return 0;
}
