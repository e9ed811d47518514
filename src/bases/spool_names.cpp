// One listing per spool folder, the next free number, rename without replacing.
#include "bases/spool_names.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "bases/delivery_journal.h"
#include "platform/file.h"
#include "platform/spool_extension.h"
#include "text/text.h"

namespace quorix::bases {

namespace {

constexpr size_t kDigits = 6;

// A spool file name taken apart: its folder, its number.
struct SpoolName {
  std::string directory;
  int number = 0;
};

// The folder and number of a name of SpoolFileName's form (its extension in
// any letter case, as the listing sees it); none for another.
std::optional<SpoolName> ParseSpoolName(std::string_view name) {
  const std::string_view extension = platform::SpoolExtension();
  if (name.size() < 1 + kDigits + extension.size()) return std::nullopt;
  const size_t digits_at = name.size() - extension.size() - kDigits;
  if (text::LowerCase437(name.substr(digits_at + kDigits)) != text::LowerCase437(extension)) {
    return std::nullopt;
  }
  int number = 0;
  for (char c : name.substr(digits_at, kDigits)) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return SpoolName{std::string(name.substr(0, digits_at - 1)), number};
}

}  // namespace

std::string SpoolFileName(std::string_view spool_dir, int number) {
  const std::string digits = text::Decimal(number);
  std::string name(spool_dir);
  name.append("N").append(kDigits - std::min(kDigits, digits.size()), '0').append(digits);
  name.append(platform::SpoolExtension());
  return name;
}

run::SpoolNumbersInUse& SpoolNumbers(run::Run& run, std::string_view spool_dir) {
  run::DeliveryJournal& state = run.delivery.journal();
  auto found = state.spool_numbers.find(spool_dir);
  if (found != state.spool_numbers.end()) return found->second;
  std::vector<bool> used(kSpoolNumbers, false);
  const std::string pattern = "N??????" + std::string(platform::SpoolExtension());
  for (const std::string& name : platform::ListDirectory(spool_dir, "*")) {
    if (platform::MatchWildcard(pattern, name)) {
      const std::string_view digits = std::string_view(name).substr(1, kDigits);
      bool all_digits = true;
      for (char c : digits) all_digits = all_digits && c >= '0' && c <= '9';
      if (all_digits) used[static_cast<size_t>(text::LeadingNumber(digits))] = true;
    } else if (IsJournalTempName(name)) {
      // A dead writer's (the caller holds the lock that every writer holds).
      const std::string path = std::string(spool_dir) + name;
      if (!state.waiting_temps.contains(path)) platform::DeleteFile(path);
    }
  }
  return state.spool_numbers
      .emplace(std::string(spool_dir), run::SpoolNumbersInUse{std::move(used), 0})
      .first->second;
}

int NextFreeNumber(run::SpoolNumbersInUse& numbers, int from) {
  const bool from_bottom = from <= numbers.free_from;
  from = std::max(from, numbers.free_from);
  while (from < kSpoolNumbers && numbers.used[static_cast<size_t>(from)]) ++from;
  if (from_bottom) numbers.free_from = from;
  return from;
}

bool RenameIntoSpool(run::Run& run, const std::string& temp, std::string* name,
                     const std::function<void(const std::string&)>& attempt) {
  const std::optional<SpoolName> parsed = ParseSpoolName(*name);
  run::SpoolNumbersInUse* numbers = nullptr;
  if (parsed) {
    run::DeliveryJournal& state = run.delivery.journal();
    const auto found = state.spool_numbers.find(parsed->directory);
    if (found != state.spool_numbers.end()) numbers = &found->second;
  }
  int number = parsed ? parsed->number : 0;
  while (true) {
    if (attempt) attempt(*name);
    int error = 0;
    const bool renamed = platform::RenameNew(temp, *name, &error);
    if (!renamed && !platform::IsFileExistsError(error)) return false;
    // Taken now, by this rename or since the listing.
    if (numbers != nullptr) numbers->used[static_cast<size_t>(number)] = true;
    if (renamed) return true;
    if (!parsed) return false;
    number = numbers != nullptr ? NextFreeNumber(*numbers, number + 1) : number + 1;
    if (number >= kSpoolNumbers) return false;
    *name = SpoolFileName(parsed->directory, number);
  }
}

}  // namespace quorix::bases
