#include "companion/protocol.h"

#include <algorithm>
#include <initializer_list>

#include "report/exit_status.h"
#include "text/text.h"

namespace vorsk {

namespace {

constexpr std::string_view kRemoved = "removed";
constexpr std::string_view kRestart = "restart";
constexpr std::string_view kAbsent = "absent";
constexpr std::string_view kFailed = "failed";
constexpr std::string_view kUninstalled = "uninstalled";
constexpr std::string_view kAdded = "added";
constexpr std::string_view kDone = "done";

struct TaskWord {
  CompanionTask::Kind kind;
  std::string_view word;
};
constexpr TaskWord kTaskWords[] = {
    {CompanionTask::Kind::Uninstall, "uninstall"},
    {CompanionTask::Kind::Remove, "remove"},
    {CompanionTask::Kind::Add, "add"},
};

std::string_view WordOf(CompanionTask::Kind kind) {
  for (const TaskWord& word : kTaskWords) {
    if (word.kind == kind) {
      return word.word;
    }
  }
  return std::string_view();
}

// The words of a line, between single blanks; nothing when two blanks meet or one begins or ends
// the line (an escaped item never holds a blank).
std::optional<std::vector<std::string_view>> WordsOf(std::string_view line) {
  std::vector<std::string_view> words;
  for (;;) {
    const std::size_t blank = line.find(' ');
    const std::string_view word = line.substr(0, blank);
    if (word.empty()) {
      return std::nullopt;
    }
    words.push_back(word);
    if (blank == std::string_view::npos) {
      return words;
    }
    line = line.substr(blank + 1);
  }
}

// The lines of the companion's output, their line ends (LF or CR LF) dropped.
std::vector<std::string_view> LinesOf(std::string_view output) {
  std::vector<std::string_view> lines;
  while (!output.empty()) {
    const std::size_t end = output.find('\n');
    std::string_view line = output.substr(0, end);
    output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    lines.push_back(line);
  }
  return lines;
}

std::optional<Status> ParseError(std::string_view hex) {
  if (hex.size() != 8) {
    return std::nullopt;
  }
  Status value = 0;
  for (const char c : hex) {
    Status digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<Status>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<Status>(c - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return value;
}

// A report line's outcome word, an error after "failed" (never success), and its escaped items:
// nothing when it is none of `words` or malformed.
struct ReportWords {
  std::string_view word;
  Status error = kErrorSuccess;
  std::vector<std::string> items;
};
std::optional<ReportWords> ParseReport(std::string_view line,
                                       std::initializer_list<std::string_view> words,
                                       std::size_t items) {
  const auto split = WordsOf(line);
  if (!split) {
    return std::nullopt;
  }
  ReportWords report;
  report.word = (*split)[0];
  std::size_t first = 1;
  if (report.word == kFailed) {
    const std::optional<Status> error =
        split->size() > 1 ? ParseError((*split)[1]) : std::optional<Status>();
    if (!error || *error == kErrorSuccess) {
      return std::nullopt;
    }
    report.error = *error;
    first = 2;
    items = 1;  // a failure names the item alone
  } else if (std::find(words.begin(), words.end(), report.word) == words.end()) {
    return std::nullopt;
  }
  if (split->size() != first + items) {
    return std::nullopt;
  }
  for (std::size_t i = first; i < split->size(); ++i) {
    std::optional<std::string> item = PercentUnescaped((*split)[i]);
    if (!item || item->empty()) {
      return std::nullopt;
    }
    report.items.push_back(std::move(*item));
  }
  return report;
}

// The number of characters of UTF-8 text, as the platform's wide calls count them, when none is
// a control character; nothing otherwise.
std::optional<std::size_t> CharactersWithoutControls(std::string_view utf8) {
  const std::u16string wide = Utf16FromUtf8(utf8);
  for (const char16_t c : wide) {
    if (c < u' ' || c == u'\x7F') {
      return std::nullopt;
    }
  }
  return wide.size();
}

bool IsSwitch(const std::string& argument, std::string_view name) {
  return !argument.empty() && (argument[0] == '/' || argument[0] == '-') &&
         EqualAsciiFolded(std::string_view(argument).substr(1), name);
}

// Whether a task names what its kind takes: one valid name or path, or 1 or more valid IDs.
bool IsWellFormed(const CompanionTask& task) {
  switch (task.kind) {
    case CompanionTask::Kind::Uninstall:
      return task.items.size() == 1 && IsInfNameText(task.items[0]);
    case CompanionTask::Kind::Add:
      return task.items.size() == 1 && CharactersWithoutControls(task.items[0]).value_or(0) > 0;
    case CompanionTask::Kind::Remove:
      return !task.items.empty() &&
             std::all_of(task.items.begin(), task.items.end(),
                         [](const std::string& id) { return IsInstanceIdText(id); });
  }
  return false;
}

// A task from its word and its escaped items; nothing when it is malformed.
template <typename Word>
std::optional<CompanionTask> TaskOf(std::optional<CompanionTask::Kind> kind,
                                    const std::vector<Word>& escaped) {
  if (!kind) {
    return std::nullopt;
  }
  CompanionTask task;
  task.kind = *kind;
  for (const Word& item : escaped) {
    std::optional<std::string> text = PercentUnescaped(item);
    if (!text) {
      return std::nullopt;
    }
    task.items.push_back(std::move(*text));
  }
  if (!IsWellFormed(task)) {
    return std::nullopt;
  }
  return task;
}

}  // namespace

std::string PercentEscaped(std::string_view utf8) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string escaped;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= '!' && byte <= '~' && byte != '%' && byte != '"') {
      escaped += c;
    } else {
      escaped += '%';
      escaped += kDigits[byte >> 4];
      escaped += kDigits[byte & 0xF];
    }
  }
  return escaped;
}

std::optional<std::string> PercentUnescaped(std::string_view text) {
  const auto digit = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  std::string utf8;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == '%') {
      if (at + 2 >= text.size() || digit(text[at + 1]) < 0 || digit(text[at + 2]) < 0) {
        return std::nullopt;
      }
      utf8 += static_cast<char>(digit(text[at + 1]) * 16 + digit(text[at + 2]));
      at += 2;
    } else if (byte >= '!' && byte <= '~' && byte != '"') {
      utf8 += text[at];
    } else {
      return std::nullopt;
    }
  }
  return utf8;
}

bool IsInstanceIdText(std::string_view utf8) {
  const std::optional<std::size_t> characters = CharactersWithoutControls(utf8);
  return characters && *characters > 0 && *characters <= kMaxDeviceIdLength;
}

bool IsInfNameText(std::string_view utf8) {
  const std::optional<std::size_t> characters = CharactersWithoutControls(utf8);
  return characters && *characters > 0 && *characters <= 255 &&
         utf8.find_first_of("\\/:") == std::string_view::npos;
}

std::string FormatTask(const CompanionTask& task) {
  std::string line(WordOf(task.kind));
  for (const std::string& item : task.items) {
    line += ' ' + PercentEscaped(item);
  }
  return line;
}

std::optional<CompanionTask> ParseTask(std::string_view line) {
  const auto words = WordsOf(line);
  if (!words) {
    return std::nullopt;
  }
  std::optional<CompanionTask::Kind> kind;
  for (const TaskWord& word : kTaskWords) {
    if ((*words)[0] == word.word) {
      kind = word.kind;
    }
  }
  return TaskOf(kind, std::vector<std::string_view>(words->begin() + 1, words->end()));
}

std::vector<CompanionTask> RemovalTasks(const std::vector<std::string>& instanceIds) {
  std::vector<CompanionTask> tasks;
  std::size_t length = 0;
  for (const std::string& instanceId : instanceIds) {
    const std::size_t added = 1 + PercentEscaped(instanceId).size();
    if (tasks.empty() || length + added > kCompanionArgumentsLimit) {
      tasks.push_back(CompanionTask{CompanionTask::Kind::Remove, {}});
      length = WordOf(CompanionTask::Kind::Remove).size();
    }
    tasks.back().items.push_back(instanceId);
    length += added;
  }
  return tasks;
}

std::optional<CompanionCommand> ParseCompanionArguments(const std::vector<std::string>& arguments) {
  if (arguments.empty()) {
    return std::nullopt;
  }
  CompanionCommand command;
  if (IsSwitch(arguments[0], kTasksSwitch)) {
    command.tasks = true;
    return arguments.size() == 1 ? std::optional<CompanionCommand>(command) : std::nullopt;
  }
  std::optional<CompanionTask::Kind> kind;
  for (const TaskWord& word : kTaskWords) {
    if (IsSwitch(arguments[0], word.word)) {
      kind = word.kind;
    }
  }
  const std::optional<CompanionTask> task =
      TaskOf(kind, std::vector<std::string>(arguments.begin() + 1, arguments.end()));
  if (!task) {
    return std::nullopt;
  }
  command.task = *task;
  return command;
}

std::string TaskArguments(const CompanionTask& task) {
  return "/" + FormatTask(task);
}

std::string FormatInstanceReport(const InstanceReport& report) {
  const std::string id = PercentEscaped(report.instanceId);
  switch (report.outcome) {
    case InstanceOutcome::Removed:
      return std::string(kRemoved) + " " + id;
    case InstanceOutcome::RestartNeeded:
      return std::string(kRestart) + " " + id;
    case InstanceOutcome::Absent:
      return std::string(kAbsent) + " " + id;
    case InstanceOutcome::Failed:
      break;
  }
  return std::string(kFailed) + " " + ErrorText(report.error) + " " + id;
}

std::optional<InstanceReport> ParseInstanceReport(std::string_view line) {
  const std::optional<ReportWords> words = ParseReport(line, {kRemoved, kRestart, kAbsent}, 1);
  if (!words || !IsInstanceIdText(words->items[0])) {
    return std::nullopt;
  }
  InstanceReport report;
  report.outcome = words->word == kRemoved   ? InstanceOutcome::Removed
                   : words->word == kRestart ? InstanceOutcome::RestartNeeded
                   : words->word == kAbsent  ? InstanceOutcome::Absent
                                             : InstanceOutcome::Failed;
  report.error = words->error;
  report.instanceId = words->items[0];
  return report;
}

std::string FormatUninstallReport(const UninstallReport& report) {
  if (report.error == kErrorSuccess) {
    return std::string(kUninstalled) + " " + PercentEscaped(report.infName);
  }
  return std::string(kFailed) + " " + ErrorText(report.error) + " " +
         PercentEscaped(report.infName);
}

std::optional<UninstallReport> ParseUninstallReport(std::string_view line) {
  const std::optional<ReportWords> words = ParseReport(line, {kUninstalled}, 1);
  if (!words || !IsInfNameText(words->items[0])) {
    return std::nullopt;
  }
  return UninstallReport{words->error, words->items[0]};
}

std::string FormatAddReport(const AddReport& report) {
  if (report.error == kErrorSuccess) {
    return std::string(kAdded) + " " + PercentEscaped(report.published) + " " +
           PercentEscaped(report.infPath);
  }
  return std::string(kFailed) + " " + ErrorText(report.error) + " " +
         PercentEscaped(report.infPath);
}

std::optional<AddReport> ParseAddReport(std::string_view line) {
  const std::optional<ReportWords> words = ParseReport(line, {kAdded}, 2);
  if (!words) {
    return std::nullopt;
  }
  AddReport report;
  report.error = words->error;
  report.infPath = words->items.back();
  if (words->items.size() == 2) {
    report.published = words->items[0];
  }
  return report;
}

std::string FormatTaskEnd(int status) {
  return std::string(kDone) + " " + std::to_string(status);
}

std::optional<int> ParseTaskEnd(std::string_view line) {
  for (const int status : {kExitCompleted, kExitLeft, kExitRestartNeeded}) {
    if (line == FormatTaskEnd(status)) {
      return status;
    }
  }
  return std::nullopt;
}

bool AnswersTask(std::string_view output) {
  // Only a whole line counts: its end is written with it.
  const std::size_t end = output.rfind('\n');
  if (end == std::string_view::npos) {
    return false;
  }
  for (const std::string_view line : LinesOf(output.substr(0, end + 1))) {
    if (ParseTaskEnd(line)) {
      return true;
    }
  }
  return false;
}

std::vector<std::optional<InstanceReport>> MatchInstanceReports(
    const std::vector<std::string>& instanceIds, std::string_view output) {
  std::vector<std::optional<InstanceReport>> reports(instanceIds.size());
  for (const std::string_view line : LinesOf(output)) {
    const std::optional<InstanceReport> parsed = ParseInstanceReport(line);
    for (std::size_t i = 0; parsed && i < instanceIds.size(); ++i) {
      if (instanceIds[i] == parsed->instanceId && !reports[i]) {
        reports[i] = parsed;
        break;
      }
    }
  }
  return reports;
}

std::optional<UninstallReport> MatchUninstallReport(const std::string& infName,
                                                    std::string_view output) {
  for (const std::string_view line : LinesOf(output)) {
    const std::optional<UninstallReport> report = ParseUninstallReport(line);
    if (report && report->infName == infName) {
      return report;
    }
  }
  return std::nullopt;
}

std::optional<AddReport> MatchAddReport(const std::string& infPath, std::string_view output) {
  for (const std::string_view line : LinesOf(output)) {
    const std::optional<AddReport> report = ParseAddReport(line);
    if (report && report->infPath == infPath) {
      return report;
    }
  }
  return std::nullopt;
}

std::vector<std::string> SplitCommandArguments(std::string_view arguments) {
  std::vector<std::string> split;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  std::size_t backslashes = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const char c = arguments[i];
    if (c == '\\') {
      ++backslashes;
      inArgument = true;
      continue;
    }
    if (c == '"') {
      current.append(backslashes / 2, '\\');
      if (backslashes % 2 == 1) {
        current += '"';
      } else if (quoted && i + 1 < arguments.size() && arguments[i + 1] == '"') {
        // Two quotes within quotes are one quote, and end the quoting.
        current += '"';
        quoted = false;
        ++i;
      } else {
        quoted = !quoted;
      }
      backslashes = 0;
      inArgument = true;
      continue;
    }
    current.append(backslashes, '\\');
    backslashes = 0;
    if ((c == ' ' || c == '\t') && !quoted) {
      if (inArgument) {
        split.push_back(current);
        current.clear();
        inArgument = false;
      }
      continue;
    }
    current += c;
    inArgument = true;
  }
  current.append(backslashes, '\\');
  if (inArgument) {
    split.push_back(current);
  }
  return split;
}

std::string_view ArgumentsAfterProgramName(std::string_view commandLine) {
  std::size_t end = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    end = commandLine.find('"', 1);
    end = end == std::string_view::npos ? commandLine.size() : end + 1;
  } else {
    end = commandLine.find_first_of(" \t");
    end = end == std::string_view::npos ? commandLine.size() : end;
  }
  return commandLine.substr(end);
}

}  // namespace vorsk
