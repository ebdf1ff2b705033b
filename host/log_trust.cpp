#include "host/log_trust.h"

#include <string_view>

namespace vorsk {

namespace {

constexpr std::u16string_view kLocalPrefix = u"\\\\?\\";
constexpr std::u16string_view kSharePrefix = u"\\\\?\\UNC\\";

bool StartsWith(std::u16string_view text, std::u16string_view start) {
  return text.substr(0, start.size()) == start;
}

// A path without the prefix that names it literally: "\\?\C:\x" is "C:\x", "\\?\UNC\s\x" is
// "\\s\x".
std::u16string Plain(std::u16string_view path) {
  if (StartsWith(path, kSharePrefix)) {
    return u"\\\\" + std::u16string(path.substr(kSharePrefix.size()));
  }
  if (StartsWith(path, kLocalPrefix)) {
    return std::u16string(path.substr(kLocalPrefix.size()));
  }
  return std::u16string(path);
}

// `path` with its folder `from` below the Windows folder read as `to`, when it is in it.
std::u16string Redirected(const std::u16string& path, const std::u16string& windowsDirectory,
                          std::u16string_view from, std::u16string_view to) {
  const std::u16string folder = windowsDirectory + u"\\" + std::u16string(from);
  if (!StartsWith(path, folder) || (path.size() > folder.size() && path[folder.size()] != u'\\')) {
    return path;
  }
  return windowsDirectory + u"\\" + std::u16string(to) + path.substr(folder.size());
}

bool IsOnShare(const std::u16string& final) {
  return StartsWith(final, kSharePrefix) || StartsWith(Plain(final), u"\\\\");
}

}  // namespace

bool IsPathAskedFor(const std::u16string& asked, const std::u16string& final, bool wow64,
                    const std::u16string& windowsDirectory) {
  const std::u16string plainAsked = Plain(asked);
  const std::u16string plainFinal = Plain(final);
  if (plainAsked == plainFinal) {
    return true;
  }
  // Some folders of System32 (drivers\etc, the spooler's...) are not redirected: those are the
  // same by name, above.
  return wow64 && !windowsDirectory.empty() &&
         (Redirected(plainAsked, windowsDirectory, u"SYSTEM32", u"SYSWOW64") == plainFinal ||
          Redirected(plainAsked, windowsDirectory, u"SYSNATIVE", u"SYSTEM32") == plainFinal);
}

std::optional<std::string> LogRefusal(const LogFileFacts& facts) {
  if (facts.reparsePoint) {
    return "it is a reparse point (a link)";
  }
  if (facts.links != 1) {
    return "it has " + std::to_string(facts.links) + " names (hard links)";
  }
  if (!IsPathAskedFor(facts.asked, facts.final, facts.wow64, facts.windowsDirectory)) {
    return "it is another file (a link on its path)";
  }
  switch (facts.owner) {
    case FileOwner::System:
    case FileOwner::Administrators:
    case FileOwner::RunningUser:
      return std::nullopt;
    case FileOwner::MachineAccount:
      if (IsOnShare(facts.final)) {
        return std::nullopt;
      }
      return "it belongs to another account";
    case FileOwner::Other:
      return "it belongs to another account";
    case FileOwner::Unknown:
      return "its owner cannot be read";
  }
  return "its owner cannot be read";
}

}  // namespace vorsk
