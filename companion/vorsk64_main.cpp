// vorsk64.exe's root: the 64-bit companion that, on 64-bit Windows, does what vorsk.exe hands it:
// started with /tasks, each task that comes on its standard input, one line each, until that
// ends; or the one task of its command line. It removes device instances by their instance IDs,
// uninstalls the driver package of a published INF, or adds a saved package again, and reports
// one line per item on its standard output. It shows nothing, writes no file and, started without
// its command line (double-clicked), changes nothing.
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

// The longest task line taken: a task's names are escaped UTF-8 of paths of at most 32767
// characters, well within it.
constexpr std::size_t kLongestTask = 1 << 20;

// The arguments after the program's name, split as the platform splits them (the shell's own
// splitter would load its library, which costs this short-lived process a fifth of its start
// under Wine). Every name comes escaped in ASCII: a character outside it makes the whole command
// line malformed.
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

// Does each task of standard input as its line comes, answering each with its reports and the
// line that ends it, until standard input ends: the tasks' status together, or 1 at once for a
// malformed task.
int PerformTasksOfInput(vorsk::Host& host) {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  int status = vorsk::kExitCompleted;
  for (;;) {
    for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      const std::optional<vorsk::CompanionTask> task = vorsk::ParseTask(line);
      if (!task) {
        return vorsk::kExitNothingRun;
      }
      const int done = vorsk::PerformTask(host, *task, WriteLine);
      WriteLine(vorsk::FormatTaskEnd(done));
      status = vorsk::CombinedStatus(status, done);
    }
    char buffer[4096];
    DWORD read = 0;
    if (pending.size() > kLongestTask || input == nullptr || input == INVALID_HANDLE_VALUE ||
        !::ReadFile(input, buffer, sizeof(buffer), &read, nullptr) || read == 0) {
      break;
    }
    pending.append(buffer, read);
  }
  // A line cut off by the end of the input is no task.
  return pending.empty() ? status : vorsk::kExitNothingRun;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  vorsk::win32::RestrictDllSearchToSystemFolder();
  const auto arguments = Arguments();
  const auto command = arguments ? vorsk::ParseCompanionArguments(*arguments)
                                 : std::optional<vorsk::CompanionCommand>();
  if (!command) {
    return vorsk::kExitNothingRun;
  }
  vorsk::Win32Host host;
  if (command->tasks) {
    return PerformTasksOfInput(host);
  }
  return vorsk::PerformTask(host, command->task, WriteLine);
}
