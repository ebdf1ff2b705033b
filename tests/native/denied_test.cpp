// Whole runs on a machine whose owner withholds rights: a file the user may not delete, an
// instance whose class installer refuses removal, registry keys whose deletion is denied. Each
// refusal is reported as the rules say (a file in a message box, the others silently), the run
// goes on with the next item, and nothing beyond what the script names is touched.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "removal/run.h"
#include "tests/native/machine.h"

namespace vorsk {
namespace {

using test::kInf;
using test::kScriptPath;

const WindowHandle kFrame{0x4242};

constexpr char kScript[] =
    "[RemoveInf]\r\nImage0=usb\\vid_0000&pid_2206\r\nUSB0=usb\\vid_0000&pid_2207\r\n"
    "[CurrentDev]\r\nDevNo=1\r\n"
    "[1PIDVID]\r\nNum1=USB\\Vid_0000&Pid_2206\r\n"
    "[1KEY]\r\nNum=2\r\nNum1=SOFTWARE\\Vendor\\Scanner\r\nNum2=SOFTWARE\\Vendor\\Utilities\r\n";

class DeniedTest : public ::testing::Test {
 protected:
  // A machine with one of everything the script names, and things it does not name beside each.
  void SetUp() override {
    test::AddDriverEntry(host, kImageClassKey, "0000", "usb\\vid_0000&pid_2206", "oem7.inf");
    test::AddDriverEntry(host, kUsbClassKey, "0000", "usb\\vid_0000&pid_2207", "oem8.inf");
    test::AddInfPair(host, "oem7");
    test::AddInfPair(host, "oem8");
    test::AddInfPair(host, "oem9");
    host.AddDevice("USB\\VID_0000&PID_2206\\1", {"USB\\Vid_0000&Pid_2206&Rev_0100"});
    host.AddDevice("USB\\VID_0000&PID_2206\\2", {"USB\\Vid_0000&Pid_2206"}, false);
    host.AddDevice("USB\\VID_0000&PID_C077\\1", {"USB\\Vid_0000&Pid_c077"});
    host.AddKey("SOFTWARE\\Vendor\\Scanner\\Settings\\Colour");
    host.AddKey("SOFTWARE\\Vendor\\Scanner\\Driver");
    host.SetString("SOFTWARE\\Vendor\\Scanner", "Path", "C:\\Scanner");
    host.AddKey("SOFTWARE\\Vendor\\Utilities\\Launcher");
    host.SetString("SOFTWARE\\Vendor\\Keep", "Version", "2");
    host.AddFile(kScriptPath, kScript);
  }

  void Run(int expectedStatus = kExitCompleted) {
    EXPECT_EQ(PerformRemoval(host, kFrame), expectedStatus);
    EXPECT_EQ(host.OpenHandleCount(), 0u);
    EXPECT_TRUE(host.faults.empty());
  }

  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const test::MessageBoxRecord& box : host.messageBoxes) {
      texts.push_back(box.text);
    }
    return texts;
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> paths;
    for (const auto& [path, file] : host.files) {
      paths.push_back(path);
    }
    return paths;
  }

  test::FakeHost host;
};

// What is left when nothing is refused, for comparison: the files, instances and trees the
// script names are gone, the rest stays.
TEST_F(DeniedTest, WithAllRightsTheNamedItemsGo) {
  Run();
  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(Files(), (std::vector<std::string>{kInf + "oem9.inf", kInf + "oem9.pnf", kScriptPath}));
  EXPECT_TRUE(host.devices[0].removed);
  EXPECT_TRUE(host.devices[1].removed);
  EXPECT_FALSE(host.devices[2].removed);
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Utilities"));
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor\\Keep"));
}

// An INF file the user may not delete: one message names it, its twin and the next lookup's
// files still go, and so do the instances and trees; the file is left, and the status says so.
TEST_F(DeniedTest, UndeletableFileIsReportedAndTheRunGoesOn) {
  host.files[kInf + "oem7.inf"].deleteDenied = true;

  Run(kExitLeft);

  EXPECT_EQ(Messages(),
            std::vector<std::string>{"File: " + kInf + "oem7.inf is read only,can't be deleted!"});
  EXPECT_EQ(host.messageBoxes[0].caption, std::nullopt);
  EXPECT_EQ(host.messageBoxes[0].type, kMbOk);
  EXPECT_EQ(Files(), (std::vector<std::string>{kInf + "oem7.inf", kInf + "oem9.inf",
                                               kInf + "oem9.pnf", kScriptPath}));
  EXPECT_TRUE(host.devices[1].removed);
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Utilities"));
}

// An instance whose class installer refuses removal stays, silently; the walk goes on to the
// next instance, and the run ends with the status of something left.
TEST_F(DeniedTest, InstanceThatRefusesRemovalStaysSilently) {
  host.devices[0].refusesRemoval = true;

  Run(kExitLeft);

  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(host.JournalOf("remove-device"),
            (std::vector<std::string>{"USB\\VID_0000&PID_2206\\1", "USB\\VID_0000&PID_2206\\2"}));
  EXPECT_FALSE(host.devices[0].removed);
  EXPECT_TRUE(host.devices[1].removed);
  EXPECT_FALSE(host.devices[2].removed);
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
}

// Keys whose deletion is denied (ERROR_ACCESS_DENIED): a subkey, and a listed key itself. Each
// stays with what holds it, silently; its siblings and the next listed tree go, no other key or
// value changes, and the run ends with the status of something left.
TEST_F(DeniedTest, KeysWhoseDeletionIsDeniedStaySilently) {
  host.FindKey("SOFTWARE\\Vendor\\Scanner\\Settings\\Colour")->deleteFailure = kErrorAccessDenied;
  host.FindKey("SOFTWARE\\Vendor\\Utilities")->deleteFailure = kErrorAccessDenied;

  std::vector<std::string> expected = host.RegistrySnapshot();
  for (const char* gone :
       {"SOFTWARE\\Vendor\\Scanner\\Driver", "SOFTWARE\\Vendor\\Utilities\\Launcher"}) {
    expected.erase(std::find(expected.begin(), expected.end(), gone));
  }

  Run(kExitLeft);

  EXPECT_TRUE(host.messageBoxes.empty());
  EXPECT_EQ(host.RegistrySnapshot(), expected);
  // Everything the refusals did not hold went, depth first.
  EXPECT_EQ(host.JournalOf("deleted-key"),
            (std::vector<std::string>{"SOFTWARE\\Vendor\\Scanner\\Driver",
                                      "SOFTWARE\\Vendor\\Utilities\\Launcher"}));
  EXPECT_TRUE(host.devices[1].removed);
}

}  // namespace
}  // namespace vorsk
