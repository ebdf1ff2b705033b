#include "shell/console.h"

#include <cstdio>

#include <windows.h>

namespace vorsk {

namespace {

bool IsRedirected(DWORD stream) {
  HANDLE handle = ::GetStdHandle(stream);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void UseParentConsoleForUnredirectedOutput() {
  const bool output = IsRedirected(STD_OUTPUT_HANDLE);
  const bool error = IsRedirected(STD_ERROR_HANDLE);
  if ((output && error) || !::AttachConsole(ATTACH_PARENT_PROCESS)) {
    return;
  }
  if (!output) {
    std::freopen("CONOUT$", "w", stdout);
  }
  if (!error) {
    std::freopen("CONOUT$", "w", stderr);
  }
}

}  // namespace vorsk
