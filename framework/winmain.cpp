// The windowed program's start-up: the platform's runtime calls WinMain; the framework takes the
// command line after the program's name and runs the application object. The process ends with
// AfxWinMain's result as its exit status, through the runtime's exit.
#include "framework/app.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR, int nCmdShow) {
  return AfxWinMain(hInstance, hPrevInstance, framework::CommandTail(::GetCommandLineW()),
                    nCmdShow);
}
