#include "host/win32/process_facts.h"

#include <cstdio>
#include <vector>

#include <sddl.h>

namespace vorsk::win32 {

namespace {

std::string BytesOf(const std::wstring& text, UINT codePage) {
  if (text.empty()) {
    return std::string();
  }
  const int length = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                        length, nullptr, nullptr);
  return bytes;
}

// The version through ntdll's own query: the kernel32 one reports what the program's manifest
// declares it knows, not the system that runs.
std::string WindowsVersion() {
  using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  const auto call = reinterpret_cast<RtlGetVersionCall>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (call == nullptr || call(&version) != 0) {
    return "(unknown)";
  }
  return std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) +
         "." + std::to_string(version.dwBuildNumber);
}

std::string UserOf(HANDLE token) {
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    return "(unknown)";
  }
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  wchar_t name[256] = {};
  wchar_t domain[256] = {};
  DWORD nameSize = 256;
  DWORD domainSize = 256;
  SID_NAME_USE use;
  if (!::LookupAccountSidW(nullptr, user->User.Sid, name, &nameSize, domain, &domainSize, &use)) {
    return "(unknown)";
  }
  return WideToAnsi(std::wstring(domain) + L"\\" + name);
}

bool IsElevated(HANDLE token) {
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size)) {
    return elevation.TokenIsElevated != 0;
  }
  // Before the platform split an administrator's rights, a member of the administrators held
  // them all.
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  BOOL member = FALSE;
  if (::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                 DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
    ::CheckTokenMembership(nullptr, administrators, &member);
    ::FreeSid(administrators);
  }
  return member != FALSE;
}

}  // namespace

ProcessFacts ReadProcessFacts(bool wow64) {
  ProcessFacts facts;
  facts.windowsVersion = WindowsVersion();
  facts.processBits = sizeof(void*) == 8 ? 64 : 32;
  facts.windowsBits = facts.processBits == 64 || wow64 ? 64 : 32;
  unique_handle token;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    facts.user = UserOf(token.get());
    facts.elevated = IsElevated(token.get());
  } else {
    facts.user = "(unknown)";
  }
  return facts;
}

unique_hfile OpenLogForAppending(const std::wstring& path) {
  const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) {
    return unique_hfile();
  }
  std::wstring full(length, L'\0');
  full.resize(::GetFullPathNameW(path.c_str(), length, full.data(), nullptr));
  return unique_hfile(::CreateFileW(full.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
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

unique_handle OpenRunLock() {
  // In the global namespace, seen from every session. The platform's own account and the
  // administrators hold all rights on it; everyone may wait on it and release it.
  constexpr wchar_t kName[] = L"Global\\vorsk-removal-417";
  constexpr wchar_t kRights[] =
      L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;WD)";  // SYNCHRONIZE | MUTEX_MODIFY_STATE
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kRights, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    return unique_handle();
  }
  unique_hlocal owned(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  unique_handle mutex(::CreateMutexW(&attributes, FALSE, kName));
  if (!mutex && ::GetLastError() == ERROR_ACCESS_DENIED) {
    // Made by another user first: opened with the rights it gives everyone.
    mutex.reset(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kName));
  }
  return mutex;
}

std::string WideToAnsi(const std::wstring& text) {
  return BytesOf(text, CP_ACP);
}

}  // namespace vorsk::win32
