#include "backup/restore_script.h"

namespace vorsk {

std::string RestoreCommand() {
  // "%~dp0." names the folder without the separator at its end, which would escape the quote
  // after it on the command line.
  const std::string run = std::string("\"%~dp0") + kSavedProgram + "\" /restore:\"%~dp0.\"";
  return std::string("@echo off\r\n") +
         "rem Puts back what vorsk deleted, as saved in this folder (manifest.txt says where "
         "and\r\n"
         "rem when), through the copy of vorsk.exe beside it. Run it as an administrator, in "
         "the\r\n"
         "rem folder vorsk made; for a folder moved anywhere else, run your own\r\n"
         "rem vorsk.exe /restore:<folder>. /anycomputer restores a backup that this computer\r\n"
         "rem has no record of (one made on another computer, or by an earlier vorsk).\r\n"
         "setlocal EnableExtensions DisableDelayedExpansion\r\n"
         "if /i \"%~1\"==\"/anycomputer\" goto vorsk_any_computer\r\n" +
         run + "\r\nexit /b %errorlevel%\r\n:vorsk_any_computer\r\n" + run +
         " /anycomputer\r\nexit /b %errorlevel%\r\n";
}

}  // namespace vorsk
