// A program that imports a DLL that is not a known DLL of Windows XP (the device setup service's),
// for the test that shows the PE header check rejects it.
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return ::SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE) ? 0 : 1;
}
