// Prints the state of the Wine prefix it runs in, one line per item, in UTF-8, for a test to
// compare before and after a run:
//
//   machine_state [<description>]
//
//   file <path> | <size> bytes | fnv <hash>  files of C:\, the Windows directory, its INF and
//     [| readonly] [| hidden] [| system]     Setup417 folders, and the folders the description's
//                                            files are in; the hash (FNV-1a, 64 bits) of the
//                                            content tells a file put back byte for byte
//   key <path>                               every key below HKEY_LOCAL_MACHINE\SOFTWARE (but its
//   value <path> | <name> = <data>           Classes), the still-image and USB class keys of
//                                            SYSTEM\CurrentControlSet, and SYSTEM\ControlSet001,
//                                            as a 32-bit program sees them
//   key64 <path>, value64 ...                on 64-bit Windows, the same of
//                                            HKEY_LOCAL_MACHINE\SOFTWARE in the 64-bit registry
//                                            view (but its WOW6432Node, which holds the 32-bit
//                                            view)
//   record <backup folder> | <digest>       each digest of a backup's manifest that vorsk recorded
//                                            (HKEY_LOCAL_MACHINE\SOFTWARE\vorsk\Backups, which the
//                                            key lines leave out: vorsk keeps it on purpose)
//   device <instance ID> | <hardware ID> | ...
//   store <folder>                           the driver store of the machine's own width
//   store <folder>\<file> | <size> bytes      (system32\DriverStore\FileRepository, reached
//     | fnv <hash> ...                       through Sysnative under WOW64): each package folder
//                                            and its files, as file lines give them
//
// A value's data is written as a description gives it, one way for each type and bytes: its text
// for a REG_SZ of ASCII characters with one terminating zero, dword:<8 hex digits> for a
// REG_DWORD of four bytes, and otherwise hex(<type in hex>):<bytes, comma separated>. Names are
// read through the wide calls, so that names outside the code page print as they are.
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
  if (type == REG_SZ && data.size() >= 2 && data.size() % 2 == 0) {
    std::string text;
    for (std::size_t at = 0; at + 2 < data.size(); at += 2) {
      const unsigned unit =
          static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8;
      if (unit == 0 || unit > 0x7f) {
        break;
      }
      text += static_cast<char>(unit);
    }
    if (text.size() * 2 + 2 == data.size() && data[data.size() - 2] == '\0' &&
        data.back() == '\0') {
      return text;
    }
  }
  char typeText[16];
  if (type == REG_DWORD && data.size() == 4) {
    DWORD number = 0;
    std::copy(data.begin(), data.end(), reinterpret_cast<char*>(&number));
    std::snprintf(typeText, sizeof(typeText), "%08lx", static_cast<unsigned long>(number));
    return std::string("dword:") + typeText;
  }
  static const char kDigits[] = "0123456789abcdef";
  std::snprintf(typeText, sizeof(typeText), "%lx", static_cast<unsigned long>(type));
  std::string hex = std::string("hex(") + typeText + "):";
  for (std::size_t at = 0; at < data.size(); ++at) {
    hex += at == 0 ? "" : ",";
    hex += kDigits[static_cast<unsigned char>(data[at]) >> 4];
    hex += kDigits[static_cast<unsigned char>(data[at]) & 15];
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
  static std::vector<char> data(1 << 20);
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = 16384;
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                        reinterpret_cast<BYTE*>(data.data()), &dataLength) != ERROR_SUCCESS) {
      break;
    }
    lines.push_back(view.value + path + " | " + Utf8(std::wstring(name, nameLength)) + " = " +
                    ValueText(type, std::string(data.data(), dataLength)));
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[512];
    DWORD nameLength = 512;
    if (::RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::string subPath = path + "\\" + Utf8(std::wstring(name, nameLength));
    if (std::any_of(skipped.begin(), skipped.end(), [&](const std::string& skip) {
          return ::lstrcmpiA(skip.c_str(), subPath.c_str()) == 0;
        })) {
      continue;
    }
    win32::unique_hkey subkey;
    if (::RegOpenKeyExW(key, name, 0, KEY_READ | view.flag, subkey.put()) == ERROR_SUCCESS) {
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
  // The class registrations are many and never touched; the display's settings are Wine's own,
  // which Wine 10 writes when a program first shows a window in a session.
  const std::set<std::string> skipped = {"SOFTWARE\\Classes", "SOFTWARE\\WOW6432Node",
                                         "SOFTWARE\\vorsk",
                                         "SYSTEM\\ControlSet001\\Control\\Video"};
  const std::string classes = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
  ListRoots({"SOFTWARE", classes + "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}",
             classes + "{36FC9E60-C465-11CF-8056-444553540000}", "SYSTEM\\ControlSet001"},
            skipped, kOwnView);
  BOOL wow64 = FALSE;
  if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
    ListRoots({"SOFTWARE"}, skipped, k64BitView);
  }
}

// The backups' record, as vorsk.exe (a 32-bit program, as this one) keeps it: each value is a
// multi-string of digests.
void ListRecord() {
  win32::unique_hkey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\vorsk\\Backups", 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = 16384;
    std::wstring data(4096, L'\0');
    DWORD dataLength = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, nullptr,
                        reinterpret_cast<BYTE*>(data.data()), &dataLength) != ERROR_SUCCESS) {
      break;
    }
    data.resize(dataLength / sizeof(wchar_t));
    for (std::size_t at = 0; at < data.size();) {
      const std::size_t end = std::min(data.find(L'\0', at), data.size());
      if (end > at) {
        lines.push_back("record " + Utf8(std::wstring(name, nameLength)) + " | " +
                        Utf8(data.substr(at, end - at)));
      }
      at = end + 1;
    }
  }
}

// FNV-1a, 64 bits, of a file's content: a file put back byte for byte hashes as it did.
std::string ContentHash(const std::wstring& path) {
  win32::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return "unreadable";
  }
  unsigned long long hash = 14695981039346656037ull;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    for (DWORD i = 0; i < read; ++i) {
      hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
    }
  }
  char text[17];
  std::snprintf(text, sizeof(text), "%016llx", hash);
  return text;
}

// The files of a folder, each as "<kind> <shown>\<name> | ...".
void ListFolder(const std::string& folder, const std::string& kind, const std::string& shown) {
  const std::wstring wideFolder = Utf16(folder) + L"\\";
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((wideFolder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      continue;
    }
    const unsigned long long size =
        static_cast<unsigned long long>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    std::string line = kind + " " + shown + "\\" + Utf8(found.cFileName) + " | " +
                       std::to_string(size) + " bytes | fnv " +
                       ContentHash(wideFolder + found.cFileName);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
      line += " | readonly";
    }
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0) {
      line += " | hidden";
    }
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0) {
      line += " | system";
    }
    lines.push_back(line);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

// Each package folder of the driver store, and its files.
void ListStore(const std::string& windows) {
  BOOL wow64 = FALSE;
  const bool redirected = ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
  const std::string store =
      windows + (redirected ? "\\Sysnative" : "\\System32") + "\\DriverStore\\FileRepository";
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(Utf16(store + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    const std::string name = Utf8(found.cFileName);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || name == "." || name == "..") {
      continue;
    }
    lines.push_back("store " + name);
    ListFolder(store + "\\" + name, "store", name);
  } while (::FindNextFileW(search, &found));
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
    ListFolder(folder, "file", folder);
  }
  ListStore(windows);
  ListRegistry();
  ListRecord();
  ListDevices();
  std::sort(lines.begin(), lines.end());
  for (const std::string& line : lines) {
    std::printf("%s\n", line.c_str());
  }
  return 0;
}
