// The text of restore.cmd, the command file that puts back what a run deleted. It is written in
// the ANSI code page, the encoding of the paths it names.
#pragma once

#include <cstdint>
#include <string>

namespace vorsk {

// Its first lines, for a backup made on `computer` at `when`.
std::string RestoreBeginning(const std::string& computer, const std::string& when);
// The lines that put the file at `path` back from the copy `saved` (a path relative to the
// backup folder) with the read-only, hidden and system flags of `attributes`.
std::string RestoreFileLines(const std::string& path, const std::string& saved,
                             std::uint32_t attributes);
// The lines that import registry.reg into the registry view its trees were read from: the
// 32-bit one when `wow64`.
std::string RestoreRegistryLines(bool wow64);
// Its last lines; `instancesRecorded` says that device instances are in the manifest.
std::string RestoreEnding(bool instancesRecorded);

// Text as a command file takes it: within quotes ('%' doubled), and outside them, where the
// command interpreter's own characters are escaped.
std::string CommandQuoted(const std::string& text);
std::string CommandText(const std::string& text);

}  // namespace vorsk
