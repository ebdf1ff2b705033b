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
// for, relative to the handle that folder was checked by (the native create call, which follows
// no reparse point there either), with rights for SYSTEM, the Administrators and the running user
// alone. A file is refused unless log_trust.h's rule trusts it; one this run made and then
// refuses is deleted through its own handle.
LogOpening OpenLogForAppending(const std::wstring& path);

// Appends "<local time> <line>" with CR LF; `line` is UTF-8 already and is written as it is.
void AppendLogLine(HANDLE log, const std::string& line);

}  // namespace vorsk::win32
