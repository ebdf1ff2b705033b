// The whole removal pass on a generated machine, checked against a small reference model of what
// the rules allow it to do. The model is computed from the machine and the script alone, before
// the run, and shares no code with the removal core.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tests/fake_host.h"

namespace vorsk::test {

// What the checked runs did, added up, so that a test can tell that its cases reach every road.
struct PassTally {
  std::size_t runs = 0;
  std::size_t missingScript = 0;
  std::size_t filesDeleted = 0;
  std::size_t fileReports = 0;
  std::size_t devicesRemoved = 0;
  std::size_t allocationReports = 0;
  std::size_t traceLines = 0;
  std::size_t keysDeleted = 0;
  std::size_t keysKept = 0;  // below a listed tree, kept by an injected fault
  std::size_t companionStarts = 0;
  std::size_t linksDeleted = 0;
  std::size_t treesRefused = 0;
  std::size_t packagesUninstalled = 0;
  std::size_t packagesKept = 0;  // left, or refused as the platform's own
  std::size_t runsWithSomethingLeft = 0;
  std::size_t runsNeedingRestart = 0;
};

// Runs the removal pass (PerformRemoval) on `host` and returns each broken rule, one line each;
// nothing when the run kept every rule. Adds what the run did to `tally` when given.
std::vector<std::string> RunPassAndCheck(FakeHost& host, PassTally* tally = nullptr);

// Runs the pass as /list on `host` and returns each broken rule: the listing changes nothing,
// shows no box, and says exactly what the model finds there (the files of each driver entry, the
// matching instances, the keys of each listed tree), with the status of what it found.
std::vector<std::string> RunListAndCheck(FakeHost& host);

// The machine and script of `host`, for a failure report.
std::string DescribeCase(const FakeHost& host);

}  // namespace vorsk::test
