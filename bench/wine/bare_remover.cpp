// The companion's platform work and nothing else: a 64-bit program that takes vorsk64.exe's
// command line and removes each instance with the plain device setup calls, without vorsk's core
// or host. The floor of vorsk64.exe removing the same instances.
//
//   bare_remover /remove <instance ID> [<instance ID> ...]
//
// Per instance, as the companion does: a set of its own, the instance opened by its ID, its class
// installer's removal and its install parameters read; then the companion's report line on
// standard output ("removed", "restart", "absent" or "failed <error>", then the ID), so that a
// benchmark can check that both programs removed what was staged. Ends with status 0 when every
// instance was removed or absent, 3 when some are left, 1 on a command line without "/remove".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

namespace {

void WriteLine(const std::string& line) {
  const std::string text = line + "\r\n";
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (output != nullptr && output != INVALID_HANDLE_VALUE) {
    ::WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

// Removes one instance; its report line's first word, or nothing when it failed.
const char* RemoveInstance(const char* instanceId, DWORD* error) {
  HDEVINFO set = ::SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) {
    *error = ::GetLastError();
    return nullptr;
  }
  const char* outcome = nullptr;
  SP_DEVINFO_DATA record = {};
  record.cbSize = sizeof(record);
  if (!::SetupDiOpenDeviceInfoA(set, instanceId, nullptr, 0, &record)) {
    *error = ::GetLastError();
    outcome = *error == ERROR_NO_SUCH_DEVINST ? "absent" : nullptr;
  } else if (!::SetupDiCallClassInstaller(DIF_REMOVE, set, &record)) {
    *error = ::GetLastError();
  } else {
    SP_DEVINSTALL_PARAMS_A parameters = {};
    parameters.cbSize = sizeof(parameters);
    const bool restart = ::SetupDiGetDeviceInstallParamsA(set, &record, &parameters) &&
                         (parameters.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)) != 0;
    outcome = restart ? "restart" : "removed";
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return outcome;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The runtime's own split of the command line: instance IDs hold no blanks or quotes.
  if (__argc < 3 || std::strcmp(__argv[1], "/remove") != 0) {
    return 1;
  }
  bool left = false;
  for (int i = 2; i < __argc; ++i) {
    DWORD error = 0;
    const char* outcome = RemoveInstance(__argv[i], &error);
    if (outcome != nullptr) {
      WriteLine(std::string(outcome) + " " + __argv[i]);
    } else {
      char code[9];
      std::snprintf(code, sizeof(code), "%08lx", static_cast<unsigned long>(error));
      WriteLine(std::string("failed ") + code + " " + __argv[i]);
      left = true;
    }
  }
  return left ? 3 : 0;
}
