// The removal stages on the real services under Wine: real files in the INF directory, real
// class-key driver entries, real device instances and a real key tree. Message boxes and the
// trace are recorded instead of shown.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cleanup/driver_files.h"
#include "cleanup/stages.h"
#include "host/win32/win32_host.h"
#include "tests/win32/win32_fixtures.h"

namespace vorsk {
namespace {

class RecordingHost : public Win32Host {
 public:
  int MessageBoxA(WindowHandle, const std::string& text, const std::optional<std::string>&,
                  std::uint32_t) override {
    messages.push_back(text);
    return IDOK;
  }
  void WriteStandardOutput(const std::string& text) override { output.push_back(text); }

  std::vector<std::string> messages;
  std::vector<std::string> output;
};

std::string WindowsDirectory() {
  char directory[MAX_PATH] = {};
  ::GetWindowsDirectoryA(directory, MAX_PATH);
  return directory;
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Unique(const char* stem) {
  return std::string(stem) + std::to_string(::GetCurrentProcessId());
}

TEST(DriverFilesOnWine, ReadOnlyInfGoesAndAMissingTwinIsReported) {
  const std::string inf = WindowsDirectory() + "\\Inf\\";
  const std::string stem = Unique("vorsk");
  const std::string deviceId = "usb\\vid_f00d&pid_" + std::to_string(::GetCurrentProcessId());
  test::ScratchFolder folder;
  const std::string script =
      folder.Write("Remove417.ini", "[RemoveInf]\r\nImage0=" + deviceId + "\r\n");
  // An entry without MatchingDeviceId, then the matching one, then a second match.
  test::ScratchKey unreadable{std::string(kImageClassKey)};
  test::ScratchKey matching{std::string(kImageClassKey)};
  test::ScratchKey second{std::string(kImageClassKey)};
  unreadable.SetBinary("", "InfPath", stem + "a.inf" + '\0', REG_SZ);
  matching.SetBinary("", "MatchingDeviceId", deviceId + '\0', REG_SZ);
  matching.SetBinary("", "InfPath", stem + ".inf" + '\0', REG_SZ);
  second.SetBinary("", "MatchingDeviceId", deviceId + '\0', REG_SZ);
  second.SetBinary("", "InfPath", stem + "b.inf" + '\0', REG_SZ);
  for (const std::string& name : {stem + ".inf", stem + "a.inf", stem + "b.inf", stem + "b.pnf"}) {
    win32::unique_hfile file(::CreateFileA((inf + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.is_valid());
  }
  ASSERT_TRUE(::SetFileAttributesA((inf + stem + ".inf").c_str(), FILE_ATTRIBUTE_READONLY));

  RecordingHost host;
  RemoveDriverFiles(host, script);

  EXPECT_FALSE(FileExists(inf + stem + ".inf"));
  EXPECT_EQ(host.messages, std::vector<std::string>{"File: " + inf + stem +
                                                    ".pnf is read only,can't be deleted!"});
  EXPECT_TRUE(FileExists(inf + stem + "a.inf"));
  EXPECT_TRUE(FileExists(inf + stem + "b.inf"));
  EXPECT_TRUE(FileExists(inf + stem + "b.pnf"));
  for (const std::string& name : {stem + "a.inf", stem + "b.inf", stem + "b.pnf"}) {
    ::DeleteFileA((inf + name).c_str());
  }
}

TEST(DevicesOnWine, RemovesTheInstancesWhoseHardwareIdsBeginWithAPrefix) {
  const std::string vid = "VORSKTEST\\VID_" + std::to_string(::GetCurrentProcessId());
  test::ScratchDevices devices;
  const std::string twoIds = devices.Create({vid + "&PID_0001&REV_0100", vid + "&PID_0001"});
  const std::string secondPrefix = devices.Create({vid + "&PID_0003", vid + "&PID_0002&MI_00"});
  const std::string other = devices.Create({vid + "&PID_0004"});
  test::ScratchFolder folder;
  // The script's prefixes are in another letter case than the instances' IDs.
  std::string lower = vid;
  for (char& c : lower) {
    c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
  }
  const std::string script =
      folder.Write("Remove417.ini",
                   "[9PIDVID]\r\nNum1=" + lower + "&pid_0001\r\nNum2=" + lower + "&pid_0002\r\n");

  RecordingHost host;
  RemoveDevices(host, script, "9");

  EXPECT_FALSE(test::InstanceExists(twoIds));
  EXPECT_FALSE(test::InstanceExists(secondPrefix));
  EXPECT_TRUE(test::InstanceExists(other));
  std::vector<std::string> ours;
  for (const std::string& line : host.output) {
    if (line.find(vid) != std::string::npos) {
      ours.push_back(line);
    }
  }
  EXPECT_EQ(ours, (std::vector<std::string>{
                      "Compare device ID: [" + vid + "&PID_0001&REV_0100]\n",
                      "Compare device ID: [" + vid + "&PID_0003]\n",
                      "Compare device ID: [" + vid + "&PID_0002&MI_00]\n",
                      "Compare device ID: [" + vid + "&PID_0004]\n",
                  }));
  EXPECT_TRUE(host.messages.empty());
}

TEST(KeyTreesOnWine, DeletesTheListedTreesAndCreatesNothing) {
  test::ScratchKey scratch;
  scratch.Create("Vendor\\Scanner\\A\\A1\\A2");
  scratch.Create("Vendor\\Scanner\\B");
  scratch.SetBinary("Vendor\\Scanner\\A\\A1", "Setting", "1", REG_SZ);
  scratch.Create("Vendor\\Keep");
  // Paths below the listed key grow past the 260 characters that one text argument may hold.
  scratch.Create("Vendor\\Scanner\\" + std::string(255, 'n') + "\\" + std::string(255, 'm'));
  std::string deep = "Vendor\\Scanner\\Deep";
  for (int level = 0; level < 60; ++level) {
    deep += "\\level" + std::to_string(level);
  }
  scratch.Create(deep);
  test::ScratchFolder folder;
  const std::string base = scratch.path();
  const std::string script = folder.Write(
      "Remove417.ini", "[9KEY]\r\nNum=3\r\nNum1=" + base + "\\Vendor\\Scanner\\\r\nNum2=" + base +
                           "\\Missing\\Deeper\r\nNum3=SOFTWARE\r\n");

  RecordingHost host;
  RemoveKeyTrees(host, script, "9");

  EXPECT_FALSE(scratch.Exists("Vendor\\Scanner"));
  EXPECT_TRUE(scratch.Exists("Vendor\\Keep"));
  EXPECT_FALSE(scratch.Exists("Missing"));
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace vorsk
