// The platform's own registry keys, which no listed tree may be or hold: deleting one wrecks
// Windows, so a script line that names one (a vendor's mistake, or a script planted by anyone who
// could write it) is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorsk {

// Whether the path below HKEY_LOCAL_MACHINE (in the ANSI code page, whose lead bytes `isLead`
// tells) is one of the platform's own keys, or holds one, in either registry view, letter case
// aside. An empty component (a doubled, leading or trailing separator) names no key: the path is
// judged as the key it reaches, SOFTWARE\Classes\CLSID\ as SOFTWARE\Classes\CLSID.
//
//   SOFTWARE\Microsoft, ...\Windows, ...\Windows\CurrentVersion and its Uninstall, Run, RunOnce,
//     App Paths, Explorer and Policies; SOFTWARE\Microsoft\Windows NT\CurrentVersion;
//     SOFTWARE\Classes and the containers directly below it and below its 32-bit view
//     Classes\Wow6432Node (CLSID, Interface, TypeLib, AppID, Wow6432Node, Installer, MIME,
//     PROTOCOLS, Media Type, *, Directory, Drive, Folder, AllFilesystemObjects,
//     SystemFileAssociations, Unknown, Applications, DesktopBackground, CompressedFolder,
//     exefile, dllfile, batfile, cmdfile, comfile, inffile, regfile, lnkfile, Component
//     Categories, FileType); SOFTWARE\Policies; each also below SOFTWARE\WOW6432Node, itself one
//   SYSTEM\Select, Setup, MountedDevices, DriverDatabase
//   for CurrentControlSet and each ControlSetNNN: the set, its Control, every key directly below
//     Control, each class key Control\Class\{...}, Enum, Services, Hardware Profiles
//
// Keys deeper than these are a vendor's to list: its own Uninstall\{product}, CLSID\{...},
// ProgID, Services\<its service> (unless ServiceRefusal says otherwise), or driver entry
// Control\Class\{...}\0007.
bool IsOrHoldsPlatformKey(std::string_view path, const std::function<bool(std::uint8_t)>& isLead);

// Whether the key path's components (none empty) are a service's key,
// SYSTEM\<set>\Services\<name>, or lie below one: its first four are then the service's key.
bool IsInServiceKey(const std::vector<std::u16string>& components);

// The files a service's ImagePath (its environment variables already expanded) may name, as the
// platform reads one: "\SystemRoot\" and a path without a drive are below the Windows folder
// `windows`, "\??\" is dropped, a quoted path ends at its quote, and an unquoted one may end at
// any blank (C:\Windows\system32\svchost.exe -k netsvcs), so each of those is one.
std::vector<std::u16string> ImagePathFiles(std::u16string_view imagePath,
                                           std::u16string_view windows);

}  // namespace vorsk
