// What a run's log says of the process and its machine.
#pragma once

#include <cstdint>

#include "host/host.h"

namespace vorsk::win32 {

// The Windows version as the system reports it (whatever the program's manifest says), the
// machine's and the process's width, the user as DOMAIN\user, and whether the process holds an
// administrator's full rights.
ProcessFacts ReadProcessFacts(bool wow64);

// The platform's major version as the system reports it (5 for Windows XP and Server 2003, 6 for
// Vista on); 0 when it cannot be read.
std::uint32_t WindowsMajorVersion();

}  // namespace vorsk::win32
