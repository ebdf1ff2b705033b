// vorsk64.exe's root: the 64-bit companion that removes, on 64-bit Windows, the device instances
// whose instance IDs vorsk.exe gives it on its command line, uninstalls the driver package of the
// INF it names, or adds a saved package again, and reports one line per item on its standard
// output. It shows nothing, writes no file and, started without its command line (double-clicked),
// changes nothing.
#include <optional>
#include <string>
#include <vector>

#include "companion/removal_by_id.h"
#include "host/win32/system_library.h"
#include "host/win32/win32_host.h"
#include "report/exit_status.h"

// clang-format off
#include <windows.h>
// clang-format on

namespace {

// The arguments after the program's name, split as the platform splits them (the shell's own
// splitter would load its library, which costs this short-lived process a fifth of its start
// under Wine). A character outside ASCII cannot be in an instance ID: the whole command line is
// malformed.
std::optional<std::vector<std::string>> Arguments() {
  std::string commandLine;
  for (const wchar_t* c = ::GetCommandLineW(); *c != L'\0'; ++c) {
    if (*c > 0x7E) {
      return std::nullopt;
    }
    commandLine += static_cast<char>(*c);
  }
  return vorsk::SplitCommandArguments(vorsk::ArgumentsAfterProgramName(commandLine));
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
  vorsk::win32::RestrictDllSearchToSystemFolder();
  const auto arguments = Arguments();
  if (!arguments) {
    return vorsk::kExitNothingRun;
  }
  if (const auto infName = vorsk::ParseUninstallArguments(*arguments)) {
    vorsk::Win32Host host;
    const vorsk::UninstallReport report = vorsk::UninstallPackage(host, *infName);
    WriteLine(vorsk::FormatUninstallReport(report));
    return report.error == vorsk::kErrorSuccess ? vorsk::kExitCompleted : vorsk::kExitLeft;
  }
  if (const auto infPath = vorsk::ParseAddArguments(*arguments)) {
    vorsk::Win32Host host;
    const vorsk::AddReport report = vorsk::AddPackage(host, *infPath);
    WriteLine(vorsk::FormatAddReport(report));
    return report.error == vorsk::kErrorSuccess ? vorsk::kExitCompleted : vorsk::kExitLeft;
  }
  const auto instanceIds = vorsk::ParseCompanionArguments(*arguments);
  if (!instanceIds) {
    return vorsk::kExitNothingRun;
  }
  vorsk::Win32Host host;
  return vorsk::RemoveInstancesById(host, *instanceIds, [](const vorsk::InstanceReport& report) {
    WriteLine(vorsk::FormatInstanceReport(report));
  });
}
