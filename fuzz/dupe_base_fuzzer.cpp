// The dupe base from arbitrary file bytes: QUORIX.IDX is written with the
// input, loaded, extended by one ID, saved and loaded again. The second load
// must hold what the first held plus the new ID unless the file already held
// it (cut to the last DupeBaseLimit characters), and IsDupe must answer every query as a plain
// substring search of the base text does (the index must not change the
// answer), for IDs taken from the file and built from its pieces.
//
// Input: the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bases/dupe_base.h"
#include "fuzz_support.h"
#include "platform/file.h"

namespace {

namespace bases = quorix::bases;

// `text` is the base's text as it is now.
void CheckLookup(quorix::run::Run& run, std::string_view text, std::string_view id) {
  const bool expected = !id.empty() && text.find(id) != std::string::npos;
  QUORIX_FUZZ_CHECK(bases::IsDupe(run, id) == expected, id, text);
}

// Queries: every "<...>" run of the text, pieces around them, and IDs that
// are not in the text. `data` is the base's text as it is now.
void CheckLookups(quorix::run::Run& run, std::string_view data) {
  size_t checked = 0;
  for (size_t open = data.find('<'); open != std::string_view::npos && checked < 64;
       open = data.find('<', open + 1), ++checked) {
    const size_t close = data.find('>', open);
    if (close == std::string_view::npos) break;
    const std::string_view run_text = data.substr(open, close - open + 1);
    CheckLookup(run, data, run_text);
    CheckLookup(run, data, run_text.substr(1));
    CheckLookup(run, data, std::string(run_text) + ">");
    CheckLookup(run, data, "<" + std::string(run_text));
    CheckLookup(run, data, data.substr(open, (close - open) / 2 + 1));
  }
  CheckLookup(run, data, "<never@forum0.0.0.0>");
  CheckLookup(run, data, "");
  CheckLookup(run, data, data.substr(0, 8));
}

quorix::platform::LoadStatus LoadStatus(quorix::run::Run& run) {
  quorix::platform::MutexLock lock(run.dupe_base.mutex());
  return run.dupe_base.load_status();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file = quorix::fuzz::AsText(data, size);
  quorix::fuzz::FuzzRun& fuzz_run = quorix::fuzz::FuzzRun::ForEngine(quorix::run::kUbb);
  quorix::run::Run& run = fuzz_run.run();
  const std::string name = fuzz_run.PathOf(bases::kDupeBaseFile);
  fuzz_run.ResetBases();
  QUORIX_FUZZ_CHECK(quorix::platform::ReplaceFileContents(name, file));

  bases::LoadDupeBase(run);
  QUORIX_FUZZ_CHECK(LoadStatus(run) == quorix::platform::LoadStatus::kLoaded);
  const std::string first = run.dupe_base.Text();
  const std::string_view expected_first = file.size() > bases::kDupeBaseHeader.size()
                                              ? file.substr(bases::kDupeBaseHeader.size())
                                              : std::string_view();
  QUORIX_FUZZ_CHECK(first == expected_first, expected_first, first);
  CheckLookups(run, first);

  // One ID added in this run, then saved: the file holds header + data.
  const std::string id = "<de.fuzz@forum3.000001.html." + std::to_string(size) + ".0>";
  bases::AddToDupeBase(run, id);
  const std::string with_id = run.dupe_base.Text();
  CheckLookup(run, with_id, id);
  CheckLookups(run, with_id);
  bases::SaveDupeBase(run);

  // The save merges into what the file holds: an ID the file already
  // holds is not written twice.
  std::string kept = first;
  if (first.find(id) == std::string::npos) kept += id;
  const auto limit = static_cast<size_t>(run.DupeBaseLimit());
  if (kept.size() > limit) kept.erase(0, kept.size() - limit);
  std::string saved;
  QUORIX_FUZZ_CHECK(quorix::platform::ReadWholeFile(name, &saved));
  QUORIX_FUZZ_CHECK(saved == std::string(bases::kDupeBaseHeader) + kept, kept, saved);

  fuzz_run.ResetBases();
  bases::LoadDupeBase(run);
  const std::string reloaded = run.dupe_base.Text();
  QUORIX_FUZZ_CHECK(reloaded == kept, kept, reloaded);
  CheckLookups(run, reloaded);
  quorix::platform::DeleteFile(name);
  return 0;
}
