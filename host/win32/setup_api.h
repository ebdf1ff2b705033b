// The device setup service's calls, by their platform names. Its library is not one of the known
// DLLs of Windows XP, the oldest Windows vorsk runs on: imported, it would be looked for beside
// the program first, where anyone may have planted one. So it is loaded from the system folder
// at the first call instead. Without it (it is part of every Windows), each call fails as the
// platform's would, with ERROR_MOD_NOT_FOUND as the last error; a call that only later Windows
// have fails on the older ones with ERROR_PROC_NOT_FOUND.
#pragma once

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
// clang-format on

#include "host/win32/system_library.h"

namespace vorsk::win32::setup {

inline HMODULE Library() {
  static const HMODULE library = LoadSystemLibrary(L"setupapi.dll");
  return library;
}

template <typename Call>
Call Find(const char* name) {
  return FindCall<Call>(Library(), name);
}

// A call that every Windows since XP has: only the library can be missing.
template <typename Result>
Result Missing(Result failure) {
  ::SetLastError(ERROR_MOD_NOT_FOUND);
  return failure;
}

// A call that only later Windows have: the library is there and the call is not, or the library
// is missing.
template <typename Result>
Result Unavailable(Result failure) {
  ::SetLastError(Library() != nullptr ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
  return failure;
}

inline HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                     DWORD flags) {
  static const auto call = Find<decltype(&::SetupDiGetClassDevsA)>("SetupDiGetClassDevsA");
  return call != nullptr ? call(classGuid, enumerator, parent, flags)
                         : Missing(INVALID_HANDLE_VALUE);
}

inline HDEVINFO SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent) {
  static const auto call =
      Find<decltype(&::SetupDiCreateDeviceInfoList)>("SetupDiCreateDeviceInfoList");
  return call != nullptr ? call(classGuid, parent) : Missing(INVALID_HANDLE_VALUE);
}

inline BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  static const auto call =
      Find<decltype(&::SetupDiDestroyDeviceInfoList)>("SetupDiDestroyDeviceInfoList");
  return call != nullptr ? call(set) : Missing(FALSE);
}

inline BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) {
  static const auto call = Find<decltype(&::SetupDiEnumDeviceInfo)>("SetupDiEnumDeviceInfo");
  return call != nullptr ? call(set, index, data) : Missing(FALSE);
}

inline BOOL SetupDiOpenDeviceInfoA(HDEVINFO set, PCSTR instanceId, HWND parent, DWORD flags,
                                   PSP_DEVINFO_DATA data) {
  static const auto call = Find<decltype(&::SetupDiOpenDeviceInfoA)>("SetupDiOpenDeviceInfoA");
  return call != nullptr ? call(set, instanceId, parent, flags, data) : Missing(FALSE);
}

inline BOOL SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instanceId, HWND parent, DWORD flags,
                                   PSP_DEVINFO_DATA data) {
  static const auto call = Find<decltype(&::SetupDiOpenDeviceInfoW)>("SetupDiOpenDeviceInfoW");
  return call != nullptr ? call(set, instanceId, parent, flags, data) : Missing(FALSE);
}

inline BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                              PDWORD type, PBYTE buffer, DWORD size,
                                              PDWORD required) {
  static const auto call =
      Find<decltype(&::SetupDiGetDeviceRegistryPropertyA)>("SetupDiGetDeviceRegistryPropertyA");
  return call != nullptr ? call(set, data, property, type, buffer, size, required) : Missing(FALSE);
}

inline BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA data, PSTR buffer,
                                        DWORD size, PDWORD required) {
  static const auto call =
      Find<decltype(&::SetupDiGetDeviceInstanceIdA)>("SetupDiGetDeviceInstanceIdA");
  return call != nullptr ? call(set, data, buffer, size, required) : Missing(FALSE);
}

inline BOOL SetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA data,
                                           PSP_DEVINSTALL_PARAMS_A parameters) {
  static const auto call =
      Find<decltype(&::SetupDiGetDeviceInstallParamsA)>("SetupDiGetDeviceInstallParamsA");
  return call != nullptr ? call(set, data, parameters) : Missing(FALSE);
}

inline BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA data) {
  static const auto call =
      Find<decltype(&::SetupDiCallClassInstaller)>("SetupDiCallClassInstaller");
  return call != nullptr ? call(function, set, data) : Missing(FALSE);
}

// Driver packages. The uninstall of a published INF's package: Windows XP and later (the driver
// store's part of it since Windows Vista).
inline BOOL SetupUninstallOEMInfA(PCSTR infFileName, DWORD flags, PVOID reserved) {
  static const auto call = Find<decltype(&::SetupUninstallOEMInfA)>("SetupUninstallOEMInfA");
  return call != nullptr ? call(infFileName, flags, reserved) : Unavailable(FALSE);
}

inline BOOL SetupUninstallOEMInfW(PCWSTR infFileName, DWORD flags, PVOID reserved) {
  static const auto call = Find<decltype(&::SetupUninstallOEMInfW)>("SetupUninstallOEMInfW");
  return call != nullptr ? call(infFileName, flags, reserved) : Unavailable(FALSE);
}

// Stages a package in the driver store (since Windows Vista) and publishes its INF in the INF
// folder, as a vendor's setup installs one: Windows XP and later.
inline BOOL SetupCopyOEMInfW(PCWSTR source, PCWSTR mediaRoot, DWORD mediaType, DWORD style,
                             PWSTR destination, DWORD size, PDWORD required, PWSTR* component) {
  static const auto call = Find<decltype(&::SetupCopyOEMInfW)>("SetupCopyOEMInfW");
  return call != nullptr
             ? call(source, mediaRoot, mediaType, style, destination, size, required, component)
             : Unavailable(FALSE);
}

// The path of a published INF's package INF in the driver store: Windows Vista and later. The
// toolchain's headers do not declare it, so its type is spelled out here.
inline BOOL SetupGetInfDriverStoreLocationW(PCWSTR fileName, PSP_ALTPLATFORM_INFO alternatePlatform,
                                            PCWSTR localeName, PWSTR buffer, DWORD size,
                                            PDWORD required) {
  using Call = BOOL(WINAPI*)(PCWSTR, PSP_ALTPLATFORM_INFO, PCWSTR, PWSTR, DWORD, PDWORD);
  static const auto call = Find<Call>("SetupGetInfDriverStoreLocationW");
  return call != nullptr ? call(fileName, alternatePlatform, localeName, buffer, size, required)
                         : Unavailable(FALSE);
}

// The library also serves the configuration manager's calls, on every Windows since XP.
inline CONFIGRET CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST node, ULONG flags) {
  static const auto call = Find<decltype(&::CM_Get_DevNode_Status)>("CM_Get_DevNode_Status");
  return call != nullptr ? call(status, problem, node, flags)
                         : Missing(static_cast<CONFIGRET>(CR_FAILURE));
}

}  // namespace vorsk::win32::setup
