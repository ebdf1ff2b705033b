// The 64-bit companion, vorsk64.exe: on 64-bit Windows the device setup service refuses to remove
// device instances for a 32-bit process, and the platform keeps the 64-bit driver store out of its
// reach, so vorsk.exe hands that work to the companion. It starts it once, at the first task of a
// run, and hands it each task over its standard input as the run's stages reach it:
//
//   vorsk64.exe /tasks
//
// Each task is one line (its end LF, or CR LF), its words separated by one blank:
//
//   uninstall <published INF name>       the driver package that the INF publishes
//   remove <instance ID> [<ID> ...]      each device instance
//   add <INF path>                       a saved package staged and published again
//
// and the companion answers each on its standard output, one report line per item, then
// "done <status>" once the task is over:
//
//   uninstalled <name>  |  failed <error> <name>
//   removed <ID>  |  restart <ID> (removed; a restart finishes it)  |  absent <ID>  |
//   failed <error> <ID>
//   added <published INF name> <INF path>  |  failed <error> <INF path>
//   done <status>        0 (all done), 3 (something left), 3010 (all done, a restart needed)
//
// <error> is the platform's error, eight hex digits. A malformed task is answered with nothing:
// the companion ends at once with status 1. Once its standard input ends, it ends with the status
// of its tasks together (3 when any left something, else 3010 when any needs a restart, else 0).
//
// Each task can also be given on the command line, one per start: "/remove <ID> ...",
// "/uninstall <name>", "/add <path>"; the companion then answers it, without the done line, and
// ends with the task's status (1 when the command line is malformed).
//
// Every name, path and instance ID travels as UTF-8, each byte from '!' to '~' as it is but '%'
// and '"', every other written %XX (two uppercase hex digits), so that any name survives any code
// page, both ways.
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
// The companion's command line when it takes its tasks on its standard input.
inline constexpr std::string_view kTasksSwitch = "tasks";
// The most characters of one task line that removes instances: more instances go in more tasks.
inline constexpr std::size_t kCompanionArgumentsLimit = 30000;

// How long one task of the companion is waited for: two minutes, and thirty seconds per instance
// handed to it (a class installer may take that long for one). A companion still at its task then
// is ended with its job, and what it did not report is left.
inline constexpr std::uint32_t CompanionWaitMs(std::size_t items) {
  constexpr std::uint64_t kLongest = 0xFFFFFFFE;  // one less than the platform's "forever"
  const std::uint64_t wait = 120000 + 30000 * static_cast<std::uint64_t>(items);
  return static_cast<std::uint32_t>(wait < kLongest ? wait : kLongest);
}
// How long the companion is given to end once its standard input has ended.
inline constexpr std::uint32_t kCompanionEndWaitMs = 10000;

// UTF-8 text as the companion's tasks and reports carry it: each byte from '!' to '~' as it is but
// '%' and '"', every other written %XX (two uppercase hex digits).
std::string PercentEscaped(std::string_view utf8);
// The UTF-8 text back; nothing for text that is not so escaped.
std::optional<std::string> PercentUnescaped(std::string_view text);

// Whether UTF-8 text can be a device instance ID: 1 to 200 characters, none of them a control
// character.
bool IsInstanceIdText(std::string_view utf8);
// Whether UTF-8 text can be a published INF's name: a name of the INF folder of 1 to 255
// characters, without a control character, a path separator or a drive colon.
bool IsInfNameText(std::string_view utf8);

// One task of the companion, its names in UTF-8.
struct CompanionTask {
  enum class Kind { Uninstall, Remove, Add };
  Kind kind = Kind::Remove;
  std::vector<std::string> items;  // the INF name, the instance IDs, or the INF path
};

// A task as its line carries it, without the line end; nothing for a malformed line.
std::string FormatTask(const CompanionTask& task);
std::optional<CompanionTask> ParseTask(std::string_view line);

// The tasks that remove these instance IDs (UTF-8), in their order, each line within
// kCompanionArgumentsLimit: one task unless the IDs are very many.
std::vector<CompanionTask> RemovalTasks(const std::vector<std::string>& instanceIds);

// The companion's command line (its arguments after the program's name): one task, or its tasks
// on its standard input.
struct CompanionCommand {
  bool tasks = false;  // "/tasks"
  CompanionTask task;  // otherwise
};
// Nothing when it is malformed: not exactly one switch of the companion's ("/" or "-", any letter
// case) first, or a task whose items are missing or malformed.
std::optional<CompanionCommand> ParseCompanionArguments(const std::vector<std::string>& arguments);
// The command-line arguments of one task.
std::string TaskArguments(const CompanionTask& task);

enum class InstanceOutcome { Removed, RestartNeeded, Absent, Failed };

// What became of one instance that the companion was asked to remove.
struct InstanceReport {
  InstanceOutcome outcome = InstanceOutcome::Failed;
  Status error = kErrorSuccess;  // the platform's error, when it failed
  std::string instanceId;        // UTF-8
};

// The report line of one instance, without its line end.
std::string FormatInstanceReport(const InstanceReport& report);
// The report of one line; nothing for a line that is not a report.
std::optional<InstanceReport> ParseInstanceReport(std::string_view line);

// What became of the uninstall of one driver package: kErrorSuccess, or the platform's error.
struct UninstallReport {
  Status error = kErrorSuccess;
  std::string infName;  // UTF-8
};

std::string FormatUninstallReport(const UninstallReport& report);
std::optional<UninstallReport> ParseUninstallReport(std::string_view line);

// What became of adding one saved package again.
struct AddReport {
  Status error = kErrorSuccess;
  std::string published;  // the INF name the platform published it under, in UTF-8
  std::string infPath;    // in UTF-8
};

std::string FormatAddReport(const AddReport& report);
std::optional<AddReport> ParseAddReport(std::string_view line);

// The line that ends the answer to a task, and its status.
std::string FormatTaskEnd(int status);
std::optional<int> ParseTaskEnd(std::string_view line);
// Whether the companion's output holds the whole answer to a task: a line that ends it.
bool AnswersTask(std::string_view output);

// The report of each of `instanceIds` in the companion's output, in their order: the first
// report line that names it, or nothing when no line does.
std::vector<std::optional<InstanceReport>> MatchInstanceReports(
    const std::vector<std::string>& instanceIds, std::string_view output);
// The report on `infName`, or on `infPath`, in the companion's output: the first line that names
// it.
std::optional<UninstallReport> MatchUninstallReport(const std::string& infName,
                                                    std::string_view output);
std::optional<AddReport> MatchAddReport(const std::string& infPath, std::string_view output);

// The arguments of a command line after the program's name, split as the platform's parser splits
// them: at blanks and tabs outside quotes, with backslashes doubled before a quote, and two quotes
// within quotes read as one quote that ends the quoting.
std::vector<std::string> SplitCommandArguments(std::string_view arguments);

// The part of a whole command line after the program's name: the name ends at its closing quote
// when it begins with one, otherwise at the first blank or tab.
std::string_view ArgumentsAfterProgramName(std::string_view commandLine);

}  // namespace vorsk
