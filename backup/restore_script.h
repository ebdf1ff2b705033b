// The text of restore.cmd, the command file that puts back what a run deleted. It is written in
// the ANSI code page, the encoding of the paths it names, and sets that code page before it reads
// a line that is not ASCII; it gives the user's back at its end. It runs only the platform's own
// programs, by full path below %SystemRoot%, never one found through the current folder or PATH.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vorsk {

// Whether a byte begins a double-byte character of the script's code page.
using LeadByteTest = std::function<bool(unsigned char)>;

// Its first lines, for a backup made on `computer` at `when`, written in `codePage`: it refuses
// to run on another computer unless given /anycomputer, then runs the lines that follow as one
// part (whatever they are, the code page is given back after them).
std::string RestoreBeginning(const std::string& computer, const std::string& when,
                             std::uint32_t codePage, const LeadByteTest& isLead);
// The lines that put the file at `path` back from the copy `saved` (a path relative to the
// backup folder) with the read-only, hidden and system flags of `attributes`: only where its place
// is empty, or holds a file with the same bytes; otherwise "NOT restored" and status 1.
std::string RestoreFileLines(const std::string& path, const std::string& saved,
                             std::uint32_t attributes, const LeadByteTest& isLead);
// The lines that put a driver package back from its saved store folder, whose INF is `savedInf`
// (a path relative to the backup folder), with the platform's own driver tool (reached from a
// 32-bit console through Sysnative), and then check that the platform published it again at
// `infPath` with the same bytes; otherwise "NOT restored" and status 1.
std::string RestorePackageLines(const std::string& infPath, const std::string& savedInf,
                                const LeadByteTest& isLead);
// The lines that import registry.reg into the registry view its trees were read from: the
// 32-bit one when `wow64`.
std::string RestoreRegistryLines(bool wow64);
// Its last lines; `instancesRecorded` says that device instances are in the manifest.
std::string RestoreEnding(bool instancesRecorded);

// Text as a command file takes it: within quotes ('%' doubled), and outside them, where the
// command interpreter's own characters are escaped. A double-byte character (a lead byte and the
// byte after it) is written as it is: its trail byte may look like '^', '|', '\' or '%', but is
// no character of its own in the code page.
std::string CommandQuoted(const std::string& text, const LeadByteTest& isLead);
std::string CommandText(const std::string& text, const LeadByteTest& isLead);

}  // namespace vorsk
