// The forum template: the markers of a forum's HTML, the filter switches and
// the smileys, read from a box's configuration text.
#pragma once

#include <string_view>

#include "run/settings.h"

namespace quorix::config {

// Every key read with GetSetting; markers default to "", switches to "Y".
run::ForumTemplate ReadForumTemplate(std::string_view config_text);

}  // namespace quorix::config
