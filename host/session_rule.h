// Whether a message box of this process can be seen and answered, from what the platform says of
// the process: the rule apart from the calls that read it, so that it is tested anywhere (Wine
// reports every process in session 1).
#pragma once

#include <cstdint>
#include <optional>

namespace vorsk {

struct DesktopFacts {
  // Whether the process's window station is the visible one; nothing when it cannot be read.
  std::optional<bool> visibleWindowStation;
  // The session the process runs in; nothing when it cannot be had.
  std::optional<std::uint32_t> session;
  // The platform's major version (5 for Windows XP and Server 2003, 6 for Vista on).
  std::uint32_t windowsMajor = 0;
};

// From Windows Vista on, session 0 belongs to services: nobody sees a box there, whatever its
// window station says of itself (a scheduled task or a policy script may run on a visible one).
// On Windows XP and Server 2003 the console's user works in session 0, and a visible window
// station is answer enough. A window station that is not the visible one (a service's) shows
// nothing anywhere. What cannot be told keeps the boxes, as the platform shows them.
bool BoxesCanBeAnswered(const DesktopFacts& facts);

}  // namespace vorsk
