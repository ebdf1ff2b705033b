// Device ID comparisons. The platform treats device IDs without regard to letter case, and one
// device reports its IDs in different case on different platform versions, so the comparisons
// fold ASCII letters (and nothing else: no locale).
#pragma once

#include <string_view>

namespace vorsk {

// Whole IDs, equal letter case aside.
bool SameDeviceId(std::string_view a, std::string_view b);

// True when prefix has at least one character and id begins with it, letter case aside.
bool HasIdPrefix(std::string_view prefix, std::string_view id);

}  // namespace vorsk
