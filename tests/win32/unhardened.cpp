// A program built without the hardening, for the test that shows the PE header check rejects it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command, int) {
  char copy[64];
  lstrcpynA(copy, command, sizeof(copy));
  return lstrlenA(copy) > 1000 ? 1 : 0;
}
