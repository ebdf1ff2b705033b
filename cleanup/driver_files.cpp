#include "cleanup/driver_files.h"

#include "cleanup/device_ids.h"
#include "cleanup/stages.h"
#include "host/handles.h"
#include "script/script_reader.h"

namespace vorsk {

namespace {

struct Lookup {
  std::string_view entry;
  std::string_view classKey;
};

// In this order: two still-image IDs, then the USB one.
constexpr Lookup kLookups[] = {
    {"Image0", kImageClassKey},
    {"Image1", kImageClassKey},
    {"USB0", kUsbClassKey},
};

void ReportUndeletable(RunReport& report, const std::string& path) {
  report.Tell(kNoOwner, "File: " + path + " is read only,can't be deleted!", std::nullopt, kMbOk);
}

// Deletes one file, clearing its read-only attribute first; a file that cannot be deleted, for
// whatever reason, is reported in a message box with the platform's default caption. A path too
// long for the stage's buffer is never cut into another file's path: it is left alone and
// reported whole.
void DeleteReportingFailure(Host& host, RunReport& report, const std::string& path) {
  if (path.size() >= kDriverTextSize) {
    ReportUndeletable(report, path);
    return;
  }
  host.SetFileAttributesA(path, kFileAttributeArchive);
  if (!host.DeleteFileA(path)) {
    ReportUndeletable(report, path);
  }
}

}  // namespace

void RemoveDriverFiles(Host& host, RunReport& report, const std::string& scriptPath) {
  for (const Lookup& lookup : kLookups) {
    const std::string deviceId =
        ReadScriptText(host, scriptPath, kRemoveInfSection, lookup.entry, kDeviceIdSize);
    unique_hkey classKey(host);
    if (host.RegOpenKeyA(kLocalMachine, std::string(lookup.classKey), classKey.put()) !=
        kErrorSuccess) {
      continue;
    }
    RemoveDriverFilesForId(host, report, classKey.get(), deviceId);
  }
}

void RemoveDriverFilesForId(Host& host, RunReport& report, RegKey classKey,
                            const std::string& deviceId) {
  // The scan is bounded by the subkey count the key reports now, so an enumeration that keeps
  // failing (a key deleted under the scan, say) still ends.
  std::uint32_t subKeyCount = 0;
  if (host.RegQueryInfoKeyA(classKey, subKeyCount) != kErrorSuccess) {
    return;
  }
  for (std::uint32_t index = 0; index < subKeyCount; ++index) {
    std::string name;
    const Status status = host.RegEnumKeyExA(classKey, index, name, kDriverTextSize);
    if (status == kErrorNoMoreItems) {
      return;
    }
    if (status != kErrorSuccess) {
      continue;
    }
    unique_hkey entry(host);
    if (host.RegOpenKeyExA(classKey, name, kKeyRead, entry.put()) != kErrorSuccess) {
      continue;
    }
    // An entry whose MatchingDeviceId cannot be read is not the one looked for; the scan goes
    // on, so that a matching entry after it still loses its files.
    std::string matchingDeviceId;
    if (host.RegQueryValueExA(entry.get(), "MatchingDeviceId", matchingDeviceId, kDriverTextSize) !=
            kErrorSuccess ||
        !SameDeviceId(RegistryText(matchingDeviceId), deviceId)) {
      continue;
    }
    // The first matching entry is the only one acted on.
    std::string infPath;
    if (host.RegQueryValueExA(entry.get(), "InfPath", infPath, kDriverTextSize) != kErrorSuccess) {
      return;
    }
    const std::string infName = RegistryText(infPath);
    if (IsPlainFileName(infName)) {
      DeleteInfAndPnf(host, report, infName);
    }
    return;
  }
}

void DeleteInfAndPnf(Host& host, RunReport& report, const std::string& infName) {
  std::string windowsDirectory;
  const std::uint32_t length = host.GetWindowsDirectoryA(windowsDirectory, kDriverTextSize);
  if (length == 0 || length >= kDriverTextSize) {
    // Without the Windows directory, "\Inf\<name>" would name a folder at the root of the
    // current drive: nothing is deleted, and the INF file is reported.
    ReportUndeletable(report, infName);
    return;
  }
  const std::string infPath = windowsDirectory + "\\Inf\\" + infName;
  DeleteReportingFailure(host, report, infPath);
  DeleteReportingFailure(host, report, PrecompiledPath(infPath));
}

std::string RegistryText(const std::string& data) {
  return data.substr(0, data.find('\0'));
}

bool IsPlainFileName(std::string_view name) {
  // The platform drops dots and blanks at the end of a path's last name, so such a name would
  // be another file's, or a folder's (".. " is the Windows directory itself).
  return !name.empty() && name.back() != '.' && name.back() != ' ' &&
         name.find_first_of("\\/:") == std::string_view::npos;
}

std::string PrecompiledPath(const std::string& infPath) {
  const std::size_t separator = infPath.rfind('\\');
  const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  const std::size_t dot = infPath.rfind('.');
  if (dot == std::string::npos || dot < nameStart) {
    return infPath + ".pnf";
  }
  return infPath.substr(0, dot + 1) + "pnf";
}

}  // namespace vorsk
