// The in-memory machine behind a host that tells the memory the run itself holds from the
// memory the machine uses to serve it: every allocation made outside a host call is counted, with
// its peak. Text the machine hands back is copied into the run's own strings outside the call, as
// the platform fills the caller's buffers.
#pragma once

#include <cstddef>

#include "host/host.h"
#include "tests/fake_host.h"

namespace vorsk::bench {

// The memory counted since the last reset: the peak above what was held at the reset.
void ResetPeak();
std::size_t Peak();

class MeasuringHost : public Host {
 public:
  explicit MeasuringHost(test::FakeHost& inner) : inner_(inner) {}

  std::string GetPrivateProfileStringA(const std::string& section, const std::string& entry,
                                       const std::string& defaultText, std::uint32_t size,
                                       const std::string& path) override;
  std::int32_t GetPrivateProfileIntA(const std::string& section, const std::string& entry,
                                     std::int32_t defaultValue, const std::string& path) override;
  std::uint32_t GetSystemWindowsDirectoryA(std::string& directory, std::uint32_t size) override;
  FileHandle CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                         std::uint32_t shareMode, std::uint32_t creationDisposition,
                         std::uint32_t flagsAndAttributes) override;
  bool CloseHandle(FileHandle file) override;
  bool SetFileAttributesA(const std::string& path, std::uint32_t attributes) override;
  std::uint32_t GetFileAttributesA(const std::string& path) override;
  bool DeleteFileA(const std::string& path) override;
  Status CreateNewDirectory(const std::u16string& path, FolderAccess access) override;
  Status CopyToNewFile(const std::u16string& from, const std::u16string& to) override;
  Status WriteFileBytes(const std::u16string& path, const std::string& bytes, bool append) override;
  std::uint32_t GetFileAttributesW(const std::u16string& path) override;
  Status RegOpenKeyA(RegKey parent, const std::string& subKey, RegKey* result) override;
  Status RegOpenKeyExA(RegKey parent, const std::string& subKey, std::uint32_t access,
                       RegKey* result) override;
  Status RegEnumKeyExA(RegKey key, std::uint32_t index, std::string& name,
                       std::uint32_t nameSize) override;
  Status RegQueryValueExA(RegKey key, const std::string& valueName, std::string& data,
                          std::uint32_t dataSize) override;
  Status RegQueryInfoKeyA(RegKey key, std::uint32_t& subKeyCount) override;
  Status RegDeleteKeyA(RegKey parent, const std::string& subKey) override;
  Status RegOpenKeyNoFollowA(RegKey parent, const std::string& subKey, std::uint32_t access,
                             RegKey* result) override;
  Status RegDeleteKeyOfHandle(RegKey key) override;
  Status RegQueryKeyPath(RegKey key, std::u16string& path) override;
  Status RegCloseKey(RegKey key) override;
  DevInfoSet SetupDiGetClassDevsA(std::uint32_t flags) override;
  bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t index,
                             DeviceInfoRecord& record) override;
  bool SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, DeviceInfoRecord& record,
                                         std::uint32_t property, void* buffer,
                                         std::uint32_t bufferSize,
                                         std::uint32_t* requiredSize) override;
  bool SetupDiCallClassInstaller(std::uint32_t function, DevInfoSet set,
                                 DeviceInfoRecord& record) override;
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override;
  std::optional<std::string> DeviceInstanceIdOf(DevInfoSet set, DeviceInfoRecord& record) override;
  DevInfoSet SetupDiCreateDeviceInfoList() override;
  bool SetupDiOpenDeviceInfoA(DevInfoSet set, const std::string& instanceId,
                              DeviceInfoRecord& record) override;
  bool SetupDiGetDeviceInstallParamsA(DevInfoSet set, DeviceInfoRecord& record,
                                      std::uint32_t* flags) override;
  bool IsDevicePresent(DevInfoSet set, DeviceInfoRecord& record) override;
  bool IsWow64Process() override;
  ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments,
                              std::uint32_t timeoutMs) override;
  ProcessFacts GetProcessFacts() override;
  std::string ComputerName() override;
  UtcTime GetSystemTime() override;
  Status RegOpenKeyNoFollowW(RegKey parent, const std::u16string& subKey, std::uint32_t access,
                             RegKey* result) override;
  Status EnumSubkeyNameW(RegKey key, std::uint32_t index, std::u16string& name) override;
  Status RegEnumValueW(RegKey key, std::uint32_t index, std::u16string& name, std::uint32_t& type,
                       std::string& data) override;
  std::u16string AnsiToWide(const std::string& text) override;
  std::string WideToAnsi(const std::u16string& text) override;
  std::uint32_t GetACP() override { return inner_.GetACP(); }
  bool IsDBCSLeadByte(std::uint8_t byte) override { return inner_.IsDBCSLeadByte(byte); }
  RunLock AcquireRunLock(std::uint32_t timeoutMs) override;
  void ReleaseRunLock() override;
  bool HasInteractiveDesktop() override;
  void* LocalAlloc(std::uint32_t flags, std::size_t bytes) override;
  void* LocalFree(void* memory) override;
  std::uint32_t GetLastError() override;
  int MessageBoxA(WindowHandle owner, const std::string& text,
                  const std::optional<std::string>& caption, std::uint32_t type) override;
  void WriteStandardOutput(const std::string& text) override;
  void WriteStandardError(const std::string& text) override;
  bool HasLog() override { return inner_.HasLog(); }
  void WriteLog(const std::string& line) override;

 private:
  test::FakeHost& inner_;
};

}  // namespace vorsk::bench
