// Device ID comparisons. The platform treats device IDs without regard to letter case, and one
// device reports its IDs in different case on different platform versions, so the comparisons
// fold ASCII letters (and nothing else: no locale).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vorsk {

// Whole IDs, equal letter case aside.
bool SameDeviceId(std::string_view a, std::string_view b);

// True when prefix has at least one character and id begins with it, letter case aside.
bool HasIdPrefix(std::string_view prefix, std::string_view id);

// Why a prefix of the script matches too much to be used: one that names no vendor would take
// every device of its bus (keyboards, mice, disks). For USB (letter case aside) a prefix must
// reach a vendor, USB\VID_ and four hex digits; for any other bus it needs a backslash and at
// least four characters after the first one. Nothing for a prefix that may be used, and for an
// empty one (which matches nothing).
std::optional<std::string> IdPrefixRefusal(std::string_view prefix);

}  // namespace vorsk
