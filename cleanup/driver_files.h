// Driver file removal: for each of three device IDs from the script, the first driver entry of
// a device setup class key whose MatchingDeviceId equals it loses its INF file and the
// precompiled INF file beside it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cleanup/actions.h"
#include "host/host.h"

namespace vorsk {

inline constexpr std::string_view kImageClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
inline constexpr std::string_view kUsbClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{36FC9E60-C465-11CF-8056-444553540000}";

// Subkey names, registry values, the Windows directory and file paths of this stage: at most
// 255 characters (or 256 bytes for values) each.
inline constexpr std::uint32_t kDriverTextSize = 256;

// A driver entry of a class key, and the InfPath that it names.
struct DriverEntry {
  std::string name;
  std::string infName;
};

// The first driver entry of the open class key whose MatchingDeviceId equals deviceId (letter
// case aside), when its InfPath can be read.
std::optional<DriverEntry> FindDriverEntry(Host& host, RegKey classKey,
                                           const std::string& deviceId);

// Finds the first driver entry of the open class key whose MatchingDeviceId equals deviceId and
// hands its two files to `act`; `label` names the lookup in what it tells.
void FindDriverFiles(Host& host, RegKey classKey, const std::string& deviceId,
                     const std::string& label, ItemActions& act);

// Hands <Windows directory>\Inf\<infName>, its precompiled twin and the package it publishes to
// `act` as one driver; when either path is longer than 255 characters, the two files one by one.
void FindInfAndPnf(Host& host, const std::string& infName, ItemActions& act);

// Whether the platform's answer to reaching a file says that nothing is there: no such file, or
// no such folder on its path. Any other failure (access denied, say) tells nothing.
constexpr bool NamesNoFile(Status status) {
  return status == kErrorFileNotFound || status == kErrorPathNotFound;
}

// A registry value read as text: up to its first zero or its end, whichever comes first.
std::string RegistryText(const std::string& data);

// Whether an InfPath names a file in the INF directory itself: not empty, without a path
// separator, drive colon or any other character no file name holds (control characters,
// < > " | ? *), not ending in a dot or a blank (which takes in "." and ".."), and not one of the
// platform's device names (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with or without an
// extension, in any letter case). A double-byte character of the code page (`isLead` tells its
// first byte) is one letter: its second byte may look like '\' or '|' (81 5C, 81 7C in code page
// 936; "表" is 95 5C in 932) without being either.
bool IsPlainFileName(std::string_view name, const std::function<bool(std::uint8_t)>& isLead);

// Whether a file name names one of the platform's devices instead of a file.
bool IsReservedDeviceName(std::string_view name);

// The precompiled twin of an INF file path: the extension of its file name replaced by "pnf",
// or ".pnf" appended when the file name has none.
std::string PrecompiledPath(const std::string& infPath);

}  // namespace vorsk
