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
  Status CopyToNewFile(const std::u16string& from, const std::u16string& to) override;
  Status WriteFileBytes(const std::u16string& path, const std::string& bytes, bool append) override;
  std::uint32_t GetFileAttributesW(const std::u16string& path) override;
  Status LookAtFile(const std::u16string& path, FolderEntry& facts) override;
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

  // The rest of the services, each forwarded as the ones above are.
  Status ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries,
                    std::size_t limit) override;
  Status ReadFileBytes(const std::u16string& path, std::string& bytes, std::size_t limit) override;
  bool SetFileAttributesW(const std::u16string& path, std::uint32_t attributes) override;
  bool DeleteFileW(const std::u16string& path) override;
  bool RemoveDirectoryW(const std::u16string& path) override;
  Status OpenFolderNoFollow(FolderHandle parent, const std::u16string& name,
                            FolderHandle* folder) override;
  Status CreateFolderIn(FolderHandle parent, const std::u16string& name, FolderAccess access,
                        FolderHandle* folder) override;
  Status CloseFolder(FolderHandle folder) override;
  Status ReadFolderSecurity(FolderHandle folder, SecurityFacts& security) override;
  Status WriteFileIn(FolderHandle folder, const std::u16string& name, const std::string& bytes,
                     bool append) override;
  Status CopyFileIn(FolderHandle fromFolder, const std::u16string& from, FolderHandle folder,
                    const std::u16string& name,
                    const std::function<void(std::string_view)>& eachPiece) override;
  Status ReadFileIn(FolderHandle folder, const std::u16string& name, std::string& bytes,
                    std::size_t limit) override;
  Status RegOpenKeyW(RegKey parent, const std::u16string& subKey, std::uint32_t access,
                     RegKey* result) override;
  Status RegCreateKeyNoFollowW(RegKey parent, const std::u16string& name, std::uint32_t access,
                               KeyAccess security, RegKey* result, bool* created) override;
  Status RegSetValueW(RegKey key, const std::u16string& name, std::uint32_t type,
                      const std::string& data) override;
  Status RegQueryValueW(RegKey key, const std::u16string& name, std::uint32_t& type,
                        std::string& data) override;
  Status ReadKeySecurity(RegKey key, SecurityFacts& security) override;
  bool SetupDiOpenDeviceInfoW(DevInfoSet set, const std::u16string& instanceId,
                              DeviceInfoRecord& record) override;
  bool SetupUninstallOEMInfA(const std::string& infFileName, std::uint32_t flags) override;
  bool SetupUninstallOEMInfW(const std::u16string& infFileName, std::uint32_t flags) override;
  std::optional<std::u16string> DriverStoreInfPath(const std::u16string& infPath) override;
  bool SetupCopyOEMInfW(const std::u16string& infPath, std::u16string& publishedName) override;
  bool IsProtectedFile(const std::u16string& path) override;
  std::u16string ExpandEnvironmentText(const std::u16string& text) override;
  bool CanTellProtectedKeys() override;
  bool IsProtectedKey(const std::u16string& path) override;
  RunLockKind HeldRunLock() override { return inner_.HeldRunLock(); }
  ProgramRun StartProgramBeside(const std::string& program, const std::string& arguments,
                                ProgramSession* session) override;
  ProgramAnswer HandProgramTask(ProgramSession session, const std::string& input,
                                std::uint32_t timeoutMs,
                                const std::function<bool(std::string_view)>& answered) override;
  std::uint32_t EndProgramSession(ProgramSession session, std::uint32_t timeoutMs) override;
  Status OwnProgramPath(std::u16string& path) override;
  std::string RunningUserSid() override;

 private:
  test::FakeHost& inner_;
};

}  // namespace vorsk::bench
