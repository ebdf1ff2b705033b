// A program for the tests of running a program beside another:
//   beside_probe print <status> [<argument> ...]   prints each argument on a line of its own, as
//                                                  the platform's parser reads it, and ends with
//                                                  <status>
//   beside_probe wait <name>                       holds a named event and waits a minute
//   beside_probe inherits <handle>                 prints whether the handle of that value is a
//                                                  signaled object here (one that the program
//                                                  that started it gave it)
#include <cstdint>
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
  if (command == L"inherits") {
    const HANDLE handle =
        reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(argv[2], nullptr, 10)));
    DWORD flags = 0;
    const bool inherited =
        ::GetHandleInformation(handle, &flags) && ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    std::printf(inherited ? "inherited\n" : "not inherited\n");
    return 0;
  }
  const int status = ::_wtoi(argv[2]);
  for (int index = 3; index < count; ++index) {
    std::printf("%ls\n", argv[index]);
  }
  ::LocalFree(argv);
  return status;
}
