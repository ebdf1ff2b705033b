// Calls newer than the oldest Windows the programs run on (Windows XP SP2), which the toolchain's
// own runtime would otherwise import: each is looked up at run time, with a stand-in where the
// platform lacks it. Linked into each program itself (not through a library), so that the
// runtime's reference finds it before the platform's import library is searched.
//
// GetTickCount64 (Windows Vista), for the thread library's timed waits: without it, milliseconds
// from the performance counter, which does not wrap as GetTickCount does.
#include <windows.h>

#include "host/win32/system_library.h"

namespace {

ULONGLONG WINAPI TickCount64() {
  using Call = ULONGLONG(WINAPI*)();
  static const Call platform =
      vorsk::win32::FindCall<Call>(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64");
  if (platform != nullptr) {
    return platform();
  }
  LARGE_INTEGER frequency = {};
  LARGE_INTEGER counter = {};
  if (!::QueryPerformanceFrequency(&frequency) || !::QueryPerformanceCounter(&counter) ||
      frequency.QuadPart <= 0) {
    return ::GetTickCount();
  }
  const auto ticks = static_cast<ULONGLONG>(counter.QuadPart);
  const auto perSecond = static_cast<ULONGLONG>(frequency.QuadPart);
  return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

}  // namespace

// The import's own slot, as the import library would have named it.
#if defined(_WIN64)
extern "C" ULONGLONG(WINAPI* const vorskGetTickCount64Slot)() __asm__("__imp_GetTickCount64");
extern "C" ULONGLONG(WINAPI* const vorskGetTickCount64Slot)() = &TickCount64;
#else
extern "C" ULONGLONG(WINAPI* const vorskGetTickCount64Slot)() __asm__("__imp__GetTickCount64@0");
extern "C" ULONGLONG(WINAPI* const vorskGetTickCount64Slot)() = &TickCount64;
#endif
