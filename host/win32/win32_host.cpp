#include "host/win32/win32_host.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

// clang-format off
#include <windows.h>
#include <sddl.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <sfc.h>
// clang-format on

#include "host/win32/process_facts.h"
#include "host/win32/program_runner.h"
#include "host/win32/run_lock.h"
#include "host/win32/run_log.h"
#include "host/win32/setup_api.h"
#include "host/win32/system_library.h"
#include "host/win32/text_conversion.h"
#include "host/win32/translate.h"

namespace vorsk {

namespace {

// The platform's constants that host.h copies, checked against its own headers.
static_assert(kErrorSuccess == ERROR_SUCCESS && kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED &&
              kErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(kErrorInvalidData == ERROR_INVALID_DATA);
static_assert(kErrorTimeout == ERROR_TIMEOUT);
static_assert(kErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(kErrorFileExists == ERROR_FILE_EXISTS && kErrorAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(kErrorBadPathname == ERROR_BAD_PATHNAME);
static_assert(kErrorMoreData == ERROR_MORE_DATA && kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kErrorKeyDeleted == ERROR_KEY_DELETED);
static_assert(kErrorInvalidUserBuffer == ERROR_INVALID_USER_BUFFER);
static_assert(kErrorNoSuchDevinst == static_cast<Status>(ERROR_NO_SUCH_DEVINST));
static_assert(kErrorInWow64 == static_cast<Status>(ERROR_IN_WOW64));
static_assert(kErrorInfInUseByDevices == static_cast<Status>(ERROR_INF_IN_USE_BY_DEVICES));
static_assert(kErrorNotAnInstalledOemInf == static_cast<Status>(ERROR_NOT_AN_INSTALLED_OEM_INF));
static_assert(kSuoiForceDelete == SUOI_FORCEDELETE);
static_assert(kGenericRead == GENERIC_READ && kOpenExisting == OPEN_EXISTING);
static_assert(kFileShareRead == FILE_SHARE_READ && kFileShareWrite == FILE_SHARE_WRITE);
static_assert(kFileAttributeReadOnly == FILE_ATTRIBUTE_READONLY);
static_assert(kFileAttributeHidden == FILE_ATTRIBUTE_HIDDEN);
static_assert(kFileAttributeSystem == FILE_ATTRIBUTE_SYSTEM);
static_assert(kFileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(kFileAttributeArchive == FILE_ATTRIBUTE_ARCHIVE);
static_assert(kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(kFileAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(kKeyRead == KEY_READ && kDelete == DELETE);
static_assert(kRegSz == REG_SZ && kRegBinary == REG_BINARY && kRegDword == REG_DWORD);
static_assert(kRegMultiSz == REG_MULTI_SZ && kRegExpandSz == REG_EXPAND_SZ);
static_assert(kRegLink == REG_LINK && kRegQword == REG_QWORD);
static_assert(kDigcfPresent == DIGCF_PRESENT && kDigcfAllClasses == DIGCF_ALLCLASSES);
static_assert(kSpdrpHardwareId == SPDRP_HARDWAREID && kDifRemove == DIF_REMOVE);
static_assert(kDiNeedRestart == DI_NEEDRESTART && kDiNeedReboot == DI_NEEDREBOOT);
static_assert(kMaxDeviceIdLength == MAX_DEVICE_ID_LEN);
static_assert(kLptr == LPTR);
static_assert(kMbOk == MB_OK && kMbIconInformation == MB_ICONINFORMATION && kIdOk == IDOK);

// The device information record has the platform's layout, in either bitness.
static_assert(sizeof(DeviceInfoRecord) == sizeof(SP_DEVINFO_DATA));
static_assert(offsetof(DeviceInfoRecord, classGuid) == offsetof(SP_DEVINFO_DATA, ClassGuid));
static_assert(offsetof(DeviceInfoRecord, devInst) == offsetof(SP_DEVINFO_DATA, DevInst));
static_assert(offsetof(DeviceInfoRecord, reserved) == offsetof(SP_DEVINFO_DATA, Reserved));

using win32::FileFromPlatform;
using win32::FromPlatform;
using win32::SetFromPlatform;
using win32::ToPlatform;

SP_DEVINFO_DATA* ToDevinfoData(DeviceInfoRecord& record) {
  return reinterpret_cast<SP_DEVINFO_DATA*>(&record);
}

// Runs a call that releases a handle, leaving the thread's last error as it was: a caller that
// reads the last error of a failed call after its cleanup still reads the call's.
template <typename Release>
auto KeepingLastError(Release release) {
  const DWORD lastError = ::GetLastError();
  const auto result = release();
  ::SetLastError(lastError);
  return result;
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The SID, as text, of the account a file server knows this process by: its own user, or for
// SYSTEM the machine's account in its domain ("<name>$"). Empty when it cannot be read.
std::wstring NetworkAccountSid() {
  win32::unique_handle token;
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
    return std::wstring();
  }
  token.reset(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
    return std::wstring();
  }
  PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
  std::vector<BYTE> machine(SECURITY_MAX_SID_SIZE);
  if (::IsWellKnownSid(sid, WinLocalSystemSid)) {
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 2] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    DWORD sidSize = static_cast<DWORD>(machine.size());
    wchar_t domain[256] = {};
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (!::GetComputerNameW(computer, &length) ||
        !::LookupAccountNameW(nullptr, (std::wstring(computer) + L"$").c_str(), machine.data(),
                              &sidSize, domain, &domainSize, &use)) {
      return std::wstring();
    }
    sid = machine.data();
  }
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text)) {
    return std::wstring();
  }
  win32::unique_hlocal owned(text);
  return text;
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

std::uint32_t Win32Host::GetSystemWindowsDirectoryA(std::string& directory, std::uint32_t size) {
  if (size == 0) {
    return ::GetSystemWindowsDirectoryA(nullptr, 0);
  }
  std::vector<char> buffer(size, '\0');
  const UINT length = ::GetSystemWindowsDirectoryA(buffer.data(), size);
  if (length != 0 && length < size) {
    directory = TextOf(buffer);
  }
  return length;
}

FileHandle Win32Host::CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                                  std::uint32_t shareMode, std::uint32_t creationDisposition,
                                  std::uint32_t flagsAndAttributes) {
  return FileFromPlatform(::CreateFileA(path.c_str(), desiredAccess, shareMode, nullptr,
                                        creationDisposition, flagsAndAttributes, nullptr));
}

bool Win32Host::CloseHandle(FileHandle file) {
  return KeepingLastError([&] { return ::CloseHandle(ToPlatform(file)) != FALSE; });
}

bool Win32Host::SetFileAttributesA(const std::string& path, std::uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

std::uint32_t Win32Host::GetFileAttributesA(const std::string& path) {
  return ::GetFileAttributesA(path.c_str());
}

bool Win32Host::DeleteFileA(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != FALSE;
}

win32::unique_hlocal win32::AdministratorsOnlyFolderDescriptor(bool onShare) {
  // Protected (P): nothing of the parent's list is inherited; OICI: whatever is made inside gets
  // the same entries, and nothing else.
  std::wstring rights = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  if (onShare) {
    // The server knows this process by its account, or SYSTEM by the machine's own account.
    const std::wstring maker = NetworkAccountSid();
    if (!maker.empty()) {
      rights += L"(A;OICI;FA;;;" + maker + L")";
    }
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(rights.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return win32::unique_hlocal();
  }
  return win32::unique_hlocal(descriptor);
}

Status Win32Host::CreateNewDirectory(const std::u16string& path, FolderAccess access) {
  if (access == FolderAccess::Inherited) {
    return ::CreateDirectoryW(Wide(path), nullptr) ? kErrorSuccess
                                                   : static_cast<Status>(::GetLastError());
  }
  const win32::unique_hlocal descriptor =
      win32::AdministratorsOnlyFolderDescriptor(path.rfind(u"\\\\", 0) == 0);
  if (!descriptor) {
    return static_cast<Status>(::GetLastError());
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
  return ::CreateDirectoryW(Wide(path), &attributes) ? kErrorSuccess
                                                     : static_cast<Status>(::GetLastError());
}

Status Win32Host::CopyToNewFile(const std::u16string& from, const std::u16string& to) {
  return ::CopyFileW(Wide(from), Wide(to), TRUE) ? kErrorSuccess
                                                 : static_cast<Status>(::GetLastError());
}

std::uint32_t Win32Host::GetFileAttributesW(const std::u16string& path) {
  return ::GetFileAttributesW(Wide(path));
}

Status Win32Host::WriteFileBytes(const std::u16string& path, const std::string& bytes,
                                 bool append) {
  win32::unique_hfile file(
      ::CreateFileW(Wide(path), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    append ? OPEN_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return static_cast<Status>(::GetLastError());
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1 << 20));
    DWORD done = 0;
    if (!::WriteFile(file.get(), bytes.data() + written, chunk, &done, nullptr) || done == 0) {
      return static_cast<Status>(::GetLastError());
    }
    written += done;
  }
  // A save counts once it is on the disk: the deletion that follows cannot be taken back.
  if (!::FlushFileBuffers(file.get())) {
    return static_cast<Status>(::GetLastError());
  }
  file.reset();
  return kErrorSuccess;
}

Status Win32Host::ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries,
                             std::size_t limit) {
  const bool endsInSeparator = !folder.empty() && (folder.back() == u'\\' || folder.back() == u'/');
  const std::u16string pattern = folder + (endsInSeparator ? u"*" : u"\\*");
  WIN32_FIND_DATAW found = {};
  win32::unique_hfind search(::FindFirstFileW(Wide(pattern), &found));
  if (!search) {
    const DWORD error = ::GetLastError();
    // Every folder lists "." and ".." but a drive's root, where an empty one finds nothing: a
    // folder that is there and holds nothing.
    const DWORD attributes = ::GetFileAttributesW(Wide(folder));
    if (error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      entries.clear();
      return kErrorSuccess;
    }
    return static_cast<Status>(error);
  }
  std::vector<FolderEntry> listed;
  do {
    const std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName),
                              wcsnlen(found.cFileName, MAX_PATH));
    if (name == u"." || name == u"..") {
      continue;
    }
    if (listed.size() == limit) {
      return kErrorMoreData;
    }
    FolderEntry entry;
    entry.name = name;
    entry.attributes = found.dwFileAttributes;
    entry.size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    listed.push_back(std::move(entry));
  } while (::FindNextFileW(search.get(), &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) {
    return static_cast<Status>(::GetLastError());
  }
  entries = std::move(listed);
  return kErrorSuccess;
}

Status Win32Host::ReadFileBytes(const std::u16string& path, std::string& bytes, std::size_t limit) {
  // Shared with every writer and deleter: the file is only looked at.
  win32::unique_hfile file(::CreateFileW(
      Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    return static_cast<Status>(::GetLastError());
  }
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size)) {
    return static_cast<Status>(::GetLastError());
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > limit) {
    return kErrorMoreData;
  }
  // Read to the file's end, one byte past the limit at most: a file that grows meanwhile is still
  // refused once it holds more.
  const std::size_t most = limit < std::numeric_limits<std::size_t>::max() ? limit + 1 : limit;
  std::string content(std::min<std::size_t>(static_cast<std::size_t>(size.QuadPart) + 1, most),
                      '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == content.size()) {
      if (filled == most) {
        return kErrorMoreData;
      }
      content.resize(std::min<std::size_t>(std::max<std::size_t>(filled * 2, 4096), most));
    }
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - filled, 1 << 20));
    DWORD done = 0;
    if (!::ReadFile(file.get(), content.data() + filled, chunk, &done, nullptr)) {
      return static_cast<Status>(::GetLastError());
    }
    if (done == 0) {
      break;
    }
    filled += done;
  }
  content.resize(filled);
  bytes = std::move(content);
  return kErrorSuccess;
}

Status Win32Host::RegOpenKeyA(RegKey parent, const std::string& subKey, RegKey* result) {
  HKEY key = nullptr;
  const LONG status = ::RegOpenKeyA(ToPlatform(parent), subKey.c_str(), &key);
  if (status == ERROR_SUCCESS) {
    *result = FromPlatform(key);
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegOpenKeyExA(RegKey parent, const std::string& subKey, std::uint32_t access,
                                RegKey* result) {
  HKEY key = nullptr;
  const LONG status = ::RegOpenKeyExA(ToPlatform(parent), subKey.c_str(), 0, access, &key);
  if (status == ERROR_SUCCESS) {
    *result = FromPlatform(key);
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegEnumKeyExA(RegKey key, std::uint32_t index, std::string& name,
                                std::uint32_t nameSize) {
  std::vector<char> buffer(nameSize + 1, '\0');
  DWORD length = nameSize;
  const LONG status = ::RegEnumKeyExA(ToPlatform(key), index, buffer.data(), &length, nullptr,
                                      nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) {
    name.assign(buffer.data(), std::min<std::size_t>(length, nameSize));
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegQueryValueExA(RegKey key, const std::string& valueName, std::string& data,
                                   std::uint32_t dataSize) {
  std::vector<BYTE> buffer(dataSize + 1, 0);
  DWORD size = dataSize;
  const LONG status = ::RegQueryValueExA(ToPlatform(key), valueName.c_str(), nullptr, nullptr,
                                         buffer.data(), &size);
  if (status == ERROR_SUCCESS) {
    data.assign(reinterpret_cast<const char*>(buffer.data()),
                std::min<std::size_t>(size, dataSize));
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegQueryInfoKeyA(RegKey key, std::uint32_t& subKeyCount) {
  DWORD count = 0;
  const LONG status =
      ::RegQueryInfoKeyA(ToPlatform(key), nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) {
    subKeyCount = count;
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegDeleteKeyA(RegKey parent, const std::string& subKey) {
  return static_cast<Status>(::RegDeleteKeyA(ToPlatform(parent), subKey.c_str()));
}

Status Win32Host::RegOpenKeyNoFollowA(RegKey parent, const std::string& subKey,
                                      std::uint32_t access, RegKey* result) {
  HKEY key = nullptr;
  const LONG status =
      ::RegOpenKeyExA(ToPlatform(parent), subKey.c_str(), REG_OPTION_OPEN_LINK, access, &key);
  if (status == ERROR_SUCCESS) {
    *result = FromPlatform(key);
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegDeleteKeyOfHandle(RegKey key) {
  // The registry's own deletion of the key a handle names: the only one that deletes a link key
  // itself rather than what it points to.
  using NtDeleteKeyCall = LONG(NTAPI*)(HANDLE);
  using ToDosErrorCall = ULONG(NTAPI*)(LONG);
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto deleteKey = reinterpret_cast<NtDeleteKeyCall>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDeleteKey")));
  const auto toDosError = reinterpret_cast<ToDosErrorCall>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (deleteKey == nullptr || toDosError == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  const LONG status = deleteKey(ToPlatform(key));
  return status == 0 ? kErrorSuccess : static_cast<Status>(toDosError(status));
}

Status Win32Host::RegQueryKeyPath(RegKey key, std::u16string& path) {
  // The registry's own name for the key of a handle ("\REGISTRY\MACHINE\SOFTWARE\..."), as
  // the key name information of the native key query gives it.
  using NtQueryKeyCall = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  using ToDosErrorCall = ULONG(NTAPI*)(LONG);
  constexpr int kKeyNameInformation = 3;
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto queryKey = reinterpret_cast<NtQueryKeyCall>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryKey")));
  const auto toDosError = reinterpret_cast<ToDosErrorCall>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (queryKey == nullptr || toDosError == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  // The information is the name's length in bytes, then the name; a key path has at most
  // 32767 characters.
  std::vector<BYTE> buffer(sizeof(ULONG) + 32768 * sizeof(wchar_t));
  ULONG written = 0;
  const LONG status = queryKey(ToPlatform(key), kKeyNameInformation, buffer.data(),
                               static_cast<ULONG>(buffer.size()), &written);
  if (status != 0) {
    return static_cast<Status>(toDosError(status));
  }
  ULONG nameBytes = 0;
  std::memcpy(&nameBytes, buffer.data(), sizeof nameBytes);
  nameBytes = std::min<ULONG>(nameBytes, static_cast<ULONG>(buffer.size() - sizeof(ULONG)));
  std::u16string name(nameBytes / sizeof(char16_t), u'\0');
  std::memcpy(name.data(), buffer.data() + sizeof(ULONG), name.size() * sizeof(char16_t));
  constexpr std::u16string_view kMachine = u"\\REGISTRY\\MACHINE\\";
  if (name.size() < kMachine.size()) {
    return kErrorFileNotFound;
  }
  for (std::size_t i = 0; i < kMachine.size(); ++i) {
    const char16_t c = name[i];
    if ((c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c) != kMachine[i]) {
      return kErrorFileNotFound;
    }
  }
  path = name.substr(kMachine.size());
  return kErrorSuccess;
}

Status Win32Host::RegOpenKeyNoFollowW(RegKey parent, const std::u16string& subKey,
                                      std::uint32_t access, RegKey* result) {
  HKEY key = nullptr;
  const LONG status =
      ::RegOpenKeyExW(ToPlatform(parent), reinterpret_cast<const wchar_t*>(subKey.c_str()),
                      REG_OPTION_OPEN_LINK, access, &key);
  if (status == ERROR_SUCCESS) {
    *result = FromPlatform(key);
  }
  return static_cast<Status>(status);
}

Status Win32Host::EnumSubkeyNameW(RegKey key, std::uint32_t index, std::u16string& name) {
  wchar_t buffer[256];
  DWORD length = 256;
  const LONG status =
      ::RegEnumKeyExW(ToPlatform(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) {
    name.assign(reinterpret_cast<const char16_t*>(buffer), length);
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegEnumValueW(RegKey key, std::uint32_t index, std::u16string& name,
                                std::uint32_t& type, std::string& data) {
  // The buffers of the value before serve when they are large enough; otherwise they grow to the
  // key's longest name and data (or to what the value reports, should it grow meanwhile).
  LONG status = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
    DWORD nameLength = static_cast<DWORD>(valueName_.size());
    DWORD dataLength = static_cast<DWORD>(valueData_.size());
    DWORD valueType = 0;
    status = ::RegEnumValueW(ToPlatform(key), index, valueName_.data(), &nameLength, nullptr,
                             &valueType, valueData_.data(), &dataLength);
    if (status == ERROR_SUCCESS) {
      name.assign(reinterpret_cast<const char16_t*>(valueName_.data()), nameLength);
      type = valueType;
      data.assign(reinterpret_cast<const char*>(valueData_.data()), dataLength);
      return kErrorSuccess;
    }
    if (status == ERROR_MORE_DATA) {
      DWORD maxName = 0;
      DWORD maxData = 0;
      ::RegQueryInfoKeyW(ToPlatform(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &maxName, &maxData, nullptr, nullptr);
      valueName_.resize(std::max<std::size_t>({valueName_.size() * 2, maxName + 1, 16384}));
      valueData_.resize(
          std::max<std::size_t>({valueData_.size() * 2, std::size_t{maxData} + 1, dataLength}));
    }
  }
  return static_cast<Status>(status);
}

std::uint32_t Win32Host::GetACP() {
  return ::GetACP();
}

bool Win32Host::IsDBCSLeadByte(std::uint8_t byte) {
  return ::IsDBCSLeadByte(byte) != FALSE;
}

std::string Win32Host::WideToAnsi(const std::u16string& text) {
  return win32::WideToAnsi(std::wstring(text.begin(), text.end()));
}

std::u16string Win32Host::AnsiToWide(const std::string& text) {
  if (text.empty()) {
    return std::u16string();
  }
  const int length =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(length), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<wchar_t*>(wide.data()), length);
  return wide;
}

Status Win32Host::RegCloseKey(RegKey key) {
  return KeepingLastError([&] { return static_cast<Status>(::RegCloseKey(ToPlatform(key))); });
}

DevInfoSet Win32Host::SetupDiGetClassDevsA(std::uint32_t flags) {
  return SetFromPlatform(win32::setup::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, flags));
}

bool Win32Host::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t index,
                                      DeviceInfoRecord& record) {
  return win32::setup::SetupDiEnumDeviceInfo(ToPlatform(set), index, ToDevinfoData(record)) !=
         FALSE;
}

bool Win32Host::SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, DeviceInfoRecord& record,
                                                  std::uint32_t property, void* buffer,
                                                  std::uint32_t bufferSize,
                                                  std::uint32_t* requiredSize) {
  DWORD type = 0;
  DWORD required = 0;
  const BOOL ok = win32::setup::SetupDiGetDeviceRegistryPropertyA(
      ToPlatform(set), ToDevinfoData(record), property, &type, static_cast<BYTE*>(buffer),
      bufferSize, &required);
  if (requiredSize != nullptr) {
    *requiredSize = required;
  }
  return ok != FALSE;
}

bool Win32Host::SetupDiCallClassInstaller(std::uint32_t function, DevInfoSet set,
                                          DeviceInfoRecord& record) {
  return win32::setup::SetupDiCallClassInstaller(function, ToPlatform(set),
                                                 ToDevinfoData(record)) != FALSE;
}

bool Win32Host::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  return KeepingLastError(
      [&] { return win32::setup::SetupDiDestroyDeviceInfoList(ToPlatform(set)) != FALSE; });
}

std::optional<std::string> Win32Host::DeviceInstanceIdOf(DevInfoSet set, DeviceInfoRecord& record) {
  // An instance ID has at most 200 characters and its terminating zero.
  std::vector<char> buffer(kMaxDeviceIdLength + 1, '\0');
  if (!win32::setup::SetupDiGetDeviceInstanceIdA(ToPlatform(set), ToDevinfoData(record),
                                                 buffer.data(), static_cast<DWORD>(buffer.size()),
                                                 nullptr)) {
    return std::nullopt;
  }
  buffer.back() = '\0';
  return TextOf(buffer);
}

DevInfoSet Win32Host::SetupDiCreateDeviceInfoList() {
  return SetFromPlatform(win32::setup::SetupDiCreateDeviceInfoList(nullptr, nullptr));
}

bool Win32Host::SetupDiOpenDeviceInfoA(DevInfoSet set, const std::string& instanceId,
                                       DeviceInfoRecord& record) {
  return win32::setup::SetupDiOpenDeviceInfoA(ToPlatform(set), instanceId.c_str(), nullptr, 0,
                                              ToDevinfoData(record)) != FALSE;
}

bool Win32Host::SetupDiGetDeviceInstallParamsA(DevInfoSet set, DeviceInfoRecord& record,
                                               std::uint32_t* flags) {
  SP_DEVINSTALL_PARAMS_A parameters = {};
  parameters.cbSize = sizeof(parameters);
  if (!win32::setup::SetupDiGetDeviceInstallParamsA(ToPlatform(set), ToDevinfoData(record),
                                                    &parameters)) {
    return false;
  }
  *flags = parameters.Flags;
  return true;
}

bool Win32Host::IsDevicePresent(DevInfoSet, DeviceInfoRecord& record) {
  // A device that is not plugged in has no device node now.
  ULONG status = 0;
  ULONG problem = 0;
  return win32::setup::CM_Get_DevNode_Status(&status, &problem, record.devInst, 0) == CR_SUCCESS;
}

bool Win32Host::SetupUninstallOEMInfA(const std::string& infFileName, std::uint32_t flags) {
  return win32::setup::SetupUninstallOEMInfA(infFileName.c_str(), flags, nullptr) != FALSE;
}

std::optional<std::u16string> Win32Host::DriverStoreInfPath(const std::u16string& infPath) {
  // A store path is most often shorter than MAX_PATH; a longer one is asked for once more with
  // the size that the first call gives.
  std::vector<wchar_t> buffer(MAX_PATH, L'\0');
  DWORD required = 0;
  BOOL found = win32::setup::SetupGetInfDriverStoreLocationW(
      Wide(infPath), nullptr, nullptr, buffer.data(), static_cast<DWORD>(buffer.size()), &required);
  if (!found && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER && required > buffer.size()) {
    buffer.assign(required, L'\0');
    found = win32::setup::SetupGetInfDriverStoreLocationW(
        Wide(infPath), nullptr, nullptr, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
  }
  if (!found) {
    return std::nullopt;
  }
  const std::size_t length = wcsnlen(buffer.data(), buffer.size());
  if (length == 0) {
    return std::nullopt;
  }
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

bool Win32Host::IsProtectedFile(const std::u16string& path) {
  // The file protection's library is no known DLL of Windows XP: loaded from the system folder at
  // the first call, never imported.
  static const auto call = win32::FindCall<decltype(&::SfcIsFileProtected)>(
      win32::LoadSystemLibrary(L"sfc.dll"), "SfcIsFileProtected");
  return call != nullptr && call(nullptr, Wide(path)) != FALSE;
}

bool Win32Host::IsWow64Process() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

ProgramRun Win32Host::RunProgramBeside(const std::string& program, const std::string& arguments,
                                       std::uint32_t timeoutMs) {
  return win32::RunProgramBeside(program, arguments, timeoutMs);
}

ProcessFacts Win32Host::GetProcessFacts() {
  return win32::ReadProcessFacts(IsWow64Process());
}

std::string Win32Host::ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = sizeof(name);
  if (!::GetComputerNameA(name, &length)) {
    return "COMPUTER";
  }
  return std::string(name, length);
}

UtcTime Win32Host::GetSystemTime() {
  SYSTEMTIME now;
  ::GetSystemTime(&now);
  return UtcTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

RunLock Win32Host::AcquireRunLock(std::uint32_t timeoutMs) {
  const RunLock opened = win32::OpenRunLock(runLock_);
  if (opened != RunLock::Acquired) {
    return opened;
  }
  switch (::WaitForSingleObject(runLock_.get(), timeoutMs)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // a run cut short: its lock passes on
      return RunLock::Acquired;
    case WAIT_TIMEOUT:
      runLock_.reset();
      return RunLock::TimedOut;
    default:
      runLock_.reset();
      return RunLock::Failed;
  }
}

void Win32Host::ReleaseRunLock() {
  if (runLock_) {
    ::ReleaseMutex(runLock_.get());
    runLock_.reset();
  }
}

bool Win32Host::HasInteractiveDesktop() {
  USEROBJECTFLAGS flags = {};
  if (!::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags),
                                   nullptr)) {
    return true;  // as the platform shows boxes when it cannot tell
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void* Win32Host::LocalAlloc(std::uint32_t flags, std::size_t bytes) {
  return ::LocalAlloc(flags, bytes);
}

void* Win32Host::LocalFree(void* memory) {
  return KeepingLastError([&] { return ::LocalFree(memory); });
}

std::uint32_t Win32Host::GetLastError() {
  return ::GetLastError();
}

int Win32Host::MessageBoxA(WindowHandle owner, const std::string& text,
                           const std::optional<std::string>& caption, std::uint32_t type) {
  return ::MessageBoxA(ToPlatform(owner), text.c_str(), caption ? caption->c_str() : nullptr, type);
}

void Win32Host::WriteStandardOutput(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void Win32Host::WriteStandardError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string Win32Host::OpenLog(const std::wstring& path) {
  win32::LogOpening opening = win32::OpenLogForAppending(path);
  log_ = std::move(opening.file);
  return opening.refusal;
}

void Win32Host::WriteLog(const std::string& utf8Line) {
  if (log_) {
    win32::AppendLogLine(log_.get(), utf8Line);
  }
}

}  // namespace vorsk
