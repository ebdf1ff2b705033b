#include "companion/protocol.h"

#include "text/text.h"

namespace vorsk {

namespace {

constexpr std::string_view kRemoved = "removed";
constexpr std::string_view kRestart = "restart";
constexpr std::string_view kAbsent = "absent";
constexpr std::string_view kFailed = "failed";
constexpr std::string_view kUninstalled = "uninstalled";
constexpr std::string_view kAdded = "added";

bool IsSwitch(const std::string& argument, std::string_view name) {
  return !argument.empty() && (argument[0] == '/' || argument[0] == '-') &&
         EqualAsciiFolded(std::string_view(argument).substr(1), name);
}

// One argument as the platform's command-line parser reads it back: in quotes, with every quote
// escaped and the backslashes before a quote (or before the closing quote) doubled.
std::string QuoteArgument(std::string_view argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(2 * backslashes + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
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

}  // namespace

std::string FormatInstanceReport(const InstanceReport& report) {
  switch (report.outcome) {
    case InstanceOutcome::Removed:
      return std::string(kRemoved) + " " + report.instanceId;
    case InstanceOutcome::RestartNeeded:
      return std::string(kRestart) + " " + report.instanceId;
    case InstanceOutcome::Absent:
      return std::string(kAbsent) + " " + report.instanceId;
    case InstanceOutcome::Failed:
      break;
  }
  return std::string(kFailed) + " " + ErrorText(report.error) + " " + report.instanceId;
}

std::optional<InstanceReport> ParseInstanceReport(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view word = line.substr(0, space);
  std::string_view rest = line.substr(space + 1);
  InstanceReport report;
  if (word == kRemoved) {
    report.outcome = InstanceOutcome::Removed;
  } else if (word == kRestart) {
    report.outcome = InstanceOutcome::RestartNeeded;
  } else if (word == kAbsent) {
    report.outcome = InstanceOutcome::Absent;
  } else if (word == kFailed) {
    const std::size_t next = rest.find(' ');
    const std::optional<Status> error =
        next == std::string_view::npos ? std::nullopt : ParseError(rest.substr(0, next));
    if (!error) {
      return std::nullopt;
    }
    report.error = *error;
    rest = rest.substr(next + 1);
  } else {
    return std::nullopt;
  }
  if (!IsInstanceIdText(rest)) {
    return std::nullopt;
  }
  report.instanceId = std::string(rest);
  return report;
}

std::string FormatUninstallReport(const UninstallReport& report) {
  if (report.error == kErrorSuccess) {
    return std::string(kUninstalled) + " " + report.infName;
  }
  return std::string(kFailed) + " " + ErrorText(report.error) + " " + report.infName;
}

std::optional<UninstallReport> ParseUninstallReport(std::string_view line) {
  UninstallReport report;
  std::string_view name;
  if (line.substr(0, kUninstalled.size() + 1) == std::string(kUninstalled) + " ") {
    name = line.substr(kUninstalled.size() + 1);
  } else if (line.substr(0, kFailed.size() + 1) == std::string(kFailed) + " ") {
    const std::string_view rest = line.substr(kFailed.size() + 1);
    const std::optional<Status> error = ParseError(rest.substr(0, 8));
    if (!error || *error == kErrorSuccess || rest.size() < 10 || rest[8] != ' ') {
      return std::nullopt;
    }
    report.error = *error;
    name = rest.substr(9);
  } else {
    return std::nullopt;
  }
  if (!IsInfNameText(name)) {
    return std::nullopt;
  }
  report.infName = std::string(name);
  return report;
}

bool IsInfNameText(std::string_view text) {
  if (text.empty() || text.size() > 255) {
    return false;
  }
  for (const char c : text) {
    if (c < ' ' || c > '~' || c == '"') {
      return false;
    }
  }
  return true;
}

std::string UninstallArguments(const std::string& infName) {
  return "/" + std::string(kUninstallSwitch) + " " + QuoteArgument(infName);
}

std::optional<std::string> ParseUninstallArguments(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2 || !IsSwitch(arguments[0], kUninstallSwitch) ||
      !IsInfNameText(arguments[1])) {
    return std::nullopt;
  }
  return arguments[1];
}

std::optional<UninstallReport> MatchUninstallReport(const std::string& infName,
                                                    std::string_view output) {
  while (!output.empty()) {
    const std::size_t end = output.find('\n');
    std::string_view line = output.substr(0, end);
    output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    const std::optional<UninstallReport> report = ParseUninstallReport(line);
    if (report && report->infName == infName) {
      return report;
    }
  }
  return std::nullopt;
}

bool IsInstanceIdText(std::string_view text) {
  if (text.empty() || text.size() > kMaxDeviceIdLength) {
    return false;
  }
  for (const char c : text) {
    if (c <= ' ' || c > '~' || c == ',') {
      return false;
    }
  }
  return true;
}

std::optional<std::vector<std::string>> ParseCompanionArguments(
    const std::vector<std::string>& arguments) {
  if (arguments.size() < 2 || !IsSwitch(arguments[0], kCompanionSwitch)) {
    return std::nullopt;
  }
  std::vector<std::string> instanceIds(arguments.begin() + 1, arguments.end());
  for (const std::string& instanceId : instanceIds) {
    if (!IsInstanceIdText(instanceId)) {
      return std::nullopt;
    }
  }
  return instanceIds;
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

std::vector<CompanionBatch> CompanionBatches(const std::vector<std::string>& instanceIds) {
  const std::string command = "/" + std::string(kCompanionSwitch);
  std::vector<CompanionBatch> batches;
  for (const std::string& instanceId : instanceIds) {
    const std::string argument = " " + QuoteArgument(instanceId);
    if (batches.empty() ||
        batches.back().arguments.size() + argument.size() > kCompanionArgumentsLimit) {
      batches.push_back(CompanionBatch{command, {}});
    }
    batches.back().arguments += argument;
    batches.back().instanceIds.push_back(instanceId);
  }
  return batches;
}

std::vector<std::optional<InstanceReport>> MatchInstanceReports(
    const std::vector<std::string>& instanceIds, std::string_view output) {
  std::vector<std::optional<InstanceReport>> reports(instanceIds.size());
  std::size_t begin = 0;
  while (begin < output.size()) {
    std::size_t end = output.find('\n', begin);
    end = end == std::string_view::npos ? output.size() : end;
    std::string_view line = output.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    begin = end + 1;
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

std::string FormatAddReport(const AddReport& report) {
  if (report.error == kErrorSuccess) {
    return std::string(kAdded) + " " + PercentEscaped(report.published) + " " +
           PercentEscaped(report.infPath);
  }
  return std::string(kFailed) + " " + ErrorText(report.error) + " " +
         PercentEscaped(report.infPath);
}

std::optional<AddReport> ParseAddReport(std::string_view line) {
  const std::vector<std::string> words = SplitCommandArguments(line);
  if (words.size() != 3) {
    return std::nullopt;
  }
  AddReport report;
  const std::optional<std::string> path = PercentUnescaped(words[2]);
  if (!path) {
    return std::nullopt;
  }
  report.infPath = *path;
  if (words[0] == kAdded) {
    const std::optional<std::string> published = PercentUnescaped(words[1]);
    if (!published || published->empty()) {
      return std::nullopt;
    }
    report.published = *published;
    return report;
  }
  const std::optional<Status> error = words[0] == kFailed ? ParseError(words[1]) : std::nullopt;
  if (!error || *error == kErrorSuccess) {
    return std::nullopt;
  }
  report.error = *error;
  return report;
}

std::string AddArguments(const std::string& infPath) {
  return "/" + std::string(kAddSwitch) + " " + PercentEscaped(infPath);
}

std::optional<std::string> ParseAddArguments(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2 || !IsSwitch(arguments[0], kAddSwitch)) {
    return std::nullopt;
  }
  const std::optional<std::string> path = PercentUnescaped(arguments[1]);
  if (!path || path->empty()) {
    return std::nullopt;
  }
  return path;
}

std::optional<AddReport> MatchAddReport(const std::string& infPath, std::string_view output) {
  for (std::size_t at = 0; at < output.size();) {
    std::size_t end = output.find('\n', at);
    if (end == std::string_view::npos) {
      end = output.size();
    }
    std::string_view line = output.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    at = end + 1;
    const std::optional<AddReport> report = ParseAddReport(line);
    if (report && report->infPath == infPath) {
      return report;
    }
  }
  return std::nullopt;
}

}  // namespace vorsk
