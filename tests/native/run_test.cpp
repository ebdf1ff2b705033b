// The removal run: locating and checking the script, the order of its work, its exit status.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "removal/run.h"
#include "tests/fake_host.h"

namespace vorsk {
namespace {

const std::string kScript = "C:\\WINDOWS\\Setup417\\Remove417.ini";
const WindowHandle kFrame{0x4242};

// A machine with something of every kind that a run could touch.
void StageMachine(test::FakeHost& host) {
  host.AddFile("C:\\WINDOWS\\Inf\\oem7.inf");
  host.AddFile("C:\\WINDOWS\\Inf\\oem7.pnf");
  host.SetString("SYSTEM\\ControlSet001\\Control\\class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000",
                 "MatchingDeviceId", "");
  host.SetString("SYSTEM\\ControlSet001\\Control\\class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000",
                 "InfPath", "oem7.inf");
  host.AddKey("SOFTWARE\\Vendor\\Scanner\\Settings");
  host.AddDevice("ROOT\\IMAGE\\0000", {"USB\\Vid_0000&Pid_0000"});
}

void ExpectMissingScriptReported(const test::FakeHost& host, int status) {
  EXPECT_EQ(status, kExitScriptMissing);
  ASSERT_EQ(host.messageBoxes.size(), 1u);
  const test::MessageBoxRecord& box = host.messageBoxes[0];
  EXPECT_EQ(box.owner, kFrame);
  EXPECT_EQ(box.text, "Can't locate at file remove417.ini,uninstall failed!");
  EXPECT_EQ(box.caption, std::optional<std::string>(""));
  EXPECT_EQ(box.type, kMbIconInformation);
}

// Nothing is read, deleted or removed, and nothing is left open.
void ExpectNothingTouched(test::FakeHost& host, const std::vector<std::string>& registryBefore) {
  EXPECT_TRUE(host.JournalOf("profile").empty());
  EXPECT_TRUE(host.JournalOf("delete-file").empty());
  EXPECT_TRUE(host.JournalOf("delete-key").empty());
  EXPECT_TRUE(host.JournalOf("device-set").empty());
  EXPECT_EQ(host.RegistrySnapshot(), registryBefore);
  EXPECT_TRUE(host.FileExists("C:\\WINDOWS\\Inf\\oem7.inf"));
  EXPECT_FALSE(host.devices[0].removed);
  EXPECT_EQ(host.standardOutput, "");
  EXPECT_EQ(host.OpenHandleCount(), 0u);
  EXPECT_TRUE(host.faults.empty());
}

TEST(RunTest, MissingScriptIsReportedOnceAndEndsWithFileNotFound) {
  test::FakeHost host;
  StageMachine(host);
  const auto registryBefore = host.RegistrySnapshot();

  const int status = PerformRemoval(host, kFrame);

  ExpectMissingScriptReported(host, status);
  ExpectNothingTouched(host, registryBefore);
}

TEST(RunTest, ScriptHeldOpenForWritingIsReportedAsMissing) {
  test::FakeHost host;
  StageMachine(host);
  host.AddFile(kScript, "[CurrentDev]\nDevNo=1\n");
  host.files[kScript].heldOpenForWriting = true;
  const auto registryBefore = host.RegistrySnapshot();

  const int status = PerformRemoval(host, kFrame);

  ExpectMissingScriptReported(host, status);
  ExpectNothingTouched(host, registryBefore);
}

TEST(RunTest, ScriptIsClosedBeforeTheFirstStage) {
  test::FakeHost host;
  host.AddFile(kScript, "[CurrentDev]\nDevNo=1\n");

  EXPECT_EQ(PerformRemoval(host, kFrame), kExitCompleted);

  const std::vector<std::string>& journal = host.journal;
  ASSERT_GE(journal.size(), 3u);
  EXPECT_EQ(journal[0], "open " + kScript);
  EXPECT_EQ(journal[1], "close " + kScript);
  EXPECT_EQ(journal[2].rfind("profile ", 0), 0u);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "open " + kScript), 1);
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(host.OpenHandleCount(), 0u);
}

TEST(RunTest, EmptyScriptCompletesWithEveryDefault) {
  test::FakeHost host;
  host.AddFile(kScript, "");

  EXPECT_EQ(PerformRemoval(host, kFrame), kExitCompleted);
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_TRUE(host.faults.empty());
  EXPECT_EQ(host.OpenHandleCount(), 0u);
}

// Without a Windows directory the directory part stays empty: the script is looked for in the
// Setup417 folder at the root of the current drive.
TEST(RunTest, FailedWindowsDirectoryQueryLooksAtTheDriveRoot) {
  test::FakeHost host;
  host.windowsDirectoryFails = true;
  host.AddFile("\\Setup417\\Remove417.ini", "");

  EXPECT_EQ(PerformRemoval(host, kFrame), kExitCompleted);
  EXPECT_EQ(host.journal.front(), "open \\Setup417\\Remove417.ini");
  EXPECT_TRUE(host.messageBoxes.empty());
}

// The script path holds at most 259 characters; a longer one is never cut into another path.
TEST(RunTest, ScriptPathOverItsLimitIsReportedAsMissing) {
  const std::string tail = "\\Setup417\\Remove417.ini";
  for (const std::size_t pathLength : {259u, 260u}) {
    SCOPED_TRACE(pathLength);
    test::FakeHost host;
    host.windowsDirectory = "C:\\" + std::string(pathLength - tail.size() - 3, 'w');
    host.AddFile(host.windowsDirectory + tail, "");
    host.AddFile((host.windowsDirectory + tail).substr(0, 259), "");

    const int status = PerformRemoval(host, kFrame);

    if (pathLength == 259) {
      EXPECT_EQ(status, kExitCompleted);
      EXPECT_TRUE(host.messageBoxes.empty());
    } else {
      ExpectMissingScriptReported(host, status);
      EXPECT_TRUE(host.JournalOf("open").empty());
    }
  }
}

TEST(RunTest, BuildScriptPathJoinsTheWindowsDirectoryAndTheScriptName) {
  EXPECT_EQ(BuildScriptPath("C:\\WINDOWS"), "C:\\WINDOWS\\Setup417\\Remove417.ini");
  EXPECT_EQ(BuildScriptPath(""), "\\Setup417\\Remove417.ini");
  EXPECT_EQ(BuildScriptPath(std::string(237, 'w')), std::nullopt);
}

}  // namespace
}  // namespace vorsk
