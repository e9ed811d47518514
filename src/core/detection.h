// Which CrossPoint the program sits in, and the start-up environment: the
// XPOINT.CFG settings, the logs and the debug mode.
#pragma once

#include <string>
#include <string_view>

#include "run/run.h"

namespace quorix::core {

constexpr char kXp2MarkerHost[] = "www.xp2.de";
constexpr int64_t kXpointCfgLimit = 16024;
constexpr int64_t kScanChunk = 32000;
constexpr int64_t kScanOverlap = 32;

// The directory part of the program path as invoked, with its separator
// ("" when the path has none).
std::string ProgramDirOf(std::string_view argv0);

// The markers found so far in the program file; a marker stays found.
struct MarkerScan {
  bool openxp = false;
  bool freexp = false;
  bool xp_d = false;
  bool xp2 = false;
  bool xp2_host = false;
  void Scan(std::string_view chunk);
  int Variant() const;  // 0 none, 1 OpenXP/FreeXP, 2 XP2
};

// Sets ProgramDir and the variant flags (`xp_variant`: 0 none, 1 OpenXP or
// FreeXP, 2 XP2) from the installation's files; what it does not find leaves
// the variant 0, which the start-up refuses.
void DetectCrossPoint(run::Run& run, std::string_view argv0);

// True when " (XP2)" begins at character 35 or 36 of the XPOINT.CFG text.
bool HasXp2VersionMark(std::string_view xpoint_cfg);

// Reads XPOINT.CFG, opens the logs and decides the debug mode.
void PrepareEnvironment(run::Run& run);

}  // namespace quorix::core
