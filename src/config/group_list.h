// The box's group list file, loaded whole for the posting lookups.
#pragma once

#include "run/run.h"

namespace quorix::config {

// Reads the slot's WebFile into its GroupListText. A missing or unopenable
// file keeps the previous text and logs "Error Reading Web/GRouplist"; the
// file is never created here.
void ReadGroupList(run::Run& run, int slot);

}  // namespace quorix::config
