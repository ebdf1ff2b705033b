#include "host/win32/win32_host.h"

#include <cstdio>
#include <cstring>
#include <vector>

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

namespace vorsk {

namespace {

static_assert(sizeof(DeviceInfoRecord) == sizeof(SP_DEVINFO_DATA));
static_assert(offsetof(DeviceInfoRecord, classGuid) == offsetof(SP_DEVINFO_DATA, ClassGuid));
static_assert(offsetof(DeviceInfoRecord, devInst) == offsetof(SP_DEVINFO_DATA, DevInst));
static_assert(offsetof(DeviceInfoRecord, reserved) == offsetof(SP_DEVINFO_DATA, Reserved));
static_assert(kErrorMoreData == ERROR_MORE_DATA && kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kErrorInvalidData == ERROR_INVALID_DATA && kKeyRead == KEY_READ);
static_assert(kDigcfAllClasses == DIGCF_ALLCLASSES && kSpdrpHardwareId == SPDRP_HARDWAREID);
static_assert(kDifRemove == DIF_REMOVE && kLptr == LPTR);

HKEY ToHkey(RegKey key) {
  if (key == kLocalMachine) {
    return HKEY_LOCAL_MACHINE;
  }
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key));
}

RegKey FromHkey(HKEY key) {
  return RegKey{reinterpret_cast<std::uintptr_t>(key)};
}

HANDLE ToHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(file));
}

HDEVINFO ToHdevinfo(DevInfoSet set) {
  return reinterpret_cast<HDEVINFO>(static_cast<std::uintptr_t>(set));
}

SP_DEVINFO_DATA* ToDevinfoData(DeviceInfoRecord& record) {
  return reinterpret_cast<SP_DEVINFO_DATA*>(&record);
}

// The text in a filled buffer: up to its first zero, never past its end.
std::string TextOf(const std::vector<char>& buffer) {
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

}  // namespace

std::string Win32Host::GetPrivateProfileStringA(const std::string& section,
                                                const std::string& entry,
                                                const std::string& defaultText, std::uint32_t size,
                                                const std::string& path) {
  if (size == 0) {
    return std::string();
  }
  std::vector<char> buffer(size, '\0');
  ::GetPrivateProfileStringA(section.c_str(), entry.c_str(), defaultText.c_str(), buffer.data(),
                             size, path.c_str());
  buffer.back() = '\0';
  return TextOf(buffer);
}

std::int32_t Win32Host::GetPrivateProfileIntA(const std::string& section, const std::string& entry,
                                              std::int32_t defaultValue, const std::string& path) {
  return static_cast<std::int32_t>(
      ::GetPrivateProfileIntA(section.c_str(), entry.c_str(), defaultValue, path.c_str()));
}

std::uint32_t Win32Host::GetWindowsDirectoryA(std::string& directory, std::uint32_t size) {
  if (size == 0) {
    return ::GetWindowsDirectoryA(nullptr, 0);
  }
  std::vector<char> buffer(size, '\0');
  const UINT length = ::GetWindowsDirectoryA(buffer.data(), size);
  if (length != 0 && length < size) {
    directory = TextOf(buffer);
  }
  return length;
}

FileHandle Win32Host::CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                                  std::uint32_t shareMode, std::uint32_t creationDisposition,
                                  std::uint32_t flagsAndAttributes) {
  HANDLE file = ::CreateFileA(path.c_str(), desiredAccess, shareMode, nullptr, creationDisposition,
                              flagsAndAttributes, nullptr);
  return FileHandle{reinterpret_cast<std::uintptr_t>(file)};
}

bool Win32Host::CloseHandle(FileHandle file) {
  return ::CloseHandle(ToHandle(file)) != FALSE;
}

bool Win32Host::SetFileAttributesA(const std::string& path, std::uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

bool Win32Host::DeleteFileA(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != FALSE;
}

Status Win32Host::RegOpenKeyA(RegKey parent, const std::string& subKey, RegKey& result) {
  HKEY key = nullptr;
  const LONG status = ::RegOpenKeyA(ToHkey(parent), subKey.c_str(), &key);
  if (status == ERROR_SUCCESS) {
    result = FromHkey(key);
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegOpenKeyExA(RegKey parent, const std::string& subKey, std::uint32_t access,
                                RegKey& result) {
  HKEY key = nullptr;
  const LONG status = ::RegOpenKeyExA(ToHkey(parent), subKey.c_str(), 0, access, &key);
  if (status == ERROR_SUCCESS) {
    result = FromHkey(key);
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegEnumKeyExA(RegKey key, std::uint32_t index, std::string& name,
                                std::uint32_t nameSize) {
  std::vector<char> buffer(nameSize + 1, '\0');
  DWORD length = nameSize;
  const LONG status = ::RegEnumKeyExA(ToHkey(key), index, buffer.data(), &length, nullptr, nullptr,
                                      nullptr, nullptr);
  if (status == ERROR_SUCCESS) {
    name.assign(buffer.data(), std::min<std::size_t>(length, nameSize));
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegQueryValueExA(RegKey key, const std::string& valueName, std::string& data,
                                   std::uint32_t dataSize) {
  std::vector<BYTE> buffer(dataSize + 1, 0);
  DWORD size = dataSize;
  const LONG status =
      ::RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr, nullptr, buffer.data(), &size);
  if (status == ERROR_SUCCESS) {
    data.assign(reinterpret_cast<const char*>(buffer.data()),
                std::min<std::size_t>(size, dataSize));
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegQueryInfoKeyA(RegKey key, std::uint32_t& subKeyCount) {
  DWORD count = 0;
  const LONG status = ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &count, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) {
    subKeyCount = count;
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegDeleteKeyA(RegKey parent, const std::string& subKey) {
  return static_cast<Status>(::RegDeleteKeyA(ToHkey(parent), subKey.c_str()));
}

Status Win32Host::RegCloseKey(RegKey key) {
  return static_cast<Status>(::RegCloseKey(ToHkey(key)));
}

DevInfoSet Win32Host::SetupDiGetClassDevsA(std::uint32_t flags) {
  HDEVINFO set = ::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, flags);
  return DevInfoSet{reinterpret_cast<std::uintptr_t>(set)};
}

bool Win32Host::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t index,
                                      DeviceInfoRecord& record) {
  return ::SetupDiEnumDeviceInfo(ToHdevinfo(set), index, ToDevinfoData(record)) != FALSE;
}

bool Win32Host::SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, DeviceInfoRecord& record,
                                                  std::uint32_t property, void* buffer,
                                                  std::uint32_t bufferSize,
                                                  std::uint32_t* requiredSize) {
  DWORD type = 0;
  DWORD required = 0;
  const BOOL ok =
      ::SetupDiGetDeviceRegistryPropertyA(ToHdevinfo(set), ToDevinfoData(record), property, &type,
                                          static_cast<BYTE*>(buffer), bufferSize, &required);
  if (requiredSize != nullptr) {
    *requiredSize = required;
  }
  return ok != FALSE;
}

bool Win32Host::SetupDiCallClassInstaller(std::uint32_t function, DevInfoSet set,
                                          DeviceInfoRecord& record) {
  return ::SetupDiCallClassInstaller(function, ToHdevinfo(set), ToDevinfoData(record)) != FALSE;
}

bool Win32Host::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  return ::SetupDiDestroyDeviceInfoList(ToHdevinfo(set)) != FALSE;
}

void* Win32Host::LocalAlloc(std::uint32_t flags, std::size_t bytes) {
  return ::LocalAlloc(flags, bytes);
}

void* Win32Host::LocalFree(void* memory) {
  return ::LocalFree(memory);
}

std::uint32_t Win32Host::GetLastError() {
  return ::GetLastError();
}

int Win32Host::MessageBoxA(WindowHandle owner, const std::string& text,
                           const std::optional<std::string>& caption, std::uint32_t type) {
  return ::MessageBoxA(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(owner)), text.c_str(),
                       caption ? caption->c_str() : nullptr, type);
}

void Win32Host::WriteStandardOutput(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace vorsk
