// The removal run: one pass that locates the removal script, refuses to go on without it, and
// runs the three removal stages in their fixed order.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "host/host.h"
#include "report/exit_status.h"
#include "report/run_report.h"

namespace vorsk {

// What the command line asks of a run.
struct RunOptions {
  // No message box: each becomes a line on standard error and in the log.
  bool quiet = false;
  // Change nothing; list what a run would remove, on standard output.
  bool list = false;
  // Save what the run deletes in a folder of its own below this one first; empty: no backup.
  std::string backupFolder;
};

inline constexpr std::uint32_t kWindowsDirectorySize = 260;
// How long a run waits for another to end before it runs nothing: five minutes.
inline constexpr std::uint32_t kRunLockWaitMs = 5 * 60 * 1000;

// "<windowsDirectory>\Setup417\Remove417.ini", or nothing when that would not fit the
// 260-character path buffer (259 characters and its terminating zero).
std::optional<std::string> BuildScriptPath(const std::string& windowsDirectory);

// Runs `run` holding the lock that one run of vorsk (a removal or a restore) holds at a time,
// waiting for another run up to kRunLockWaitMs; returns its status, or kExitAnotherRun when the
// other run did not end in time (then nothing runs). Where the lock cannot be had or trusted, it
// runs without it, and the log says so.
int UnderRunLock(Host& host, RunReport& report, const std::function<int()>& run);

// Performs the whole run on `host` as `options` ask and returns the process's exit status.
// `frame` owns the run's own message boxes.
int PerformRemoval(Host& host, WindowHandle frame, const RunOptions& options = RunOptions());

}  // namespace vorsk
