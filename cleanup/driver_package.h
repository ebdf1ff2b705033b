// The driver package behind a published INF. Since Windows Vista a third-party driver lives in the
// driver store (<system folder>\DriverStore\FileRepository\<package>) and the INF folder holds only
// its published copy, oemNN.inf with its PNF: deleting those two leaves the package, and the
// platform still offers it to the device. The package is found here; the actions ask the
// platform to uninstall it before they touch the files.
#pragma once

#include <cstddef>
#include <string>

#include "cleanup/actions.h"
#include "host/host.h"

namespace vorsk {

// The most packages a store is read for, and the largest INF compared byte for byte.
inline constexpr std::size_t kStoreFolderLimit = 32768;
inline constexpr std::size_t kInfSizeLimit = 16 * 1024 * 1024;

// The driver store's folder of packages below the Windows directory, as this process reaches it:
// through Sysnative for a 32-bit process on 64-bit Windows, whose System32 is the 32-bit one.
std::u16string DriverStoreFolder(Host& host, const std::u16string& windowsDirectory);

// What the platform holds for the published INF `infName` at `infPath` (in the code page), read
// before anything is uninstalled: the store folder that the platform names for it, or else the one
// folder of the store named for the INF it holds whose INF is the published one byte for byte
// (several such folders: it cannot be told which); when the INF is gone, the package that the
// driver database names for it. A link among the store's folders is never followed; one on the
// path of the package's folder is noted, since the folder cannot be saved whole.
DriverPackage FindDriverPackage(Host& host, const std::string& windowsDirectory,
                                const std::string& infName, const std::string& infPath,
                                bool infPresent);

// Whether nothing of the driver may go: its INF is there (or cannot be told absent) and which
// package it publishes, or whether any, cannot be told (the store or an INF cannot be read, or
// several folders of the store hold its INF).
bool LeavesDriverWhole(const FoundDriver& driver);

// How the log and the listing name what the platform holds: "held by the platform, store folder
// <folder>", "no package in the driver store", and so on, in UTF-8.
std::string PackageText(const DriverPackage& package);

}  // namespace vorsk
