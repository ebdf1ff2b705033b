// The whole removal pass on generated machines and scripts: whatever the input, the run deletes
// only what the script names, reports only what its rules say, releases everything and ends.
//
// Seeded and reproducible. VORSK_PROPERTY_SEED=<n> runs the one case of seed n (and prints it);
// VORSK_PROPERTY_CASES and VORSK_PROPERTY_FIRST choose how many seeds run and the first one.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/fake_host.h"
#include "tests/property/choices.h"
#include "tests/property/machine_gen.h"
#include "tests/property/pass_check.h"

namespace vorsk {
namespace {

constexpr std::uint64_t kDefaultCases = 3000;

std::uint64_t FromEnvironment(const char* name, std::uint64_t fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    return fallback;
  }
  return std::strtoull(value, nullptr, 0);
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    out += "  " + line + "\n";
  }
  return out;
}

// The case of a seed, described before its run.
std::string CaseOf(std::uint64_t seed) {
  test::FakeHost host;
  test::SeededChoices choices(seed);
  test::GenerateCase(choices, host);
  return test::DescribeCase(host);
}

TEST(PassProperties, HoldOnGeneratedMachinesAndScripts) {
  const char* single = std::getenv("VORSK_PROPERTY_SEED");
  const bool one = single != nullptr && *single != '\0';
  const std::uint64_t first =
      one ? FromEnvironment("VORSK_PROPERTY_SEED", 1) : FromEnvironment("VORSK_PROPERTY_FIRST", 1);
  const std::uint64_t cases = one ? 1 : FromEnvironment("VORSK_PROPERTY_CASES", kDefaultCases);

  test::PassTally tally;
  int failures = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::uint64_t seed = first; seed < first + cases && failures < 5; ++seed) {
    test::FakeHost host;
    test::SeededChoices choices(seed);
    test::GenerateCase(choices, host);
    if (one) {
      std::cout << test::DescribeCase(host);
    }
    std::vector<std::string> violations = test::RunPassAndCheck(host, &tally);
    // The same machine once more, listed.
    test::FakeHost listed;
    test::SeededChoices again(seed);
    test::GenerateCase(again, listed);
    for (const std::string& violation : test::RunListAndCheck(listed)) {
      violations.push_back("listing: " + violation);
    }
    if (!violations.empty()) {
      ++failures;
      ADD_FAILURE() << "seed " << seed << " (run it alone with VORSK_PROPERTY_SEED=" << seed
                    << "):\n"
                    << Joined(violations) << "the case of seed " << seed << ":\n"
                    << CaseOf(seed);
    }
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::cout << tally.runs << " cases from seed " << first << " in " << elapsed.count()
            << " ms: " << tally.missingScript << " without a script, " << tally.filesDeleted
            << " files deleted, " << tally.fileReports << " file reports, " << tally.devicesRemoved
            << " instances removed, " << tally.allocationReports << " allocation reports, "
            << tally.traceLines << " trace lines, " << tally.keysDeleted << " keys deleted, "
            << tally.keysKept << " keys of listed trees kept by faults, " << tally.companionStarts
            << " companion starts, " << tally.linksDeleted << " links deleted, "
            << tally.treesRefused << " platform keys refused, " << tally.packagesUninstalled
            << " packages uninstalled, " << tally.packagesKept << " kept; "
            << tally.runsWithSomethingLeft << " runs left something, " << tally.runsNeedingRestart
            << " need a restart\n";

  // A generator that stopped reaching a road would let the checks above pass on nothing: every
  // kind of effect must occur in a run of the usual size.
  if (tally.runs >= 1000) {
    EXPECT_GT(tally.missingScript, tally.runs / 100);
    // Files also go with their packages, by the platform's uninstall.
    EXPECT_GT(tally.filesDeleted, tally.runs / 25);
    EXPECT_GT(tally.fileReports, tally.runs / 20);
    EXPECT_GT(tally.devicesRemoved, tally.runs / 20);
    EXPECT_GT(tally.allocationReports, tally.runs / 100);
    EXPECT_GT(tally.traceLines, tally.runs);
    EXPECT_GT(tally.keysDeleted, tally.runs);
    EXPECT_GT(tally.keysKept, tally.runs / 100);
    EXPECT_GT(tally.companionStarts, tally.runs / 20);
    EXPECT_GT(tally.linksDeleted, tally.runs / 50);
    EXPECT_GT(tally.treesRefused, tally.runs / 50);
    EXPECT_GT(tally.packagesUninstalled, tally.runs / 50);
    EXPECT_GT(tally.packagesKept, tally.runs / 100);
    EXPECT_GT(tally.runsWithSomethingLeft, tally.runs / 20);
    EXPECT_GT(tally.runsNeedingRestart, tally.runs / 100);
  }
}

}  // namespace
}  // namespace vorsk
