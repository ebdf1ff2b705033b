#include "shell/vorsk_command_line.h"

#include <cwchar>
#include <iterator>

namespace {

// The switches that the framework's own command line knows.
constexpr const wchar_t* kFrameworkSwitches[] = {
    L"p", L"pt", L"dde", L"Automation", L"Embedding", L"Unregister", L"Unregserver"};

bool IsFrameworkSwitch(const wchar_t* name) {
  for (const wchar_t* known : kFrameworkSwitches) {
    if (_wcsicmp(name, known) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

void CVorskCommandLineInfo::ParseParam(const wchar_t* pszParam, BOOL bFlag, BOOL bLast) {
  if (bFlag) {
    if (_wcsicmp(pszParam, L"quiet") == 0 || _wcsicmp(pszParam, L"q") == 0) {
      m_request.options.quiet = true;
    } else if (_wcsnicmp(pszParam, L"log:", 4) == 0 && pszParam[4] != L'\0') {
      m_request.logPath = pszParam + 4;
    } else if (_wcsnicmp(pszParam, L"backup:", 7) == 0 && pszParam[7] != L'\0') {
      m_request.backupFolder = pszParam + 7;
    } else if (_wcsicmp(pszParam, L"list") == 0) {
      m_request.options.list = true;
    } else if (std::wcscmp(pszParam, L"?") == 0 || !IsFrameworkSwitch(pszParam)) {
      m_showUsage = true;
    }
  }
  // The framework still sees every parameter, so that its own switches and a file name keep
  // their meaning, and it sees the last one.
  CCommandLineInfo::ParseParam(pszParam, bFlag, bLast);
}

std::string CVorskCommandLineInfo::Conflict() const {
  if (m_request.options.list && !m_request.backupFolder.empty()) {
    return "/list deletes nothing, so /backup has nothing to keep: nothing was run.\n";
  }
  return std::string();
}

namespace vorsk {

const char kUsage[] =
    "vorsk [/quiet] [/log:<file>] [/list | /backup:<folder>]\n"
    "Removes the driver of the USB still-image device of setup 417, as its removal script\n"
    "<Windows>\\Setup417\\Remove417.ini says.\n"
    "\n"
    "  /quiet, /q    show no message box: each becomes a line on standard error and in the log\n"
    "                (also when there is no interactive desktop, as for a service)\n"
    "  /log:<file>   append what the run does to <file> (UTF-8, one timestamped line each)\n"
    "  /list         change nothing: list what a run would remove, and end with 3 when\n"
    "                something the script names is there, 0 when nothing is\n"
    "  /backup:<folder>\n"
    "                first save what the run deletes in a new folder of its own below\n"
    "                <folder>, <computer>-<UTC time>, with restore.cmd, which puts it back;\n"
    "                an item that cannot be saved is not deleted\n"
    "  /?            this text\n"
    "Switches may begin with / or -, in any letter case.\n"
    "\n"
    "Exit status:\n"
    "  0     the removal ran, and nothing that the script names is left\n"
    "  1     nothing was run (/?, a switch vorsk does not know, /list with /backup,\n"
    "        /Unregister, or no main window)\n"
    "  2     the removal script is missing or cannot be opened; nothing was touched\n"
    "  3     the removal ran, and something that the script names was left\n"
    "  1618  another run did not end in time; nothing was run\n"
    "  3010  the removal ran, nothing is left, and a restart finishes removing a device\n"
    "At a command prompt, start /wait vorsk ... waits for the status.\n";

}  // namespace vorsk
