// Whether a run may write its log to the file that the host opened for it: the rule, apart from
// the platform calls that find its facts, so that it is the same everywhere and tested anywhere.
// vorsk runs as SYSTEM or as an administrator, and a log is named by whoever starts it: a file
// that another account made, or that leads somewhere else, would have vorsk append to a file of
// someone else's choosing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vorsk {

// Who owns a file, as far as the rule tells them apart.
enum class FileOwner {
  System,          // the platform's own account
  Administrators,  // the Administrators group
  RunningUser,     // the account this run runs as
  MachineAccount,  // the machine's own account of its domain, which SYSTEM is on another machine
  Other,
  Unknown,  // the owner cannot be read
};

// The facts of one opened log file. The paths are as the platform gives them, in upper case with
// short names made long: `asked` the full path the run asked for, `final` the path of the file
// opened (with its "\\?\" or "\\?\UNC\" prefix, as the final-path call gives it).
struct LogFileFacts {
  bool reparsePoint = false;
  std::uint32_t links = 1;  // the file's names (hard links)
  std::u16string asked;
  std::u16string final;
  FileOwner owner = FileOwner::Unknown;
  // For WOW64's redirection: a 32-bit program on 64-bit Windows asking for a path in
  // <Windows>\System32 is given <Windows>\SysWOW64 (and <Windows>\Sysnative is System32).
  bool wow64 = false;
  std::u16string windowsDirectory;  // upper case, no trailing separator
};

// Whether the path the platform gives for an opened file is the one asked for: the same after
// its prefix, or, for a 32-bit program on 64-bit Windows, the same once WOW64 redirects it.
bool IsPathAskedFor(const std::u16string& asked, const std::u16string& final, bool wow64,
                    const std::u16string& windowsDirectory);

// Why the log cannot be trusted ("it is a reparse point", ...), or nothing when it can: it is no
// reparse point, has one name, is the file asked for, and belongs to SYSTEM, the Administrators
// or the running user (on a network share, the machine's own account counts as SYSTEM).
std::optional<std::string> LogRefusal(const LogFileFacts& facts);

}  // namespace vorsk
