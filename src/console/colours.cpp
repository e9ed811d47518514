#include "console/colours.h"

#include "log/logger.h"
#include "platform/file.h"
#include "platform/named_mutex.h"
#include "text/text.h"

namespace quorix::console {
namespace {

constexpr size_t kKeyLength = 6;    // "MAILER"
constexpr size_t kValueOffset = 7;  // the 8th character
constexpr size_t kValueLength = 11;
constexpr size_t kReadChunk = 64 * 1024;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "&h" + hexadecimal digits up to the first other byte, or a decimal number;
// kept to 16 bits as the attribute is.
uint16_t ColourNumber(std::string_view field) {
  if (field.size() >= 2 && field[0] == '&' && (field[1] == 'h' || field[1] == 'H')) {
    uint32_t value = 0;
    for (size_t i = 2; i < field.size(); ++i) {
      const int digit = HexDigit(field[i]);
      if (digit < 0) break;
      value = ((value << 4) | static_cast<uint32_t>(digit)) &
              0xFFFFFu;  // no overflow, low 16 bits kept
    }
    return static_cast<uint16_t>(value);
  }
  return static_cast<uint16_t>(text::LeadingNumber(field));
}

}  // namespace

void ColourTextScanner::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    line_length_ += piece.size();
    if (line_start_.size() < kKept) {
      line_start_.append(piece.substr(0, kKept - line_start_.size()));
    }
    line_pending_ = true;
    if (end == std::string_view::npos) return;
    EndLine();
    bytes.remove_prefix(end + 1);
  }
}

void ColourTextScanner::EndLine() {
  std::string_view line = line_start_;
  // The CR of a CR LF ending matters only when the whole line was kept.
  if (line_length_ == line.size() && !line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() >= kKeyLength && text::UpperCase437(line.substr(0, kKeyLength)) == "MAILER") {
    colour_text_ = line.size() > kValueOffset ? std::string(line.substr(kValueOffset, kValueLength))
                                              : std::string();
  }
  line_start_.clear();
  line_length_ = 0;
  line_pending_ = false;
}

std::string ColourTextScanner::Finish() {
  if (line_pending_) EndLine();
  return colour_text_;
}

DisplayColours ConvertColourText(std::string_view colour_text) {
  const std::string converted = text::ReplaceAll(colour_text, "$", "&h");
  DisplayColours colours;
  colours.frame = ColourNumber(text::Field(converted, " ", 1));
  colours.value = ColourNumber(text::Field(converted, " ", 2));
  colours.title = ColourNumber(text::Field(converted, " ", 3));
  return colours;
}

DisplayColours ParseColourText(std::string_view file_text) {
  ColourTextScanner scanner;
  scanner.Feed(file_text);
  return ConvertColourText(scanner.Finish());
}

void ReadColours(run::Run& run, uint16_t* frame, uint16_t* value, uint16_t* title) {
  ColourTextScanner scanner;
  const std::string name = run.env.program_dir + "XPOINT.COL";
  if (platform::FileExists(name)) {
    run.log.WriteLog("Using CrossPoint Mailer Colors ", 0, log::kDebug);
    platform::File file;
    {
      platform::NamedLock lock(run.file_open_mutex);
      file = platform::File::Open(name, platform::Access::kRead, platform::Sharing::kShared,
                                  platform::Missing::kFail);
    }
    if (!file.IsOpen()) {
      run.log.WriteLog("Error Reading XPOINT.COL", log::kMainThread, log::kProblem);
    } else {
      std::string chunk(kReadChunk, '\0');
      for (;;) {
        const int64_t count = file.Read(chunk.data(), static_cast<int64_t>(chunk.size()));
        if (count <= 0) break;
        scanner.Feed(std::string_view(chunk.data(), static_cast<size_t>(count)));
      }
    }
  }
  const DisplayColours colours = ConvertColourText(scanner.Finish());
  *frame = colours.frame;
  *value = colours.value;
  *title = colours.title;
}

}  // namespace quorix::console
