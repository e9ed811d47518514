#include "config/box_config.h"

#include <algorithm>
#include <string>
#include <utility>

#include "config/web_settings.h"
#include "log/shared_file.h"
#include "platform/file.h"
#include "text/text.h"

namespace quorix::config {
namespace {

// Reads at most `limit` bytes of an opened shared file and appends them and
// CR LF to `text`.
bool AppendFilePrefix(run::Run& run, const log::ThreadLog& log, const std::string& name,
                      int64_t limit, std::string* text) {
  platform::File file;
  if (!log::OpenShared(run.file_open_mutex, log.logger, name, log.thread, &file)) return false;
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

BoxConfig ReadBoxConfig(run::Run& run, const log::ThreadLog& log, const std::string& box_file) {
  BoxConfig box;
  const std::string name = BoxFileName(box_file, run.env.is_rfc_client != 0);
  if (!platform::FileExists(name)) {
    box.missing = "Error: Configurationfile '" + name + "' not found!";
    log.Write(box.missing, log::kError);
    return box;
  }
  std::string config_text;
  if (!AppendFilePrefix(run, log, name, kBoxFileLimit, &config_text)) return box;
  const std::string companion = CompanionFileName(name);
  if (platform::FileExists(companion)) {
    AppendFilePrefix(run, log, companion, kCompanionFileLimit, &config_text);
  }
  if (!HasBoxExtension(name)) return box;

  if (run.env.is_xp2) {
    log.Write("Reading CrossPoints RFC/PPP Configuration", log::kDebug);
  } else if (run.env.is_rfc_client) {
    log.Write("Reading OpenXP RFC/Client Configuration", log::kDebug);
  }
  box.read = true;
  box.text = std::move(config_text);
  return box;
}

}  // namespace quorix::config
