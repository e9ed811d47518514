// The three display colours of the status screen, from CrossPoint's colour
// file "XPOINT.COL" in the program directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "run/run.h"

namespace quorix::console {

struct DisplayColours {
  uint16_t frame = 7;   // FrameColour: frame, separators and labels
  uint16_t value = 15;  // ValueColour: values, marks and the clock
  uint16_t title = 15;  // TitleColour: the title line
};

// The colour text a colour file selects: "$07 $0F $0F" unless a line starts
// with "MAILER" (any letter case); then the 11 characters from the line's 8th
// on. The last such line wins. Lines end at LF (a CR before it is dropped).
class ColourTextScanner {
 public:
  void Feed(std::string_view bytes);
  // Ends the last line and returns the colour text.
  std::string Finish();

 private:
  void EndLine();

  static constexpr size_t kKept = 18;  // "MAILER" + separator + 11 characters
  std::string colour_text_ = "$07 $0F $0F";
  std::string line_start_;  // the first kKept bytes of the current line
  size_t line_length_ = 0;  // bytes of the current line so far
  bool line_pending_ = false;
};

// Converts a colour text: every "$" becomes "&h"; the first three
// blank-separated fields are numbers ("&h" hexadecimal, else decimal, read up
// to the first byte that does not belong; 0 when there is none).
DisplayColours ConvertColourText(std::string_view colour_text);

// The colours a whole colour file selects (ColourTextScanner + ConvertColourText).
DisplayColours ParseColourText(std::string_view file_text);

// Reads ProgramDir + "XPOINT.COL" when it exists (opened under
// "quorix_fileopen"), logging "Using CrossPoint Mailer Colors " (debug) and,
// when it cannot be opened, "Error Reading XPOINT.COL" (level 2). A missing or
// unreadable file gives the defaults 7, 15, 15.
void ReadColours(run::Run& run, uint16_t* frame, uint16_t* value, uint16_t* title);

}  // namespace quorix::console
