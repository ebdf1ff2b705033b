// Runs a program that travels with this one: from the folder of this program's own module file,
// with its standard output on a pipe that is read (and, for a program that takes its tasks there,
// its standard input on another), its ends of the pipes the only handles it inherits, in a job
// that ends it if this process ends, or when it runs longer than it is given.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "host/host.h"
#include "host/win32/companion_check.h"
#include "host/win32/win32_handles.h"

namespace vorsk::win32 {

// A program started beside this one: its process, its job (none where one cannot be had), and this
// process's ends of its pipes.
struct BesideProgram {
  unique_handle process;
  unique_handle job;
  unique_handle output;  // the reading end of its standard output
  unique_handle input;   // the writing end of its standard input; none once it is closed
};

// A program still running after `timeoutMs` is ended, with its job, and its status is
// ERROR_TIMEOUT (1460); its output up to then comes back. Only a program of `companions` is
// started, and only when its file is the one built (companion_check.h), held so while it starts:
// another file of its name, or a program not among them, is Different and never runs.
ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments,
                            std::uint32_t timeoutMs, const BuiltCompanions& companions);

// As the Host services of the same names (host/host.h) do.
ProgramRun StartProgramBeside(const std::string& program, const std::string& arguments,
                              const BuiltCompanions& companions, BesideProgram& started);
ProgramAnswer HandProgramTask(BesideProgram& program, const std::string& input,
                              std::uint32_t timeoutMs,
                              const std::function<bool(std::string_view)>& answered);
std::uint32_t EndProgramSession(BesideProgram& program, std::uint32_t timeoutMs);

// The folder of this process's own module file, without a trailing separator; empty when it
// cannot be had.
std::wstring OwnFolder();

}  // namespace vorsk::win32
