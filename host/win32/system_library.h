// Libraries from the system folder only. vorsk runs as an administrator or as SYSTEM, often from a
// folder that users can write (a download folder, a share): a DLL planted there must never run
// with its rights. So the program imports only the platform's known DLLs of the oldest Windows it
// runs on (Windows XP SP2), which always come from the system folder; its entry point restricts
// the search to the system folder before anything else runs; and every other library is loaded
// at run time by its full path in the system folder.
#pragma once

#include <string>

#include <windows.h>

namespace vorsk::win32 {

// A function of a library, as its own type; null when the library or the function is missing.
template <typename Call>
Call FindCall(HMODULE library, const char* name) {
  return library != nullptr
             ? reinterpret_cast<Call>(reinterpret_cast<void*>(::GetProcAddress(library, name)))
             : nullptr;
}

// Restricts the process's DLL search to the system folder. The platform's call for it (Windows 8,
// and Windows 7 and Vista with their update) is looked up at run time; without it, the current
// folder at least leaves the search (the program's own folder stays in it, which is why the
// imports are known DLLs only).
inline void RestrictDllSearchToSystemFolder() {
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
  const auto setDefault = FindCall<SetDefaultDllDirectoriesCall>(
      ::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (setDefault == nullptr || !setDefault(kSearchSystem32)) {
    ::SetDllDirectoryW(L"");
  }
}

// A library of the system folder, loaded by its full path (never through the search, and its own
// dependencies looked for beside it first), or null. It stays loaded for the process.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return nullptr;
  }
  const std::wstring path = std::wstring(folder) + L"\\" + name;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace vorsk::win32
