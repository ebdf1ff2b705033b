#include "host/win32/run_lock.h"

#include <utility>

#include <aclapi.h>
#include <sddl.h>

namespace vorsk::win32 {

namespace {

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  BYTE known[SECURITY_MAX_SID_SIZE] = {};
  DWORD size = sizeof(known);
  return sid != nullptr && ::CreateWellKnownSid(type, nullptr, known, &size) &&
         ::EqualSid(sid, known);
}

// Whether this thread runs as SYSTEM or holds the Administrators group enabled (an elevated
// administrator: a filtered token holds it for denying only).
bool IsSystemOrAdministrator() {
  unique_handle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) &&
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    return false;
  }
  BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  DWORD size = 0;
  if (::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size) &&
      IsWellKnown(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid)) {
    return true;
  }
  BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
  DWORD administratorsSize = sizeof(administrators);
  BOOL member = FALSE;
  return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators,
                              &administratorsSize) &&
         ::CheckTokenMembership(nullptr, administrators, &member) && member;
}

// Whether the object's owner is SYSTEM or the Administrators group: only they could have made
// it so.
bool IsOwnedBySystemOrAdministrators(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const unique_hlocal owned(descriptor);
  return IsWellKnown(owner, WinLocalSystemSid) || IsWellKnown(owner, WinBuiltinAdministratorsSid);
}

}  // namespace

RunLock OpenRunLock(unique_handle& mutex) {
  mutex.reset();
  if (!IsSystemOrAdministrator()) {
    return RunLock::NotAdministrator;
  }
  // Owned by the Administrators group, all rights for SYSTEM and the group, nothing for anyone
  // else, nothing inherited.
  constexpr wchar_t kRights[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kRights, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    return RunLock::Failed;
  }
  const unique_hlocal owned(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  unique_handle made(::CreateMutexW(&attributes, FALSE, kRunLockName));
  if (!made) {
    // The lock grants SYSTEM and the administrators everything: a name they may not open is
    // another account's object (or another kind of object) of that name.
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE) {
      return RunLock::Squatted;
    }
    ::SetLastError(error);
    return RunLock::Failed;
  }
  if (::GetLastError() == ERROR_ALREADY_EXISTS && !IsOwnedBySystemOrAdministrators(made.get())) {
    return RunLock::Squatted;
  }
  mutex = std::move(made);
  return RunLock::Acquired;
}

}  // namespace vorsk::win32
