// The independent floor of a whole run: the platform calls of the three stages, written plainly in
// one windowed program with one hidden plain window, and nothing of vorsk's: no framework, no core,
// no log, no run lock, no process facts, no message box. It reads the same script, scans the same
// class keys, deletes the same files, walks and traces the same device instances (removing the
// matching ones in this process, also under WOW64), and deletes the same trees depth first, each
// subkey through its parent. What vorsk.exe costs above this is what vorsk itself adds.
//
// Ends with status 0; with VORSK_STARTUP_TIMES set it writes the phases "loaded", "window" and
// "removal" to standard error, as vorsk.exe does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include "shell/startup_times.h"

namespace {

std::string ScriptText(const std::string& script, const std::string& section, const char* entry,
                       DWORD size) {
  std::vector<char> text(size);
  ::GetPrivateProfileStringA(section.c_str(), entry, "", text.data(), size, script.c_str());
  return text.data();
}

bool HasPrefix(const char* id, const std::string& prefix) {
  return !prefix.empty() && ::_strnicmp(id, prefix.c_str(), prefix.size()) == 0;
}

void DeleteDriverFiles(const std::string& windows, HKEY classKey, const std::string& deviceId) {
  DWORD count = 0;
  if (::RegQueryInfoKeyA(classKey, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (DWORD index = 0; index < count; ++index) {
    char name[256];
    DWORD nameSize = sizeof(name);
    if (::RegEnumKeyExA(classKey, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      continue;
    }
    HKEY entry = nullptr;
    if (::RegOpenKeyExA(classKey, name, 0, KEY_READ, &entry) != ERROR_SUCCESS) {
      continue;
    }
    char matching[256] = {};
    char inf[256] = {};
    DWORD size = sizeof(matching) - 1;
    const bool found =
        ::RegQueryValueExA(entry, "MatchingDeviceId", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(matching), &size) == ERROR_SUCCESS &&
        ::_stricmp(matching, deviceId.c_str()) == 0;
    size = sizeof(inf) - 1;
    const bool hasInf =
        found && ::RegQueryValueExA(entry, "InfPath", nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(inf), &size) == ERROR_SUCCESS;
    ::RegCloseKey(entry);
    if (!found) {
      continue;
    }
    if (hasInf) {
      std::string path = windows + "\\Inf\\" + inf;
      for (int file = 0; file < 2; ++file) {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
        ::DeleteFileA(path.c_str());
        const std::size_t dot = path.rfind('.');
        path = dot != std::string::npos && dot > path.rfind('\\') ? path.substr(0, dot) + ".pnf"
                                                                  : path + ".pnf";
      }
    }
    return;
  }
}

void RemoveDevices(const std::string& prefix1, const std::string& prefix2) {
  HDEVINFO set = ::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) {
    return;
  }
  SP_DEVINFO_DATA record = {};
  record.cbSize = sizeof(record);
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &record); ++index) {
    DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyA(set, &record, SPDRP_HARDWAREID, nullptr, nullptr, 0, &size);
    if (size == 0) {
      continue;
    }
    char* ids = static_cast<char*>(::LocalAlloc(LPTR, size + 2));
    if (ids == nullptr) {
      continue;
    }
    ::SetupDiGetDeviceRegistryPropertyA(set, &record, SPDRP_HARDWAREID, nullptr,
                                        reinterpret_cast<BYTE*>(ids), size, nullptr);
    for (const char* id = ids; *id != '\0'; id += std::strlen(id) + 1) {
      std::printf("Compare device ID: [%s]\n", id);
      if (HasPrefix(id, prefix1) || HasPrefix(id, prefix2)) {
        ::SetupDiCallClassInstaller(DIF_REMOVE, set, &record);
        break;
      }
    }
    ::LocalFree(ids);
  }
  ::SetupDiDestroyDeviceInfoList(set);
}

void DeleteSubkeys(HKEY key) {
  std::vector<std::string> names;
  char name[512];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof(name);
    if (::RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.push_back(name);
  }
  for (const std::string& subkeyName : names) {
    HKEY subkey = nullptr;
    if (::RegOpenKeyExA(key, subkeyName.c_str(), 0, KEY_READ | DELETE, &subkey) == ERROR_SUCCESS) {
      DeleteSubkeys(subkey);
      ::RegCloseKey(subkey);
    }
    ::RegDeleteKeyA(key, subkeyName.c_str());
  }
}

void DeleteTrees(const std::string& script, const std::string& section) {
  const UINT count = ::GetPrivateProfileIntA(section.c_str(), "Num", 5, script.c_str());
  for (UINT i = 1; i <= count && i <= 1000; ++i) {
    const std::string path = ScriptText(script, section, ("Num" + std::to_string(i)).c_str(), 260);
    HKEY key = nullptr;
    if (path.empty() ||
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      continue;
    }
    DeleteSubkeys(key);
    ::RegCloseKey(key);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  vorsk::MarkStartupPhase("loaded");
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ::DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "PlainRun";
  if (::RegisterClassA(&windowClass) == 0 ||
      ::CreateWindowExA(0, "PlainRun", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                        nullptr) == nullptr) {
    return 1;
  }
  vorsk::MarkStartupPhase("window");
  char windows[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
  const std::string script = std::string(windows) + "\\Setup417\\Remove417.ini";
  HANDLE file = ::CreateFileA(script.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (length == 0 || length >= MAX_PATH || file == INVALID_HANDLE_VALUE) {
    return 2;
  }
  ::CloseHandle(file);
  const char* const classKeys[] = {
      "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}",
      "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}",
      "SYSTEM\\CurrentControlSet\\Control\\Class\\{36FC9E60-C465-11CF-8056-444553540000}"};
  const char* const entries[] = {"Image0", "Image1", "USB0"};
  for (int lookup = 0; lookup < 3; ++lookup) {
    const std::string deviceId = ScriptText(script, "RemoveInf", entries[lookup], 35);
    HKEY classKey = nullptr;
    if (deviceId.empty() ||
        ::RegOpenKeyA(HKEY_LOCAL_MACHINE, classKeys[lookup], &classKey) != ERROR_SUCCESS) {
      continue;
    }
    DeleteDriverFiles(windows, classKey, deviceId);
    ::RegCloseKey(classKey);
  }
  const std::string devNo = ScriptText(script, "CurrentDev", "DevNo", 260);
  RemoveDevices(ScriptText(script, devNo + "PIDVID", "Num1", 260),
                ScriptText(script, devNo + "PIDVID", "Num2", 260));
  DeleteTrees(script, devNo + "KEY");
  vorsk::MarkStartupPhase("removal");
  vorsk::WriteStartupTimes();
  std::exit(0);
}
