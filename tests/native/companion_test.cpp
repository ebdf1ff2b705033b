// The hand-over to the 64-bit companion: decided before the walk from the machine, the walk and
// its trace the same either way, the matching instances handed to the companion after the walk as
// one task, and the status from what it reports. Also the companion's own side: its tasks and its
// command line, its report lines, its removals and its status.
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

// After the walk the companion is handed one task with every matching instance in the walk's
// order; it, not vorsk.exe, removes them, and it ends once the walk's task is done.
TEST_F(HandOverTest, TheCompanionRemovesTheMatchingInstancesAfterTheWalk) {
  host.companion = Companion::Works;

  EXPECT_EQ(Walk(), kExitCompleted);

  EXPECT_EQ(host.standardOutput, kTrace);
  EXPECT_EQ(host.JournalOf("start"), std::vector<std::string>{"vorsk64.exe /tasks"});
  EXPECT_EQ(host.JournalOf("task"),
            std::vector<std::string>{"remove " + kScanner1 + " " + kScanner2});
  std::vector<std::string> order;
  for (const std::string& line : host.journal) {
    for (const char* kind : {"start ", "task ", "end ", "remove-device ", "output "}) {
      if (line.rfind(kind, 0) == 0) {
        order.push_back(line.substr(0, line.find(' ')));
      }
    }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"output", "output", "output", "start", "task",
                                             "remove-device", "remove-device", "end"}));
  EXPECT_TRUE(host.devices[0].removed);
  EXPECT_FALSE(host.devices[1].removed);
  EXPECT_TRUE(host.devices[2].removed);
  EXPECT_TRUE(host.messageBoxes.empty());
  // Waited for two minutes and thirty seconds for each of its two instances, then for its end.
  EXPECT_EQ(host.programTimeoutsMs, (std::vector<std::uint32_t>{180000, kCompanionEndWaitMs}));
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
  EXPECT_TRUE(host.JournalOf("start").empty());
  EXPECT_TRUE(host.devices[0].removed);
  EXPECT_TRUE(host.devices[2].removed);
}

TEST_F(HandOverTest, NothingMatchingStartsNoCompanion) {
  host.companion = Companion::Works;
  WalkOn(host, report, "USB\\Vid_0001", "");

  EXPECT_TRUE(host.JournalOf("start").empty());
  EXPECT_EQ(report.Status(), kExitCompleted);
  EXPECT_TRUE(host.messageBoxes.empty());
}

// A companion that is missing, is not the one built with vorsk.exe, cannot start, refuses its
// task, never answers or is cut short: what it did not report removed stays, the user is told
// once, and the run is not a success.
TEST_F(HandOverTest, ACompanionThatDoesNotFinishLeavesTheRestAndIsToldOnce) {
  for (const auto& [companion, logged] : std::vector<std::pair<Companion, std::string>>{
           {Companion::Missing, "vorsk64.exe is missing (error 00000002)"},
           {Companion::Different,
            "vorsk64.exe is not the one built with vorsk.exe (error 00000241)"},
           {Companion::FailsToStart, "vorsk64.exe cannot start (error 000000c1)"},
           {Companion::RefusesCommandLine, "vorsk64.exe ended with status 1"},
           {Companion::Hangs, "vorsk64.exe ended with status 1460"}}) {
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

// A machine under WOW64 with a driver whose package the store holds and two matching instances.
void StagePackageAndInstances(test::FakeHost& host) {
  host.wow64 = true;
  test::AddDriverEntry(host, kImageClassKey, "0003", "usb\\vid_0000&pid_2206", "oem7.inf");
  host.AddPackage("oem7.inf", "vorskscan.inf_amd64_1", "[Version]\r\n");
  host.AddDevice(kScanner1, {"USB\\Vid_0000&Pid_2206&Rev_0100"});
  host.AddDevice(kScanner2, {"USB\\Vid_0000&Pid_2206&Rev_0100"}, false);
  host.AddFile(test::kScriptPath,
               "[RemoveInf]\r\nImage0=usb\\vid_0000&pid_2206\r\n[CurrentDev]\r\nDevNo=1\r\n"
               "[1PIDVID]\r\nNum1=USB\\Vid_0000&Pid_2206\r\n");
}

// One companion serves the run: started at the package's uninstall, handed the walk's instances
// after the walk, each task waited for no longer than its own bound (two and a half minutes for
// the uninstall, two minutes and thirty seconds per instance), and ended once the walk's task is
// done, its status logged once.
TEST(CompanionSessionTest, OneStartServesTheUninstallAndTheInstances) {
  test::FakeHost host;
  StagePackageAndInstances(host);
  host.companion = Companion::Works;
  host.files[test::kScriptPath].content += "[1KEY]\r\nNum=1\r\nNum1=SOFTWARE\\Vendor\\Scanner\r\n";
  host.AddKey("SOFTWARE\\Vendor\\Scanner");

  EXPECT_EQ(PerformRemoval(host, kFrame), kExitCompleted);

  EXPECT_EQ(host.JournalOf("start"), std::vector<std::string>{"vorsk64.exe /tasks"});
  EXPECT_EQ(
      host.JournalOf("task"),
      (std::vector<std::string>{"uninstall oem7.inf", "remove " + kScanner1 + " " + kScanner2}));
  EXPECT_EQ(host.programTimeoutsMs,
            (std::vector<std::uint32_t>{150000, 180000, kCompanionEndWaitMs}));
  EXPECT_TRUE(host.packages.empty());
  EXPECT_TRUE(host.devices[0].removed && host.devices[1].removed);
  const auto ended = std::find(host.log.begin(), host.log.end(), "vorsk64.exe ended with status 0");
  ASSERT_NE(ended, host.log.end());
  EXPECT_EQ(
      std::count_if(host.log.begin(), host.log.end(),
                    [](const std::string& line) { return line.find("ended with") != line.npos; }),
      1);
  EXPECT_NE(
      std::find(host.log.begin(), ended,
                "instance " + kScanner2 + " (matching USB\\Vid_0000&Pid_2206&Rev_0100): removed"),
      ended);
  // Its end comes with the walk's end: the trees go after it.
  const auto end = std::find(host.journal.begin(), host.journal.end(), "end vorsk64.exe");
  const auto tree =
      std::find_if(host.journal.begin(), host.journal.end(),
                   [](const std::string& line) { return line.rfind("deleted-key ", 0) == 0; });
  ASSERT_NE(tree, host.journal.end());
  EXPECT_LT(end, tree);
  EXPECT_EQ(host.OpenHandleCount(), 0u);
  EXPECT_TRUE(host.faults.empty());
}

// A companion that ends at a task without answering it (cut short, or ended when its time ran out)
// leaves what it did not report; the next task starts one of its own, and the user is told once.
// One that is missing is not looked for again.
TEST(CompanionSessionTest, ACompanionThatEndsAtATaskIsStartedAgainForTheNext) {
  const struct {
    Companion companion;
    std::size_t reportsBeforeCut;
    std::vector<std::string> starts;
    std::vector<std::uint32_t> waits;
    const char* ended;
    bool packageGone;
    bool firstInstanceGone;
  } cases[] = {
      {Companion::CutShort,
       1,
       {"vorsk64.exe /tasks", "vorsk64.exe /tasks"},
       {150000, 0, 180000, 0},
       "vorsk64.exe ended with status 3221225477",
       true,
       true},
      {Companion::Hangs,
       0,
       {"vorsk64.exe /tasks", "vorsk64.exe /tasks"},
       {150000, 0, 180000, 0},
       "vorsk64.exe ended with status 1460",
       false,
       false},
      {Companion::Missing,
       0,
       {"vorsk64.exe /tasks"},
       {},
       "vorsk64.exe is missing (error 00000002)",
       false,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ended);
    test::FakeHost host;
    StagePackageAndInstances(host);
    host.companion = c.companion;
    host.companionReportsBeforeCut = c.reportsBeforeCut;

    EXPECT_EQ(PerformRemoval(host, kFrame), kExitLeft);

    EXPECT_EQ(host.JournalOf("start"), c.starts);
    EXPECT_EQ(host.programTimeoutsMs, c.waits);
    EXPECT_EQ(host.packages.empty(), c.packageGone);
    EXPECT_EQ(host.devices[0].removed, c.firstInstanceGone);
    EXPECT_EQ(std::count(host.log.begin(), host.log.end(), c.ended),
              static_cast<std::ptrdiff_t>(c.starts.size()));
    // The instance it did not report is left, as the package is when its report never came.
    EXPECT_NE(std::find(host.log.begin(), host.log.end(),
                        "instance " + kScanner2 +
                            " (matching USB\\Vid_0000&Pid_2206&Rev_0100): left, the companion did "
                            "not report it"),
              host.log.end());
    EXPECT_EQ(host.messageBoxes.size(), 1u);
    EXPECT_EQ(host.OpenHandleCount(), 0u);
    EXPECT_TRUE(host.faults.empty());
  }
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
  // An ID handed twice takes a report each, in their order.
  const auto twice = MatchInstanceReports(
      {kCamera, kCamera}, "removed " + kCamera + "\r\nfailed 00000005 " + kCamera + "\r\n");
  ASSERT_TRUE(twice[0] && twice[1]);
  EXPECT_EQ(twice[0]->outcome, InstanceOutcome::Removed);
  EXPECT_EQ(twice[1]->outcome, InstanceOutcome::Failed);
  for (const char* line :
       {"", "removed", "removed ", "gone ROOT\\A\\0", "failed 5 ROOT\\A\\0",
        "failed 0000000g ROOT\\A\\0", "removed ROOT\\A B", "Removed ROOT\\A\\0"}) {
    EXPECT_FALSE(ParseInstanceReport(line)) << line;
  }
}

// The command line names one task, or "/tasks" alone; anything else is malformed.
TEST(CompanionProtocolTest, TheCommandLineNamesOneTaskOrTheTasksSwitch) {
  using Args = std::vector<std::string>;
  using Kind = CompanionTask::Kind;
  const struct {
    Args arguments;
    Kind kind;
    std::vector<std::string> items;
  } wellFormed[] = {
      {{"/remove", kScanner1, kScanner2}, Kind::Remove, {kScanner1, kScanner2}},
      {{"-REMOVE", "ROOT%5CA%20B"}, Kind::Remove, {"ROOT\\A B"}},
      {{"/remove", std::string(200, 'A')}, Kind::Remove, {std::string(200, 'A')}},
      {{"/uninstall", "oem7.inf"}, Kind::Uninstall, {"oem7.inf"}},
      {{"-Uninstall", "%E6%89%AB.inf"}, Kind::Uninstall, {"\xE6\x89\xAB.inf"}},
      {{"/add", "C:%5Cx%20y%5Ca.inf"}, Kind::Add, {"C:\\x y\\a.inf"}},
  };
  for (const auto& c : wellFormed) {
    const std::optional<CompanionCommand> command = ParseCompanionArguments(c.arguments);
    ASSERT_TRUE(command) << c.arguments[1];
    EXPECT_FALSE(command->tasks);
    EXPECT_EQ(command->task.kind, c.kind);
    EXPECT_EQ(command->task.items, c.items);
    const auto again = ParseCompanionArguments(SplitCommandArguments(TaskArguments(command->task)));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->task.items, c.items);
  }
  const std::optional<CompanionCommand> tasks = ParseCompanionArguments({"/TASKS"});
  ASSERT_TRUE(tasks);
  EXPECT_TRUE(tasks->tasks);
  for (const Args& malformed :
       {Args{}, Args{"/remove"}, Args{kScanner1}, Args{"/list", kScanner1},
        Args{"/remove", kScanner1, ""}, Args{"/remove", "ROOT\\A B"}, Args{"/remove", "ROOT%0A"},
        Args{"/remove", "ROOT%5"}, Args{"/remove", "ROOT%5c"}, Args{"/remove", "ROOT%7F"},
        Args{"/remove", std::string(201, 'A')}, Args{"/removes", kScanner1},
        Args{"/uninstall", "a.inf", "b.inf"}, Args{"/uninstall", "a%5Cb.inf"},
        Args{"/uninstall", "C:x.inf"}, Args{"/uninstall", std::string(256, 'a')},
        Args{"/uninstall", "a%7F.inf"}, Args{"/add"}, Args{"/tasks", "x"}}) {
    EXPECT_FALSE(ParseCompanionArguments(malformed)) << (malformed.empty() ? "" : malformed[0]);
  }
}

// Every name and ID comes back from a task line, and from a report line, as it was: UTF-8 of any
// characters, blanks, quotes, percent signs and backslashes among them.
TEST(CompanionProtocolTest, NamesOfAnyCharactersComeBackAsTheyWere) {
  const std::string names[] = {
      "oem7.inf",
      "my scanner.inf",
      "\xC3\xA9t\xC3\xA9 \"100%\".inf",                // été "100%".inf
      "\xE4\xB9\x9B\xE4\xBA\x85ver \xE4\xB9\x97.inf",  // 乛亅ver 乗.inf
      "\xF0\x9F\x96\xA8.inf",                          // a character beyond the first plane
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string id = "USB\\VID_0000&PID_2206\\" + name;
    const std::string path = "C:\\WINDOWS\\Temp\\" + name;
    for (const CompanionTask& task : {CompanionTask{CompanionTask::Kind::Uninstall, {name}},
                                      CompanionTask{CompanionTask::Kind::Remove, {id, kCamera}},
                                      CompanionTask{CompanionTask::Kind::Add, {path}}}) {
      const std::string line = FormatTask(task);
      // One line of printable ASCII, whatever the names hold.
      EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return c > ' ' || c == ' '; }))
          << line;
      EXPECT_EQ(line.find_first_of("\"\r\n\x7F"), std::string::npos) << line;
      const std::optional<CompanionTask> parsed = ParseTask(line);
      ASSERT_TRUE(parsed) << line;
      EXPECT_EQ(parsed->kind, task.kind);
      EXPECT_EQ(parsed->items, task.items);
    }
    for (const Status error : {kErrorSuccess, kErrorNotAnInstalledOemInf}) {
      const auto uninstall = MatchUninstallReport(
          name, "removed X\r\n" + FormatUninstallReport({error, name}) + "\r\n");
      ASSERT_TRUE(uninstall);
      EXPECT_EQ(uninstall->error, error);
      const std::string published = error == kErrorSuccess ? name : "";
      const auto added = MatchAddReport(path, FormatAddReport({error, published, path}));
      ASSERT_TRUE(added);
      EXPECT_EQ(added->error, error);
      EXPECT_EQ(added->published, published);
    }
    const auto removed = MatchInstanceReports(
        {kCamera, id},
        FormatInstanceReport({InstanceOutcome::RestartNeeded, kErrorSuccess, id}) + "\n");
    EXPECT_FALSE(removed[0]);
    ASSERT_TRUE(removed[1]);
    EXPECT_EQ(removed[1]->outcome, InstanceOutcome::RestartNeeded);
  }
  for (const char* line : {"", "uninstall", "uninstall ", "uninstall  a.inf", "uninstall a.inf ",
                           "uninstall a b", "Uninstall a.inf", "remove", "remove a%", "add",
                           "add a b", "uninstall a%2Fb.inf", "list a"}) {
    EXPECT_FALSE(ParseTask(line)) << line;
  }
  EXPECT_FALSE(ParseUninstallReport("failed 00000000 a.inf"));
  EXPECT_FALSE(ParseUninstallReport("uninstalled "));
  EXPECT_FALSE(ParseUninstallReport("uninstalled a b.inf"));
  EXPECT_FALSE(MatchUninstallReport("a.inf", "uninstalled b.inf\r\n"));
  // An escape cut short by the end of the text is no escape, whatever follows it in memory.
  EXPECT_FALSE(PercentUnescaped(std::string_view("ROOT%41", 6)));
  EXPECT_FALSE(PercentUnescaped(std::string_view("ROOT%41", 5)));
}

// A task's answer is whole once a whole line ends it with the task's status.
TEST(CompanionProtocolTest, TheAnswerToATaskEndsWithItsStatus) {
  EXPECT_TRUE(AnswersTask("removed A\r\ndone 0\r\n"));
  EXPECT_TRUE(AnswersTask("done 3010\n"));
  EXPECT_TRUE(AnswersTask("done 3\r\nremoved A\r"));
  for (const char* unanswered : {"", "removed A\r\n", "done 0", "done 0\r", "done 1\r\n",
                                 "done 00\r\n", " done 0\n", "Done 0\n"}) {
    EXPECT_FALSE(AnswersTask(unanswered)) << unanswered;
  }
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

// Many long IDs do not fit one task line: they go in as few tasks as fit, in order, and each
// task's line gives back exactly its IDs.
TEST(CompanionProtocolTest, IdsThatDoNotFitOneTaskAreSplitInOrder) {
  std::vector<std::string> instanceIds;
  for (int i = 0; i < 400; ++i) {
    std::string id = "USB\\VID_0000&PID_2206\\" + std::to_string(i) + "\\\"";
    id.resize(200, '\\');
    instanceIds.push_back(id);
  }
  const std::vector<CompanionTask> tasks = RemovalTasks(instanceIds);
  ASSERT_GT(tasks.size(), 1u);
  std::vector<std::string> again;
  for (const CompanionTask& task : tasks) {
    const std::string line = FormatTask(task);
    EXPECT_LE(line.size(), kCompanionArgumentsLimit);
    const auto parsed = ParseTask(line);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->items, task.items);
    again.insert(again.end(), parsed->items.begin(), parsed->items.end());
  }
  EXPECT_EQ(again, instanceIds);
  EXPECT_EQ(RemovalTasks({kScanner1}).size(), 1u);

  // A line of exactly the limit still goes in one task; one character more takes two.
  std::vector<std::string> filling(100, std::string(199, 'A'));
  const std::size_t filled = FormatTask(RemovalTasks(filling)[0]).size();
  ASSERT_LT(filled + 2, kCompanionArgumentsLimit);
  // Each ID goes in as a blank and the escaped ID.
  filling.push_back(std::string(kCompanionArgumentsLimit - filled - 1, 'B'));
  ASSERT_EQ(RemovalTasks(filling).size(), 1u);
  EXPECT_EQ(FormatTask(RemovalTasks(filling)[0]).size(), kCompanionArgumentsLimit);
  filling.back() += 'B';
  EXPECT_EQ(RemovalTasks(filling).size(), 2u);
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
