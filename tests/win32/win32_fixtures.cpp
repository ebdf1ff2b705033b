#include "tests/win32/win32_fixtures.h"

#include "tools/machine/description.h"

#include <atomic>

#include <gtest/gtest.h>

namespace vorsk::test {

namespace {

// {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}: the still-image device setup class.
const GUID kImageClass = {
    0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};

std::string UniqueName(const char* stem) {
  static std::atomic<unsigned> counter{0};
  return std::string(stem) + std::to_string(::GetCurrentProcessId()) + "_" +
         std::to_string(counter++);
}

void DeleteFolderTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") {
        continue;
      }
      const std::string path = folder + "\\" + name;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        DeleteFolderTree(path);
      } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryA(folder.c_str());
}

}  // namespace

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + UniqueName("vorsk");
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
  DeleteFolderTree(path_);
}

std::string ScratchFolder::Write(const std::string& name, const std::string& content) {
  const std::string path = Path(name);
  for (std::size_t slash = path.find('\\', path_.size() + 1); slash != std::string::npos;
       slash = path.find('\\', slash + 1)) {
    ::CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
  }
  win32::unique_hfile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_TRUE(file.is_valid()) << path;
  DWORD written = 0;
  ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  return path;
}

ScratchKey::ScratchKey(const std::string& parent) : path_(parent + "\\" + UniqueName("key")) {
  Create("");
}

ScratchKey::~ScratchKey() {
  ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
}

// Creates the key one component at a time, each relative to its parent, so that the whole path
// may be longer than one text argument of the registry may hold.
void ScratchKey::Create(const std::string& relative) {
  win32::unique_hkey key;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
            ERROR_SUCCESS)
      << path_;
  std::size_t begin = 0;
  while (begin < relative.size()) {
    std::size_t end = relative.find('\\', begin);
    if (end == std::string::npos) {
      end = relative.size();
    }
    win32::unique_hkey subkey;
    const std::string name = relative.substr(begin, end - begin);
    ASSERT_EQ(::RegCreateKeyExA(key.get(), name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                subkey.put(), nullptr),
              ERROR_SUCCESS)
        << relative;
    key = std::move(subkey);
    begin = end + 1;
  }
}

void ScratchKey::SetBinary(const std::string& relative, const std::string& name,
                           const std::string& data, DWORD type) {
  Create(relative);
  const std::string full = relative.empty() ? path_ : path_ + "\\" + relative;
  win32::unique_hkey key;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, full.c_str(), 0, KEY_SET_VALUE, key.put()),
            ERROR_SUCCESS);
  ASSERT_EQ(
      ::RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size())),
      ERROR_SUCCESS);
}

bool ScratchKey::Exists(const std::string& relative) const {
  win32::unique_hkey key;
  return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (path_ + "\\" + relative).c_str(), 0, KEY_READ,
                         key.put()) == ERROR_SUCCESS;
}

ScratchDevices::~ScratchDevices() {
  for (const std::string& instanceId : created_) {
    win32::unique_hdevinfo set(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA record = {};
    record.cbSize = sizeof(record);
    if (::SetupDiOpenDeviceInfoA(set.get(), instanceId.c_str(), nullptr, 0, &record)) {
      ::SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &record);
    }
  }
}

std::string ScratchDevices::Create(const std::vector<std::string>& hardwareIds) {
  win32::unique_hdevinfo set(::SetupDiCreateDeviceInfoList(&kImageClass, nullptr));
  SP_DEVINFO_DATA record = {};
  record.cbSize = sizeof(record);
  const std::string name = UniqueName("VORSKTEST");
  EXPECT_TRUE(::SetupDiCreateDeviceInfoA(set.get(), name.c_str(), &kImageClass, nullptr, nullptr,
                                         DICD_GENERATE_ID, &record));
  if (!hardwareIds.empty()) {
    const std::string list = machine::HardwareIdList(hardwareIds);
    EXPECT_TRUE(::SetupDiSetDeviceRegistryPropertyA(set.get(), &record, SPDRP_HARDWAREID,
                                                    reinterpret_cast<const BYTE*>(list.data()),
                                                    static_cast<DWORD>(list.size())));
  }
  EXPECT_TRUE(::SetupDiRegisterDeviceInfo(set.get(), &record, 0, nullptr, nullptr, nullptr));
  const std::string instanceId = InstanceIdOf(set.get(), record);
  created_.push_back(instanceId);
  return instanceId;
}

std::string InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& record) {
  char id[201] = {};  // the longest instance ID and its terminating zero
  if (!::SetupDiGetDeviceInstanceIdA(set, &record, id, sizeof(id), nullptr)) {
    return std::string();
  }
  return id;
}

std::string InstanceIdOf(DevInfoSet set, const DeviceInfoRecord& record) {
  DeviceInfoRecord copy = record;
  return InstanceIdOf(reinterpret_cast<HDEVINFO>(static_cast<std::uintptr_t>(set)),
                      *reinterpret_cast<SP_DEVINFO_DATA*>(&copy));
}

bool InstanceExists(const std::string& instanceId) {
  win32::unique_hdevinfo set(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
  SP_DEVINFO_DATA record = {};
  record.cbSize = sizeof(record);
  return ::SetupDiOpenDeviceInfoA(set.get(), instanceId.c_str(), nullptr, 0, &record) != FALSE;
}

}  // namespace vorsk::test
