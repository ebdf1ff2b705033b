// What a run's log says of the process and its machine, and the log file itself.
#pragma once

#include <string>

#include "host/host.h"
#include "host/win32/win32_handles.h"

namespace vorsk::win32 {

// The Windows version as the system reports it (whatever the program's manifest says), the
// machine's and the process's width, the user as DOMAIN\user, and whether the process holds an
// administrator's full rights.
ProcessFacts ReadProcessFacts(bool wow64);

// The log file, resolved to its full path as this process sees it and opened once for
// appending: what others wrote stays, and each line lands at its end.
unique_hfile OpenLogForAppending(const std::wstring& path);

// Appends "<local time> <line>" with CR LF; `line` is UTF-8 already.
void AppendLogLine(HANDLE log, const std::string& line);

// The machine-wide mutex that one run of vorsk holds at a time, created (or opened) so that any
// user may wait on it: a run as SYSTEM and a run as a user exclude each other. Null on failure.
unique_handle OpenRunLock();

// Wide text as ANSI.
std::string WideToAnsi(const std::wstring& text);

}  // namespace vorsk::win32
