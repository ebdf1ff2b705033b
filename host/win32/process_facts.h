// What a run's log says of the process and its machine.
#pragma once

#include "host/host.h"

namespace vorsk::win32 {

// The Windows version as the system reports it (whatever the program's manifest says), the
// machine's and the process's width, the user as DOMAIN\user, and whether the process holds an
// administrator's full rights.
ProcessFacts ReadProcessFacts(bool wow64);

}  // namespace vorsk::win32
