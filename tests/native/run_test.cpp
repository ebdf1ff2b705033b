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
  host.SetString(
      "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000",
      "MatchingDeviceId", "");
  host.SetString(
      "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000",
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

// The script is opened for reading, sharing reading: another program reading it does not keep
// the run from it.
TEST(RunTest, ScriptThatAnotherProgramReadsIsRead) {
  test::FakeHost host;
  StageMachine(host);
  host.AddFile(kScript, "[1KEY]\nNum=1\nNum1=SOFTWARE\\Vendor\\Scanner\n[CurrentDev]\nDevNo=1\n");
  host.files[kScript].heldOpenForReading = true;

  EXPECT_EQ(PerformRemoval(host, kFrame), kExitCompleted);
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
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

  // The run lock comes first; then the script is opened, closed, and only then read.
  const std::vector<std::string>& journal = host.journal;
  ASSERT_GE(journal.size(), 4u);
  EXPECT_EQ(journal[0].rfind("lock ", 0), 0u);
  EXPECT_EQ(journal[1], "open " + kScript);
  EXPECT_EQ(journal[2], "close " + kScript);
  EXPECT_EQ(journal[3].rfind("profile ", 0), 0u);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "open " + kScript), 1);
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(host.OpenHandleCount(), 0u);
}

// Every entry takes its default: the empty IDs name no driver entry (not even one whose
// MatchingDeviceId is empty, another driver's), every hardware ID is traced but nothing matches
// the empty prefixes, and five empty key paths are skipped.
TEST(RunTest, EmptyScriptCompletesWithEveryDefault) {
  test::FakeHost host;
  StageMachine(host);
  host.AddFile(kScript, "");
  const auto registryBefore = host.RegistrySnapshot();

  EXPECT_EQ(PerformRemoval(host, kFrame), kExitCompleted);

  EXPECT_EQ(host.JournalOf("profile"),
            (std::vector<std::string>{"RemoveInf/Image0", "RemoveInf/Image1", "RemoveInf/USB0",
                                      "CurrentDev/DevNo", "PIDVID/Num1", "PIDVID/Num2", "KEY/Num",
                                      "KEY/Num1", "KEY/Num2", "KEY/Num3", "KEY/Num4", "KEY/Num5"}));
  EXPECT_TRUE(host.FileExists("C:\\WINDOWS\\Inf\\oem7.inf"));
  EXPECT_TRUE(host.JournalOf("delete-file").empty());
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(host.standardOutput, "Compare device ID: [USB\\Vid_0000&Pid_0000]\n");
  EXPECT_FALSE(host.devices[0].removed);
  EXPECT_EQ(host.RegistrySnapshot(), registryBefore);
  EXPECT_TRUE(host.faults.empty());
  EXPECT_EQ(host.OpenHandleCount(), 0u);
}

// The road of a typical removal: each entry is read just before it is used, and the stages run
// in their order.
TEST(RunTest, TypicalRoadReadsEachEntryJustBeforeItsUse) {
  test::FakeHost host;
  const std::string classKey =
      "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
  host.SetString(classKey + "\\0003", "MatchingDeviceId", "usb\\vid_0000&pid_2206");
  host.SetString(classKey + "\\0003", "InfPath", "oem7.inf");
  host.AddFile("C:\\WINDOWS\\Inf\\oem7.inf");
  host.AddFile("C:\\WINDOWS\\Inf\\oem7.pnf");
  host.AddDevice("USB\\VID_0000&PID_2206\\1", {"USB\\Vid_0000&Pid_2206&Rev_0100"});
  host.AddDevice("USB\\VID_0000&PID_2206\\2", {"USB\\Vid_0000&Pid_2206&Rev_0100"}, false);
  host.AddDevice("USB\\VID_0000&PID_C077\\1", {"USB\\Vid_0000&Pid_c077"});
  host.AddKey("SOFTWARE\\Vendor\\Scanner\\Settings");
  host.AddKey("SOFTWARE\\Vendor\\Utilities");
  host.AddKey("SOFTWARE\\Vendor\\Keep");
  host.AddFile(kScript,
               "[RemoveInf]\r\nImage0=usb\\vid_0000&pid_2206\r\n[CurrentDev]\r\nDevNo=1\r\n"
               "[1PIDVID]\r\nNum1=USB\\Vid_0000&Pid_2206\r\nNum2=USB\\Vid_0000&Pid_2207\r\n"
               "[1KEY]\r\nNum=2\r\nNum1=SOFTWARE\\Vendor\\Scanner\r\n"
               "Num2=SOFTWARE\\Vendor\\Utilities\r\n");

  EXPECT_EQ(PerformRemoval(host, kFrame), kExitCompleted);

  std::vector<std::string> road;
  for (const std::string& line : host.journal) {
    for (const char* kind : {"profile ", "deleted-file ", "remove-device ", "deleted-key "}) {
      if (line.rfind(kind, 0) == 0) {
        road.push_back(line);
      }
    }
  }
  EXPECT_EQ(road, (std::vector<std::string>{
                      "profile RemoveInf/Image0",
                      "deleted-file C:\\WINDOWS\\Inf\\oem7.inf",
                      "deleted-file C:\\WINDOWS\\Inf\\oem7.pnf",
                      "profile RemoveInf/Image1",
                      "profile RemoveInf/USB0",
                      "profile CurrentDev/DevNo",
                      "profile 1PIDVID/Num1",
                      "profile 1PIDVID/Num2",
                      "remove-device USB\\VID_0000&PID_2206\\1",
                      "remove-device USB\\VID_0000&PID_2206\\2",
                      "profile 1KEY/Num",
                      "profile 1KEY/Num1",
                      "deleted-key SOFTWARE\\Vendor\\Scanner\\Settings",
                      "deleted-key SOFTWARE\\Vendor\\Scanner",
                      "profile 1KEY/Num2",
                      "deleted-key SOFTWARE\\Vendor\\Utilities",
                  }));
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_FALSE(host.devices[2].removed);
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor\\Keep"));
  EXPECT_EQ(host.OpenHandleCount(), 0u);
}

// A script without CurrentDev reads the sections PIDVID and KEY; names match in any case.
TEST(RunTest, DeviceNumberNamesTheSectionsOfTheLaterStages) {
  test::FakeHost host;
  host.AddKey("SOFTWARE\\Vendor\\A");
  host.AddKey("SOFTWARE\\Vendor\\B");
  host.AddFile(kScript,
               "[key]\r\nnum=1\r\nNUM1=SOFTWARE\\Vendor\\A\r\n"
               "[7KEY]\r\nNum=1\r\nNum1=SOFTWARE\\Vendor\\B\r\n");

  EXPECT_EQ(PerformRemoval(host, kFrame), kExitCompleted);

  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\A"));
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor\\B"));
}

// Without a Windows directory there is no script: the Setup417 folder at the root of the
// current drive, which any user may create, is never read.
TEST(RunTest, FailedWindowsDirectoryQueryIsReportedAsAMissingScript) {
  test::FakeHost host;
  StageMachine(host);
  host.windowsDirectoryFails = true;
  host.AddFile("\\Setup417\\Remove417.ini",
               "[1KEY]\r\nNum=1\r\nNum1=SOFTWARE\\Vendor\\Scanner\r\n");
  const auto registryBefore = host.RegistrySnapshot();

  ExpectMissingScriptReported(host, PerformRemoval(host, kFrame));
  EXPECT_TRUE(host.JournalOf("open").empty());
  ExpectNothingTouched(host, registryBefore);
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

// A Windows directory that does not fit its 260-character buffer never becomes the empty
// directory of a failed query.
TEST(RunTest, WindowsDirectoryOverItsBufferIsReportedAsAMissingScript) {
  test::FakeHost host;
  host.windowsDirectory = "C:\\" + std::string(300, 'w');
  host.AddFile("\\Setup417\\Remove417.ini", "");

  ExpectMissingScriptReported(host, PerformRemoval(host, kFrame));
  EXPECT_TRUE(host.JournalOf("open").empty());
}

TEST(RunTest, BuildScriptPathJoinsTheWindowsDirectoryAndTheScriptName) {
  EXPECT_EQ(BuildScriptPath("C:\\WINDOWS"), "C:\\WINDOWS\\Setup417\\Remove417.ini");
  EXPECT_EQ(BuildScriptPath(""), "\\Setup417\\Remove417.ini");
  EXPECT_EQ(BuildScriptPath(std::string(237, 'w')), std::nullopt);
}

}  // namespace
}  // namespace vorsk
