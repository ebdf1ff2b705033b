// The windowed program's start-up: the platform's runtime calls WinMain; the DLL search is
// restricted to the system folder first, then the framework takes the command line after the
// program's name and runs the application object. The process ends with AfxWinMain's result as
// its exit status, through the runtime's exit.
#include "framework/app.h"
#include "host/win32/system_library.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR, int nCmdShow) {
  vorsk::win32::RestrictDllSearchToSystemFolder();
  return AfxWinMain(hInstance, hPrevInstance, framework::CommandTail(::GetCommandLineW()),
                    nCmdShow);
}
