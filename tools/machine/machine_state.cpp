// Prints the state of the Wine prefix it runs in, one line per item, for a test to compare
// before and after a run:
//
//   machine_state [<description>]
//
//   file <path> [| readonly] [| hidden]     files of C:\, the Windows directory, its INF and
//                                          Setup417 folders, and the folders the description's
//                                          files are in
//   key <path>                             every key below HKEY_LOCAL_MACHINE\SOFTWARE (but its
//   value <path> | <name> = <data>         Classes), the still-image and USB class keys of
//                                          SYSTEM\CurrentControlSet, and SYSTEM\ControlSet001,
//                                          as a 32-bit program sees them
//   key64 <path>, value64 ...              on 64-bit Windows, the same of
//   HKEY_LOCAL_MACHINE\SOFTWARE
//                                          in the 64-bit registry view (but its WOW6432Node, which
//                                          holds the 32-bit view)
//   device <instance ID> | <hardware ID> | ...
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tools/machine/description.h"
#include "tools/machine/win32_text.h"

namespace vorsk::machine {
namespace {

std::vector<std::string> lines;

std::string ValueText(DWORD type, const std::string& data) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    return data.substr(0, data.find('\0'));
  }
  if (type == REG_DWORD && data.size() == 4) {
    DWORD number = 0;
    std::copy(data.begin(), data.end(), reinterpret_cast<char*>(&number));
    return std::to_string(number);
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string hex = "hex(" + std::to_string(type) + "):";
  for (const char c : data) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

// The registry view listed, with the kinds of its lines.
struct View {
  REGSAM flag;
  const char* key;
  const char* value;
};
constexpr View kOwnView = {0, "key ", "value "};
constexpr View k64BitView = {KEY_WOW64_64KEY, "key64 ", "value64 "};

// Lists a key and its values, then its subkeys, each opened relative to its parent.
void ListKey(HKEY key, const std::string& path, const std::set<std::string>& skipped,
             const View& view) {
  lines.push_back(view.key + path);
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD nameLength = sizeof(name);
    std::string data(65536, '\0');
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (::RegEnumValueA(key, index, name, &nameLength, nullptr, &type,
                        reinterpret_cast<BYTE*>(data.data()), &dataLength) != ERROR_SUCCESS) {
      break;
    }
    data.resize(dataLength);
    lines.push_back(view.value + path + " | " + name + " = " + ValueText(type, data));
  }
  for (DWORD index = 0;; ++index) {
    char name[512];
    DWORD nameLength = sizeof(name);
    if (::RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::string subPath = path + "\\" + name;
    if (std::any_of(skipped.begin(), skipped.end(), [&](const std::string& skip) {
          return ::lstrcmpiA(skip.c_str(), subPath.c_str()) == 0;
        })) {
      continue;
    }
    win32::unique_hkey subkey;
    if (::RegOpenKeyExA(key, name, 0, KEY_READ | view.flag, subkey.put()) == ERROR_SUCCESS) {
      ListKey(subkey.get(), subPath, skipped, view);
    }
  }
}

void ListRoots(const std::vector<std::string>& roots, const std::set<std::string>& skipped,
               const View& view) {
  for (const std::string& root : roots) {
    win32::unique_hkey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ | view.flag, key.put()) ==
        ERROR_SUCCESS) {
      ListKey(key.get(), root, skipped, view);
    }
  }
}

void ListRegistry() {
  // The class registrations are many and never touched.
  const std::set<std::string> skipped = {"SOFTWARE\\Classes", "SOFTWARE\\WOW6432Node"};
  const std::string classes = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
  ListRoots({"SOFTWARE", classes + "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}",
             classes + "{36FC9E60-C465-11CF-8056-444553540000}", "SYSTEM\\ControlSet001"},
            skipped, kOwnView);
  BOOL wow64 = FALSE;
  if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
    ListRoots({"SOFTWARE"}, skipped, k64BitView);
  }
}

void ListFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      continue;
    }
    std::string line = "file " + folder + "\\" + found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
      line += " | readonly";
    }
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0) {
      line += " | hidden";
    }
    lines.push_back(line);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
}

void ListDevices() {
  win32::unique_hdevinfo set(::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
  SP_DEVINFO_DATA record = {};
  record.cbSize = sizeof(record);
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &record); ++index) {
    char id[201] = {};
    ::SetupDiGetDeviceInstanceIdA(set.get(), &record, id, sizeof(id), nullptr);
    std::string line = std::string("device ") + id;
    std::string ids(4096, '\0');
    DWORD size = 0;
    if (::SetupDiGetDeviceRegistryPropertyA(set.get(), &record, SPDRP_HARDWAREID, nullptr,
                                            reinterpret_cast<BYTE*>(ids.data()),
                                            static_cast<DWORD>(ids.size()), &size)) {
      for (std::size_t begin = 0; begin < size && ids[begin] != '\0';) {
        const std::size_t end = ids.find('\0', begin);
        line += " | " + ids.substr(begin, end - begin);
        begin = end + 1;
      }
    }
    lines.push_back(line);
  }
}

}  // namespace
}  // namespace vorsk::machine

int main(int argc, char** argv) {
  using namespace vorsk::machine;
  char windows[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  std::set<std::string> folders = {"C:", windows, std::string(windows) + "\\Inf",
                                   std::string(windows) + "\\Setup417"};
  if (argc == 2) {
    std::string text;
    std::string error;
    const auto description =
        ReadWholeFile(argv[1], text) ? ParseDescription(text, error) : std::nullopt;
    if (!description) {
      std::fprintf(stderr, "machine_state: cannot read %s %s\n", argv[1], error.c_str());
      return 2;
    }
    for (const FileEntry& file : description->files) {
      folders.insert(file.path.substr(0, file.path.rfind('\\')));
    }
  }
  for (const std::string& folder : folders) {
    ListFolder(folder);
  }
  ListRegistry();
  ListDevices();
  std::sort(lines.begin(), lines.end());
  for (const std::string& line : lines) {
    std::printf("%s\n", line.c_str());
  }
  return 0;
}
