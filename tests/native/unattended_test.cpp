// Runs that nobody watches: the exit status from what the stages left, quiet runs and runs
// without an interactive desktop (no box, lines instead), the log, and the listing of /list.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/run_lock_rule.h"
#include "host/session_rule.h"
#include "removal/run.h"
#include "tests/native/machine.h"

namespace vorsk {
namespace {

using test::kInf;
using test::kScriptPath;

const WindowHandle kFrame{0x4242};
const std::string kScanner = "USB\\VID_0000&PID_2206\\5&2B1C3A7&0&1";
const std::string kEarlierScanner = "USB\\VID_0000&PID_2206\\5&2B1C3A7&0&2";

// The typical road, with the precompiled file already gone.
struct TypicalRoad {
  TypicalRoad() {
    test::AddDriverEntry(host, kImageClassKey, "0003", "usb\\vid_0000&pid_2206", "oem7.inf");
    host.AddFile(kInf + "oem7.inf");
    host.AddDevice(kScanner, {"USB\\Vid_0000&Pid_2206&Rev_0100"});
    host.AddDevice(kEarlierScanner, {"USB\\Vid_0000&Pid_2206&Rev_0100"}, false);
    host.AddKey("SOFTWARE\\Vendor\\Scanner\\Settings");
    host.AddKey("SOFTWARE\\Vendor\\Scanner\\Calibration\\Lamp");
    host.AddFile(kScriptPath,
                 "[RemoveInf]\nImage0=usb\\vid_0000&pid_2206\n[CurrentDev]\nDevNo=1\n"
                 "[1PIDVID]\nNum1=USB\\Vid_0000&Pid_2206\n[1KEY]\nNum=3\n"
                 "Num1=SOFTWARE\\Vendor\\Scanner\nNum2=SOFTWARE\\Vendor\\Gone\nNum3=SOFTWARE\n");
  }
  int Perform(const RunOptions& options = RunOptions()) {
    const int status = PerformRemoval(host, kFrame, options);
    EXPECT_EQ(host.OpenHandleCount(), 0u);
    EXPECT_TRUE(host.faults.empty());
    return status;
  }
  bool Logged(const std::string& line) const {
    return std::find(host.log.begin(), host.log.end(), line) != host.log.end();
  }

  test::FakeHost host;
};

class UnattendedTest : public ::testing::Test, public TypicalRoad {};

const std::string kMissingPnf = "File: C:\\WINDOWS\\Inf\\oem7.pnf is read only,can't be deleted!";

// Absent is done: the missing precompiled file keeps its box but the run is a success.
TEST_F(UnattendedTest, WhatIsAbsentCountsAsDone) {
  EXPECT_EQ(Perform(), kExitCompleted);
  ASSERT_EQ(host.messageBoxes.size(), 1u);
  EXPECT_EQ(host.messageBoxes[0].text, kMissingPnf);
  EXPECT_EQ(host.standardError, "");
  EXPECT_TRUE(Logged("file C:\\WINDOWS\\Inf\\oem7.pnf: absent (error 00000002)"));
  EXPECT_TRUE(Logged("tree SOFTWARE\\Vendor\\Gone: absent"));
  EXPECT_TRUE(Logged("tree SOFTWARE: refused, a top-level key"));
}

// Each kind of leftover makes the status 3; a restart request alone makes it 3010.
TEST_F(UnattendedTest, TheStatusTellsWhatWasLeft) {
  const struct {
    const char* what;
    void (*arrange)(test::FakeHost&);
    int status;
  } cases[] = {
      {"a file that cannot be deleted",
       [](test::FakeHost& h) { h.files[kInf + "oem7.inf"].deleteDenied = true; }, kExitLeft},
      {"an instance that refuses removal",
       [](test::FakeHost& h) { h.devices[1].refusesRemoval = true; }, kExitLeft},
      {"a tree whose subkey cannot go",
       [](test::FakeHost& h) {
         h.FindKey("SOFTWARE\\Vendor\\Scanner\\Calibration\\Lamp")->deleteFailure =
             kErrorAccessDenied;
       },
       kExitLeft},
      {"a removal that asks for a restart",
       [](test::FakeHost& h) { h.devices[0].needsRestart = true; }, kExitRestartNeeded},
      {"a restart and a leftover",
       [](test::FakeHost& h) {
         h.devices[0].needsRestart = true;
         h.devices[1].refusesRemoval = true;
       },
       kExitLeft},
      {"no script", [](test::FakeHost& h) { h.files.erase(kScriptPath); }, kExitScriptMissing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TypicalRoad machine;
    c.arrange(machine.host);
    EXPECT_EQ(machine.Perform(), c.status);
    EXPECT_TRUE(machine.Logged("status " + std::to_string(c.status)));
  }
}

// A quiet run, a listing run, and a run where nobody could see a box, show none: each box is a
// line on standard error and in the log, and the run goes on as with the box.
TEST_F(UnattendedTest, QuietRunsWriteTheirBoxesAsLines) {
  const struct {
    bool quiet;
    bool list;
    bool interactiveDesktop;
  } runs[] = {{true, false, true}, {false, true, true}, {false, false, false}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.list ? "listing" : run.quiet ? "quiet" : "no desktop");
    TypicalRoad machine;
    machine.host.interactiveDesktop = run.interactiveDesktop;
    machine.host.files.erase(kScriptPath);
    RunOptions options;
    options.quiet = run.quiet;
    options.list = run.list;
    EXPECT_EQ(machine.Perform(options), kExitScriptMissing);
    EXPECT_TRUE(machine.host.messageBoxes.empty());
    EXPECT_EQ(machine.host.standardError, "Can't locate at file remove417.ini,uninstall failed!\n");
    EXPECT_TRUE(machine.Logged("message: Can't locate at file remove417.ini,uninstall failed!"));
  }
  host.interactiveDesktop = false;
  host.allocationFailures = 1;
  EXPECT_EQ(Perform(), kExitCompleted);
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(host.standardError, kMissingPnf + "\nerror\n");
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
}

TEST_F(UnattendedTest, TheLogSaysWhoRanWhatAndWhatBecameOfIt) {
  host.devices[1].refusesRemoval = true;
  RunOptions options;
  options.quiet = true;
  Perform(options);
  const std::vector<std::string> expected = {
      "vorsk 1.0.0.1, quiet on Windows 6.1.7601 (32-bit, this program 32-bit) as MACHINE\\admin "
      "(elevated)",
      "the run lock is held by its global name, owned by the administrators (no private "
      "namespace here)",
      "script C:\\WINDOWS\\Setup417\\Remove417.ini",
      "script [RemoveInf] Image0=usb\\vid_0000&pid_2206",
      "Image0 (usb\\vid_0000&pid_2206): driver entry 0003, InfPath oem7.inf",
      "package oem7.inf: no driver store on this machine",
      "package oem7.inf: not uninstalled (error e000023c), the files go alone",
      "file C:\\WINDOWS\\Inf\\oem7.inf: deleted",
      "file C:\\WINDOWS\\Inf\\oem7.pnf: absent (error 00000002)",
      "message: " + kMissingPnf,
      "script [RemoveInf] Image1=",
      "Image1 (): no device ID",
      "script [RemoveInf] USB0=",
      "USB0 (): no device ID",
      "script [CurrentDev] DevNo=1",
      "script [1PIDVID] Num1=USB\\Vid_0000&Pid_2206",
      "script [1PIDVID] Num2=",
      "instance " + kScanner + " (matching USB\\Vid_0000&Pid_2206&Rev_0100): removed",
      "instance " + kEarlierScanner +
          " (matching USB\\Vid_0000&Pid_2206&Rev_0100): left (error "
          "00000005)",
      "script [1KEY] Num=3",
      "script [1KEY] Num1=SOFTWARE\\Vendor\\Scanner",
      "tree SOFTWARE\\Vendor\\Scanner: deleted, 4 keys",
      "script [1KEY] Num2=SOFTWARE\\Vendor\\Gone",
      "tree SOFTWARE\\Vendor\\Gone: absent",
      "script [1KEY] Num3=SOFTWARE",
      "tree SOFTWARE: refused, a top-level key",
      "status 3",
  };
  EXPECT_EQ(host.log, expected);
}

// One run at a time: a run that cannot have the lock in time runs nothing and says so (1618); one
// that cannot have it at all, finds another account's or may not take it runs without it; the
// lock is released when the run ends.
TEST_F(UnattendedTest, OneRunAtATime) {
  host.runLock = RunLock::TimedOut;
  EXPECT_EQ(Perform(), kExitAnotherRun);
  EXPECT_TRUE(Logged("waiting for another run to end"));
  EXPECT_TRUE(Logged("another run did not end within 5 minutes: nothing was run"));
  EXPECT_EQ(host.standardError, "Another run of vorsk did not end in time: nothing was run.\n");
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_TRUE(host.JournalOf("profile").empty());
  EXPECT_TRUE(host.FileExists(kInf + "oem7.inf"));

  // Without a lock to take, the run goes on and says why.
  const std::pair<RunLock, std::string> withoutLock[] = {
      {RunLock::Failed, "the run lock cannot be had (error 00000005): running without it"},
      {RunLock::Squatted,
       "the run lock was made by an account other than SYSTEM or the administrators: running "
       "without it"},
      {RunLock::NotAdministrator,
       "this account is neither SYSTEM nor an administrator: running without the run lock"},
  };
  for (const auto& [lock, line] : withoutLock) {
    TypicalRoad unlocked;
    unlocked.host.runLock = lock;
    EXPECT_EQ(unlocked.Perform(), kExitCompleted) << line;
    EXPECT_TRUE(unlocked.Logged(line)) << line;
    EXPECT_FALSE(unlocked.host.FileExists(kInf + "oem7.inf")) << line;
    EXPECT_TRUE(unlocked.host.faults.empty()) << line;
  }

  TypicalRoad locked;
  EXPECT_EQ(locked.Perform(), kExitCompleted);
  EXPECT_EQ(locked.host.JournalOf("lock"), std::vector<std::string>{"0"});
  EXPECT_EQ(locked.host.journal.back(), "unlock");

  // The log says which lock the run holds.
  const std::pair<RunLockKind, std::string> held[] = {
      {RunLockKind::Both,
       "the run lock is held in the administrators' private namespace and by its global name"},
      {RunLockKind::Private,
       "the run lock is held in the administrators' private namespace (its global name is "
       "another account's, or cannot be had)"},
  };
  for (const auto& [kind, line] : held) {
    TypicalRoad run;
    run.host.runLockKind = kind;
    EXPECT_EQ(run.Perform(), kExitCompleted) << line;
    EXPECT_TRUE(run.Logged(line)) << line;
  }
}

// Where the platform has a private namespace, its lock comes first: a user's object of the
// global name neither holds the run up nor turns the lock off, and a run of an earlier version,
// which holds the global name's lock alone, is still waited for. Without one, the global name's
// lock is all there is.
TEST(RunLockRuleTest, ThePrivateLockAndTheGlobalOne) {
  const struct {
    bool privateHeld;
    RunLock global;
    RunLock lock;
    RunLockKind kind;
    bool releasePrivate;
  } cases[] = {
      {true, RunLock::Acquired, RunLock::Acquired, RunLockKind::Both, false},
      {true, RunLock::Squatted, RunLock::Acquired, RunLockKind::Private, false},
      {true, RunLock::Failed, RunLock::Acquired, RunLockKind::Private, false},
      {true, RunLock::TimedOut, RunLock::TimedOut, RunLockKind::Global, true},
      {false, RunLock::Acquired, RunLock::Acquired, RunLockKind::Global, false},
      {false, RunLock::Squatted, RunLock::Squatted, RunLockKind::Global, false},
      {false, RunLock::TimedOut, RunLock::TimedOut, RunLockKind::Global, false},
      {false, RunLock::NotAdministrator, RunLock::NotAdministrator, RunLockKind::Global, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.privateHeld) + " " + std::to_string(static_cast<int>(c.global)));
    const RunLockOutcome outcome = CombineRunLocks(c.privateHeld, c.global);
    EXPECT_EQ(outcome.lock, c.lock);
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.releasePrivate, c.releasePrivate);
  }
}

// A box nobody can answer is never shown: from Windows Vista on, session 0 holds services alone,
// whatever its window station says; on Windows XP and Server 2003 the console's user is in
// session 0 and sees boxes there.
TEST(SessionRuleTest, BoxesOnlyWhereSomeoneCanAnswerThem) {
  const struct {
    std::optional<bool> visible;
    std::optional<std::uint32_t> session;
    std::uint32_t major;
    bool boxes;
  } cases[] = {
      {true, 0u, 6, false},          // Vista: a scheduled task on a visible window station
      {true, 0u, 10, false},         // Windows 10
      {std::nullopt, 0u, 6, false},  // the window station cannot be read
      {true, 0u, 5, true},           // XP's console user
      {false, 0u, 5, false},         // an XP service
      {true, 1u, 6, true},           // a user's session
      {false, 1u, 10, false},        // a window station nobody sees
      {true, std::nullopt, 10, true},
      {std::nullopt, 2u, 10, true},  // what cannot be told keeps the boxes
  };
  for (const auto& c : cases) {
    DesktopFacts facts;
    facts.visibleWindowStation = c.visible;
    facts.session = c.session;
    facts.windowsMajor = c.major;
    EXPECT_EQ(BoxesCanBeAnswered(facts), c.boxes)
        << c.visible.value_or(false) << " " << c.session.value_or(99) << " " << c.major;
  }
}

// /list changes nothing, shows no box and writes no trace: it lists, and its status says whether
// something the script names is there.
TEST_F(UnattendedTest, ListingChangesNothingAndSaysWhatIsThere) {
  const std::vector<std::string> before = host.RegistrySnapshot();
  RunOptions options;
  options.list = true;

  EXPECT_EQ(Perform(options), kExitLeft);

  EXPECT_EQ(host.standardOutput,
            "Image0 (usb\\vid_0000&pid_2206): driver entry 0003, InfPath oem7.inf\n"
            "  package oem7.inf: no driver store on this machine\n"
            "  file C:\\WINDOWS\\Inf\\oem7.inf: present\n"
            "  file C:\\WINDOWS\\Inf\\oem7.pnf: absent\n"
            "Image1 (): no device ID\n"
            "USB0 (): no device ID\n"
            "instance " +
                kScanner +
                " (matching USB\\Vid_0000&Pid_2206&Rev_0100): present\n"
                "instance " +
                kEarlierScanner +
                " (matching USB\\Vid_0000&Pid_2206&Rev_0100): not plugged in\n"
                "tree SOFTWARE\\Vendor\\Scanner: 4 keys\n"
                "tree SOFTWARE\\Vendor\\Gone: absent\n"
                "tree SOFTWARE: refused, a top-level key\n");
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(host.standardError, "");
  EXPECT_EQ(host.RegistrySnapshot(), before);
  EXPECT_TRUE(host.FileExists(kInf + "oem7.inf"));
  for (const char* kind : {"delete-file", "delete-key", "remove-device", "run"}) {
    EXPECT_TRUE(host.JournalOf(kind).empty()) << kind;
  }

  // After a run, nothing is there: the listing's status is 0. The driver entry stays (the run
  // deletes its files, not the entry).
  EXPECT_EQ(Perform(), kExitCompleted);
  host.standardOutput.clear();
  EXPECT_EQ(Perform(options), kExitCompleted);
  EXPECT_EQ(host.standardOutput,
            "Image0 (usb\\vid_0000&pid_2206): driver entry 0003, InfPath oem7.inf\n"
            "  package oem7.inf: no driver store on this machine\n"
            "  file C:\\WINDOWS\\Inf\\oem7.inf: absent\n"
            "  file C:\\WINDOWS\\Inf\\oem7.pnf: absent\n"
            "Image1 (): no device ID\n"
            "USB0 (): no device ID\n"
            "tree SOFTWARE\\Vendor\\Scanner: absent\n"
            "tree SOFTWARE\\Vendor\\Gone: absent\n"
            "tree SOFTWARE: refused, a top-level key\n");
}

}  // namespace
}  // namespace vorsk
