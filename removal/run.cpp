#include "removal/run.h"

#include "cleanup/stages.h"
#include "host/handles.h"
#include "report/exit_status.h"
#include "report/run_report.h"
#include "script/script_reader.h"

namespace vorsk {

namespace {

constexpr std::string_view kScriptFilePrefix = "Remove";
constexpr std::string_view kTagText = "417";

// Whether the script can be opened for shared reading. The handle serves only this check and is
// closed at once: the script is read by path, through the profile reader.
bool CanOpenScript(Host& host, const std::string& scriptPath) {
  unique_hfile script(host, host.CreateFileA(scriptPath, kGenericRead, kFileShareRead,
                                             kOpenExisting, kFileAttributeNormal));
  return script.is_valid();
}

}  // namespace

std::optional<std::string> BuildScriptPath(const std::string& windowsDirectory) {
  std::string path = windowsDirectory;
  path += "\\Setup417\\";
  path += kScriptFilePrefix;
  path += kTagText;
  path += ".ini";
  if (path.size() >= kScriptTextSize) {
    return std::nullopt;
  }
  return path;
}

int PerformRemoval(Host& host, WindowHandle frame) {
  RunReport report(host, frame);
  // Without the Windows directory there is no script to read: an empty directory part would
  // take the script from \Setup417 at the root of the current drive, a folder that any user may
  // create. A directory too long for its buffer cannot lead to a script path that fits either.
  std::string windowsDirectory;
  const std::uint32_t length = host.GetWindowsDirectoryA(windowsDirectory, kWindowsDirectorySize);

  const std::optional<std::string> scriptPath = BuildScriptPath(windowsDirectory);
  if (length == 0 || length >= kWindowsDirectorySize || !scriptPath ||
      !CanOpenScript(host, *scriptPath)) {
    report.Tell(frame, std::string(kMissingScriptMessage), std::string(kEmptyText),
                kMbIconInformation);
    return kExitScriptMissing;
  }

  RemoveDriverFiles(host, report, *scriptPath);
  const std::string devNo =
      ReadScriptText(host, *scriptPath, kCurrentDevSection, kDevNoEntry, kScriptTextSize);
  RemoveDevices(host, report, *scriptPath, devNo);
  RemoveKeyTrees(host, report, *scriptPath, devNo);
  return report.Status();
}

}  // namespace vorsk
