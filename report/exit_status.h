// The exit statuses of vorsk.exe and of its companion: what callers and management systems read.
#pragma once

namespace vorsk {

// The removal ran, and nothing that the script names is left.
inline constexpr int kExitCompleted = 0;
// Nothing was run: the frame could not be created, or the command line asked for no run.
inline constexpr int kExitNothingRun = 1;
// The removal script is missing or cannot be opened (the platform's "file not found" code).
inline constexpr int kExitScriptMissing = 2;
// The removal ran, and something that the script names was left on the machine.
inline constexpr int kExitLeft = 3;
// Another run was in progress and did not end in time; nothing was run (the platform's "another
// installation is in progress" code).
inline constexpr int kExitAnotherRun = 1618;
// The removal ran, nothing is left, and the platform asks for a restart to finish removing a
// device instance (the platform's "restart required" code).
inline constexpr int kExitRestartNeeded = 3010;

}  // namespace vorsk
