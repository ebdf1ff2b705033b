#include "cleanup/driver_files.h"

#include "cleanup/device_ids.h"
#include "text/text.h"
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
// long for the stage's buffer is never cut into another file's path: it is left alone (the rules
// never delete it) and reported whole. A file that is not there is done; one that is there after
// a failed deletion is left. A run that lists says only whether the file is there.
void DeleteReportingFailure(Host& host, RunReport& report, const std::string& path,
                            Backup* backup) {
  if (path.size() >= kDriverTextSize) {
    report.Log("file " + path + ": refused, longer than 255 characters");
    if (report.Listing()) {
      report.List("  file " + path + ": refused, longer than 255 characters");
      return;
    }
    ReportUndeletable(report, path);
    return;
  }
  if (report.Listing()) {
    const bool present = host.GetFileAttributesA(path) != kInvalidFileAttributes;
    report.List("  file " + path + (present ? ": present" : ": absent"));
    if (present) {
      report.NoteLeft();
    }
    return;
  }
  if (backup != nullptr && !backup->SaveFile(path)) {
    return;  // kept, and said so: nothing goes without its copy
  }
  host.SetFileAttributesA(path, kFileAttributeArchive);
  if (host.DeleteFileA(path)) {
    report.Log("file " + path + ": deleted");
    return;
  }
  const Status error = host.GetLastError();
  if (host.GetFileAttributesA(path) == kInvalidFileAttributes) {
    report.Log("file " + path + ": absent (error " + ErrorText(error) + ")");
  } else {
    report.Log("file " + path + ": left (error " + ErrorText(error) + ")");
    report.NoteLeft();
  }
  ReportUndeletable(report, path);
}

}  // namespace

void RemoveDriverFiles(Host& host, RunReport& report, const std::string& scriptPath,
                       Backup* backup) {
  for (const Lookup& lookup : kLookups) {
    const std::string deviceId =
        ReadScriptText(host, scriptPath, kRemoveInfSection, lookup.entry, kDeviceIdSize);
    report.LogEntry(kRemoveInfSection, lookup.entry, deviceId);
    const std::string label = std::string(lookup.entry) + " (" + deviceId + ")";
    if (deviceId.empty()) {
      // An absent or empty ID names no driver: it would match every entry whose
      // MatchingDeviceId is empty, another driver's.
      report.Log(label + ": no device ID");
      if (report.Listing()) {
        report.List(label + ": no device ID");
      }
      continue;
    }
    unique_hkey classKey(host);
    const Status status =
        host.RegOpenKeyA(kLocalMachine, std::string(lookup.classKey), classKey.put());
    if (status != kErrorSuccess) {
      report.Log(label + ": the class key cannot be opened (error " + ErrorText(status) + ")");
      if (report.Listing()) {
        report.List(label + ": no driver entry");
      }
      continue;
    }
    RemoveDriverFilesForId(host, report, classKey.get(), deviceId, label, backup);
  }
}

std::optional<DriverEntry> FindDriverEntry(Host& host, RegKey classKey,
                                           const std::string& deviceId) {
  // The scan is bounded by the subkey count the key reports now, so an enumeration that keeps
  // failing (a key deleted under the scan, say) still ends.
  std::uint32_t subKeyCount = 0;
  if (host.RegQueryInfoKeyA(classKey, subKeyCount) != kErrorSuccess) {
    return std::nullopt;
  }
  for (std::uint32_t index = 0; index < subKeyCount; ++index) {
    std::string name;
    const Status status = host.RegEnumKeyExA(classKey, index, name, kDriverTextSize);
    if (status == kErrorNoMoreItems) {
      return std::nullopt;
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
      return std::nullopt;
    }
    return DriverEntry{name, RegistryText(infPath)};
  }
  return std::nullopt;
}

void RemoveDriverFilesForId(Host& host, RunReport& report, RegKey classKey,
                            const std::string& deviceId, const std::string& label, Backup* backup) {
  const std::optional<DriverEntry> entry = FindDriverEntry(host, classKey, deviceId);
  if (!entry) {
    report.Log(label + ": no driver entry");
    if (report.Listing()) {
      report.List(label + ": no driver entry");
    }
    return;
  }
  const std::string found = label + ": driver entry " + entry->name + ", InfPath " + entry->infName;
  report.Log(found);
  if (report.Listing()) {
    report.List(found);
  }
  if (!IsPlainFileName(entry->infName)) {
    // Not a file of the INF directory: the rules never delete it, so it is not left either.
    report.Log(label + ": refused, the InfPath is not a plain file name");
    if (report.Listing()) {
      report.List("  refused: the InfPath is not a plain file name");
    }
    return;
  }
  DeleteInfAndPnf(host, report, entry->infName, backup);
}

void DeleteInfAndPnf(Host& host, RunReport& report, const std::string& infName, Backup* backup) {
  std::string windowsDirectory;
  const std::uint32_t length = host.GetWindowsDirectoryA(windowsDirectory, kDriverTextSize);
  if (length == 0 || length >= kDriverTextSize) {
    // Without the Windows directory, "\Inf\<name>" would name a folder at the root of the
    // current drive: nothing is deleted, and the INF file is reported. Whether it is there cannot
    // be told, so it counts as left.
    report.Log("file " + infName + ": left, the Windows directory cannot be had");
    report.NoteLeft();
    if (report.Listing()) {
      report.List("  file " + infName + ": cannot tell, the Windows directory cannot be had");
      return;
    }
    ReportUndeletable(report, infName);
    return;
  }
  const std::string infPath = windowsDirectory + "\\Inf\\" + infName;
  DeleteReportingFailure(host, report, infPath, backup);
  DeleteReportingFailure(host, report, PrecompiledPath(infPath), backup);
}

std::string RegistryText(const std::string& data) {
  return data.substr(0, data.find('\0'));
}

bool IsReservedDeviceName(std::string_view name) {
  // The platform reads the name before its first dot, blanks at its end dropped.
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') {
    base.remove_suffix(1);
  }
  std::string folded;
  for (const char c : base) {
    folded += FoldAscii(c);
  }
  if (folded == "con" || folded == "prn" || folded == "aux" || folded == "nul") {
    return true;
  }
  return folded.size() == 4 &&
         (folded.compare(0, 3, "com") == 0 || folded.compare(0, 3, "lpt") == 0) &&
         folded[3] >= '1' && folded[3] <= '9';
}

bool IsPlainFileName(std::string_view name) {
  // The platform drops dots and blanks at the end of a path's last name, so such a name would
  // be another file's, or a folder's (".. " is the Windows directory itself). Control
  // characters and the platform's reserved characters are in no file's name, and a device's
  // name names a device, never a file.
  if (name.empty() || name.back() == '.' || name.back() == ' ') {
    return false;
  }
  for (const char c : name) {
    if ((c >= '\x01' && c < ' ') ||
        std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
      return false;
    }
  }
  return !IsReservedDeviceName(name);
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
