// A DLL planted beside a program under a system DLL's name: loaded, it leaves a file named after
// itself with ".loaded" added. It exports the one call vorsk.exe once imported from the common
// controls, so that a program importing that library would load it and start.
#include <string>

#include <windows.h>

extern "C" __declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void*) {
  return FALSE;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(module, path, MAX_PATH);
    const HANDLE marker = ::CreateFileW((std::wstring(path) + L".loaded").c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) {
      ::CloseHandle(marker);
    }
  }
  return TRUE;
}
