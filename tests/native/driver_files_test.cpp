// Driver file removal: which entry is acted on, which files go, and what is reported.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "cleanup/driver_files.h"
#include "cleanup/removing.h"
#include "cleanup/stages.h"
#include "report/exit_status.h"
#include "tests/native/machine.h"

namespace vorsk {
namespace {

using test::AddDriverEntry;
using test::AddInfPair;
using test::kInf;
using test::kScriptPath;

// A single-byte code page: no byte begins a double-byte character.
const auto kNoLeadBytes = [](std::uint8_t) { return false; };

class DriverFilesTest : public ::testing::Test {
 protected:
  void Script(const std::string& removeInf) {
    host.AddFile(kScriptPath, "[RemoveInf]\r\n" + removeInf);
  }
  void Run() { RemoveDriverFiles(host, report, kScriptPath, act); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const test::MessageBoxRecord& box : host.messageBoxes) {
      texts.push_back(box.text);
    }
    return texts;
  }
  void TearDown() override {
    EXPECT_EQ(host.OpenHandleCount(), 0u);
    EXPECT_TRUE(host.faults.empty());
  }

  test::FakeHost host;
  RunReport report{host, kNoOwner};
  RemovingActions act{host, report, false};
};

TEST_F(DriverFilesTest, FirstMatchingEntryLosesItsInfAndPrecompiledFile) {
  Script("Image0=usb\\vid_0000&pid_0000\r\n");
  AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0001", "oem3.inf");
  AddDriverEntry(host, kImageClassKey, "0001", "usb\\vid_0000&pid_0000", "oem12.inf");
  AddInfPair(host, "oem3");
  AddInfPair(host, "oem12");

  Run();

  EXPECT_EQ(host.JournalOf("deleted-file"),
            (std::vector<std::string>{kInf + "oem12.inf", kInf + "oem12.pnf"}));
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_TRUE(host.FileExists(kInf + "oem3.inf"));
}

// The driver entries are those of the running control set; a stale set beside it (here numbered
// 001, as the running set is not on every machine) names another driver's files, which stay.
TEST_F(DriverFilesTest, EntriesOfAStaleControlSetAreLeftAlone) {
  Script("Image0=usb\\vid_0000&pid_0000\r\nUSB0=usb\\vid_0000&pid_0000\r\n");
  for (const char* stale : {"SYSTEM\\ControlSet001\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-"
                            "08002BE2092F}",
                            "SYSTEM\\ControlSet001\\Control\\Class\\{36FC9E60-C465-11CF-8056-"
                            "444553540000}"}) {
    AddDriverEntry(host, stale, "0000", "usb\\vid_0000&pid_0000", "oem40.inf");
  }
  AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0000&pid_0000", "oem12.inf");
  AddInfPair(host, "oem40");
  AddInfPair(host, "oem12");

  Run();

  EXPECT_TRUE(host.FileExists(kInf + "oem40.inf"));
  EXPECT_TRUE(host.FileExists(kInf + "oem40.pnf"));
  EXPECT_FALSE(host.FileExists(kInf + "oem12.inf"));
  EXPECT_TRUE(host.messageBoxes.empty());
}

TEST_F(DriverFilesTest, MissingPrecompiledFileIsReportedWithTheDefaultCaption) {
  Script("Image0=usb\\vid_0000\r\n");
  AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0000", "oem12.inf");
  host.AddFile(kInf + "oem12.inf", "", kFileAttributeReadOnly);

  Run();

  // The read-only INF goes without a message; only the absent twin is reported.
  EXPECT_FALSE(host.FileExists(kInf + "oem12.inf"));
  ASSERT_EQ(host.messageBoxes.size(), 1u);
  const test::MessageBoxRecord& box = host.messageBoxes[0];
  EXPECT_EQ(box.text, "File: C:\\WINDOWS\\Inf\\oem12.pnf is read only,can't be deleted!");
  EXPECT_EQ(box.owner, kNoOwner);
  EXPECT_EQ(box.caption, std::nullopt);
  EXPECT_EQ(box.type, kMbOk);
}

TEST_F(DriverFilesTest, FileThatCannotBeDeletedIsReportedAndTheTwinStillGoes) {
  Script("Image0=usb\\vid_0000\r\n");
  AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0000", "oem7.inf");
  AddInfPair(host, "oem7");
  host.files[kInf + "oem7.inf"].deleteDenied = true;

  Run();

  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "File: C:\\WINDOWS\\Inf\\oem7.inf is read only,can't be deleted!"});
  EXPECT_TRUE(host.FileExists(kInf + "oem7.inf"));
  EXPECT_FALSE(host.FileExists(kInf + "oem7.pnf"));
}

// An entry whose MatchingDeviceId cannot be read (missing, or over 256 bytes) does not end the
// scan: the matching entry after it still loses its files.
TEST_F(DriverFilesTest, UnreadableMatchingDeviceIdIsSkipped) {
  Script("Image0=usb\\vid_0000\r\n");
  AddDriverEntry(host, kImageClassKey, "0000", std::nullopt, "oem1.inf");
  AddDriverEntry(host, kImageClassKey, "0001", std::string(256, 'x'), "oem2.inf");
  AddDriverEntry(host, kImageClassKey, "0002", "usb\\vid_0000", "oem3.inf");
  AddInfPair(host, "oem1");
  AddInfPair(host, "oem2");
  AddInfPair(host, "oem3");

  Run();

  EXPECT_EQ(host.JournalOf("deleted-file"),
            (std::vector<std::string>{kInf + "oem3.inf", kInf + "oem3.pnf"}));
}

TEST_F(DriverFilesTest, OnlyTheFirstOfTwoMatchingEntriesIsActedOn) {
  Script("Image0=usb\\vid_0000\r\n");
  AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0000", "oem1.inf");
  AddDriverEntry(host, kImageClassKey, "0001", "usb\\vid_0000", "oem2.inf");
  AddInfPair(host, "oem1");
  AddInfPair(host, "oem2");

  Run();

  EXPECT_FALSE(host.FileExists(kInf + "oem1.inf"));
  EXPECT_TRUE(host.FileExists(kInf + "oem2.inf"));
  EXPECT_TRUE(host.FileExists(kInf + "oem2.pnf"));
}

// On the first matching entry, an InfPath that cannot be read, or that is not a plain file
// name in the INF directory, ends the scan: nothing is deleted and nothing is shown.
TEST_F(DriverFilesTest, UnusableInfPathOnTheFirstMatchEndsTheScan) {
  const std::vector<std::optional<std::string>> infPaths = {std::nullopt,
                                                            std::string(256, 'o'),
                                                            "",
                                                            ".",
                                                            "..",
                                                            "..\\system32\\kernel32.dll",
                                                            "sub\\oem.inf",
                                                            "C:oem.inf",
                                                            "/oem.inf",
                                                            "NUL",
                                                            "CON",
                                                            "COM1.inf",
                                                            "lpt9",
                                                            "AUX.pnf",
                                                            "con .inf",
                                                            "oem\n7.inf",
                                                            "oem|7.inf"};
  for (const auto& infPath : infPaths) {
    SCOPED_TRACE(infPath.value_or("(absent)"));
    test::FakeHost machine;
    machine.AddFile(kScriptPath, "[RemoveInf]\r\nImage0=usb\\vid_0000\r\n");
    AddDriverEntry(machine, kImageClassKey, "0000", "usb\\vid_0000", infPath);
    AddDriverEntry(machine, kImageClassKey, "0001", "usb\\vid_0000", "oem2.inf");
    AddInfPair(machine, "oem2");
    machine.AddFile("C:\\WINDOWS\\system32\\kernel32.dll");

    RunReport report(machine, kNoOwner);
    RemovingActions act(machine, report, false);
    RemoveDriverFiles(machine, report, kScriptPath, act);

    EXPECT_TRUE(machine.JournalOf("delete-file").empty());
    EXPECT_TRUE(machine.messageBoxes.empty());
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
  }
}

// Names that only look like devices' are files' names.
TEST_F(DriverFilesTest, DeviceNamesAreTheExactOnes) {
  for (const char* device : {"NUL", "nul.inf", "Com7", "LPT1.x.y", "aux  .inf", "PRN"}) {
    EXPECT_TRUE(IsReservedDeviceName(device)) << device;
  }
  for (const char* file : {"COM0", "LPT10.inf", "nulls.inf", "oem7.inf", "CONSOLE", "xnul"}) {
    EXPECT_FALSE(IsReservedDeviceName(file)) << file;
    EXPECT_TRUE(IsPlainFileName(file, kNoLeadBytes)) << file;
  }
}

// Every control character and every reserved character refuses a name, wherever it stands; the
// blank, the other printable characters and the code page's own letters do not.
TEST_F(DriverFilesTest, PlainFileNamesHoldNoControlOrReservedCharacter) {
  std::vector<char> refused;
  for (char c = '\x01'; c < ' '; ++c) {
    refused.push_back(c);
  }
  for (const char c : std::string_view("<>:\"/\\|?*")) {
    refused.push_back(c);
  }
  for (const char c : refused) {
    for (const std::string& name :
         {std::string(1, c) + "oem7.inf", "oem" + std::string(1, c) + "7.inf",
          "oem7.inf" + std::string(1, c)}) {
      EXPECT_FALSE(IsPlainFileName(name, kNoLeadBytes)) << "character " << static_cast<int>(c);
    }
  }
  for (const char* name : {"oem 7.inf", "oem~7!#$%&'()+,;=@[]^_`{}.inf", "oem\xe9.inf", ".inf"}) {
    EXPECT_TRUE(IsPlainFileName(name, kNoLeadBytes)) << name;
  }
}

// In a double-byte code page a character's second byte is no character of its own: 乛亅乗 (81 5E,
// 81 7C, 81 5C in code page 936) is a plain name there, and in a single-byte code page the same
// bytes hold '|' and '\'. A lead byte at the very end has no second byte to take.
TEST_F(DriverFilesTest, PlainFileNamesTakeDoubleByteCharactersWhole) {
  const auto gbk = [](std::uint8_t byte) { return byte >= 0x81 && byte <= 0xFE; };
  const struct {
    std::string name;
    bool plainInGbk;
    bool plainInSingleBytes;
  } cases[] = {
      {"\x81\x5e\x81\x7cver \x81\x5c.inf", true, false},
      {"oem\x81\x5c", true, false},
      {"oem\x81|7.inf", true, false},
      {"oem\x81\\\\x.inf", false, false},  // the lead byte takes the first '\\' only
      {"oem7.inf\x81", true, true},
      {"\x81\x7c\\oem7.inf", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPlainFileName(c.name, gbk), c.plainInGbk) << c.name;
    EXPECT_EQ(IsPlainFileName(c.name, kNoLeadBytes), c.plainInSingleBytes) << c.name;
  }
}

TEST_F(DriverFilesTest, PrecompiledNameReplacesTheExtensionOfTheFileNameOnly) {
  EXPECT_EQ(PrecompiledPath("C:\\WINDOWS\\Inf\\oem12.inf"), "C:\\WINDOWS\\Inf\\oem12.pnf");
  EXPECT_EQ(PrecompiledPath("C:\\WINDOWS\\Inf\\a.b.inf"), "C:\\WINDOWS\\Inf\\a.b.pnf");
  EXPECT_EQ(PrecompiledPath("C:\\WINDOWS\\Inf\\name.x"), "C:\\WINDOWS\\Inf\\name.pnf");
  EXPECT_EQ(PrecompiledPath("C:\\WINDOWS\\Inf\\oem7"), "C:\\WINDOWS\\Inf\\oem7.pnf");
  EXPECT_EQ(PrecompiledPath("C:\\WIN.NT\\Inf\\oem7"), "C:\\WIN.NT\\Inf\\oem7.pnf");
}

// With a Windows directory whose name holds a '.', an INF name without an extension must not
// derive a path outside the INF directory.
TEST_F(DriverFilesTest, InfNameWithoutExtensionNeverReachesOutsideTheInfDirectory) {
  host.windowsDirectory = "C:\\WIN.NT";
  Script("Image0=usb\\vid_0000\r\n");
  AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0000", "oem7");
  host.AddFile("C:\\WIN.NT\\Inf\\oem7");
  host.AddFile("C:\\WIN.NT\\Inf\\oem7.pnf");
  host.AddFile("C:\\WIN.pnf");

  Run();

  EXPECT_EQ(host.JournalOf("delete-file"),
            (std::vector<std::string>{"C:\\WIN.NT\\Inf\\oem7", "C:\\WIN.NT\\Inf\\oem7.pnf"}));
  EXPECT_TRUE(host.FileExists("C:\\WIN.pnf"));
  EXPECT_TRUE(host.messageBoxes.empty());
}

// The second lookup finds the same entry again and reports both files, INF first.
TEST_F(DriverFilesTest, EqualImageIdsReportTheAlreadyDeletedFilesTwice) {
  Script("Image0=usb\\vid_0000\r\nImage1=usb\\vid_0000\r\n");
  AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0000", "oem7.inf");
  AddInfPair(host, "oem7");

  Run();

  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "File: C:\\WINDOWS\\Inf\\oem7.inf is read only,can't be deleted!",
                            "File: C:\\WINDOWS\\Inf\\oem7.pnf is read only,can't be deleted!"}));
}

TEST_F(DriverFilesTest, EachIdIsLookedUpInItsOwnClassKey) {
  Script("Image0=usb\\vid_0001\r\nImage1=usb\\vid_0002\r\nUSB0=usb\\vid_0003\r\n");
  // Each ID is present in the other class key only, apart from USB0.
  AddDriverEntry(host, kUsbClassKey, "0000", "usb\\vid_0001", "oem1.inf");
  AddDriverEntry(host, kUsbClassKey, "0001", "usb\\vid_0002", "oem2.inf");
  AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0003", "oem3.inf");
  AddDriverEntry(host, kUsbClassKey, "0002", "usb\\vid_0003", "oem4.inf");
  for (const char* stem : {"oem1", "oem2", "oem3", "oem4"}) {
    AddInfPair(host, stem);
  }

  Run();

  EXPECT_EQ(host.JournalOf("deleted-file"),
            (std::vector<std::string>{kInf + "oem4.inf", kInf + "oem4.pnf"}));
  EXPECT_EQ(host.JournalOf("profile"),
            (std::vector<std::string>{"RemoveInf/Image0", "RemoveInf/Image1", "RemoveInf/USB0"}));
}

// Device IDs compare as whole strings, letter case aside; an ID from the script is cut to 34
// characters; an empty ID matches only an empty MatchingDeviceId.
TEST_F(DriverFilesTest, DeviceIdComparison) {
  struct Case {
    std::string scriptId;
    std::string matchingDeviceId;
    bool matches;
  };
  const std::string long40 = "usb\\vid_0000&pid_0000&rev_0100&mi_00xxx";
  const std::vector<Case> cases = {
      {"USB\\VID_0000&PID_0000", "usb\\vid_0000&pid_0000", true},
      {"usb\\vid_0000&pid_0000", "USB\\Vid_0000&Pid_0000", true},
      {"usb\\vid_0000", "usb\\vid_0000&pid_0000", false},
      {"usb\\vid_0000&pid_0000", "usb\\vid_0000", false},
      {long40, long40.substr(0, 34), true},
      {long40, long40, false},
      {"", "", false},  // an empty ID names no driver
      {"", "usb\\vid_0000", false},
      // Every letter folds, and nothing else: the neighbours of the letters' ranges stay apart.
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz", true},
      {"abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", true},
      {"usb\\@", "usb\\`", false},
      {"usb\\[", "usb\\{", false},
      {"usb\\]^_", "usb\\}~\x7f", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scriptId + " against " + c.matchingDeviceId);
    test::FakeHost machine;
    machine.AddFile(kScriptPath, "[RemoveInf]\r\nImage0=" + c.scriptId + "\r\n");
    AddDriverEntry(machine, kImageClassKey, "0000", c.matchingDeviceId, "oem7.inf");
    AddInfPair(machine, "oem7");

    RunReport report(machine, kNoOwner);
    RemovingActions act(machine, report, false);
    RemoveDriverFiles(machine, report, kScriptPath, act);

    EXPECT_EQ(machine.FileExists(kInf + "oem7.inf"), !c.matches);
  }
}

// Values that are not zero-terminated, or of another type than a string, are read as text up to
// their first zero or their end.
TEST_F(DriverFilesTest, ValuesAreTextUpToTheirFirstZeroOrTheirEnd) {
  Script("Image0=usb\\vid_0000\r\n");
  const std::string entry = test::EntryPath(kImageClassKey, "0000");
  host.SetValue(entry, "MatchingDeviceId", std::string("usb\\vid_0000\0stale", 18), kRegBinary);
  host.SetValue(entry, "InfPath", "oem7.inf", kRegBinary);
  AddInfPair(host, "oem7");

  Run();

  EXPECT_FALSE(host.FileExists(kInf + "oem7.inf"));
  EXPECT_FALSE(host.FileExists(kInf + "oem7.pnf"));
  EXPECT_EQ(RegistryText(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(RegistryText(std::string(256, 'x')), std::string(256, 'x'));
}

TEST_F(DriverFilesTest, SubkeysThatCannotBeEnumeratedOrOpenedAreSkipped) {
  Script("Image0=usb\\vid_0000\r\nUSB0=usb\\vid_0000\r\n");
  AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0000", "oem1.inf");
  AddDriverEntry(host, kImageClassKey, "0001", "usb\\vid_0000", "oem2.inf");
  AddDriverEntry(host, kImageClassKey, "0002", "usb\\vid_0000", "oem3.inf");
  host.FindKey(std::string(kImageClassKey))->enumFailures[0] = kErrorAccessDenied;
  host.FindKey(test::EntryPath(kImageClassKey, "0001"))->openFailure = kErrorAccessDenied;
  // The USB class key fails at every index: its scan still ends.
  AddDriverEntry(host, kUsbClassKey, "0000", "usb\\vid_0000", "oem4.inf");
  AddDriverEntry(host, kUsbClassKey, "0001", "usb\\vid_0000", "oem4.inf");
  for (std::uint32_t index = 0; index < 4; ++index) {
    host.FindKey(std::string(kUsbClassKey))->enumFailures[index] = kErrorAccessDenied;
  }
  for (const char* stem : {"oem1", "oem2", "oem3", "oem4"}) {
    AddInfPair(host, stem);
  }

  Run();

  EXPECT_EQ(host.JournalOf("deleted-file"),
            (std::vector<std::string>{kInf + "oem3.inf", kInf + "oem3.pnf"}));
}

TEST_F(DriverFilesTest, MissingClassKeysAreSilent) {
  Script("Image0=usb\\vid_0000\r\nImage1=usb\\vid_0001\r\nUSB0=usb\\vid_0002\r\n");

  Run();

  EXPECT_EQ(host.journal.size(), 3u);  // the three reads of the script
  EXPECT_TRUE(host.messageBoxes.empty());
}

// A path that would not fit the stage's 256-character buffer is never cut into another file's
// path: that file is not deleted and is reported whole.
TEST_F(DriverFilesTest, OverlongPathsAreReportedWholeAndNotDeleted) {
  const std::string stem(255 - kInf.size() - 4, 'n');  // "<stem>.inf" fits exactly
  const std::string infPath = kInf + stem + ".inf";
  ASSERT_EQ(infPath.size(), 255u);
  host.AddFile(infPath);
  host.AddFile(kInf + stem + ".pnf");
  FindInfAndPnf(host, stem + ".inf", act);
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_FALSE(host.FileExists(infPath));

  // One character more: 256 is too long for the buffer, and never cut into another file's path.
  const std::string longer(256 - kInf.size() - 4, 'l');
  ASSERT_EQ((kInf + longer + ".inf").size(), 256u);
  host.AddFile(kInf + longer + ".inf");
  host.AddFile(kInf + longer + ".pnf");
  FindInfAndPnf(host, longer + ".inf", act);
  EXPECT_TRUE(host.FileExists(kInf + longer + ".inf"));
  EXPECT_TRUE(host.FileExists(kInf + longer + ".pnf"));
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "File: " + kInf + longer + ".inf is read only,can't be deleted!",
                            "File: " + kInf + longer + ".pnf is read only,can't be deleted!"}));
  host.messageBoxes.clear();

  // Without an extension, the twin is four characters longer than the INF path.
  const std::string bare(255 - kInf.size(), 'b');
  host.AddFile(kInf + bare);
  host.AddFile(kInf + bare + ".pnf");
  FindInfAndPnf(host, bare, act);
  EXPECT_FALSE(host.FileExists(kInf + bare));
  EXPECT_TRUE(host.FileExists(kInf + bare + ".pnf"));
  EXPECT_EQ(Messages(), std::vector<std::string>{"File: " + kInf + bare +
                                                 ".pnf is read only,can't be deleted!"});
}

TEST_F(DriverFilesTest, FailedWindowsDirectoryQueryDeletesNothing) {
  host.windowsDirectoryFails = true;
  host.AddFile("\\Inf\\oem7.inf");
  host.AddFile("\\Inf\\oem7.pnf");

  FindInfAndPnf(host, "oem7.inf", act);

  EXPECT_TRUE(host.JournalOf("delete-file").empty());
  EXPECT_EQ(Messages(), std::vector<std::string>{"File: oem7.inf is read only,can't be deleted!"});
  // Whether the files are there cannot be told: they count as left.
  EXPECT_EQ(report.Status(), kExitLeft);
}

}  // namespace
}  // namespace vorsk
