#include "config/box_config.h"

#include <algorithm>
#include <string>

#include "config/web_settings.h"
#include "log/shared_file.h"
#include "platform/file.h"
#include "text/text.h"

namespace quorix::config {
namespace {

constexpr int kMissingBoxPauseMs = 5000;

// Reads at most `limit` bytes of an opened shared file and appends them and
// CR LF to `text`.
bool AppendFilePrefix(run::Run& run, const std::string& name, int64_t limit, int slot,
                      std::string* text) {
  platform::File file;
  if (!log::OpenShared(run.file_open_mutex, run.log, name, slot, &file)) return false;
  std::string buffer(static_cast<size_t>(limit), '\0');
  int64_t filled = 0;
  while (filled < limit) {
    const int64_t got = file.Read(buffer.data() + filled, limit - filled);
    if (got <= 0) break;
    filled += got;
  }
  file.Close();
  buffer.resize(static_cast<size_t>(filled));
  text->append(buffer);
  text->append("\r\n");
  return true;
}

}  // namespace

std::string BoxFileName(std::string_view name, bool rfc_client) {
  if (!rfc_client) return std::string(name);
  const size_t cut = name.find_last_of("\\/");
  if (cut != std::string_view::npos) name = name.substr(cut + 1);
  return std::string(NameBeforeFirstDot(name)) + ".BFG";
}

std::string CompanionFileName(std::string_view name) {
  return std::string(NameBeforeFirstDot(name)) + ".BFE";
}

bool HasBoxExtension(std::string_view name) {
  return text::UpperCase437(text::Field(name, ".", 2)) == "BFG";
}

bool ReadBoxConfig(run::Run& run, const std::string& box_file, int slot) {
  run.slots[slot].box_file = box_file;
  const std::string name = BoxFileName(box_file, run.env.is_rfc_client != 0);
  if (!platform::FileExists(name)) {
    const std::string message = "Error: Configurationfile '" + name + "' not found!";
    run.log.WriteLog(message, slot, log::kError);
    run.slots[slot].status.Set(message);
    run.sleeper.SleepMs(kMissingBoxPauseMs);
    return false;
  }
  std::string config_text;
  if (!AppendFilePrefix(run, name, kBoxFileLimit, slot, &config_text)) return false;
  const std::string companion = CompanionFileName(name);
  if (platform::FileExists(companion)) {
    AppendFilePrefix(run, companion, kCompanionFileLimit, slot, &config_text);
  }
  if (!HasBoxExtension(name)) return false;

  if (run.env.is_xp2) {
    run.log.WriteLog("Reading CrossPoints RFC/PPP Configuration", slot, log::kDebug);
  } else if (run.env.is_rfc_client) {
    run.log.WriteLog("Reading OpenXP RFC/Client Configuration", slot, log::kDebug);
  }
  ReadWebSettings(run, config_text, slot);
  return true;
}

}  // namespace quorix::config
