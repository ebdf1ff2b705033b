// The run's log file.
#pragma once

#include <string>

#include "host/win32/win32_handles.h"

namespace vorsk::win32 {

// A log file opened for appending, or why there is none.
struct LogOpening {
  unique_hfile file;
  std::string refusal;  // empty when the file is open: "cannot be opened (error ...)", ...
};

// Opens the log by the full path it resolves to, as this process sees it, once for appending:
// what others wrote stays, and each line lands at its end. Its last component is never followed
// when it is a reparse point; a missing log is created, only in a folder that is the one asked
// for, with rights for SYSTEM, the Administrators and the running user alone. An existing file is
// refused unless log_trust.h's rule trusts it.
LogOpening OpenLogForAppending(const std::wstring& path);

// Appends "<local time> <line>" with CR LF; `line` is UTF-8 already and is written as it is.
void AppendLogLine(HANDLE log, const std::string& line);

}  // namespace vorsk::win32
