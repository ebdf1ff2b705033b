// Runs a program that travels with this one: from the folder of this program's own module file,
// with its standard output on a pipe that is read whole (the one handle it inherits), in a job
// that ends it if this process ends, or when it runs longer than it is given.
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"
#include "host/win32/companion_check.h"

namespace vorsk::win32 {

// A program still running after `timeoutMs` is ended, with its job, and its status is
// ERROR_TIMEOUT (1460); its output up to then comes back. Only a program of `companions` is
// started, and only when its file is the one built (companion_check.h), held so while it starts:
// another file of its name, or a program not among them, is Different and never runs.
ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments,
                            std::uint32_t timeoutMs, const BuiltCompanions& companions);

// The folder of this process's own module file, without a trailing separator; empty when it
// cannot be had.
std::wstring OwnFolder();

}  // namespace vorsk::win32
