#include "host/win32/run_lock.h"

#include <utility>

#include <aclapi.h>
#include <sddl.h>

#include "host/run_lock_rule.h"
#include "host/win32/system_library.h"

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

namespace {

using CreateBoundaryCall = HANDLE(WINAPI*)(LPCWSTR, ULONG);
using AddSidCall = BOOL(WINAPI*)(HANDLE*, PSID);
using DeleteBoundaryCall = VOID(WINAPI*)(HANDLE);
using CreateNamespaceCall = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
using OpenNamespaceCall = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
using CloseNamespaceCall = BOOLEAN(WINAPI*)(HANDLE, ULONG);

template <typename Call>
Call Kernel32Call(const char* name) {
  return FindCall<Call>(::GetModuleHandleW(L"kernel32.dll"), name);
}

// A security descriptor from its text, or null.
unique_hlocal DescriptorOf(const wchar_t* text) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    return unique_hlocal();
  }
  return unique_hlocal(descriptor);
}

// What came of waiting for a lock's mutex: a run cut short leaves its lock to the next.
RunLock Wait(HANDLE mutex, DWORD timeoutMs) {
  switch (::WaitForSingleObject(mutex, timeoutMs)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      return RunLock::Acquired;
    case WAIT_TIMEOUT:
      return RunLock::TimedOut;
    default:
      return RunLock::Failed;
  }
}

}  // namespace

bool PrivateRunLock::Open() {
  Close();
  const auto createBoundary = Kernel32Call<CreateBoundaryCall>("CreateBoundaryDescriptorW");
  const auto addSid = Kernel32Call<AddSidCall>("AddSIDToBoundaryDescriptor");
  const auto createNamespace = Kernel32Call<CreateNamespaceCall>("CreatePrivateNamespaceW");
  const auto openNamespace = Kernel32Call<OpenNamespaceCall>("OpenPrivateNamespaceW");
  if (createBoundary == nullptr || addSid == nullptr || createNamespace == nullptr ||
      openNamespace == nullptr ||
      Kernel32Call<CloseNamespaceCall>("ClosePrivateNamespace") == nullptr ||
      Kernel32Call<DeleteBoundaryCall>("DeleteBoundaryDescriptor") == nullptr) {
    return false;
  }
  // The boundary: only a process whose token holds the Administrators group may make the
  // namespace, and only one holding it may open it.
  boundary_ = createBoundary(L"vorsk-removal-417", 0);
  BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
  DWORD size = sizeof(administrators);
  if (boundary_ == nullptr ||
      !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
      !addSid(&boundary_, administrators)) {
    Close();
    return false;
  }
  const unique_hlocal namespaceRights = DescriptorOf(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)");
  const unique_hlocal lockRights = DescriptorOf(L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)");
  if (!namespaceRights || !lockRights) {
    Close();
    return false;
  }
  SECURITY_ATTRIBUTES namespaceAttributes = {sizeof(namespaceAttributes), namespaceRights.get(),
                                             FALSE};
  namespace_ = createNamespace(&namespaceAttributes, boundary_, kPrivateNamespaceAlias);
  if (namespace_ == nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    // Another run made it: the same boundary and alias name the same namespace.
    namespace_ = openNamespace(boundary_, kPrivateNamespaceAlias);
  }
  if (namespace_ == nullptr) {
    Close();
    return false;
  }
  SECURITY_ATTRIBUTES lockAttributes = {sizeof(lockAttributes), lockRights.get(), FALSE};
  mutex_.reset(::CreateMutexW(&lockAttributes, FALSE, kPrivateRunLockName));
  if (!mutex_ || (::GetLastError() == ERROR_ALREADY_EXISTS &&
                  !IsOwnedBySystemOrAdministrators(mutex_.get()))) {
    Close();
    return false;
  }
  return true;
}

void PrivateRunLock::Close(bool owned) {
  if (mutex_ && owned) {
    ::ReleaseMutex(mutex_.get());
  }
  mutex_.reset();
  if (namespace_ != nullptr) {
    Kernel32Call<CloseNamespaceCall>("ClosePrivateNamespace")(namespace_, 0);
    namespace_ = nullptr;
  }
  if (boundary_ != nullptr) {
    Kernel32Call<DeleteBoundaryCall>("DeleteBoundaryDescriptor")(boundary_);
    boundary_ = nullptr;
  }
}

RunLock TakeRunLocks(PrivateRunLock& privateLock, unique_handle& globalLock,
                     std::uint32_t timeoutMs, RunLockKind& held) {
  globalLock.reset();
  held = RunLockKind::Global;
  if (!IsSystemOrAdministrator()) {
    return RunLock::NotAdministrator;
  }
  // The tick count wraps after 49 days; the difference of two counts does not.
  const DWORD start = ::GetTickCount();
  const auto left = [&]() -> DWORD {
    const DWORD elapsed = ::GetTickCount() - start;
    return elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
  };
  bool privateHeld = false;
  if (privateLock.Open()) {
    const RunLock waited = Wait(privateLock.Mutex(), timeoutMs);
    if (waited == RunLock::TimedOut) {
      privateLock.Close();
      return RunLock::TimedOut;
    }
    privateHeld = waited == RunLock::Acquired;
    if (!privateHeld) {
      privateLock.Close();
    }
  }
  RunLock global = OpenRunLock(globalLock);
  if (global == RunLock::Acquired) {
    global = Wait(globalLock.get(), left());
  }
  if (global != RunLock::Acquired) {
    globalLock.reset();
  }
  const DWORD error = ::GetLastError();
  const RunLockOutcome outcome = CombineRunLocks(privateHeld, global);
  if (privateHeld && (outcome.releasePrivate || outcome.lock != RunLock::Acquired)) {
    privateLock.Close(true);
  }
  held = outcome.kind;
  ::SetLastError(error);
  return outcome.lock;
}

}  // namespace vorsk::win32
