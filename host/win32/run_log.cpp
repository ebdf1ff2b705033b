#include "host/win32/run_log.h"

#include <cstdio>
#include <vector>

#include <aclapi.h>
#include <sddl.h>

#include "host/log_trust.h"
#include "host/win32/native_files.h"

namespace vorsk::win32 {

namespace {

using FinalPathCall = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

std::string CannotOpen(DWORD error) {
  char text[64] = {};
  std::snprintf(text, sizeof(text), "cannot be opened (error %08lx)",
                static_cast<unsigned long>(error));
  return text;
}

// A path as a platform call that returns a length writes it: asked again with the size it needs.
template <typename Call>
std::wstring PathOf(Call call) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      return std::wstring();
    }
    if (length < buffer.size()) {
      return std::wstring(buffer.data(), length);
    }
    buffer.resize(length + 1);
  }
  return std::wstring();
}

std::wstring FullPath(const std::wstring& path) {
  return PathOf([&](wchar_t* buffer, DWORD size) {
    return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
  });
}

// The path with its short names made long and its letters in upper case, as the rule compares
// paths; as it is when its names cannot be read.
std::u16string Comparable(const std::wstring& path) {
  std::wstring whole = PathOf(
      [&](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(path.c_str(), buffer, size); });
  if (whole.empty()) {
    whole = path;
  }
  if (!whole.empty()) {
    ::CharUpperBuffW(whole.data(), static_cast<DWORD>(whole.size()));
  }
  return std::u16string(whole.begin(), whole.end());
}

// The path of an opened file or folder as the platform names it; what was asked for where the
// platform has no such call (before Vista, where no file link exists either).
std::u16string FinalPath(HANDLE file, const std::wstring& asked) {
  const auto call = reinterpret_cast<FinalPathCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
  if (call == nullptr) {
    return Comparable(asked);
  }
  const std::wstring final = PathOf([&](wchar_t* buffer, DWORD size) {
    return call(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  return Comparable(final);
}

std::u16string WindowsDirectory() {
  std::wstring folder = PathOf(
      [](wchar_t* buffer, DWORD size) { return ::GetSystemWindowsDirectoryW(buffer, size); });
  while (!folder.empty() && folder.back() == L'\\') {
    folder.pop_back();
  }
  return Comparable(folder);
}

bool IsWow64() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// The SID of the account this process runs as, in its token's buffer.
std::vector<BYTE> RunningUser() {
  unique_handle token;
  DWORD size = 0;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    return {};
  }
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
    return {};
  }
  return buffer;
}

PSID SidOf(std::vector<BYTE>& tokenUser) {
  return tokenUser.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  BYTE known[SECURITY_MAX_SID_SIZE] = {};
  DWORD size = sizeof(known);
  return ::CreateWellKnownSid(type, nullptr, known, &size) && ::EqualSid(sid, known);
}

// Whether the SID is this machine's account in its domain (NAME$), which is what SYSTEM is on
// another machine's share.
bool IsMachineAccount(PSID sid) {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 2] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &length)) {
    return false;
  }
  name[length] = L'$';
  BYTE account[SECURITY_MAX_SID_SIZE] = {};
  DWORD accountSize = sizeof(account);
  wchar_t domain[256] = {};
  DWORD domainSize = 256;
  SID_NAME_USE use;
  return ::LookupAccountNameW(nullptr, name, account, &accountSize, domain, &domainSize, &use) &&
         ::EqualSid(sid, account);
}

FileOwner OwnerOf(HANDLE file) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
    return FileOwner::Unknown;
  }
  const unique_hlocal owned(descriptor);
  std::vector<BYTE> user = RunningUser();
  if (owner == nullptr) {
    return FileOwner::Unknown;
  }
  if (IsWellKnown(owner, WinLocalSystemSid)) {
    return FileOwner::System;
  }
  if (IsWellKnown(owner, WinBuiltinAdministratorsSid)) {
    return FileOwner::Administrators;
  }
  if (SidOf(user) != nullptr && ::EqualSid(owner, SidOf(user))) {
    return FileOwner::RunningUser;
  }
  return IsMachineAccount(owner) ? FileOwner::MachineAccount : FileOwner::Other;
}

// Rights for SYSTEM, the Administrators and the running user alone, none inherited from the
// folder: nobody else writes to the log, nor reads it.
std::wstring NewLogRights() {
  std::wstring rights = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
  std::vector<BYTE> user = RunningUser();
  LPWSTR text = nullptr;
  if (SidOf(user) != nullptr && ::ConvertSidToStringSidW(SidOf(user), &text)) {
    rights += L"(A;;FA;;;" + std::wstring(text) + L")";
    ::LocalFree(text);
  }
  return rights;
}

// The folder that a missing log would be made in is the one asked for: no link on its path.
// Its handle, kept until the log is made, keeps the folder from being moved or replaced.
unique_hfile OpenAskedFolder(const std::wstring& full, bool wow64, const std::u16string& windows,
                             std::string& refusal) {
  const std::size_t separator = full.find_last_of(L'\\');
  if (separator == std::wstring::npos) {
    refusal = CannotOpen(ERROR_BAD_PATHNAME);
    return unique_hfile();
  }
  // A root ("C:\") keeps its separator.
  const std::wstring folder = full.substr(0, separator == 2 ? 3 : separator);
  unique_hfile handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) {
    refusal = CannotOpen(::GetLastError());
  } else if (!IsPathAskedFor(Comparable(folder), FinalPath(handle.get(), folder), wow64, windows)) {
    refusal = "is refused: its folder is another folder (a link on its path)";
    handle.reset();
  }
  return handle;
}

}  // namespace

LogOpening OpenLogForAppending(const std::wstring& path) {
  LogOpening opening;
  const std::wstring full = FullPath(path);
  if (full.empty()) {
    opening.refusal = CannotOpen(::GetLastError());
    return opening;
  }
  const bool wow64 = IsWow64();
  const std::u16string windows = WindowsDirectory();
  // Appending, and reading what the checks read: the file's information and its owner.
  constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL;
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  opening.file.reset(::CreateFileW(full.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  // A log this run makes: made through the handle of the folder it was checked by (its last
  // name relative to it), and deleted through its own handle when it is refused.
  const std::wstring wideName = full.substr(full.find_last_of(L'\\') + 1);
  const std::u16string name(wideName.begin(), wideName.end());
  unique_hfile folder;
  if (!opening.file && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    folder = OpenAskedFolder(full, wow64, windows, opening.refusal);
    if (!folder) {
      return opening;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            NewLogRights().c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
      opening.refusal = CannotOpen(::GetLastError());
      return opening;
    }
    const unique_hlocal owned(descriptor);
    const Status status = name.empty() ? Status{ERROR_INVALID_NAME}
                                       : CreateRelative(folder.get(), name, NativeCreate::MakeLog,
                                                        descriptor, opening.file);
    if (status != kErrorSuccess) {
      opening.refusal = CannotOpen(status);
      return opening;
    }
  }
  if (!opening.file) {
    opening.refusal = CannotOpen(::GetLastError());
    return opening;
  }

  BY_HANDLE_FILE_INFORMATION information = {};
  if (!::GetFileInformationByHandle(opening.file.get(), &information)) {
    opening.refusal = CannotOpen(::GetLastError());
    opening.file.reset();
    return opening;
  }
  LogFileFacts facts;
  facts.reparsePoint = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  facts.links = information.nNumberOfLinks;
  facts.asked = Comparable(full);
  facts.final = FinalPath(opening.file.get(), full);
  facts.owner = OwnerOf(opening.file.get());
  facts.wow64 = wow64;
  facts.windowsDirectory = windows;
  if (const std::optional<std::string> refusal = LogRefusal(facts)) {
    opening.refusal = "is refused: " + *refusal;
    if (folder) {
      // Made by this run: it goes again, through the handle it was made with.
      DeleteThroughHandle(opening.file.get());
    }
    opening.file.reset();
    return opening;
  }
  if (folder) {
    // The handle it was made with may delete it, which no other run's opening would share: it
    // is opened again to append (the same file, which nobody may rename or delete while the
    // first handle is open), and the first closed.
    unique_hfile appending;
    const Status status =
        CreateRelative(folder.get(), name, NativeCreate::OpenLog, nullptr, appending);
    BY_HANDLE_FILE_INFORMATION again = {};
    if (status != kErrorSuccess || !::GetFileInformationByHandle(appending.get(), &again) ||
        again.dwVolumeSerialNumber != information.dwVolumeSerialNumber ||
        again.nFileIndexHigh != information.nFileIndexHigh ||
        again.nFileIndexLow != information.nFileIndexLow) {
      opening.refusal = CannotOpen(status != kErrorSuccess ? status : ERROR_FILE_INVALID);
      DeleteThroughHandle(opening.file.get());
      opening.file.reset();
      return opening;
    }
    opening.file = std::move(appending);
  }
  return opening;
}

void AppendLogLine(HANDLE log, const std::string& line) {
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  char stamp[32] = {};
  std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  const std::string text = stamp + line + "\r\n";
  DWORD written = 0;
  ::WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace vorsk::win32
