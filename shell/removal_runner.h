// What the main frame hands control to once it has built its bars: the removal, as the command
// line asked for it. The program's root passes the application object the runner of the real
// removal, which ends the process; the shell's tests pass one that records the hand-over.
#pragma once

#include <string>

#include "removal/run.h"

class CWnd;

// The removal that the command line asks for.
struct RemovalRequest {
  vorsk::RunOptions options;
  std::wstring logPath;        // empty: no log
  std::wstring backupFolder;   // empty: no backup
  std::wstring restoreFolder;  // not empty: put the backup in this folder back instead
  bool anyComputer = false;    // the person vouches for a backup this computer has no record of
};

class RemovalRunner {
 public:
  virtual ~RemovalRunner() = default;
  // Runs the removal; `frame` owns its message boxes.
  virtual void Run(CWnd& frame, const RemovalRequest& request) = 0;
};
