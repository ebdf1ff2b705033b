// The program's windowed entry: runs the removal with no owner window.
#include <windows.h>

#include "removal/run.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  vorsk::RunRemoval(vorsk::kNoOwner);
}
