// The host services' handles and the platform's own, translated both ways. The sentinels are
// pointers on the platform (HKEY_LOCAL_MACHINE is sign-extended in a 64-bit process,
// INVALID_HANDLE_VALUE is all ones), so they are translated by name, never by a bare cast.
#pragma once

#include <cstdint>

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include "host/host.h"

namespace vorsk::win32 {

inline HKEY ToPlatform(RegKey key) {
  if (key == kLocalMachine) {
    return HKEY_LOCAL_MACHINE;
  }
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key));
}

inline RegKey FromPlatform(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) {
    return kLocalMachine;
  }
  return RegKey{reinterpret_cast<std::uintptr_t>(key)};
}

inline HANDLE ToPlatform(FileHandle file) {
  if (file == kInvalidFile) {
    return INVALID_HANDLE_VALUE;
  }
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(file));
}

inline FileHandle FileFromPlatform(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) {
    return kInvalidFile;
  }
  return FileHandle{reinterpret_cast<std::uintptr_t>(file)};
}

inline HDEVINFO ToPlatform(DevInfoSet set) {
  if (set == kInvalidDevInfoSet) {
    return INVALID_HANDLE_VALUE;
  }
  return reinterpret_cast<HDEVINFO>(static_cast<std::uintptr_t>(set));
}

inline DevInfoSet SetFromPlatform(HDEVINFO set) {
  if (set == INVALID_HANDLE_VALUE) {
    return kInvalidDevInfoSet;
  }
  return DevInfoSet{reinterpret_cast<std::uintptr_t>(set)};
}

inline HANDLE ToPlatform(FolderHandle folder) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(folder));
}

inline FolderHandle FolderFromPlatform(HANDLE folder) {
  return FolderHandle{reinterpret_cast<std::uintptr_t>(folder)};
}

inline HWND ToPlatform(WindowHandle window) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

inline WindowHandle FromPlatform(HWND window) {
  return WindowHandle{reinterpret_cast<std::uintptr_t>(window)};
}

}  // namespace vorsk::win32
