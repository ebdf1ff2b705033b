// Device instance removal: the walk, its trace, the prefix rule and the allocation loop.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cleanup/device_ids.h"
#include "cleanup/devices.h"
#include "cleanup/removing.h"
#include "cleanup/stages.h"
#include "removal/run.h"
#include "tests/native/machine.h"

namespace vorsk {
namespace {

using test::kScriptPath;

class DevicesTest : public ::testing::Test {
 protected:
  void Walk(const std::string& prefix1, const std::string& prefix2) {
    RemovingActions act(host, report, host.IsWow64Process());
    FindMatchingDevices(host, report, prefix1, prefix2, act);
  }
  std::vector<std::string> Removed() const { return host.JournalOf("remove-device"); }
  void TearDown() override {
    EXPECT_EQ(host.OpenHandleCount(), 0u);
    EXPECT_TRUE(host.faults.empty());
  }

  test::FakeHost host;
  RunReport report{host, kNoOwner};
};

TEST_F(DevicesTest, PrefixRule) {
  EXPECT_TRUE(HasIdPrefix("USB\\Vid_0000", "USB\\Vid_0000&Pid_0000"));
  EXPECT_TRUE(HasIdPrefix("USB\\Vid_0000&Pid_0000", "USB\\Vid_0000&Pid_0000"));
  EXPECT_TRUE(HasIdPrefix("usb\\vid_0000", "USB\\VID_0000&PID_0000"));
  EXPECT_FALSE(HasIdPrefix("", "USB\\Vid_0000"));
  EXPECT_FALSE(HasIdPrefix("", ""));
  EXPECT_FALSE(HasIdPrefix("USB\\Vid_0000&Pid_0000", "USB\\Vid_0000"));
  EXPECT_FALSE(HasIdPrefix("USB\\Vid_0001", "USB\\Vid_0000&Pid_0000"));
  // Only ASCII letters fold.
  EXPECT_FALSE(HasIdPrefix("USB\\VID_\xC4", "USB\\VID_\xE4"));
}

TEST_F(DevicesTest, EmptyPrefixesRemoveNothingButEveryIdIsTraced) {
  host.AddDevice("ROOT\\A\\0000", {"USB\\Vid_0000&Pid_0000&Rev_0100", "USB\\Vid_0000&Pid_0000"});
  host.AddDevice("ROOT\\B\\0000", {"PCI\\VEN_1234"});

  Walk("", "");

  EXPECT_TRUE(Removed().empty());
  EXPECT_EQ(host.standardOutput,
            "Compare device ID: [USB\\Vid_0000&Pid_0000&Rev_0100]\n"
            "Compare device ID: [USB\\Vid_0000&Pid_0000]\n"
            "Compare device ID: [PCI\\VEN_1234]\n");
}

TEST_F(DevicesTest, FirstMatchingIdRemovesTheInstanceAndEndsItsWalk) {
  host.AddDevice("ROOT\\A\\0000", {"USB\\Vid_0000&Pid_0000&Rev_0100", "USB\\Vid_0000&Pid_0000"});

  Walk("USB\\Vid_0000&Pid_0000", "");

  EXPECT_EQ(host.JournalOf("output"),
            std::vector<std::string>{"Compare device ID: [USB\\Vid_0000&Pid_0000&Rev_0100]\n"});
  EXPECT_EQ(Removed(), std::vector<std::string>{"ROOT\\A\\0000"});
}

// Both prefixes are tried on every ID, in order, until one matches; the trace line of an ID comes
// before the removal it causes.
TEST_F(DevicesTest, SecondPrefixIsTriedOnEveryId) {
  host.AddDevice("ROOT\\A\\0000", {"USB\\Vid_0001&Pid_0001", "USB\\Vid_0002&Pid_0002"});
  host.AddDevice("ROOT\\B\\0000", {"USB\\Vid_0003"});

  Walk("USB\\Vid_0001&Pid_9999", "USB\\Vid_0002");

  std::vector<std::string> events;
  for (const std::string& line : host.journal) {
    if (line.rfind("output ", 0) == 0 || line.rfind("remove-device ", 0) == 0) {
      events.push_back(line);
    }
  }
  EXPECT_EQ(events, (std::vector<std::string>{
                        "output Compare device ID: [USB\\Vid_0001&Pid_0001]\n",
                        "output Compare device ID: [USB\\Vid_0002&Pid_0002]\n",
                        "remove-device ROOT\\A\\0000",
                        "output Compare device ID: [USB\\Vid_0003]\n",
                    }));
}

// The same device reports its IDs in another letter case on another platform version.
TEST_F(DevicesTest, PrefixesMatchInAnyLetterCase) {
  host.AddDevice("USB\\VID_0000&PID_0000\\5&1", {"USB\\VID_0000&PID_0000&REV_0100"});
  host.AddDevice("USB\\Vid_0000&Pid_0000\\5&2", {"USB\\Vid_0000&Pid_0000&Rev_0100"});

  Walk("usb\\vid_0000&pid_0000", "");

  EXPECT_EQ(Removed().size(), 2u);
}

TEST_F(DevicesTest, InstancesThatAreNotPresentAreRemovedToo) {
  host.AddDevice("USB\\VID_0000&PID_0000\\5&1", {"USB\\Vid_0000&Pid_0000"}, /*present=*/false);
  host.AddDevice("USB\\VID_0000&PID_0000\\5&2", {"USB\\Vid_0000&Pid_0000"}, /*present=*/true);

  Walk("USB\\Vid_0000&Pid_0000", "");

  EXPECT_EQ(host.JournalOf("device-set"), std::vector<std::string>{"4"});  // all classes only
  EXPECT_TRUE(host.devices[0].removed);
  EXPECT_TRUE(host.devices[1].removed);
}

TEST_F(DevicesTest, InstanceWithoutHardwareIdsIsPassedSilently) {
  host.AddDevice("ROOT\\LEGACY\\0000", {});
  host.AddDevice("ROOT\\A\\0000", {"USB\\Vid_0000"});

  Walk("USB\\Vid_0000", "");

  EXPECT_EQ(host.JournalOf("alloc").size(), 1u);
  EXPECT_EQ(host.standardOutput, "Compare device ID: [USB\\Vid_0000]\n");
  EXPECT_EQ(Removed(), std::vector<std::string>{"ROOT\\A\\0000"});
}

// Each failed allocation shows "error"; the size is asked again and the walk goes on.
TEST_F(DevicesTest, FailedAllocationsAreReportedUntilOneSucceeds) {
  host.AddDevice("ROOT\\A\\0000", {"USB\\Vid_0000"});
  host.AddDevice("ROOT\\B\\0000", {"USB\\Vid_0001"});
  host.allocationFailures = 2;

  Walk("USB\\Vid_0000", "");

  ASSERT_EQ(host.messageBoxes.size(), 2u);
  for (const test::MessageBoxRecord& box : host.messageBoxes) {
    EXPECT_EQ(box.text, "error");
    EXPECT_EQ(box.owner, kNoOwner);
    EXPECT_EQ(box.caption, std::optional<std::string>(""));
    EXPECT_EQ(box.type, kMbOk);
  }
  EXPECT_EQ(host.standardOutput,
            "Compare device ID: [USB\\Vid_0000]\nCompare device ID: [USB\\Vid_0001]\n");
  EXPECT_EQ(Removed(), std::vector<std::string>{"ROOT\\A\\0000"});
}

// After three failed allocations the instance is given up: its IDs are unknown, so it may be one
// the script names, and it counts as left. The walk goes on with the next instance.
TEST_F(DevicesTest, InstanceGivenUpForWantOfMemoryCountsAsLeft) {
  host.AddDevice("ROOT\\A\\0000", {"USB\\Vid_0000"});
  host.AddDevice("ROOT\\B\\0000", {"USB\\Vid_0000"});
  host.allocationFailures = 3;
  host.AddFile(kScriptPath, "[CurrentDev]\r\nDevNo=1\r\n[1PIDVID]\r\nNum1=USB\\Vid_0000\r\n");

  EXPECT_EQ(PerformRemoval(host, kNoOwner), kExitLeft);

  EXPECT_EQ(host.messageBoxes.size(), 3u);
  EXPECT_EQ(host.standardOutput, "Compare device ID: [USB\\Vid_0000]\n");
  EXPECT_EQ(Removed(), std::vector<std::string>{"ROOT\\B\\0000"});
  EXPECT_NE(std::find(host.log.begin(), host.log.end(),
                      "instance ROOT\\A\\0000: left, its hardware IDs cannot be read (no memory)"),
            host.log.end());
}

// The walk never reads past the size the property reported: a list whose last ID lacks its
// terminating zero, or that lacks the empty text that ends it, ends at that size.
TEST_F(DevicesTest, WalkStaysWithinTheReportedSize) {
  host.AddDevice("ROOT\\A\\0000", {}).hardwareIds = std::string("USB\\Vid_0000");
  host.AddDevice("ROOT\\B\\0000", {}).hardwareIds = std::string("USB\\Vid_0001\0USB\\Vid_0002", 25);
  host.AddDevice("ROOT\\C\\0000", {}).hardwareIds = std::string("USB\\Vid_0003\0", 13);
  // The empty text ends the list, whatever follows it.
  host.AddDevice("ROOT\\D\\0000", {}).hardwareIds =
      std::string("USB\\Vid_0004\0\0USB\\Vid_0002\0\0", 28);

  Walk("USB\\Vid_0002", "");

  EXPECT_EQ(host.standardOutput,
            "Compare device ID: [USB\\Vid_0000]\n"
            "Compare device ID: [USB\\Vid_0001]\n"
            "Compare device ID: [USB\\Vid_0002]\n"
            "Compare device ID: [USB\\Vid_0003]\n"
            "Compare device ID: [USB\\Vid_0004]\n");
  EXPECT_EQ(Removed(), std::vector<std::string>{"ROOT\\B\\0000"});
}

// A size query that reports nothing, or a read that fails, yields no IDs; a size larger than the
// list leaves zeros after it.
TEST_F(DevicesTest, ReportedSizesThatDisagreeWithTheList) {
  host.AddDevice("ROOT\\ZERO\\0000", {"USB\\Vid_0000"}).reportedSize = 0;
  host.AddDevice("ROOT\\SHORT\\0000", {"USB\\Vid_0000"}).reportedSize = 4;
  host.AddDevice("ROOT\\LONG\\0000", {"USB\\Vid_0000"}).reportedSize = 64;

  Walk("USB\\Vid_0000", "");

  EXPECT_EQ(host.standardOutput, "Compare device ID: [USB\\Vid_0000]\n");
  EXPECT_EQ(Removed(), std::vector<std::string>{"ROOT\\LONG\\0000"});
  EXPECT_TRUE(host.messageBoxes.empty());
}

TEST_F(DevicesTest, InstanceThatRefusesRemovalStaysAndTheWalkGoesOn) {
  host.AddDevice("ROOT\\A\\0000", {"USB\\Vid_0000"}).refusesRemoval = true;
  host.AddDevice("ROOT\\B\\0000", {"USB\\Vid_0000"});

  Walk("USB\\Vid_0000", "");

  EXPECT_FALSE(host.devices[0].removed);
  EXPECT_TRUE(host.devices[1].removed);
  EXPECT_TRUE(host.messageBoxes.empty());
}

TEST_F(DevicesTest, UnavailableDeviceSetEndsTheStageSilently) {
  host.AddDevice("ROOT\\A\\0000", {"USB\\Vid_0000"});
  host.classDevsFail = true;

  Walk("USB\\Vid_0000", "");

  EXPECT_TRUE(Removed().empty());
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(host.standardOutput, "");
}

TEST_F(DevicesTest, PrefixesComeFromTheSectionNamedAfterTheDeviceNumber) {
  host.AddFile(kScriptPath,
               "[2pidvid]\r\nnum1=USB\\Vid_0000\r\nNUM2=USB\\Vid_0001\r\n"
               "[PIDVID]\r\nNum1=USB\\Vid_0002\r\n");
  host.AddDevice("ROOT\\A\\0000", {"USB\\Vid_0000"});
  host.AddDevice("ROOT\\B\\0000", {"USB\\Vid_0001"});
  host.AddDevice("ROOT\\C\\0000", {"USB\\Vid_0002"});

  RemovingActions act(host, report, false);
  RemoveDevices(host, report, kScriptPath, "2", act);

  EXPECT_EQ(host.JournalOf("profile"), (std::vector<std::string>{"2PIDVID/Num1", "2PIDVID/Num2"}));
  EXPECT_EQ(Removed(), (std::vector<std::string>{"ROOT\\A\\0000", "ROOT\\B\\0000"}));
}

// A prefix that names no vendor would take every device of its bus: it is refused (logged, not
// left) and matches nothing, while the other prefix, the walk and the trace go on.
TEST_F(DevicesTest, PrefixesThatNameNoVendorAreRefused) {
  struct Case {
    std::string prefix;
    bool refused;
    std::vector<std::string> removed;  // besides the scanner, which the second prefix names
  };
  const std::string keyboard = "USB\\VID_0000&PID_C31C\\1";
  const std::string disk = "USBSTOR\\DISK&VEN_X\\1";
  const std::string mouse = "HID\\VID_0000&PID_C077\\1";
  const std::vector<Case> cases = {
      {"USB\\", true, {}},
      {"usb", true, {}},
      {"U", true, {}},
      {"USB\\VID_", true, {}},
      {"usb\\vid_046", true, {}},
      {"USB\\VID_04G6", true, {}},
      {"USB\\PID_C31C", true, {}},
      {"USBSTOR", true, {}},
      {"HID\\VID", true, {}},
      {"HID\\VID_", true, {}},
      {"USBSTOR\\Disk", true, {}},
      {"usb\\vid_0000", false, {keyboard}},
      {"USBSTOR\\DiskVen_X___", false, {disk}},
      {"hid\\vid_0000", false, {mouse}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix);
    test::FakeHost machine;
    machine.AddFile(kScriptPath,
                    "[PIDVID]\r\nNum1=" + c.prefix + "\r\nNum2=USB\\VID_0000&PID_2206\r\n");
    machine.AddDevice(keyboard, {"USB\\VID_0000&PID_C31C"});
    machine.AddDevice(disk, {"USBSTOR\\DiskVen_X___Product", "GenDisk"});
    machine.AddDevice("USB\\VID_0000&PID_2206\\1", {"USB\\VID_0000&PID_2206"});
    machine.AddDevice(mouse, {"HID\\VID_0000&PID_C077"});
    RunReport run(machine, kNoOwner);
    RemovingActions act(machine, run, false);
    RemoveDevices(machine, run, kScriptPath, "", act);

    std::vector<std::string> removed = c.removed;
    removed.push_back("USB\\VID_0000&PID_2206\\1");
    std::sort(removed.begin(), removed.end());
    std::vector<std::string> got = machine.JournalOf("remove-device");
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, removed);
    const bool told =
        std::any_of(machine.log.begin(), machine.log.end(), [&](const std::string& line) {
          return line.rfind("device prefix Num1=" + c.prefix + ": refused, ", 0) == 0;
        });
    EXPECT_EQ(told, c.refused);
    EXPECT_EQ(run.Status(), 0);
    // Every ID is still traced: the walk goes on.
    EXPECT_EQ(std::count(machine.standardOutput.begin(), machine.standardOutput.end(), '\n'),
              c.removed == std::vector<std::string>{disk} ? 4 : 5);
  }
}

// Each bus names a vendor in its own form, and a prefix must reach it: the prefixes that took every
// PCI and HID instance of a machine (the platform's own among them), every disk, or the machine's
// own devices are refused with the form they lack; the vendors' prefixes that always passed still
// do.
TEST(IdPrefixTest, EachBusNamesAVendorInItsOwnForm) {
  const std::string usb = "it names no vendor (USB\\VID_ and four hex digits at least)";
  const std::string hid = "it names no vendor (HID\\VID_ and four hex digits at least)";
  const std::string pci =
      "it names no device of a vendor (PCI\\VEN_, four hex digits, &DEV_ and four hex digits at "
      "least)";
  const std::string storage =
      "it names no vendor (the device type and the vendor's eight characters at least)";
  const std::string acpi =
      "it names no device (a plug-and-play or ACPI ID whole, or VEN_ and &DEV_ with four hex "
      "digits, at least)";
  const std::string swd =
      "it names no device (SWD\\, the enumerator, a backslash and four characters at least)";
  const std::string other = "it names no vendor (four characters at least after the bus)";
  const std::string bus = "it names a whole bus, no vendor";
  const struct {
    const char* prefix;
    std::optional<std::string> refusal;
  } cases[] = {
      {"PCI\\VEN_", pci},
      {"PCI\\VEN_8086", pci},
      {"PCI\\VEN_8086&DEV_", pci},
      {"PCI\\VEN_8086&DEV_1C2", pci},
      {"PCI\\VEN_8086&SUBSYS_1C2D", pci},
      {"PCI\\CC_0C03", pci},
      {"HID\\VID_", hid},
      {"HID\\VID_04G6", hid},
      {"HID_DEVICE", bus},
      {"SCSI\\Disk", storage},
      {"USBSTOR\\Disk", storage},
      {"USBSTOR\\DiskVendor_", storage},
      {"usbstor\\GenDisk", storage},
      {"IDE\\CdRomVENDOR", storage},
      {"ACPI\\PNP0", acpi},
      {"ACPI\\PNP0A0", acpi},
      {"ACPI\\VEN_PNP&DEV_0A", acpi},
      {"ACPI\\VEN_&DEV_0A03", acpi},
      {"ACPI\\0A0A0A0", acpi},
      {"ROOT\\", other},
      {"ROOT\\IMA", other},
      {"SWD\\", swd},
      {"SWD\\MMDEVAPI", swd},
      {"SWD\\MMDEVAPI\\{0.", swd},
      {"USB\\CLASS_07", usb},
      {"USB\\VID_0000&PID_2206", std::nullopt},
      {"usb\\vid_0000", std::nullopt},
      {"HID\\VID_0000&PID_0001", std::nullopt},
      {"hid\\Vid_046d", std::nullopt},
      {"PCI\\VEN_8086&DEV_1C2D", std::nullopt},
      {"pci\\ven_10ec&dev_8168&SUBSYS", std::nullopt},
      {"SCSI\\DiskSEAGATE_", std::nullopt},
      {"USBSTOR\\ScannerVENDOR__", std::nullopt},
      {"USBSTOR\\VENDOR__PRODUCT", std::nullopt},
      {"IDE\\DiskWDC_WD80", std::nullopt},
      {"ACPI\\PNP0A03", std::nullopt},
      {"ACPI\\MSFT0101", std::nullopt},
      {"ACPI\\VEN_MSFT&DEV_0101", std::nullopt},
      {"SWD\\WPDBUSENUM\\_??_", std::nullopt},
      {"ROOT\\IMAGE", std::nullopt},
      {"VENDORBUS\\SCAN", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IdPrefixRefusal(c.prefix), c.refusal) << c.prefix;
  }
}

}  // namespace
}  // namespace vorsk
