#include "core/detection.h"

#include <algorithm>
#include <vector>

#include "platform/file.h"
#include "platform/process.h"
#include "text/settings.h"
#include "text/text.h"

namespace quorix::core {
namespace {

bool Contains(std::string_view text, std::string_view needle) {
  return text.find(needle) != std::string_view::npos;
}

// Reads the program file in overlapping chunks, so that a marker of up to 32
// characters split between two chunks is still seen.
void ScanProgramFile(platform::File& file, MarkerScan* scan, run::Environment* env) {
  const int64_t size = file.Size();
  std::string chunk(static_cast<size_t>(kScanChunk), '\0');
  for (int64_t start = 0; start < size; start += kScanChunk - kScanOverlap) {
    if (!file.Seek(start)) return;
    int64_t filled = 0;
    while (filled < kScanChunk) {
      const int64_t got = file.Read(chunk.data() + filled, kScanChunk - filled);
      if (got <= 0) break;
      filled += got;
    }
    scan->Scan(std::string_view(chunk.data(), static_cast<size_t>(filled)));
    const int variant = scan->Variant();
    if (variant != 0) {
      env->xp_variant = variant;
      env->xp_supported = 1;
      if (variant == 2) {
        env->is_xp2 = 1;
      } else {
        env->is_rfc_client = 1;
        env->is_free_xp = scan->openxp ? 0 : 1;
      }
      return;
    }
    if (start + kScanChunk >= size) return;
  }
}

}  // namespace

std::string ProgramDirOf(std::string_view argv0) {
  std::string path(argv0);
  path.erase(std::remove(path.begin(), path.end(), '"'), path.end());
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

void MarkerScan::Scan(std::string_view chunk) {
  const std::string upper = text::UpperCase437(chunk);
  openxp = openxp || Contains(upper, "OPENXP");
  freexp = freexp || Contains(upper, "FREEXP");
  xp_d = xp_d || Contains(upper, "XP.D");
  xp2 = xp2 || Contains(chunk, "XP2");
  xp2_host = xp2_host || Contains(chunk, kXp2MarkerHost);
}

int MarkerScan::Variant() const {
  if ((openxp || freexp) && xp_d) return 1;
  if (xp2 && xp2_host) return 2;
  return 0;
}

void DetectCrossPoint(run::Run& run, std::string_view argv0) {
  run::Environment& env = run.env;
  env.xp_supported = env.xp_variant = env.is_xp2 = env.is_rfc_client = env.is_free_xp = 0;
  env.has_openxp_help = 0;
  env.program_dir = ProgramDirOf(argv0);

  const std::vector<std::string> names = platform::ListDirectory(env.program_dir, "*");
  if (names.empty()) return;
  bool has_config = false;
  bool has_boxes = false;
  for (const std::string& name : names) {
    const std::string upper = text::UpperCase437(name);
    has_config = has_config || Contains(upper, "XPOINT.CFG");
    has_boxes = has_boxes || Contains(upper, "BOXEN.DB1");
    if (Contains(upper, "OPENXP-D.HLP")) env.has_openxp_help = 1;
  }
  const std::string program_file =
      env.program_dir + (env.has_openxp_help ? "OPENXP-D.HLP" : "XP.EXE");
  if (!platform::FileExists(program_file)) return;

  platform::File file;
  {
    platform::NamedLock lock(run.file_open_mutex);
    file = platform::File::Open(program_file, platform::Access::kReadWriteOrRead,
                                platform::Sharing::kShared, platform::Missing::kFail);
  }
  if (!file.IsOpen()) return;
  if (has_config && has_boxes) {
    MarkerScan scan;
    ScanProgramFile(file, &scan, &env);
  }
}

bool HasXp2VersionMark(std::string_view xpoint_cfg) {
  constexpr std::string_view kMark = " (XP2)";
  return xpoint_cfg.substr(std::min<size_t>(34, xpoint_cfg.size())).starts_with(kMark) ||
         xpoint_cfg.substr(std::min<size_t>(35, xpoint_cfg.size())).starts_with(kMark);
}

void PrepareEnvironment(run::Run& run) {
  run::Environment& env = run.env;
  env.omralog = platform::GetEnvironment("OMRALOG");
  if (env.xp_supported != 1) {
    env.xp_supported = 0;
    return;
  }
  bool console_unreadable = true;
  std::vector<platform::Cell> cells;
  if (run.console.ReadCells(&cells)) {
    const size_t first = std::min<size_t>(80, cells.size());
    console_unreadable = std::all_of(cells.begin(), cells.begin() + static_cast<long>(first),
                                     [](const platform::Cell& c) { return c.character == ' '; });
  }

  std::string config;
  platform::ReadWholeFile(env.program_dir + "XPOINT.CFG", &config, kXpointCfgLimit);
  config += "\r\n";
  env.screen_lines = text::LeadingNumber32(text::GetSetting(config, "SCREENLINES=", ""));
  env.log_dir = text::GetSetting(config, "LOGDIR=", "LOG\\");
  env.shell25 = text::IsTrueSetting(text::GetSetting(config, "SHELL25=", "N")) ? 1 : 0;

  if (env.is_xp2) {
    run.log.SetClientLog(log::Logger::OpenLogFile(env.log_dir + "XP-PPP.LOG"), env.omralog);
    if (!HasXp2VersionMark(config)) env.xp_supported = 0;
  }
  if (env.xp_supported != 1) return;

  run.log.set_debug_mode(platform::FileExists(
      std::string(text::TrimBlanks(run.log.program_tag())) + ".DEB"));
  run.log.SetMainLog(log::Logger::OpenLogFile(env.log_dir + "QUORIX.LOG"), env.omralog);
  if (console_unreadable) {
    run.log.WriteLog("Incompatible Graphics driver or Console configuration", log::kMainThread,
                     log::kDebug);
  }
}

}  // namespace quorix::core
