#include "host/win32/run_lock.h"

#include <sddl.h>

namespace vorsk::win32 {

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

}  // namespace vorsk::win32
