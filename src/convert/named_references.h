// The names of HTML's character references ("&auml;" is U+00E4).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quorix::convert {

// The character of a reference name (without "&" and ";", letter case
// exact: "Auml" and "auml" differ); none for a name that HTML 4 does not
// define, except "apos", which forums write as well.
std::optional<char32_t> NamedReferenceCharacter(std::string_view name);

// The longest name ("thetasym").
inline constexpr size_t kMaxReferenceName = 8;

// How many names there are.
size_t NamedReferenceCount();

}  // namespace quorix::convert
