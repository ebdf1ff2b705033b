#include "bench/native/measuring_host.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

// Each block carries its size and whether it was counted, ahead of what the caller sees.
constexpr std::size_t kHeader = 16;
bool inHost = false;
std::size_t current = 0;
std::size_t peak = 0;
std::size_t baseline = 0;

void* Allocate(std::size_t size) {
  auto* block = static_cast<std::size_t*>(std::malloc(size + kHeader));
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  block[0] = size;
  block[1] = inHost ? 0 : 1;
  if (!inHost) {
    current += size;
    peak = std::max(peak, current);
  }
  return reinterpret_cast<char*>(block) + kHeader;
}

void Release(void* memory) noexcept {
  if (memory == nullptr) {
    return;
  }
  auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(memory) - kHeader);
  if (block[1] != 0) {
    current -= block[0];
  }
  std::free(block);
}

// Marks the time spent inside the machine.
class InHost {
 public:
  InHost() : outer_(inHost) { inHost = true; }
  ~InHost() { inHost = outer_; }

 private:
  bool outer_;
};

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* memory) noexcept {
  Release(memory);
}
void operator delete[](void* memory) noexcept {
  Release(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  Release(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  Release(memory);
}

namespace vorsk::bench {

void ResetPeak() {
  baseline = current;
  peak = current;
}

std::size_t Peak() {
  return peak - baseline;
}

std::string MeasuringHost::GetPrivateProfileStringA(const std::string& section,
                                                    const std::string& entry,
                                                    const std::string& defaultText,
                                                    std::uint32_t size, const std::string& path) {
  std::string text;
  {
    InHost scope;
    text = inner_.GetPrivateProfileStringA(section, entry, defaultText, size, path);
  }
  return std::string(text);
}

std::int32_t MeasuringHost::GetPrivateProfileIntA(const std::string& section,
                                                  const std::string& entry,
                                                  std::int32_t defaultValue,
                                                  const std::string& path) {
  InHost scope;
  return inner_.GetPrivateProfileIntA(section, entry, defaultValue, path);
}

std::uint32_t MeasuringHost::GetSystemWindowsDirectoryA(std::string& directory,
                                                        std::uint32_t size) {
  std::string text;
  std::uint32_t length;
  {
    InHost scope;
    length = inner_.GetSystemWindowsDirectoryA(text, size);
  }
  if (length != 0 && length < size) {
    directory = text;
  }
  return length;
}

FileHandle MeasuringHost::CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                                      std::uint32_t shareMode, std::uint32_t creationDisposition,
                                      std::uint32_t flagsAndAttributes) {
  InHost scope;
  return inner_.CreateFileA(path, desiredAccess, shareMode, creationDisposition,
                            flagsAndAttributes);
}

bool MeasuringHost::CloseHandle(FileHandle file) {
  InHost scope;
  return inner_.CloseHandle(file);
}

bool MeasuringHost::SetFileAttributesA(const std::string& path, std::uint32_t attributes) {
  InHost scope;
  return inner_.SetFileAttributesA(path, attributes);
}

std::uint32_t MeasuringHost::GetFileAttributesA(const std::string& path) {
  InHost scope;
  return inner_.GetFileAttributesA(path);
}

bool MeasuringHost::DeleteFileA(const std::string& path) {
  InHost scope;
  return inner_.DeleteFileA(path);
}

Status MeasuringHost::RegOpenKeyA(RegKey parent, const std::string& subKey, RegKey* result) {
  InHost scope;
  return inner_.RegOpenKeyA(parent, subKey, result);
}

Status MeasuringHost::RegOpenKeyExA(RegKey parent, const std::string& subKey, std::uint32_t access,
                                    RegKey* result) {
  InHost scope;
  return inner_.RegOpenKeyExA(parent, subKey, access, result);
}

Status MeasuringHost::RegEnumKeyExA(RegKey key, std::uint32_t index, std::string& name,
                                    std::uint32_t nameSize) {
  std::string text;
  Status status;
  {
    InHost scope;
    status = inner_.RegEnumKeyExA(key, index, text, nameSize);
  }
  if (status == kErrorSuccess) {
    name = text;
  }
  return status;
}

Status MeasuringHost::RegQueryValueExA(RegKey key, const std::string& valueName, std::string& data,
                                       std::uint32_t dataSize) {
  std::string bytes;
  Status status;
  {
    InHost scope;
    status = inner_.RegQueryValueExA(key, valueName, bytes, dataSize);
  }
  if (status == kErrorSuccess) {
    data = bytes;
  }
  return status;
}

Status MeasuringHost::RegQueryInfoKeyA(RegKey key, std::uint32_t& subKeyCount) {
  InHost scope;
  return inner_.RegQueryInfoKeyA(key, subKeyCount);
}

Status MeasuringHost::RegDeleteKeyA(RegKey parent, const std::string& subKey) {
  InHost scope;
  return inner_.RegDeleteKeyA(parent, subKey);
}

Status MeasuringHost::RegOpenKeyNoFollowA(RegKey parent, const std::string& subKey,
                                          std::uint32_t access, RegKey* result) {
  InHost scope;
  return inner_.RegOpenKeyNoFollowA(parent, subKey, access, result);
}

Status MeasuringHost::RegDeleteKeyOfHandle(RegKey key) {
  InHost scope;
  return inner_.RegDeleteKeyOfHandle(key);
}

Status MeasuringHost::RegQueryKeyPath(RegKey key, std::u16string& path) {
  InHost scope;
  return inner_.RegQueryKeyPath(key, path);
}

Status MeasuringHost::RegCloseKey(RegKey key) {
  InHost scope;
  return inner_.RegCloseKey(key);
}

DevInfoSet MeasuringHost::SetupDiGetClassDevsA(std::uint32_t flags) {
  InHost scope;
  return inner_.SetupDiGetClassDevsA(flags);
}

bool MeasuringHost::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t index,
                                          DeviceInfoRecord& record) {
  InHost scope;
  return inner_.SetupDiEnumDeviceInfo(set, index, record);
}

bool MeasuringHost::SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, DeviceInfoRecord& record,
                                                      std::uint32_t property, void* buffer,
                                                      std::uint32_t bufferSize,
                                                      std::uint32_t* requiredSize) {
  InHost scope;
  return inner_.SetupDiGetDeviceRegistryPropertyA(set, record, property, buffer, bufferSize,
                                                  requiredSize);
}

bool MeasuringHost::SetupDiCallClassInstaller(std::uint32_t function, DevInfoSet set,
                                              DeviceInfoRecord& record) {
  InHost scope;
  return inner_.SetupDiCallClassInstaller(function, set, record);
}

bool MeasuringHost::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  InHost scope;
  return inner_.SetupDiDestroyDeviceInfoList(set);
}

std::optional<std::string> MeasuringHost::DeviceInstanceIdOf(DevInfoSet set,
                                                             DeviceInfoRecord& record) {
  std::optional<std::string> id;
  {
    InHost scope;
    id = inner_.DeviceInstanceIdOf(set, record);
  }
  return id ? std::optional<std::string>(std::string(*id)) : std::nullopt;
}

DevInfoSet MeasuringHost::SetupDiCreateDeviceInfoList() {
  InHost scope;
  return inner_.SetupDiCreateDeviceInfoList();
}

bool MeasuringHost::SetupDiOpenDeviceInfoA(DevInfoSet set, const std::string& instanceId,
                                           DeviceInfoRecord& record) {
  InHost scope;
  return inner_.SetupDiOpenDeviceInfoA(set, instanceId, record);
}

bool MeasuringHost::SetupDiGetDeviceInstallParamsA(DevInfoSet set, DeviceInfoRecord& record,
                                                   std::uint32_t* flags) {
  InHost scope;
  return inner_.SetupDiGetDeviceInstallParamsA(set, record, flags);
}

bool MeasuringHost::IsDevicePresent(DevInfoSet set, DeviceInfoRecord& record) {
  InHost scope;
  return inner_.IsDevicePresent(set, record);
}

bool MeasuringHost::IsWow64Process() {
  InHost scope;
  return inner_.IsWow64Process();
}

ProgramRun MeasuringHost::RunProgramBeside(const std::string& program, const std::string& arguments,
                                           std::uint32_t timeoutMs) {
  ProgramRun run;
  {
    InHost scope;
    run = inner_.RunProgramBeside(program, arguments, timeoutMs);
  }
  run.output = std::string(run.output);
  return run;
}

Status MeasuringHost::CopyToNewFile(const std::u16string& from, const std::u16string& to) {
  InHost scope;
  return inner_.CopyToNewFile(from, to);
}

std::uint32_t MeasuringHost::GetFileAttributesW(const std::u16string& path) {
  InHost scope;
  return inner_.GetFileAttributesW(path);
}

Status MeasuringHost::LookAtFile(const std::u16string& path, FolderEntry& facts) {
  InHost scope;
  return inner_.LookAtFile(path, facts);
}

Status MeasuringHost::WriteFileBytes(const std::u16string& path, const std::string& bytes,
                                     bool append) {
  InHost scope;
  return inner_.WriteFileBytes(path, bytes, append);
}

// Text that the host hands back is copied out of the host's scope, so that the caller's copy
// counts as the caller's memory.
std::string MeasuringHost::ComputerName() {
  std::string name;
  {
    InHost scope;
    name = inner_.ComputerName();
  }
  return std::string(name);
}

UtcTime MeasuringHost::GetSystemTime() {
  InHost scope;
  return inner_.GetSystemTime();
}

Status MeasuringHost::RegOpenKeyNoFollowW(RegKey parent, const std::u16string& subKey,
                                          std::uint32_t access, RegKey* result) {
  InHost scope;
  return inner_.RegOpenKeyNoFollowW(parent, subKey, access, result);
}

Status MeasuringHost::EnumSubkeyNameW(RegKey key, std::uint32_t index, std::u16string& name) {
  std::u16string text;
  Status status;
  {
    InHost scope;
    status = inner_.EnumSubkeyNameW(key, index, text);
  }
  if (status == kErrorSuccess) {
    name = text;
  }
  return status;
}

Status MeasuringHost::RegEnumValueW(RegKey key, std::uint32_t index, std::u16string& name,
                                    std::uint32_t& type, std::string& data) {
  std::u16string valueName;
  std::string bytes;
  Status status;
  {
    InHost scope;
    status = inner_.RegEnumValueW(key, index, valueName, type, bytes);
  }
  if (status == kErrorSuccess) {
    name = valueName;
    data = bytes;
  }
  return status;
}

std::u16string MeasuringHost::AnsiToWide(const std::string& text) {
  std::u16string wide;
  {
    InHost scope;
    wide = inner_.AnsiToWide(text);
  }
  return std::u16string(wide);
}

std::string MeasuringHost::WideToAnsi(const std::u16string& text) {
  std::string narrow;
  {
    InHost scope;
    narrow = inner_.WideToAnsi(text);
  }
  return std::string(narrow);
}

ProcessFacts MeasuringHost::GetProcessFacts() {
  ProcessFacts facts;
  {
    InHost scope;
    facts = inner_.GetProcessFacts();
  }
  facts.windowsVersion = std::string(facts.windowsVersion);
  facts.user = std::string(facts.user);
  return facts;
}

RunLock MeasuringHost::AcquireRunLock(std::uint32_t timeoutMs) {
  InHost scope;
  return inner_.AcquireRunLock(timeoutMs);
}

void MeasuringHost::ReleaseRunLock() {
  InHost scope;
  inner_.ReleaseRunLock();
}

bool MeasuringHost::HasInteractiveDesktop() {
  InHost scope;
  return inner_.HasInteractiveDesktop();
}

// Buffers the run asks for are its own: counted.
void* MeasuringHost::LocalAlloc(std::uint32_t flags, std::size_t bytes) {
  return inner_.LocalAlloc(flags, bytes);
}

void* MeasuringHost::LocalFree(void* memory) {
  return inner_.LocalFree(memory);
}

std::uint32_t MeasuringHost::GetLastError() {
  return inner_.GetLastError();
}

int MeasuringHost::MessageBoxA(WindowHandle owner, const std::string& text,
                               const std::optional<std::string>& caption, std::uint32_t type) {
  InHost scope;
  return inner_.MessageBoxA(owner, text, caption, type);
}

void MeasuringHost::WriteStandardOutput(const std::string& text) {
  InHost scope;
  inner_.WriteStandardOutput(text);
}

void MeasuringHost::WriteStandardError(const std::string& text) {
  InHost scope;
  inner_.WriteStandardError(text);
}

void MeasuringHost::WriteLog(const std::string& line) {
  InHost scope;
  inner_.WriteLog(line);
}

// What the machine hands back through a reference is copied out of the host's scope, as above.
template <typename Result, typename Call>
Status CopiedOut(Result& result, Call call) {
  Result held;
  Status status;
  {
    InHost scope;
    status = call(held);
  }
  if (status == kErrorSuccess) {
    result = Result(held);
  }
  return status;
}

Status MeasuringHost::ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries,
                                 std::size_t limit) {
  return CopiedOut(entries, [&](std::vector<FolderEntry>& held) {
    return inner_.ListFolder(folder, held, limit);
  });
}

Status MeasuringHost::ReadFileBytes(const std::u16string& path, std::string& bytes,
                                    std::size_t limit) {
  return CopiedOut(bytes,
                   [&](std::string& held) { return inner_.ReadFileBytes(path, held, limit); });
}

bool MeasuringHost::SetFileAttributesW(const std::u16string& path, std::uint32_t attributes) {
  InHost scope;
  return inner_.SetFileAttributesW(path, attributes);
}

bool MeasuringHost::DeleteFileW(const std::u16string& path) {
  InHost scope;
  return inner_.DeleteFileW(path);
}

bool MeasuringHost::RemoveDirectoryW(const std::u16string& path) {
  InHost scope;
  return inner_.RemoveDirectoryW(path);
}

Status MeasuringHost::OpenFolderNoFollow(FolderHandle parent, const std::u16string& name,
                                         FolderHandle* folder) {
  InHost scope;
  return inner_.OpenFolderNoFollow(parent, name, folder);
}

Status MeasuringHost::CreateFolderIn(FolderHandle parent, const std::u16string& name,
                                     FolderAccess access, FolderHandle* folder) {
  InHost scope;
  return inner_.CreateFolderIn(parent, name, access, folder);
}

Status MeasuringHost::CloseFolder(FolderHandle folder) {
  InHost scope;
  return inner_.CloseFolder(folder);
}

Status MeasuringHost::ReadFolderSecurity(FolderHandle folder, SecurityFacts& security) {
  return CopiedOut(security,
                   [&](SecurityFacts& held) { return inner_.ReadFolderSecurity(folder, held); });
}

Status MeasuringHost::WriteFileIn(FolderHandle folder, const std::u16string& name,
                                  const std::string& bytes, bool append) {
  InHost scope;
  return inner_.WriteFileIn(folder, name, bytes, append);
}

Status MeasuringHost::CopyFileIn(FolderHandle fromFolder, const std::u16string& from,
                                 FolderHandle folder, const std::u16string& name,
                                 const std::function<void(std::string_view)>& eachPiece) {
  InHost scope;
  return inner_.CopyFileIn(fromFolder, from, folder, name, eachPiece);
}

Status MeasuringHost::ReadFileIn(FolderHandle folder, const std::u16string& name,
                                 std::string& bytes, std::size_t limit) {
  return CopiedOut(bytes,
                   [&](std::string& held) { return inner_.ReadFileIn(folder, name, held, limit); });
}

Status MeasuringHost::RegOpenKeyW(RegKey parent, const std::u16string& subKey, std::uint32_t access,
                                  RegKey* result) {
  InHost scope;
  return inner_.RegOpenKeyW(parent, subKey, access, result);
}

Status MeasuringHost::RegCreateKeyNoFollowW(RegKey parent, const std::u16string& name,
                                            std::uint32_t access, KeyAccess security,
                                            RegKey* result, bool* created) {
  InHost scope;
  return inner_.RegCreateKeyNoFollowW(parent, name, access, security, result, created);
}

Status MeasuringHost::RegSetValueW(RegKey key, const std::u16string& name, std::uint32_t type,
                                   const std::string& data) {
  InHost scope;
  return inner_.RegSetValueW(key, name, type, data);
}

Status MeasuringHost::RegQueryValueW(RegKey key, const std::u16string& name, std::uint32_t& type,
                                     std::string& data) {
  return CopiedOut(data,
                   [&](std::string& held) { return inner_.RegQueryValueW(key, name, type, held); });
}

Status MeasuringHost::ReadKeySecurity(RegKey key, SecurityFacts& security) {
  return CopiedOut(security,
                   [&](SecurityFacts& held) { return inner_.ReadKeySecurity(key, held); });
}

bool MeasuringHost::SetupDiOpenDeviceInfoW(DevInfoSet set, const std::u16string& instanceId,
                                           DeviceInfoRecord& record) {
  InHost scope;
  return inner_.SetupDiOpenDeviceInfoW(set, instanceId, record);
}

bool MeasuringHost::SetupUninstallOEMInfA(const std::string& infFileName, std::uint32_t flags) {
  InHost scope;
  return inner_.SetupUninstallOEMInfA(infFileName, flags);
}

bool MeasuringHost::SetupUninstallOEMInfW(const std::u16string& infFileName, std::uint32_t flags) {
  InHost scope;
  return inner_.SetupUninstallOEMInfW(infFileName, flags);
}

std::optional<std::u16string> MeasuringHost::DriverStoreInfPath(const std::u16string& infPath) {
  std::optional<std::u16string> path;
  {
    InHost scope;
    path = inner_.DriverStoreInfPath(infPath);
  }
  return path ? std::optional<std::u16string>(std::u16string(*path)) : std::nullopt;
}

bool MeasuringHost::SetupCopyOEMInfW(const std::u16string& infPath, std::u16string& publishedName) {
  std::u16string name;
  bool copied;
  {
    InHost scope;
    copied = inner_.SetupCopyOEMInfW(infPath, name);
  }
  if (copied) {
    publishedName = std::u16string(name);
  }
  return copied;
}

bool MeasuringHost::IsProtectedFile(const std::u16string& path) {
  InHost scope;
  return inner_.IsProtectedFile(path);
}

std::u16string MeasuringHost::ExpandEnvironmentText(const std::u16string& text) {
  InHost scope;
  return inner_.ExpandEnvironmentText(text);
}

bool MeasuringHost::CanTellProtectedKeys() {
  InHost scope;
  return inner_.CanTellProtectedKeys();
}

bool MeasuringHost::IsProtectedKey(const std::u16string& path) {
  InHost scope;
  return inner_.IsProtectedKey(path);
}

ProgramRun MeasuringHost::StartProgramBeside(const std::string& program,
                                             const std::string& arguments,
                                             ProgramSession* session) {
  InHost scope;
  return inner_.StartProgramBeside(program, arguments, session);
}

ProgramAnswer MeasuringHost::HandProgramTask(
    ProgramSession session, const std::string& input, std::uint32_t timeoutMs,
    const std::function<bool(std::string_view)>& answered) {
  ProgramAnswer answer;
  {
    InHost scope;
    answer = inner_.HandProgramTask(session, input, timeoutMs, answered);
  }
  answer.output = std::string(answer.output);
  return answer;
}

std::uint32_t MeasuringHost::EndProgramSession(ProgramSession session, std::uint32_t timeoutMs) {
  InHost scope;
  return inner_.EndProgramSession(session, timeoutMs);
}

Status MeasuringHost::OwnProgramPath(std::u16string& path) {
  return CopiedOut(path, [&](std::u16string& held) { return inner_.OwnProgramPath(held); });
}

std::string MeasuringHost::RunningUserSid() {
  std::string sid;
  {
    InHost scope;
    sid = inner_.RunningUserSid();
  }
  return std::string(sid);
}

}  // namespace vorsk::bench
