#include "host/win32/process_facts.h"

#include <string>
#include <vector>

#include "host/win32/text_conversion.h"
#include "host/win32/win32_handles.h"

namespace vorsk::win32 {

namespace {

// The version through ntdll's own query: the kernel32 one reports what the program's manifest
// declares it knows, not the system that runs.
bool ReadVersion(OSVERSIONINFOW& version) {
  using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
  version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  const auto call = reinterpret_cast<RtlGetVersionCall>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  return call != nullptr && call(&version) == 0;
}

std::string WindowsVersion() {
  OSVERSIONINFOW version;
  if (!ReadVersion(version)) {
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

std::uint32_t WindowsMajorVersion() {
  OSVERSIONINFOW version;
  return ReadVersion(version) ? version.dwMajorVersion : 0;
}

}  // namespace vorsk::win32
