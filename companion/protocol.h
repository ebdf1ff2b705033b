// The 64-bit companion, vorsk64.exe: on 64-bit Windows the device setup service refuses to remove
// device instances for a 32-bit process, so vorsk.exe walks the instances itself and hands the
// instance IDs of those that match to the companion, which removes them and reports one line per
// instance on its standard output.
//
//   vorsk64.exe /remove <instance ID> [<instance ID> ...]
//
// Report lines: "removed <ID>", "restart <ID>" (removed; the platform asks for a restart to
// finish), "absent <ID>" (already gone), "failed <error> <ID>" (the platform's error, eight hex
// digits). Exit status: 0 (every instance removed or absent), 3 (some left), 3010 (all removed or
// absent, a restart needed), 1 (a malformed command line: nothing was changed).
//
// The driver's package goes the same way, since the platform keeps a 64-bit store apart from a
// 32-bit program's reach:
//
//   vorsk64.exe /uninstall <published INF name>
//
// Report line: "uninstalled <name>", or "failed <error> <name>". Exit status: 0 (uninstalled),
// 3 (it failed), 1 (a malformed command line: nothing was changed).
//
// A restore adds a saved package again the same way:
//
//   vorsk64.exe /add <INF path>
//
// Report line: "added <published INF name> <INF path>", or "failed <error> <INF path>". Exit
// status: 0 (added), 3 (it failed), 1 (a malformed command line). The path and the name are
// carried as UTF-8, each byte that is no printable ASCII character (and '%' and '"') written %XX,
// so that any name survives any code page, both ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace vorsk {

inline constexpr std::string_view kCompanionProgram = "vorsk64.exe";
inline constexpr std::string_view kCompanionSwitch = "remove";
inline constexpr std::string_view kUninstallSwitch = "uninstall";
// The most characters of arguments one start of the companion is given: the platform's command
// line holds 32767 characters, the companion's quoted path among them.
inline constexpr std::size_t kCompanionArgumentsLimit = 30000;

// How long one start of the companion is waited for: two minutes, and thirty seconds per instance
// handed to it (a class installer may take that long for one). A companion still running then
// is ended with its job, and the instances it did not report are left.
inline constexpr std::uint32_t CompanionWaitMs(std::size_t items) {
  constexpr std::uint64_t kLongest = 0xFFFFFFFE;  // one less than the platform's "forever"
  const std::uint64_t wait = 120000 + 30000 * static_cast<std::uint64_t>(items);
  return static_cast<std::uint32_t>(wait < kLongest ? wait : kLongest);
}

enum class InstanceOutcome { Removed, RestartNeeded, Absent, Failed };

// What became of one instance that the companion was asked to remove.
struct InstanceReport {
  InstanceOutcome outcome = InstanceOutcome::Failed;
  Status error = kErrorSuccess;  // the platform's error, when it failed
  std::string instanceId;
};

// The report line of one instance, without its line end.
std::string FormatInstanceReport(const InstanceReport& report);

// The report of one line; nothing for a line that is not a report.
std::optional<InstanceReport> ParseInstanceReport(std::string_view line);

// Whether text can be a device instance ID: 1 to 200 characters from '!' to '~', no comma.
bool IsInstanceIdText(std::string_view text);

// The instance IDs of the companion's command line (its arguments after the program's name);
// nothing when it is malformed: no "/remove" (or "-remove", any letter case) first, no ID after
// it, or an argument that cannot be an instance ID.
std::optional<std::vector<std::string>> ParseCompanionArguments(
    const std::vector<std::string>& arguments);

// What became of the uninstall of one driver package: kErrorSuccess, or the platform's error.
struct UninstallReport {
  Status error = kErrorSuccess;
  std::string infName;
};

std::string FormatUninstallReport(const UninstallReport& report);
std::optional<UninstallReport> ParseUninstallReport(std::string_view line);

// Whether the companion's command line can carry a published INF's name: 1 to 255 printable
// ASCII characters (blanks among them), none of them a quote.
bool IsInfNameText(std::string_view text);

// The companion's arguments that uninstall the package `infName` publishes, and the name that
// such arguments give; nothing when they are malformed: no "/uninstall" (or "-uninstall", any
// letter case) first, not exactly one name after it, or one the command line cannot carry.
std::string UninstallArguments(const std::string& infName);
std::optional<std::string> ParseUninstallArguments(const std::vector<std::string>& arguments);

// The report on `infName` in the companion's standard output: the first line that names it.
std::optional<UninstallReport> MatchUninstallReport(const std::string& infName,
                                                    std::string_view output);

inline constexpr std::string_view kAddSwitch = "add";

// UTF-8 text as the companion's command line and report lines carry it: each byte from '!' to '~'
// as it is but '%' and '"', every other written %XX (two uppercase hex digits).
std::string PercentEscaped(std::string_view utf8);
// The UTF-8 text back; nothing for text that is not so escaped.
std::optional<std::string> PercentUnescaped(std::string_view text);

// What became of adding one saved package again.
struct AddReport {
  Status error = kErrorSuccess;
  std::string published;  // the INF name the platform published it under
  std::string infPath;    // in UTF-8
};

std::string FormatAddReport(const AddReport& report);
std::optional<AddReport> ParseAddReport(std::string_view line);
// The companion's arguments that add the package of the INF at `infPath` (UTF-8), and the path
// that such arguments give.
std::string AddArguments(const std::string& infPath);
std::optional<std::string> ParseAddArguments(const std::vector<std::string>& arguments);
// The report on `infPath` in the companion's standard output: the first line that names it.
std::optional<AddReport> MatchAddReport(const std::string& infPath, std::string_view output);

// One start of the companion: its arguments, and the instance IDs they name.
struct CompanionBatch {
  std::string arguments;
  std::vector<std::string> instanceIds;
};

// The arguments of a command line after the program's name, split as the platform's parser splits
// them: at blanks and tabs outside quotes, with backslashes doubled before a quote, and two quotes
// within quotes read as one quote that ends the quoting.
std::vector<std::string> SplitCommandArguments(std::string_view arguments);

// The part of a whole command line after the program's name: the name ends at its closing quote
// when it begins with one, otherwise at the first blank or tab.
std::string_view ArgumentsAfterProgramName(std::string_view commandLine);

// The starts of the companion for these instance IDs, in their order, each with arguments that
// fit kCompanionArgumentsLimit: one start unless the IDs are very many.
std::vector<CompanionBatch> CompanionBatches(const std::vector<std::string>& instanceIds);

// The report of each of `instanceIds` in the companion's standard output, in their order: the
// first report line that names it, or nothing when no line does.
std::vector<std::optional<InstanceReport>> MatchInstanceReports(
    const std::vector<std::string>& instanceIds, std::string_view output);

}  // namespace vorsk
