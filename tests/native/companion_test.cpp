// The hand-over to the 64-bit companion: decided before the walk from the machine, the walk and
// its trace the same either way, the companion started once after the walk with the matching
// instances, and the status from what it reports. Also the companion's own side: its command
// line, its report lines, its removals and its status.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cleanup/devices.h"
#include "cleanup/removing.h"
#include "companion/removal_by_id.h"
#include "removal/run.h"
#include "report/exit_status.h"
#include "tests/native/machine.h"

namespace vorsk {
namespace {

// The device walk of a run that removes, on the machine `host` is.
void WalkOn(test::FakeHost& host, RunReport& report, const std::string& prefix1,
            const std::string& prefix2) {
  RemovingActions act(host, report, host.IsWow64Process());
  FindMatchingDevices(host, report, prefix1, prefix2, act);
}

using Companion = test::FakeHost::Companion;
const WindowHandle kFrame{0x4242};
const std::string kScanner1 = "USB\\VID_0000&PID_2206\\5&2B1C3A7&0&1";
const std::string kScanner2 = "USB\\VID_0000&PID_2206\\5&2B1C3A7&0&2";
const std::string kCamera = "USB\\VID_0000&PID_0990\\6&11&0&3";

class HandOverTest : public ::testing::Test {
 protected:
  HandOverTest() {
    host.wow64 = true;
    host.AddDevice(kScanner1, {"USB\\Vid_0000&Pid_2206&Rev_0100", "USB\\Vid_0000&Pid_2206"});
    host.AddDevice(kCamera, {"USB\\Vid_0000&Pid_0990"});
    host.AddDevice(kScanner2, {"USB\\Vid_0000&Pid_2206&Rev_0100"}, false);
  }
  // The walk with the scanner's prefix; returns the status the report comes to.
  int Walk() {
    WalkOn(host, report, "USB\\Vid_0000&Pid_2206", "");
    EXPECT_EQ(host.OpenHandleCount(), 0u);
    EXPECT_TRUE(host.faults.empty());
    return report.Status();
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const test::MessageBoxRecord& box : host.messageBoxes) {
      EXPECT_EQ(box.owner, kFrame);
      EXPECT_EQ(box.caption, std::optional<std::string>(""));
      EXPECT_EQ(box.type, kMbIconInformation);
      texts.push_back(box.text);
    }
    return texts;
  }

  test::FakeHost host;
  RunReport report{host, kFrame};
};

const std::string kTrace =
    "Compare device ID: [USB\\Vid_0000&Pid_2206&Rev_0100]\n"
    "Compare device ID: [USB\\Vid_0000&Pid_0990]\n"
    "Compare device ID: [USB\\Vid_0000&Pid_2206&Rev_0100]\n";

// The companion is started once, after the walk, with every matching instance in the walk's
// order; it, not vorsk.exe, removes them.
TEST_F(HandOverTest, TheCompanionRemovesTheMatchingInstancesAfterTheWalk) {
  host.companion = Companion::Works;

  EXPECT_EQ(Walk(), kExitCompleted);

  EXPECT_EQ(host.standardOutput, kTrace);
  EXPECT_EQ(host.JournalOf("run"), std::vector<std::string>{"vorsk64.exe /remove \"" + kScanner1 +
                                                            "\" \"" + kScanner2 + "\""});
  std::vector<std::string> order;
  for (const std::string& line : host.journal) {
    if (line.rfind("run ", 0) == 0 || line.rfind("remove-device ", 0) == 0 ||
        line.rfind("output ", 0) == 0) {
      order.push_back(line.substr(0, line.find(' ')));
    }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"output", "output", "output", "run", "remove-device",
                                             "remove-device"}));
  EXPECT_TRUE(host.devices[0].removed);
  EXPECT_FALSE(host.devices[1].removed);
  EXPECT_TRUE(host.devices[2].removed);
  EXPECT_TRUE(host.messageBoxes.empty());
  // Waited for two minutes and thirty seconds for each of its two instances.
  EXPECT_EQ(host.programTimeoutsMs, std::vector<std::uint32_t>{180000});
}

// The companion's wait grows with the instances handed to it, and is never "forever".
TEST(CompanionWaitTest, TwoMinutesAndThirtySecondsPerInstance) {
  EXPECT_EQ(CompanionWaitMs(0), 120000u);
  EXPECT_EQ(CompanionWaitMs(1), 150000u);
  EXPECT_EQ(CompanionWaitMs(1000), 30120000u);
  EXPECT_EQ(CompanionWaitMs(200000), 0xFFFFFFFEu);
}

// On 32-bit Windows nothing is handed over: each instance is removed during the walk.
TEST_F(HandOverTest, OnThirtyTwoBitWindowsTheWalkRemovesItself) {
  host.wow64 = false;

  EXPECT_EQ(Walk(), kExitCompleted);

  EXPECT_EQ(host.standardOutput, kTrace);
  EXPECT_TRUE(host.JournalOf("run").empty());
  EXPECT_TRUE(host.devices[0].removed);
  EXPECT_TRUE(host.devices[2].removed);
}

TEST_F(HandOverTest, NothingMatchingStartsNoCompanion) {
  host.companion = Companion::Works;
  WalkOn(host, report, "USB\\Vid_0001", "");

  EXPECT_TRUE(host.JournalOf("run").empty());
  EXPECT_EQ(report.Status(), kExitCompleted);
  EXPECT_TRUE(host.messageBoxes.empty());
}

// A companion that is missing, is not the one built with vorsk.exe, cannot start, refuses its
// command line or is cut short: what it did not report removed stays, the user is told once, and
// the run is not a success.
TEST_F(HandOverTest, ACompanionThatDoesNotFinishLeavesTheRestAndIsToldOnce) {
  for (const auto& [companion, logged] : std::vector<std::pair<Companion, std::string>>{
           {Companion::Missing, "vorsk64.exe is missing (error 00000002)"},
           {Companion::Different,
            "vorsk64.exe is not the one built with vorsk.exe (error 00000241)"},
           {Companion::FailsToStart, "vorsk64.exe cannot start (error 000000c1)"},
           {Companion::RefusesCommandLine, "vorsk64.exe ended with status 1"}}) {
    SCOPED_TRACE(logged);
    test::FakeHost machine;
    machine.wow64 = true;
    machine.companion = companion;
    machine.AddDevice(kScanner1, {"USB\\Vid_0000&Pid_2206"});
    RunReport machineReport(machine, kFrame);
    WalkOn(machine, machineReport, "USB\\Vid_0000", "");
    EXPECT_EQ(machineReport.Status(), kExitLeft);
    EXPECT_FALSE(machine.devices[0].removed);
    ASSERT_EQ(machine.messageBoxes.size(), 1u);
    EXPECT_EQ(machine.messageBoxes[0].text, "Can't run file vorsk64.exe,devices not removed!");
    EXPECT_NE(std::find(machine.log.begin(), machine.log.end(), logged), machine.log.end());
  }

  host.companion = Companion::CutShort;
  host.companionReportsBeforeCut = 1;
  EXPECT_EQ(Walk(), kExitLeft);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Can't run file vorsk64.exe,devices not removed!"});
}

// What the companion reports makes the status: a failure is something left, a restart request is
// 3010 once nothing is left; an instance it reports absent is done.
TEST_F(HandOverTest, TheStatusComesFromTheCompanionsReports) {
  host.companion = Companion::Works;
  host.devices[0].needsRestart = true;
  EXPECT_EQ(Walk(), kExitRestartNeeded);

  test::FakeHost refusing;
  refusing.wow64 = true;
  refusing.companion = Companion::Works;
  refusing.AddDevice(kScanner1, {"USB\\Vid_0000&Pid_2206"}).needsRestart = true;
  refusing.AddDevice(kScanner2, {"USB\\Vid_0000&Pid_2206"}).refusesRemoval = true;
  RunReport refusingReport(refusing, kFrame);
  WalkOn(refusing, refusingReport, "USB\\Vid_0000", "");
  EXPECT_EQ(refusingReport.Status(), kExitLeft);
  EXPECT_TRUE(refusing.messageBoxes.empty());

  // An instance whose ID cannot be read cannot be handed over: it is left, and the others go.
  test::FakeHost unreadable;
  unreadable.wow64 = true;
  unreadable.companion = Companion::Works;
  unreadable.AddDevice(kScanner1, {"USB\\Vid_0000&Pid_2206"}).instanceIdUnreadable = true;
  unreadable.AddDevice(kScanner2, {"USB\\Vid_0000&Pid_2206"});
  RunReport unreadableReport(unreadable, kFrame);
  WalkOn(unreadable, unreadableReport, "USB\\Vid_0000", "");
  EXPECT_EQ(unreadableReport.Status(), kExitLeft);
  EXPECT_FALSE(unreadable.devices[0].removed);
  EXPECT_TRUE(unreadable.devices[1].removed);
}

// A companion that ends with 3010 has finished its work: the run ends with 3010 and nobody is
// told that the companion could not run.
TEST_F(HandOverTest, ACompanionEndingWithARestartRequestFinishedItsWork) {
  host.companion = Companion::Works;
  host.devices[0].needsRestart = true;
  host.AddFile(test::kScriptPath,
               "[CurrentDev]\r\nDevNo=1\r\n[1PIDVID]\r\nNum1=USB\\Vid_0000&Pid_2206\r\n");

  EXPECT_EQ(PerformRemoval(host, kFrame), kExitRestartNeeded);

  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(host.standardError, "");
  const auto logged = [&](const std::string& line) {
    return std::find(host.log.begin(), host.log.end(), line) != host.log.end();
  };
  EXPECT_TRUE(logged("vorsk64.exe ended with status 3010"));
  EXPECT_TRUE(logged("instance " + kScanner1 +
                     " (matching USB\\Vid_0000&Pid_2206&Rev_0100): removed, a restart is needed "
                     "to finish"));
  EXPECT_TRUE(host.devices[2].removed);
}

TEST(CompanionProtocolTest, ReportLinesComeBackAsTheyWereWritten) {
  const std::vector<InstanceReport> reports = {
      {InstanceOutcome::Removed, kErrorSuccess, kScanner1},
      {InstanceOutcome::RestartNeeded, kErrorSuccess, kScanner2},
      {InstanceOutcome::Absent, kErrorSuccess, "ROOT\\IMAGE\\0000"},
      {InstanceOutcome::Failed, 0xE0000235, kCamera},
  };
  const std::vector<std::string> lines = {"removed " + kScanner1, "restart " + kScanner2,
                                          "absent ROOT\\IMAGE\\0000", "failed e0000235 " + kCamera};
  for (std::size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(FormatInstanceReport(reports[i]), lines[i]);
    const auto parsed = ParseInstanceReport(lines[i]);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->outcome, reports[i].outcome);
    EXPECT_EQ(parsed->error, reports[i].error);
    EXPECT_EQ(parsed->instanceId, reports[i].instanceId);
  }
  for (const char* line :
       {"", "removed", "removed ", "gone ROOT\\A\\0", "failed 5 ROOT\\A\\0",
        "failed 0000000g ROOT\\A\\0", "removed ROOT\\A B", "Removed ROOT\\A\\0"}) {
    EXPECT_FALSE(ParseInstanceReport(line)) << line;
  }
}

TEST(CompanionProtocolTest, CommandLineNamesTheSwitchAndInstanceIdsOnly) {
  using Args = std::vector<std::string>;
  EXPECT_EQ(ParseCompanionArguments({"/remove", kScanner1, kScanner2}),
            Args({kScanner1, kScanner2}));
  EXPECT_EQ(ParseCompanionArguments({"-REMOVE", kScanner1}), Args({kScanner1}));
  for (const Args& malformed :
       {Args{}, Args{"/remove"}, Args{kScanner1}, Args{"/list", kScanner1},
        Args{"/remove", kScanner1, ""}, Args{"/remove", "ROOT\\A,B"}, Args{"/remove", "ROOT\\A B"},
        Args{"/remove", std::string(201, 'A')}, Args{"/removes", kScanner1}}) {
    EXPECT_FALSE(ParseCompanionArguments(malformed));
  }
  EXPECT_TRUE(ParseCompanionArguments({"/remove", std::string(200, 'A')}));
}

// The companion splits its own command line. Each expected split is the platform's: what
// CommandLineToArgvW gave for the same line under Wine (64-bit), after the program's name.
TEST(CompanionProtocolTest, CommandLinesAreSplitAsThePlatformSplitsThem) {
  using Args = std::vector<std::string>;
  const struct {
    const char* line;
    Args split;
  } cases[] = {
      // Blanks and tabs: after the program's name, between arguments, in runs, at the end, and
      // kept within quotes.
      {"vorsk64.exe\t/remove\tA\\B", {"/remove", "A\\B"}},
      {"vorsk64.exe /remove \"a\tb\"", {"/remove", "a\tb"}},
      {"vorsk64.exe \t \tA \t", {"A"}},
      {"\"C:\\Program Files\\vorsk64.exe\"\t\"x\"", {"x"}},
      {"\"C:\\vorsk\\vorsk64.exe\"/remove\tA", {"/remove", "A"}},
      {"vorsk64.exe \"unterminated\tquote", {"unterminated\tquote"}},
      // Backslashes: as they are unless a quote follows; then halved, and an odd one escapes it.
      {"vorsk64.exe a\\\\b c\\\\\\\"d", {"a\\\\b", "c\\\"d"}},
      {"vorsk64.exe \"a\\\\\" b", {"a\\", "b"}},
      {"vorsk64.exe \"a\\\\\\\" b\"", {"a\\\" b"}},
      {"vorsk64.exe tail\\\\", {"tail\\\\"}},
      {"vorsk64.exe \\\"a\\\\\\\\\"b c\"", {"\"a\\\\b c"}},
      {"vorsk64.exe\t\"a\\\\\\\\\"\t\\\\\\\\", {"a\\\\", "\\\\\\\\"}},
      // Quotes: they join what they enclose; two within quotes are one quote, and end them.
      {"vorsk64.exe a\"b c\"d e", {"ab cd", "e"}},
      {"vorsk64.exe \"\" \"\"\t\"\"", {"", "", ""}},
      {"vorsk64.exe a\"\"b", {"ab"}},
      {"vorsk64.exe \"a\"\"b c\"", {"a\"b", "c"}},
      {"vorsk64.exe \"a\"\"\"b c\"", {"a\"b c"}},
      {"vorsk64.exe \"\"\"\" d", {"\" d"}},
      {"vorsk64.exe \"\"\"\"\"\" d", {"\"\"", "d"}},
      {"vorsk64.exe \"a\\\\\"\"b c\"", {"a\\\"b", "c"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandArguments(ArgumentsAfterProgramName(c.line)), c.split) << c.line;
  }
}

// Many long IDs do not fit one command line: they go in as few starts as fit, in order, and each
// start's arguments give back exactly its IDs.
TEST(CompanionProtocolTest, IdsThatDoNotFitOneCommandLineAreSplitInOrder) {
  std::vector<std::string> instanceIds;
  for (int i = 0; i < 400; ++i) {
    std::string id = "USB\\VID_0000&PID_2206\\" + std::to_string(i) + "\\\"";
    id.resize(200, '\\');
    instanceIds.push_back(id);
  }
  const std::vector<CompanionBatch> batches = CompanionBatches(instanceIds);
  ASSERT_GT(batches.size(), 1u);
  std::vector<std::string> again;
  for (const CompanionBatch& batch : batches) {
    EXPECT_LE(batch.arguments.size(), kCompanionArgumentsLimit);
    const auto parsed = ParseCompanionArguments(SplitCommandArguments(batch.arguments));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, batch.instanceIds);
    again.insert(again.end(), parsed->begin(), parsed->end());
  }
  EXPECT_EQ(again, instanceIds);
  EXPECT_EQ(CompanionBatches({kScanner1}).size(), 1u);

  // Arguments of exactly the limit still go in one start; one character more takes two.
  std::vector<std::string> filling(100, std::string(199, 'A'));
  const std::size_t filled = CompanionBatches(filling)[0].arguments.size();
  ASSERT_LT(filled + 4, kCompanionArgumentsLimit);
  // Each ID goes in as a blank and the ID within quotes.
  filling.push_back(std::string(kCompanionArgumentsLimit - filled - 3, 'B'));
  ASSERT_EQ(CompanionBatches(filling).size(), 1u);
  EXPECT_EQ(CompanionBatches(filling)[0].arguments.size(), kCompanionArgumentsLimit);
  filling.back() += 'B';
  EXPECT_EQ(CompanionBatches(filling).size(), 2u);
}

// The companion's own removal: each instance in a set of its own, one report each, in order.
TEST(CompanionProtocolTest, RemovesEachInstanceAndReportsWhatBecameOfIt) {
  test::FakeHost host;
  host.AddDevice(kScanner1, {"USB\\Vid_0000&Pid_2206"});
  host.AddDevice(kScanner2, {"USB\\Vid_0000&Pid_2206"}).refusesRemoval = true;
  host.AddDevice(kCamera, {"USB\\Vid_0000&Pid_0990"}).needsRestart = true;
  std::vector<std::string> lines;
  const auto report = [&](const InstanceReport& r) { lines.push_back(FormatInstanceReport(r)); };

  EXPECT_EQ(RemoveInstancesById(host, {kScanner1, "ROOT\\GONE\\0000", kScanner2}, report),
            kExitLeft);
  EXPECT_EQ(lines, (std::vector<std::string>{"removed " + kScanner1, "absent ROOT\\GONE\\0000",
                                             "failed 00000005 " + kScanner2}));
  lines.clear();
  EXPECT_EQ(RemoveInstancesById(host, {kCamera, kScanner1}, report), kExitRestartNeeded);
  EXPECT_EQ(lines, (std::vector<std::string>{"restart " + kCamera, "absent " + kScanner1}));
  EXPECT_EQ(host.JournalOf("device-list").size(), 5u);
  EXPECT_EQ(host.OpenHandleCount(), 0u);
  EXPECT_TRUE(host.faults.empty());
}

}  // namespace
}  // namespace vorsk
