#include "host/session_rule.h"

namespace vorsk {

namespace {

// The first major version whose session 0 holds services alone (Windows Vista).
constexpr std::uint32_t kServicesOnlySession0 = 6;

}  // namespace

bool BoxesCanBeAnswered(const DesktopFacts& facts) {
  if (facts.session == 0u && facts.windowsMajor >= kServicesOnlySession0) {
    return false;
  }
  return facts.visibleWindowStation.value_or(true);
}

}  // namespace vorsk
