// The text of restore.cmd: the double-click way to put a backup back, through the copy of
// vorsk.exe that the backup keeps beside it, on the backup's own folder. It runs no other program,
// names nothing but its own folder (%~dp0), passes /anycomputer on, ends with vorsk's status, and
// is ASCII, whatever the code page.
#pragma once

#include <string>

namespace vorsk {

// The program that restore.cmd runs, as the backup keeps it.
inline constexpr char kSavedProgram[] = "vorsk.exe";

std::string RestoreCommand();

}  // namespace vorsk
