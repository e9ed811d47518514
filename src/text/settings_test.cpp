#include "text/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/text.h"

namespace quorix::text {
namespace {

struct LookupCase {
  const char* what;
  std::string text;
  std::string key;
  std::string expected;  // with the default "dflt"
};

TEST(LookupSetting, LineRules) {
  const std::vector<LookupCase> cases = {
      {"blanks around =, CR LF", "WebPort = 8080\r\n", "WebPort=", " 8080"},
      {"lower-case line", "webserver=forum.example\n", "WebServer=", "forum.example"},
      {"last line without LF", "A=1\nWebPort=80", "WebPort=", "dflt"},
      {"only line without LF", "WebPort=80", "WebPort=", "dflt"},
      {"first of two wins", "Key=first\nKey=second\n", "Key=", "first"},
      {"empty value", "Key=\n", "Key=", "dflt"},
      {"missing key", "Other=1\n", "Key=", "dflt"},
      {"empty text", "", "Key=", "dflt"},
      {"two blanks keep one", "WebPort  =80\n", "WebPort=", "dflt"},
      {"not at line start", " WebPort=80\n", "WebPort=", "dflt"},
      {"longer key", "XWebPort=80\n", "WebPort=", "dflt"},
      {"key is prefix of line key", "WebPortal=1\nWebPort=2\n", "WebPort=", "2"},
      {"value not trimmed", "Key= a  b \n", "Key=", " a  b "},
      {"further = belong to value", "Key=x=y\n", "Key=", "x=y"},
      {"' =' in the value too", "Key=a =b\n", "Key=", "a=b"},
      {"CRs anywhere are dropped", "Ke\ry=va\rl\r\n", "Key=", "val"},
      {"CR splits ' ='", "Key \r=5\n", "Key=", "dflt"},
      {"only CRs as value", "Key=\r\r\n", "Key=", "dflt"},
      {"incompatible", "Key=Incompatible!\n", "Key=", "dflt"},
      {"INCOMPATIBLE inside", "Key=driver INCOMPATIBLE here\n", "Key=", "dflt"},
      {"compatible is fine", "Key=compatible\n", "Key=", "compatible"},
      {"code page 437 letters", "\x8eNDERUNG=1\n", "\x84nderung=", "1"},
      {"other high bytes exact", "\xE1X=1\n", "\xE1x=", "1"},
      {"later line after CR LF lines", "A=1\r\nB=2\r\nC=3\r\n", "c=", "3"},
      {"key without = and no = in line", "Keyboard\n", "Key", "dflt"},
      {"blank lines", "\n\n\nKey=v\n", "Key=", "v"},
      {"NUL bytes survive", std::string("Key=a\0b\n", 8), "Key=", std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LookupSetting(c.text, c.key, "dflt"), c.expected) << c.what;
  }
}

TEST(LookupSetting, ValueAsLeadingNumber) {
  EXPECT_EQ(LeadingNumber(LookupSetting("WebPort = 8080\r\n", "WebPort=", "119")), 8080);
  EXPECT_EQ(LeadingNumber(LookupSetting("", "WebPort=", "119")), 119);
}

TEST(LookupSetting, DoesNotChangeCallersText) {
  const std::string text = "Key =v\r\n";
  EXPECT_EQ(LookupSetting(text, "Key=", ""), "v");
  EXPECT_EQ(text, "Key =v\r\n");
}

TEST(LookupSetting, BoxSizedText) {
  std::string text;
  for (int i = 0; text.size() < 48000; ++i) text += "Setting" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  text += "WebServer=last.example\r\n";
  EXPECT_EQ(LookupSetting(text, "WebServer=", ""), "last.example");
  EXPECT_EQ(LookupSetting(text, "Setting17=", ""), "17");
}

TEST(LookupSetting, HugeTextWithoutLineEnd) {
  std::string text(4 << 20, 'K');
  text.insert(0, "Key=");
  EXPECT_EQ(LookupSetting(text, "Key=", "dflt"), "dflt");
}

TEST(GetSetting, ExOverrideWins) {
  EXPECT_EQ(GetSetting("ExWebPort=81\nWebPort=80\n", "WebPort=", "119"), "81");
  EXPECT_EQ(GetSetting("WebPort=80\nExWebPort=81\n", "WebPort=", "119"), "81");
}

TEST(GetSetting, EmptyOrIncompatibleExFallsBack) {
  EXPECT_EQ(GetSetting("ExWebPort=\nWebPort=80\n", "WebPort=", "119"), "80");
  EXPECT_EQ(GetSetting("ExWebPort=incompatible\nWebPort=80\n", "WebPort=", "119"), "80");
  EXPECT_EQ(GetSetting("ExWebPort=\n", "WebPort=", "119"), "119");
  EXPECT_EQ(GetSetting("", "WebPort=", "119"), "119");
}

TEST(GetSetting, ExKeyIsCaseInsensitive) {
  EXPECT_EQ(GetSetting("EXWEBPORT=81\n", "WebPort=", "119"), "81");
  EXPECT_EQ(GetSetting("exwebport = 82\n", "WebPort=", "119"), " 82");
}

TEST(IsTrueSetting, TrueWords) {
  for (const char* value : {"enabled", "ENABLED", "j", "J", "y", "Y", "on", "On", "ein", "Ein",
                            "true", "TRUE", "1"}) {
    EXPECT_TRUE(IsTrueSetting(value)) << value;
  }
}

TEST(IsTrueSetting, EverythingElseIsFalse) {
  for (const char* value : {"", "yes", "N", "0", " y", "y ", "ja", "truee", "off", "2",
                            "enabled!", "Cfg_Error"}) {
    EXPECT_FALSE(IsTrueSetting(value)) << value;
  }
}

}  // namespace
}  // namespace quorix::text
