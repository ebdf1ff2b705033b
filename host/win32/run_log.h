// The run's log file.
#pragma once

#include <string>

#include "host/win32/win32_handles.h"

namespace vorsk::win32 {

// The log file, resolved to its full path as this process sees it and opened once for
// appending: what others wrote stays, and each line lands at its end.
unique_hfile OpenLogForAppending(const std::wstring& path);

// Appends "<local time> <line>" with CR LF; `line` is UTF-8 already and is written as it is.
void AppendLogLine(HANDLE log, const std::string& line);

}  // namespace vorsk::win32
