// vorsk64.exe's root: the 64-bit companion that removes, on 64-bit Windows, the device instances
// whose instance IDs vorsk.exe gives it on its command line, and reports one line per instance on
// its standard output. It shows nothing, writes no file and, started without its command line
// (double-clicked), changes nothing.
#include <optional>
#include <string>
#include <vector>

#include "cleanup/companion.h"
#include "host/win32/win32_handles.h"
#include "host/win32/win32_host.h"
#include "report/exit_status.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace {

// The arguments after the program's name, as the platform parses the command line. An argument
// with a character outside ASCII cannot be an instance ID: the whole command line is malformed.
std::optional<std::vector<std::string>> Arguments() {
  int count = 0;
  vorsk::win32::unique_hlocal parsed(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!parsed) {
    return std::nullopt;
  }
  const auto* argv = static_cast<LPWSTR*>(parsed.get());
  std::vector<std::string> arguments;
  for (int index = 1; index < count; ++index) {
    std::string argument;
    for (const wchar_t* c = argv[index]; *c != L'\0'; ++c) {
      if (*c > 0x7E) {
        return std::nullopt;
      }
      argument += static_cast<char>(*c);
    }
    arguments.push_back(argument);
  }
  return arguments;
}

// Writes one report line to standard output at once, so that vorsk.exe has every line written
// before anything could cut the companion short.
void WriteLine(const std::string& line) {
  const std::string text = line + "\r\n";
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (output != nullptr && output != INVALID_HANDLE_VALUE) {
    ::WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const auto arguments = Arguments();
  const auto instanceIds = arguments ? vorsk::ParseCompanionArguments(*arguments) : std::nullopt;
  if (!instanceIds) {
    return vorsk::kExitNothingRun;
  }
  vorsk::Win32Host host;
  return vorsk::RemoveInstancesById(host, *instanceIds, [](const vorsk::InstanceReport& report) {
    WriteLine(vorsk::FormatInstanceReport(report));
  });
}
