// A program for the tests of running a program beside another:
//   beside_probe print <status> [<argument> ...]   prints each argument on a line of its own, as
//                                                  the platform's parser reads it, and ends with
//                                                  <status>
//   beside_probe wait <name>                       holds a named event and waits a minute
//   beside_probe inherits <handle>                 prints whether the handle of that value is a
//                                                  signaled object here (one that the program
//                                                  that started it gave it)
//   beside_probe answer <status>                   answers each line of its standard input: "got
//                                                  <line>" and "done 0"; a line "hang" is never
//                                                  answered, "end <n>" ends it with status n; at
//                                                  the input's end it ends with <status>
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
  if (command == L"answer") {
    std::string pending;
    char buffer[256];
    DWORD read = 0;
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    while (::ReadFile(input, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
      pending.append(buffer, read);
      for (std::size_t end = pending.find('\n'); end != std::string::npos;
           end = pending.find('\n')) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
          line.pop_back();
        }
        if (line == "hang") {
          ::Sleep(60000);
        } else if (line.rfind("end ", 0) == 0) {
          std::printf("ending\n");
          std::fflush(stdout);
          return std::atoi(line.c_str() + 4);
        }
        std::printf("got %s\ndone 0\n", line.c_str());
        std::fflush(stdout);
      }
    }
    return ::_wtoi(argv[2]);
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
