// A program for the tests of running a program beside another:
//   beside_probe print <status> [<argument> ...]   prints each argument on a line of its own, as
//                                                  the platform's parser reads it, and ends with
//                                                  <status>
//   beside_probe wait <name>                       holds a named event and waits a minute
#include <cstdio>
#include <cstdlib>
#include <string>

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

int main() {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (argv == nullptr || count < 3) {
    return 2;
  }
  const std::wstring command = argv[1];
  if (command == L"wait") {
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, argv[2]);
    ::Sleep(60000);
    ::CloseHandle(event);
    return 0;
  }
  const int status = ::_wtoi(argv[2]);
  for (int index = 3; index < count; ++index) {
    std::printf("%ls\n", argv[index]);
  }
  ::LocalFree(argv);
  return status;
}
