#include "config/group_list.h"

#include <string>

#include "log/shared_file.h"
#include "platform/file.h"

namespace quorix::config {

void ReadGroupList(run::Run& run, int slot) {
  run::Slot& s = run.slots[slot];
  platform::File file;
  // Checked first, because the shared open would create a missing file.
  if (platform::FileExists(s.web.group_file) &&
      log::OpenShared(run.file_open_mutex, run.log, s.web.group_file, slot, &file)) {
    run.log.WriteLog("Reading Web/Grouplist", slot, log::kProgress);
    std::string content;
    if (file.ReadToEnd(&content)) s.group_list_text = std::move(content);
    file.Close();
    return;
  }
  run.log.WriteLog("Error Reading Web/GRouplist", slot, log::kProblem);
}

}  // namespace quorix::config
