// What the main frame hands control to once it has built its bars: the removal. The program's
// root passes the application object the runner of the real removal, which ends the process;
// the shell's tests pass one that records the hand-over.
#pragma once

class CWnd;

class RemovalRunner {
 public:
  virtual ~RemovalRunner() = default;
  // Runs the removal; `frame` owns its message boxes.
  virtual void Run(CWnd& frame) = 0;
};
