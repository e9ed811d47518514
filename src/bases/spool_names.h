// Naming the spool files that the reader imports, for the delivery of a page
// (convert/spool_delivery.h) and for the journal's recovery of a dead
// writer's file (delivery_journal.h) alike: "N" + six digits + the platform's
// extension (platform/spool_extension.h).
//
// One case-insensitive listing per run and spool folder gives the numbers in
// use (as the reader sees them); this process then keeps them up to date. A
// file gets its name by a rename that never replaces: when a name was taken
// since the listing, the next free number is tried. Everything here needs the
// delivery lock ("quorix_dupebase"), which every writer of spool files holds.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "run/run.h"

namespace quorix::bases {

inline constexpr int kSpoolNumbers = 1000000;  // 000000 .. 999999

// spool_dir + "N" + six digits + the platform's extension.
std::string SpoolFileName(std::string_view spool_dir, int number);

// The numbers in use in `spool_dir`: listed at the first call of the run,
// then as this process took them. The listing deletes the temporary spool
// files of dead writers that no journal record names (see delivery_journal.h).
run::SpoolNumbersInUse& SpoolNumbers(run::Run& run, std::string_view spool_dir)
    REQUIRES(run.delivery.mutex());

// The smallest number from `from` up that is not in use; kSpoolNumbers when
// every one is.
int NextFreeNumber(run::SpoolNumbersInUse& numbers, int from);

// Renames `temp` to *name without replacing any file. When a file holds the
// name, the next number is tried (the next free one when the folder was
// listed), and so on upward; each number found taken or taken now is marked
// in the folder's numbers. `attempt` (if given) is told each name before it
// is tried. True when renamed: *name is then the file's name. False on any
// other error or when the numbers ran out; *name is the last name tried. A
// name that carries no spool number is tried as it is, once.
bool RenameIntoSpool(run::Run& run, const std::string& temp, std::string* name,
                     const std::function<void(const std::string&)>& attempt = {})
    REQUIRES(run.delivery.mutex());

}  // namespace quorix::bases
