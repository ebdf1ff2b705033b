// The removal stages on the real services under Wine: real files in the INF directory, real
// class-key driver entries, real device instances and a real key tree. Message boxes and the
// trace are recorded instead of shown.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cleanup/driver_files.h"
#include "cleanup/removing.h"
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
  ::GetSystemWindowsDirectoryA(directory, MAX_PATH);
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
  const std::string deviceId = "usb\\vid_0001&pid_" + std::to_string(::GetCurrentProcessId());
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
  RunReport report(host, kNoOwner);
  RemovingActions act(host, report, false);
  RemoveDriverFiles(host, report, script, act);

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

// Another process holding a file open without delete sharing, for as long as this object lives:
// hold_file.exe, which is built beside this program.
class OtherProcessHolding {
 public:
  explicit OtherProcessHolding(const std::string& path) {
    const std::string prefix = Unique("vorsk-hold-");
    held_.reset(::CreateEventA(nullptr, TRUE, FALSE, (prefix + "-held").c_str()));
    release_.reset(::CreateEventA(nullptr, TRUE, FALSE, (prefix + "-release").c_str()));
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string program = self;
    program = program.substr(0, program.rfind('\\') + 1) + "hold_file.exe";
    std::string command = "\"" + program + "\" \"" + path + "\" " + prefix;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (::CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         nullptr, &startup, &started)) {
      process_.reset(started.hProcess);
      win32::unique_handle thread(started.hThread);
    }
  }
  ~OtherProcessHolding() { Release(); }

  // Whether the other process has the file open (it signals so, or ends when it cannot).
  bool Holding() const {
    if (!held_ || !release_ || !process_) {
      return false;
    }
    const HANDLE either[] = {held_.get(), process_.get()};
    return ::WaitForMultipleObjects(2, either, FALSE, 30000) == WAIT_OBJECT_0;
  }

  // Lets the other process close the file and end; returns its exit status.
  DWORD Release() {
    DWORD status = 1;
    if (process_) {
      ::SetEvent(release_.get());
      ::WaitForSingleObject(process_.get(), 30000);
      ::GetExitCodeProcess(process_.get(), &status);
    }
    return status;
  }

 private:
  win32::unique_handle held_;
  win32::unique_handle release_;
  win32::unique_handle process_;
};

// Under Wine every deletion the user asks for succeeds, unless the file is in use: an INF held
// open by another process cannot be deleted. The stage reports it, goes on with the twin, and
// leaves the held file as it was.
TEST(DriverFilesOnWine, FileHeldOpenByAnotherProcessIsReportedAndTheTwinStillGoes) {
  const std::string inf = WindowsDirectory() + "\\Inf\\";
  const std::string stem = Unique("vorskheld");
  const std::string deviceId = "usb\\vid_0002&pid_" + std::to_string(::GetCurrentProcessId());
  test::ScratchFolder folder;
  const std::string script =
      folder.Write("Remove417.ini", "[RemoveInf]\r\nImage0=" + deviceId + "\r\n");
  test::ScratchKey entry{std::string(kImageClassKey)};
  entry.SetBinary("", "MatchingDeviceId", deviceId + '\0', REG_SZ);
  entry.SetBinary("", "InfPath", stem + ".inf" + '\0', REG_SZ);
  for (const std::string& name : {stem + ".inf", stem + ".pnf", stem + "x.inf"}) {
    win32::unique_hfile file(::CreateFileA((inf + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.is_valid());
  }

  {
    OtherProcessHolding holder(inf + stem + ".inf");
    ASSERT_TRUE(holder.Holding());

    RecordingHost host;
    RunReport report(host, kNoOwner);
    RemovingActions act(host, report, false);
    RemoveDriverFiles(host, report, script, act);

    EXPECT_EQ(host.messages, std::vector<std::string>{"File: " + inf + stem +
                                                      ".inf is read only,can't be deleted!"});
    EXPECT_TRUE(FileExists(inf + stem + ".inf"));
    EXPECT_FALSE(FileExists(inf + stem + ".pnf"));
    EXPECT_TRUE(FileExists(inf + stem + "x.inf"));
    EXPECT_EQ(holder.Release(), 0u);
  }
  // Once the other process lets go, the file is whole and can be deleted.
  EXPECT_EQ(::GetFileAttributesA((inf + stem + ".inf").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(::DeleteFileA((inf + stem + ".inf").c_str()));
  ::DeleteFileA((inf + stem + "x.inf").c_str());
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
  RunReport report(host, kNoOwner);
  RemovingActions act(host, report, host.IsWow64Process());
  RemoveDevices(host, report, script, "9", act);

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
  RunReport report(host, kNoOwner);
  RemovingActions act(host, report, false);
  RemoveKeyTrees(host, report, script, "9", act);

  EXPECT_FALSE(scratch.Exists("Vendor\\Scanner"));
  EXPECT_TRUE(scratch.Exists("Vendor\\Keep"));
  EXPECT_FALSE(scratch.Exists("Missing"));
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace vorsk
