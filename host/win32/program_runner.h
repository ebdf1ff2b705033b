// Runs a program that travels with this one: from the folder of this program's own module file,
// with its standard output on a pipe that is read whole, in a job that ends it if this process
// ends.
#pragma once

#include <string>

#include "host/host.h"

namespace vorsk::win32 {

ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments);

// The folder of this process's own module file, without a trailing separator; empty when it
// cannot be had.
std::wstring OwnFolder();

}  // namespace vorsk::win32
