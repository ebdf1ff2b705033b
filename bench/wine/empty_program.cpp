// An empty windowless program: it starts and ends at once with status 0. Built for 64-bit
// Windows, it is the floor of the companion's start: one 64-bit process started from vorsk.exe's
// 32-bit side.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return 0;
}
