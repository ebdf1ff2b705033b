// Runs a program that travels with this one: from the folder of this program's own module file,
// with its standard output on a pipe that is read whole (the one handle it inherits), in a job
// that ends it if this process ends, or when it runs longer than it is given.
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"

namespace vorsk::win32 {

// A program still running after `timeoutMs` is ended, with its job, and its status is
// ERROR_TIMEOUT (1460); its output up to then comes back.
ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments,
                            std::uint32_t timeoutMs);

// The folder of this process's own module file, without a trailing separator; empty when it
// cannot be had.
std::wstring OwnFolder();

}  // namespace vorsk::win32
