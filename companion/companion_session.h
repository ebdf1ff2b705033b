// vorsk.exe's side of the companion on 64-bit Windows: the companion started once, at the first
// task of a run, and handed each task over its standard input as the run's stages reach it (the
// package and its files first, the instances after the walk), each task waited for no longer than
// its own bound. A companion that ends before it answers a task (cut short, out of its time) is
// started again for the next one; one that is missing or cannot start is not tried again.
#pragma once

#include <cstdint>
#include <string>

#include "companion/protocol.h"
#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

class CompanionSession {
 public:
  CompanionSession(Host& host, RunReport& report) : host_(host), report_(report) {}
  ~CompanionSession() { End(); }
  CompanionSession(const CompanionSession&) = delete;
  CompanionSession& operator=(const CompanionSession&) = delete;

  // What the companion answered to one task: its report lines, and whether it answered the task
  // whole (false when it is missing, could not start, or ended first).
  struct Answer {
    bool finished = false;
    std::string output;
    std::string failure;  // when not finished: why, as the log says it ("vorsk64.exe is missing")
  };
  // Hands one task to the companion, started first when it is not running, and waits for its
  // answer up to `timeoutMs`. What cannot be done is logged.
  Answer Hand(const CompanionTask& task, std::uint32_t timeoutMs);

  // Ends the companion once its tasks are over: its standard input closed, its end waited for
  // (kCompanionEndWaitMs), and its status logged. Nothing when it is not running.
  void End();

 private:
  // The one place where the companion is started, beside vorsk.exe.
  bool Start();
  // Logs how the companion ended, forgets it, and returns what the log said.
  std::string Ended(std::uint32_t exitCode);

  Host& host_;
  RunReport& report_;
  ProgramSession session_ = kNoSession;
  // Why it cannot start, once it could not; empty until then.
  std::string cannotStart_;
};

}  // namespace vorsk
