// Owners for the platform's own handles, for code that calls the platform directly (the host
// services' own plumbing, the framework, the tools and the Windows tests), on the one owner
// template. Closing leaves the thread's last error as it was, so that a caller that reads the
// last error of a failed call after a cleanup still reads the call's.
#pragma once

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include "host/unique_any.h"
#include "host/win32/setup_api.h"

namespace vorsk::win32 {

// A close policy that keeps the thread's last error across `close`.
template <typename Pointer, auto Close>
struct close_keeping_last_error {
  using context_type = no_close_context;
  static void close(no_close_context, Pointer value) noexcept {
    const DWORD lastError = ::GetLastError();
    Close(value);
    ::SetLastError(lastError);
  }
};

inline void CloseKey(HKEY key) noexcept {
  ::RegCloseKey(key);
}
inline void CloseKernelHandle(HANDLE handle) noexcept {
  ::CloseHandle(handle);
}
inline void DestroyDeviceSet(HDEVINFO set) noexcept {
  setup::SetupDiDestroyDeviceInfoList(set);
}
inline void FreeLocal(HLOCAL memory) noexcept {
  ::LocalFree(memory);
}
inline void CloseFind(HANDLE search) noexcept {
  ::FindClose(search);
}

// A handle released by `Close`, null when there is none.
template <typename Pointer, auto Close>
struct nullable_traits : close_keeping_last_error<Pointer, Close> {
  using pointer = Pointer;
  static Pointer invalid() noexcept { return nullptr; }
  static bool is_valid(Pointer value) noexcept { return value != nullptr; }
};

// A handle whose creator returns INVALID_HANDLE_VALUE on failure (a file, a device set).
template <typename Pointer, auto Close>
struct invalid_value_traits : close_keeping_last_error<Pointer, Close> {
  using pointer = Pointer;
  static Pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_valid(Pointer value) noexcept {
    return value != INVALID_HANDLE_VALUE && value != nullptr;
  }
};

// Predefined roots (HKEY_LOCAL_MACHINE and the others) are never wrapped.
using unique_hkey = unique_any<nullable_traits<HKEY, CloseKey>>;
using unique_hfile = unique_any<invalid_value_traits<HANDLE, CloseKernelHandle>>;
// Any other kernel object (a process, a job, a pipe's end, a mutex), whose creator returns null
// on failure.
using unique_handle = unique_any<nullable_traits<HANDLE, CloseKernelHandle>>;
using unique_hdevinfo = unique_any<invalid_value_traits<HDEVINFO, DestroyDeviceSet>>;
using unique_hlocal = unique_any<nullable_traits<HLOCAL, FreeLocal>>;
// A search of a folder's entries (FindFirstFileW).
using unique_hfind = unique_any<invalid_value_traits<HANDLE, CloseFind>>;

}  // namespace vorsk::win32
