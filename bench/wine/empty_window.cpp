// The floor of a whole run under Wine: a windowed program that registers a class, creates its
// main window (never shown), as the application's start-up does, and ends at once.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ::DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "EmptyWindow";
  if (::RegisterClassA(&windowClass) == 0) {
    return 1;
  }
  const HWND window =
      ::CreateWindowExA(0, "EmptyWindow", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    return 1;
  }
  ::DestroyWindow(window);
  return 0;
}
