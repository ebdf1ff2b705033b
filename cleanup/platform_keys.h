// The platform's own registry keys, which no listed tree may be or hold: deleting one wrecks
// Windows, so a script line that names one (a vendor's mistake, or a script planted by anyone who
// could write it) is refused.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace vorsk {

// Whether the path below HKEY_LOCAL_MACHINE (separators collapsed, none at its end; in the ANSI
// code page, whose lead bytes `isLead` tells) is one of the platform's own keys, or holds one, in
// either registry view, letter case aside:
//
//   SOFTWARE\Microsoft, ...\Windows, ...\Windows\CurrentVersion and its Uninstall, Run, RunOnce,
//     App Paths, Explorer and Policies; SOFTWARE\Microsoft\Windows NT\CurrentVersion;
//     SOFTWARE\Classes; SOFTWARE\Policies; each also below SOFTWARE\WOW6432Node, itself one
//   SYSTEM\Select, Setup, MountedDevices, DriverDatabase
//   for CurrentControlSet and each ControlSetNNN: the set, its Control, Control\Class, each class
//     key Control\Class\{...}, Control\Session Manager, Enum, Services, Hardware Profiles
//
// Keys deeper than these are a vendor's to list: its own Uninstall\{product}, Services\<its
// service>, or driver entry Control\Class\{...}\0007.
bool IsOrHoldsPlatformKey(std::string_view path, const std::function<bool(std::uint8_t)>& isLead);

}  // namespace vorsk
