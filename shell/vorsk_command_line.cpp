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
    } else if (_wcsnicmp(pszParam, L"restore:", 8) == 0 && pszParam[8] != L'\0') {
      m_request.restoreFolder = pszParam + 8;
    } else if (_wcsicmp(pszParam, L"anycomputer") == 0) {
      m_request.anyComputer = true;
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
  if (!m_request.restoreFolder.empty() && !m_request.backupFolder.empty()) {
    return "/restore puts a backup back and deletes nothing, so /backup has nothing to keep: "
           "nothing was run.\n";
  }
  if (m_request.options.list && !m_request.backupFolder.empty()) {
    return "/list deletes nothing, so /backup has nothing to keep: nothing was run.\n";
  }
  if (m_request.anyComputer && m_request.restoreFolder.empty()) {
    return "/anycomputer goes with /restore:<folder> alone: nothing was run.\n";
  }
  return std::string();
}
