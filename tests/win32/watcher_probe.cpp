// A program for the watcher's own test. It shows a window of its own for a moment, then three
// message boxes: owned by that window with two buttons and a warning icon; without owner, caption
// or icon; owned by the window with an empty caption, a question icon and OK and Cancel. It exits
// with 7 when the watcher pressed Yes, then OK, then OK, and with 3 otherwise.
#include <windows.h>

namespace {

void PumpFor(DWORD milliseconds) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < milliseconds) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::DispatchMessageW(&message);
    }
    ::Sleep(10);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ::DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"ProbeWindow";
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowW(L"ProbeWindow", L"probe \"window\"", WS_OVERLAPPEDWINDOW, 10, 10,
                                300, 200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    return 1;
  }
  ::ShowWindow(window, SW_SHOW);
  PumpFor(300);
  ::ShowWindow(window, SW_HIDE);

  const int first =
      ::MessageBoxW(window, L"first line\nsecond \"line\"", L"Probe", MB_YESNO | MB_ICONWARNING);
  const int second = ::MessageBoxW(nullptr, L"no caption", nullptr, MB_OK);
  const int third = ::MessageBoxW(window, L"问题", L"", MB_OKCANCEL | MB_ICONQUESTION);
  ::DestroyWindow(window);
  return first == IDYES && second == IDOK && third == IDOK ? 7 : 3;
}
