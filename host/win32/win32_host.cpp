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

#include <io.h>

// clang-format off
#include <windows.h>
#include <sddl.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <sfc.h>
// clang-format on

#include "host/session_rule.h"
#include "host/win32/native_files.h"
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
static_assert(kKeyRead == KEY_READ && kDelete == DELETE && kKeyWrite == KEY_WRITE);
static_assert(kKeySetValue == KEY_SET_VALUE && kKeyCreateSubKey == KEY_CREATE_SUB_KEY);
static_assert(kKeyCreateLink == KEY_CREATE_LINK && kKeyQueryValue == KEY_QUERY_VALUE);
static_assert(kWriteDac == WRITE_DAC && kWriteOwner == WRITE_OWNER && kReadControl == READ_CONTROL);
static_assert(kFileDeleteChild == FILE_DELETE_CHILD && kGenericAll == GENERIC_ALL);
static_assert(kGenericWrite == GENERIC_WRITE);
// ERROR_STOPPED_ON_SYMLINK (681), which the toolchain's headers lack, is the platform's
// translation of the native STATUS_STOPPED_ON_SYMLINK.
static_assert(kErrorDirectory == ERROR_DIRECTORY && kErrorStoppedOnSymlink == 681);
static_assert(kInvalidFileAttributes == INVALID_FILE_ATTRIBUTES);
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

// The TOKEN_USER of the account this process runs as; empty when it cannot be read.
std::vector<BYTE> TokenUserInformation() {
  win32::unique_handle token;
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
    return std::vector<BYTE>();
  }
  token.reset(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
    return std::vector<BYTE>();
  }
  return buffer;
}

// A SID as text; empty when it cannot be written.
std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text)) {
    return std::wstring();
  }
  win32::unique_hlocal owned(text);
  return text;
}

// The SID, as text, of the account this process runs as; empty when it cannot be read.
std::wstring TokenUserSidText() {
  const std::vector<BYTE> user = TokenUserInformation();
  if (user.empty()) {
    return std::wstring();
  }
  return SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

// The SID, as text, of the account a file server knows this process by: its own user, or for
// SYSTEM the machine's account in its domain ("<name>$"). Empty when it cannot be read.
std::wstring NetworkAccountSid() {
  const std::vector<BYTE> buffer = TokenUserInformation();
  if (buffer.empty()) {
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
  return SidText(sid);
}

// Writes every byte, in pieces the platform's call takes.
Status WriteAll(HANDLE file, std::string_view bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1 << 20));
    DWORD done = 0;
    if (!::WriteFile(file, bytes.data() + written, chunk, &done, nullptr) || done == 0) {
      return static_cast<Status>(::GetLastError());
    }
    written += done;
  }
  return kErrorSuccess;
}

// Reads an open file to its end, refused once it holds more than `limit` (also when it grows
// meanwhile).
Status ReadWhole(HANDLE file, std::string& bytes, std::size_t limit) {
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file, &size)) {
    return static_cast<Status>(::GetLastError());
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > limit) {
    return kErrorMoreData;
  }
  // One byte past the limit at most.
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
    if (!::ReadFile(file, content.data() + filled, chunk, &done, nullptr)) {
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

// Writes text of the ANSI code page to a stream: redirected (a file, a pipe), as its bytes; to a
// console, as the characters they are, whatever the console's own code page (a command prompt's
// is the OEM one): a name outside ASCII then shows as it is.
void WriteText(std::FILE* stream, const std::string& text) {
  const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (console == INVALID_HANDLE_VALUE || !::GetConsoleMode(console, &mode)) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  std::fflush(stream);
  const int length =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  DWORD written = 0;
  ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
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

Status Win32Host::CopyToNewFile(const std::u16string& from, const std::u16string& to) {
  return ::CopyFileW(Wide(from), Wide(to), TRUE) ? kErrorSuccess
                                                 : static_cast<Status>(::GetLastError());
}

std::uint32_t Win32Host::GetFileAttributesW(const std::u16string& path) {
  return ::GetFileAttributesW(Wide(path));
}

Status Win32Host::LookAtFile(const std::u16string& path, FolderEntry& facts) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) {
    return static_cast<Status>(::GetLastError());
  }
  facts.attributes = data.dwFileAttributes;
  facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return kErrorSuccess;
}

Status Win32Host::WriteFileBytes(const std::u16string& path, const std::string& bytes,
                                 bool append) {
  win32::unique_hfile file(
      ::CreateFileW(Wide(path), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    append ? OPEN_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return static_cast<Status>(::GetLastError());
  }
  Status status = WriteAll(file.get(), bytes);
  // A save counts once it is on the disk: the deletion that follows cannot be taken back.
  if (status == kErrorSuccess && !::FlushFileBuffers(file.get())) {
    status = static_cast<Status>(::GetLastError());
  }
  return status;
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
  return ReadWhole(file.get(), bytes, limit);
}

bool Win32Host::SetFileAttributesW(const std::u16string& path, std::uint32_t attributes) {
  return ::SetFileAttributesW(Wide(path), attributes) != FALSE;
}

bool Win32Host::DeleteFileW(const std::u16string& path) {
  return ::DeleteFileW(Wide(path)) != FALSE;
}

bool Win32Host::RemoveDirectoryW(const std::u16string& path) {
  return ::RemoveDirectoryW(Wide(path)) != FALSE;
}

Status Win32Host::OpenFolderNoFollow(FolderHandle parent, const std::u16string& name,
                                     FolderHandle* folder) {
  win32::unique_hfile opened;
  const Status status =
      win32::CreateRelative(parent == kNoFolder ? nullptr : ToPlatform(parent), name,
                            win32::NativeCreate::OpenFolder, nullptr, opened);
  if (status == kErrorSuccess) {
    *folder = win32::FolderFromPlatform(opened.release());
  }
  return status;
}

Status Win32Host::CreateFolderIn(FolderHandle parent, const std::u16string& name,
                                 FolderAccess access, FolderHandle* folder) {
  win32::unique_hlocal descriptor;
  if (access != FolderAccess::Inherited) {
    descriptor =
        win32::AdministratorsOnlyFolderDescriptor(access == FolderAccess::AdministratorsAndMaker);
    if (!descriptor) {
      return static_cast<Status>(::GetLastError());
    }
  }
  win32::unique_hfile made;
  const Status status = win32::CreateRelative(
      ToPlatform(parent), name, win32::NativeCreate::MakeFolder, descriptor.get(), made);
  if (status == kErrorSuccess) {
    *folder = win32::FolderFromPlatform(made.release());
  }
  return status;
}

Status Win32Host::CloseFolder(FolderHandle folder) {
  return KeepingLastError([&] { return ::CloseHandle(ToPlatform(folder)) != FALSE; })
             ? kErrorSuccess
             : static_cast<Status>(::GetLastError());
}

Status Win32Host::ReadFolderSecurity(FolderHandle folder, SecurityFacts& security) {
  return win32::ReadSecurityFacts(ToPlatform(folder), false, security);
}

Status Win32Host::WriteFileIn(FolderHandle folder, const std::u16string& name,
                              const std::string& bytes, bool append) {
  win32::unique_hfile file;
  Status status = win32::CreateRelative(
      ToPlatform(folder), name,
      append ? win32::NativeCreate::OpenFileToAppend : win32::NativeCreate::MakeFile, nullptr,
      file);
  if (status != kErrorSuccess) {
    return status;
  }
  if (append) {
    LARGE_INTEGER end = {};
    if (!::SetFilePointerEx(file.get(), end, nullptr, FILE_END)) {
      return static_cast<Status>(::GetLastError());
    }
  }
  status = WriteAll(file.get(), bytes);
  // A save counts once it is on the disk: the deletion that follows cannot be taken back.
  if (status == kErrorSuccess && !::FlushFileBuffers(file.get())) {
    status = static_cast<Status>(::GetLastError());
  }
  return status;
}

Status Win32Host::CopyFileIn(FolderHandle fromFolder, const std::u16string& from,
                             FolderHandle folder, const std::u16string& name,
                             const std::function<void(std::string_view)>& eachPiece) {
  win32::unique_hfile source;
  Status status = win32::CreateRelative(fromFolder == kNoFolder ? nullptr : ToPlatform(fromFolder),
                                        from, win32::NativeCreate::OpenFileToRead, nullptr, source);
  if (status != kErrorSuccess) {
    return status;
  }
  win32::unique_hfile copy;
  status =
      win32::CreateRelative(ToPlatform(folder), name, win32::NativeCreate::MakeFile, nullptr, copy);
  if (status != kErrorSuccess) {
    return status;
  }
  std::string piece(1 << 20, '\0');
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(source.get(), piece.data(), static_cast<DWORD>(piece.size()), &read, nullptr)) {
      return static_cast<Status>(::GetLastError());
    }
    if (read == 0) {
      break;
    }
    const std::string_view bytes(piece.data(), read);
    status = WriteAll(copy.get(), bytes);
    if (status != kErrorSuccess) {
      return status;
    }
    eachPiece(bytes);
  }
  return ::FlushFileBuffers(copy.get()) ? kErrorSuccess : static_cast<Status>(::GetLastError());
}

Status Win32Host::ReadFileIn(FolderHandle folder, const std::u16string& name, std::string& bytes,
                             std::size_t limit) {
  win32::unique_hfile file;
  const Status status = win32::CreateRelative(ToPlatform(folder), name,
                                              win32::NativeCreate::OpenFileToRead, nullptr, file);
  return status == kErrorSuccess ? ReadWhole(file.get(), bytes, limit) : status;
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

Status Win32Host::RegOpenKeyW(RegKey parent, const std::u16string& subKey, std::uint32_t access,
                              RegKey* result) {
  HKEY key = nullptr;
  const LONG status = ::RegOpenKeyExW(ToPlatform(parent), Wide(subKey), 0, access, &key);
  if (status == ERROR_SUCCESS) {
    *result = FromPlatform(key);
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegCreateKeyNoFollowW(RegKey parent, const std::u16string& name,
                                        std::uint32_t access, KeyAccess security, RegKey* result,
                                        bool* created) {
  win32::unique_hlocal descriptor;
  if (security == KeyAccess::AdministratorsWrite) {
    // Protected: nothing of the parent's list (its creator-owner entry among them) is inherited.
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;WD)", SDDL_REVISION_1, &made, nullptr)) {
      return static_cast<Status>(::GetLastError());
    }
    descriptor.reset(made);
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG status = ::RegCreateKeyExW(ToPlatform(parent), Wide(name), 0, nullptr,
                                        REG_OPTION_NON_VOLATILE | REG_OPTION_OPEN_LINK, access,
                                        descriptor ? &attributes : nullptr, &key, &disposition);
  if (status == ERROR_SUCCESS) {
    *result = FromPlatform(key);
    *created = disposition == REG_CREATED_NEW_KEY;
  }
  return static_cast<Status>(status);
}

Status Win32Host::RegSetValueW(RegKey key, const std::u16string& name, std::uint32_t type,
                               const std::string& data) {
  if (data.size() > 0xFFFFFFFFu) {
    return kErrorInvalidParameter;
  }
  return static_cast<Status>(::RegSetValueExW(ToPlatform(key), Wide(name), 0, type,
                                              reinterpret_cast<const BYTE*>(data.data()),
                                              static_cast<DWORD>(data.size())));
}

Status Win32Host::RegQueryValueW(RegKey key, const std::u16string& name, std::uint32_t& type,
                                 std::string& data) {
  for (DWORD size = 256;;) {
    std::string buffer(size, '\0');
    DWORD valueType = 0;
    DWORD filled = size;
    const LONG status = ::RegQueryValueExW(ToPlatform(key), Wide(name), nullptr, &valueType,
                                           reinterpret_cast<BYTE*>(buffer.data()), &filled);
    if (status == ERROR_MORE_DATA && filled > size) {
      size = filled;
      continue;
    }
    if (status == ERROR_SUCCESS) {
      buffer.resize(filled);
      type = valueType;
      data = std::move(buffer);
    }
    return static_cast<Status>(status);
  }
}

Status Win32Host::ReadKeySecurity(RegKey key, SecurityFacts& security) {
  return win32::ReadSecurityFacts(ToPlatform(key), true, security);
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

bool Win32Host::SetupDiOpenDeviceInfoW(DevInfoSet set, const std::u16string& instanceId,
                                       DeviceInfoRecord& record) {
  return win32::setup::SetupDiOpenDeviceInfoW(ToPlatform(set), Wide(instanceId), nullptr, 0,
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

bool Win32Host::SetupUninstallOEMInfW(const std::u16string& infFileName, std::uint32_t flags) {
  return win32::setup::SetupUninstallOEMInfW(Wide(infFileName), flags, nullptr) != FALSE;
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

bool Win32Host::SetupCopyOEMInfW(const std::u16string& infPath, std::u16string& publishedName) {
  // The INF is read where it is (SPOST_PATH): the package's other files are beside it.
  wchar_t published[MAX_PATH] = {};
  wchar_t* name = nullptr;
  if (!win32::setup::SetupCopyOEMInfW(Wide(infPath), nullptr, SPOST_PATH, 0, published, MAX_PATH,
                                      nullptr, &name)) {
    return false;
  }
  const wchar_t* shown = name != nullptr ? name : published;
  publishedName.assign(reinterpret_cast<const char16_t*>(shown), wcsnlen(shown, MAX_PATH));
  return true;
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
  return win32::RunProgramBeside(program, arguments, timeoutMs, builtCompanions_);
}

ProgramRun Win32Host::StartProgramBeside(const std::string& program, const std::string& arguments,
                                         ProgramSession* session) {
  auto started = std::make_unique<win32::BesideProgram>();
  const ProgramRun run = win32::StartProgramBeside(program, arguments, builtCompanions_, *started);
  if (run.start == ProgramRun::Start::Ran) {
    *session = ProgramSession{reinterpret_cast<std::uintptr_t>(started.get())};
    sessions_[*session] = std::move(started);
  }
  return run;
}

ProgramAnswer Win32Host::HandProgramTask(ProgramSession session, const std::string& input,
                                         std::uint32_t timeoutMs,
                                         const std::function<bool(std::string_view)>& answered) {
  const auto it = sessions_.find(session);
  if (it == sessions_.end()) {
    ProgramAnswer answer;
    answer.ended = true;
    answer.exitCode = ERROR_INVALID_HANDLE;
    return answer;
  }
  return win32::HandProgramTask(*it->second, input, timeoutMs, answered);
}

std::uint32_t Win32Host::EndProgramSession(ProgramSession session, std::uint32_t timeoutMs) {
  const auto it = sessions_.find(session);
  if (it == sessions_.end()) {
    return ERROR_INVALID_HANDLE;
  }
  const std::uint32_t exitCode = win32::EndProgramSession(*it->second, timeoutMs);
  sessions_.erase(it);
  return exitCode;
}

ProcessFacts Win32Host::GetProcessFacts() {
  return win32::ReadProcessFacts(IsWow64Process());
}

Status Win32Host::OwnProgramPath(std::u16string& path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      return static_cast<Status>(::GetLastError());
    }
    if (length < buffer.size()) {
      path.assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
      return kErrorSuccess;
    }
    if (buffer.size() >= 32768) {
      return ERROR_FILENAME_EXCED_RANGE;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string Win32Host::RunningUserSid() {
  const std::wstring sid = TokenUserSidText();
  return std::string(sid.begin(), sid.end());  // a SID's text is ASCII
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
  return win32::TakeRunLocks(privateRunLock_, runLock_, timeoutMs, heldRunLock_);
}

void Win32Host::ReleaseRunLock() {
  if (runLock_) {
    ::ReleaseMutex(runLock_.get());
    runLock_.reset();
  }
  privateRunLock_.Close(true);
}

bool Win32Host::HasInteractiveDesktop() {
  DesktopFacts facts;
  USEROBJECTFLAGS flags = {};
  if (::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags),
                                  nullptr)) {
    facts.visibleWindowStation = (flags.dwFlags & WSF_VISIBLE) != 0;
  }
  DWORD session = 0;
  if (::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) {
    facts.session = session;
  }
  facts.windowsMajor = win32::WindowsMajorVersion();
  return BoxesCanBeAnswered(facts);
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
  WriteText(stdout, text);
}

void Win32Host::WriteStandardError(const std::string& text) {
  WriteText(stderr, text);
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

std::u16string Win32Host::ExpandEnvironmentText(const std::u16string& text) {
  std::vector<wchar_t> buffer(text.size() + 256);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length =
        ::ExpandEnvironmentStringsW(Wide(text), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      break;
    }
    if (length <= buffer.size()) {
      // The length counts the terminating zero.
      return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length - 1);
    }
    buffer.resize(length);
  }
  return text;
}

namespace {

// The resource protection's query of a key: Windows Vista and later, in sfc.dll, which is no known
// DLL of Windows XP (loaded from the system folder at the first call, never imported).
using SfcIsKeyProtectedCall = BOOL(WINAPI*)(HKEY, LPCWSTR, REGSAM);
SfcIsKeyProtectedCall KeyProtectionQuery() {
  static const auto call = win32::FindCall<SfcIsKeyProtectedCall>(
      win32::LoadSystemLibrary(L"sfc.dll"), "SfcIsKeyProtected");
  return call;
}

}  // namespace

bool Win32Host::CanTellProtectedKeys() {
  return KeyProtectionQuery() != nullptr;
}

bool Win32Host::IsProtectedKey(const std::u16string& path) {
  const SfcIsKeyProtectedCall call = KeyProtectionQuery();
  // The registry's own name is the 64-bit view's, which a 32-bit process on 64-bit Windows names
  // as such; elsewhere there is one view.
  return call != nullptr &&
         call(HKEY_LOCAL_MACHINE, Wide(path), IsWow64Process() ? KEY_WOW64_64KEY : 0) != FALSE;
}

}  // namespace vorsk
