#include "cleanup/driver_files.h"

#include "cleanup/device_ids.h"
#include "cleanup/driver_package.h"
#include "cleanup/stages.h"
#include "host/handles.h"
#include "report/run_report.h"
#include "script/script_reader.h"
#include "text/text.h"

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

}  // namespace

void RemoveDriverFiles(Host& host, RunReport& report, const std::string& scriptPath,
                       ItemActions& act) {
  for (const Lookup& lookup : kLookups) {
    const std::string deviceId =
        ReadScriptText(host, scriptPath, kRemoveInfSection, lookup.entry, kDeviceIdSize);
    report.LogEntry(kRemoveInfSection, lookup.entry, deviceId);
    const std::string label = std::string(lookup.entry) + " (" + deviceId + ")";
    if (deviceId.empty()) {
      // An absent or empty ID names no driver: it would match every entry whose
      // MatchingDeviceId is empty, another driver's.
      act.Tell(label + ": no device ID");
      continue;
    }
    unique_hkey classKey(host);
    const Status status =
        host.RegOpenKeyA(kLocalMachine, std::string(lookup.classKey), classKey.put());
    if (status != kErrorSuccess) {
      act.Tell(label + ": the class key cannot be opened (error " + ErrorText(status) + ")",
               label + ": no driver entry");
      continue;
    }
    FindDriverFiles(host, classKey.get(), deviceId, label, act);
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

void FindDriverFiles(Host& host, RegKey classKey, const std::string& deviceId,
                     const std::string& label, ItemActions& act) {
  const std::optional<DriverEntry> entry = FindDriverEntry(host, classKey, deviceId);
  if (!entry) {
    act.Tell(label + ": no driver entry");
    return;
  }
  act.Tell(label + ": driver entry " + entry->name + ", InfPath " + entry->infName);
  if (!IsPlainFileName(entry->infName,
                       [&host](std::uint8_t byte) { return host.IsDBCSLeadByte(byte); })) {
    // Not a file of the INF directory: the rules never delete it, so it is not left either.
    act.Tell(label + ": refused, the InfPath is not a plain file name",
             "  refused: the InfPath is not a plain file name");
    return;
  }
  FindInfAndPnf(host, entry->infName, act);
}

void FindInfAndPnf(Host& host, const std::string& infName, ItemActions& act) {
  std::string windowsDirectory;
  const std::uint32_t length = host.GetSystemWindowsDirectoryA(windowsDirectory, kDriverTextSize);
  if (length == 0 || length >= kDriverTextSize) {
    // Without the Windows directory, "\Inf\<name>" would name a folder at the root of the
    // current drive.
    act.FileWithoutFolder(infName);
    return;
  }
  const std::string infPath = windowsDirectory + "\\Inf\\" + infName;
  const std::string pnfPath = PrecompiledPath(infPath);
  if (infPath.size() < kDriverTextSize && pnfPath.size() < kDriverTextSize) {
    // Whether each file is there is read before anything is uninstalled, so that a file the
    // uninstall takes is told from one that was already gone.
    FoundDriver driver;
    driver.infName = infName;
    driver.infPath = infPath;
    driver.pnfPath = pnfPath;
    // An INF that cannot be looked at may well be there: it is not taken for absent.
    driver.infPresent = host.GetFileAttributesA(infPath) != kInvalidFileAttributes ||
                        !NamesNoFile(host.GetLastError());
    driver.pnfPresent = host.GetFileAttributesA(pnfPath) != kInvalidFileAttributes;
    driver.package = FindDriverPackage(host, windowsDirectory, infName, infPath, driver.infPresent);
    // How the package was found, or why it could not be, is told before anything is done with
    // it, whatever then keeps it.
    const std::string package =
        "package " + infName + ": " + host.WideToAnsi(Utf16FromUtf8(PackageText(driver.package)));
    act.Tell(package, "  " + package);
    act.Driver(driver);
    return;
  }
  for (const std::string& path : {infPath, pnfPath}) {
    // A path too long for the stage's buffer is never cut into another file's path.
    if (path.size() >= kDriverTextSize) {
      act.OverlongFile(path);
    } else {
      act.File(path);
    }
  }
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

bool IsPlainFileName(std::string_view name, const std::function<bool(std::uint8_t)>& isLead) {
  // The platform drops dots and blanks at the end of a path's last name, so such a name would
  // be another file's, or a folder's (".. " is the Windows directory itself). Control
  // characters and the platform's reserved characters are in no file's name, and a device's
  // name names a device, never a file.
  if (name.empty() || name.back() == '.' || name.back() == ' ') {
    return false;
  }
  for (std::size_t at = 0; at < name.size(); ++at) {
    const char c = name[at];
    if (isLead(static_cast<std::uint8_t>(c)) && at + 1 < name.size()) {
      ++at;  // the character's second byte
      continue;
    }
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
