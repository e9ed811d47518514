#include "config/forum_template.h"

#include <string>

#include "text/settings.h"

namespace quorix::config {
namespace {

// The smiley keys in the order the smiley filter replaces them.
constexpr std::string_view kSmileyKeys[run::kSmileyCount] = {
    "Smiley_Default=", "Smiley_Wink=",     "Smiley_Biggrin=", "Smiley_Confused=",
    "Smiley_Frown=",   "Smiley_Rolleyes=", "Smiley_Blush=",   "Smiley_Tongue=",
    "Smiley_Redface=", "Smiley_Cool=",     "Smiley_Eek=",
};

std::string Marker(std::string_view text, std::string_view key) {
  return text::GetSetting(text, key, "");
}

int Switch(std::string_view text, std::string_view key) {
  return text::IsTrueSetting(text::GetSetting(text, key, "Y")) ? 1 : 0;
}

}  // namespace

run::ForumTemplate ReadForumTemplate(std::string_view config_text) {
  run::ForumTemplate t;
  t.index_count = Marker(config_text, "Index_Count=");
  t.article_start = Marker(config_text, "Article_Start=");
  t.article_end = Marker(config_text, "Article_End=");
  t.article_post_ok = Marker(config_text, "Article_Post_Ok=");
  t.article_edit_ok = Marker(config_text, "Article_Edit_Ok=");
  t.article_dele_ok = Marker(config_text, "Article_Dele_Ok=");
  t.format_start = Marker(config_text, "Format_Start=");
  t.format_end = Marker(config_text, "Format_End=");
  t.href_mail_start = Marker(config_text, "Href_Mail_Start=");
  t.href_mail_end = Marker(config_text, "Href_Mail_End=");
  t.href_url_start = Marker(config_text, "Href_Url_Start=");
  t.href_url_end = Marker(config_text, "Href_Url_End=");
  t.href_quote_start = Marker(config_text, "Href_Quote_Start=");
  t.href_quote_end = Marker(config_text, "Href_Quote_End=");
  t.strip_smiley = Switch(config_text, "Strip_Smiley=");
  t.strip_highlights = Switch(config_text, "Strip_Highlights=");
  t.strip_mailto = Switch(config_text, "Strip_Mailto=");
  t.strip_urls = Switch(config_text, "Strip_Urls=");
  t.strip_html = Switch(config_text, "Strip_Html=");
  t.strip_quote = Switch(config_text, "Strip_Quote=");
  t.strip_format = Switch(config_text, "Strip_Format=");
  for (int i = 0; i < run::kSmileyCount; ++i) t.smileys[i] = Marker(config_text, kSmileyKeys[i]);
  return t;
}

}  // namespace quorix::config
