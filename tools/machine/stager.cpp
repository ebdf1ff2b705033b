// Stages a machine description on the Wine prefix it runs in:
//
//   stager <description>
//   stager --packages <description>
//   stager --hold <path>
//   stager --hold-alone <path>
//   stager --move-away <folder>
//
// With --hold it holds the file open the way another program would (for reading, sharing read
// access only, so that nobody can delete it), says "held" on standard output, and keeps it open
// until its standard input ends. With --hold-alone it shares nothing, as a program that locks the
// file it works on: nobody else may open it at all, not even to copy it. With --move-away it acts
// as another process that wants a backup's folder out of the way: until its standard input ends
// it tries, over and over, to rename the folder and each folder in it while a run is saving there
// (a run's folder whose manifest.txt has not ended yet), putting back at once what it moved; it
// says "watching" when it begins, and at its end "tries <n>, moved <m>" and each folder it moved.
//
// Files with their attributes, driver entries below the device setup class keys, device
// instances registered through the device setup service, registry keys with their values, and
// the removal script in <Windows>\Setup417, and driver packages. The platform keeps a package in
// the driver store of the caller's own width (a 32-bit program's under WOW64 goes to a store of
// its own), so packages are staged by a stager of the machine's width: under WOW64 this one leaves
// them to the 64-bit stager, which, given --packages, stages the packages only. Ends with status 1
// and a reason on standard error when anything cannot be staged.
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/machine/description.h"
#include "tools/machine/win32_text.h"

namespace vorsk::machine {
namespace {

// {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}: the still-image device setup class.
const GUID kImageClass = {
    0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};

bool Fail(const std::string& what) {
  std::fprintf(stderr, "stager: cannot stage %s\n", what.c_str());
  return false;
}

// Each value through the wide call: a string's text in UTF-16 with its terminating zero, other
// data's bytes as they are (the narrow call would convert string types' bytes).
bool SetValues(HKEY key, const std::vector<NamedValue>& values) {
  for (const NamedValue& value : values) {
    std::string bytes = value.data;
    if (!value.bytes) {
      const std::wstring text = Utf16(value.data);
      bytes.assign(reinterpret_cast<const char*>(text.c_str()),
                   (text.size() + 1) * sizeof(wchar_t));
    }
    if (::RegSetValueExW(key, Utf16(value.name).c_str(), 0, value.type,
                         reinterpret_cast<const BYTE*>(bytes.data()),
                         static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS) {
      return false;
    }
  }
  return true;
}

// A file of a given size holds every byte value (a zero, CR, LF, the end-of-text mark) in an
// order that its path's hash starts.
std::string FileContent(const FileEntry& file) {
  if (!file.size) {
    return "; staged\r\n";
  }
  unsigned start = 0;
  for (const char c : file.path) {
    start = start * 31 + static_cast<unsigned char>(c);
  }
  std::string content(*file.size, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) {
    content[i] = static_cast<char>((start + i * 167) & 0xff);
  }
  return content;
}

bool StageFile(const FileEntry& file) {
  if (!WriteWholeFile(file.path, FileContent(file))) {
    return Fail(file.path);
  }
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  attributes |= file.readOnly ? FILE_ATTRIBUTE_READONLY : 0;
  attributes |= file.hidden ? FILE_ATTRIBUTE_HIDDEN : 0;
  attributes |= file.system ? FILE_ATTRIBUTE_SYSTEM : 0;
  return ::SetFileAttributesW(Utf16(file.path).c_str(), attributes) || Fail(file.path);
}

bool StageKey(const std::string& path, const std::vector<NamedValue>& values, REGSAM view = 0) {
  win32::unique_hkey key = CreateKeyPath(path, view);
  return (key && SetValues(key.get(), values)) || Fail(path);
}

// A link key is made with the registry's link option and names its target by the registry's own
// path, where a 32-bit program's SOFTWARE on 64-bit Windows is SOFTWARE\WOW6432Node.
bool StageLink(const LinkEntry& link) {
  std::string target = link.target;
  BOOL wow64 = FALSE;
  if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64 &&
      ::_strnicmp(target.c_str(), "SOFTWARE\\", 9) == 0) {
    target.insert(9, "WOW6432Node\\");
  }
  const std::size_t separator = link.path.rfind('\\');
  win32::unique_hkey parent = CreateKeyPath(link.path.substr(0, separator));
  const std::wstring name = Utf16(link.path.substr(separator + 1));
  win32::unique_hkey key;
  const std::wstring value = L"\\Registry\\Machine\\" + Utf16(target);
  return (parent &&
          ::RegCreateKeyExW(parent.get(), name.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                            KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, key.put(),
                            nullptr) == ERROR_SUCCESS &&
          ::RegSetValueExW(key.get(), L"SymbolicLinkValue", 0, REG_LINK,
                           reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() * sizeof(wchar_t))) == ERROR_SUCCESS) ||
         Fail(link.path);
}

bool StageDevice(const DeviceEntry& device) {
  win32::unique_hdevinfo set(::SetupDiCreateDeviceInfoList(&kImageClass, nullptr));
  SP_DEVINFO_DATA record = {};
  record.cbSize = sizeof(record);
  // An instance that is there already (a machine staged again) keeps its registration.
  const bool created = ::SetupDiCreateDeviceInfoA(set.get(), device.instanceId.c_str(),
                                                  &kImageClass, nullptr, nullptr, 0, &record);
  if (!created &&
      !::SetupDiOpenDeviceInfoA(set.get(), device.instanceId.c_str(), nullptr, 0, &record)) {
    return Fail(device.instanceId);
  }
  if (!device.hardwareIds.empty()) {
    const std::string list = HardwareIdList(device.hardwareIds);
    if (!::SetupDiSetDeviceRegistryPropertyA(set.get(), &record, SPDRP_HARDWAREID,
                                             reinterpret_cast<const BYTE*>(list.data()),
                                             static_cast<DWORD>(list.size()))) {
      return Fail(device.instanceId);
    }
  }
  return !created ||
         ::SetupDiRegisterDeviceInfo(set.get(), &record, 0, nullptr, nullptr, nullptr) ||
         Fail(device.instanceId);
}

// A package's INF: a minimal Version section of the still-image class, without a catalog.
std::string PackageInf(const std::string& name) {
  return "; " + name +
         ".inf: a still-image driver package staged for a test\r\n"
         "[Version]\r\n"
         "Signature=\"$Windows NT$\"\r\n"
         "Class=Image\r\n"
         "ClassGUID={6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\r\n"
         "Provider=%Vendor%\r\n"
         "DriverVer=01/01/2020,1.0.0.0\r\n"
         "\r\n"
         "[Strings]\r\n"
         "Vendor=\"Vorsk Sample Vendor\"\r\n";
}

// Writes the package folder in the temporary folder, hands its INF to the platform as a vendor's
// setup does, then writes the driver entry with the published INF's name; the folder goes
// afterwards, as a setup's does.
bool StagePackage(const PackageEntry& package) {
  wchar_t temporary[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temporary);
  const std::string folder = Utf8(temporary) + "vorsk-package-" + package.name;
  const std::string inf = folder + "\\" + package.name + ".inf";
  wchar_t published[MAX_PATH] = {};
  wchar_t* publishedName = nullptr;
  const bool copied = WriteWholeFile(inf, PackageInf(package.name)) &&
                      ::SetupCopyOEMInfW(Utf16(inf).c_str(), nullptr, SPOST_NONE, 0, published,
                                         MAX_PATH, nullptr, &publishedName) &&
                      publishedName != nullptr;
  if (!copied) {
    std::fprintf(stderr, "stager: the platform did not take the package %s (error %lu)\n",
                 package.name.c_str(), static_cast<unsigned long>(::GetLastError()));
  }
  ::DeleteFileW(Utf16(inf).c_str());
  ::RemoveDirectoryW(Utf16(folder).c_str());
  if (!copied) {
    return Fail(package.name);
  }
  DriverEntry driver = package.driver;
  driver.values.push_back(NamedValue{"InfPath", REG_SZ, Utf8(publishedName)});
  return StageKey(driver.classKey + "\\" + driver.subkey, driver.values);
}

bool StagePackages(const Description& description) {
  bool ok = true;
  for (const PackageEntry& package : description.packages) {
    ok = StagePackage(package) && ok;
  }
  return ok;
}

bool Stage(const Description& description) {
  bool ok = true;
  for (const FileEntry& file : description.files) {
    ok = StageFile(file) && ok;
  }
  for (const DriverEntry& driver : description.drivers) {
    ok = StageKey(driver.classKey + "\\" + driver.subkey, driver.values) && ok;
  }
  for (const DeviceEntry& device : description.devices) {
    ok = StageDevice(device) && ok;
  }
  for (const KeyEntry& key : description.keys) {
    ok = StageKey(key.path, key.values, key.view64 ? KEY_WOW64_64KEY : 0) && ok;
  }
  for (const KeyRange& range : description.keyRanges) {
    win32::unique_hkey parent = CreateKeyPath(range.path);
    for (unsigned i = 0; parent && i < range.count; ++i) {
      win32::unique_hkey key;
      ok = (::RegCreateKeyExA(parent.get(), ("K" + std::to_string(i)).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.put(), nullptr) == ERROR_SUCCESS &&
            SetValues(key.get(), {NamedValue{"Index", REG_SZ, std::to_string(i)}})) &&
           ok;
    }
    ok = (parent || Fail(range.path)) && ok;
  }
  for (const LinkEntry& link : description.links) {
    ok = StageLink(link) && ok;
  }
  if (description.script) {
    char windows[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string path = std::string(windows) + "\\Setup417\\Remove417.ini";
    // In the machine's ANSI code page, as a vendor's script is written.
    const std::wstring wide = Utf16(*description.script);
    std::string script(wide.size() * 2, '\0');
    script.resize(static_cast<std::size_t>(
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), script.data(),
                              static_cast<int>(script.size()), nullptr, nullptr)));
    ok = (WriteWholeFile(path, script) || Fail(path)) && ok;
  }
  BOOL wow64 = FALSE;
  if (!::IsWow64Process(::GetCurrentProcess(), &wow64) || !wow64) {
    ok = StagePackages(description) && ok;
  }
  return ok;
}

}  // namespace
}  // namespace vorsk::machine

namespace vorsk::machine {
namespace {

// Renames each folder it can of `folder` and below it, one level, until the flag is set.
int MoveAway(const std::string& folder) {
  std::atomic<bool> ended{false};
  std::thread reader([&] {
    while (std::getchar() != EOF) {
    }
    ended = true;
  });
  std::printf("watching\n");
  std::fflush(stdout);
  unsigned long tries = 0;
  std::vector<std::string> moved;
  const auto tryMove = [&](const std::string& path) {
    ++tries;
    if (::MoveFileA(path.c_str(), (path + ".moved").c_str())) {
      ::MoveFileA((path + ".moved").c_str(), path.c_str());
      moved.push_back(path);
    }
  };
  // Whether a run is saving in the folder `path`: its manifest is there and has not ended. The
  // manifest's last bytes are read sharing everything, so that the run may go on appending.
  const auto saving = [](const std::string& path) {
    win32::unique_hfile manifest(
        ::CreateFileA((path + "\\manifest.txt").c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!manifest || !::GetFileSizeEx(manifest.get(), &size) || size.QuadPart < 5) {
      return manifest.is_valid();
    }
    LARGE_INTEGER last = {};
    last.QuadPart = size.QuadPart - 5;
    char tail[5] = {};
    DWORD read = 0;
    return !(::SetFilePointerEx(manifest.get(), last, nullptr, FILE_BEGIN) &&
             ::ReadFile(manifest.get(), tail, 5, &read, nullptr) && read == 5 &&
             std::string(tail, 5) == "end\r\n");
  };
  while (!ended) {
    WIN32_FIND_DATAA found = {};
    win32::unique_hfind search(::FindFirstFileA((folder + "\\*").c_str(), &found));
    std::vector<std::string> inside;
    if (search) {
      do {
        const std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != "." &&
            name != "..") {
          inside.push_back(folder + "\\" + name);
        }
      } while (::FindNextFileA(search.get(), &found));
    }
    search.reset();
    for (const std::string& path : inside) {
      if (saving(path)) {
        tryMove(folder);
        tryMove(path);
      }
    }
    ::Sleep(2);
  }
  reader.join();
  std::printf("tries %lu, moved %zu\n", tries, moved.size());
  for (const std::string& path : moved) {
    std::printf("moved %s\n", path.c_str());
  }
  return 0;
}

}  // namespace
}  // namespace vorsk::machine

int main(int argc, char** argv) {
  using namespace vorsk::machine;
  const std::string mode = argc == 3 ? argv[1] : "";
  if (mode == "--move-away") {
    return MoveAway(argv[2]);
  }
  if (mode == "--hold" || mode == "--hold-alone") {
    const DWORD share = mode == "--hold" ? FILE_SHARE_READ : 0;
    vorsk::win32::unique_hfile file(::CreateFileA(argv[2], GENERIC_READ, share, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      std::fprintf(stderr, "stager: cannot hold %s\n", argv[2]);
      return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
  }
  const bool packagesOnly = argc == 3 && std::string(argv[1]) == "--packages";
  std::string text;
  if ((argc != 2 && !packagesOnly) || !ReadWholeFile(argv[argc - 1], text)) {
    std::fprintf(stderr, "usage: stager [--packages] <description>\n");
    return 2;
  }
  std::string error;
  const auto description = ParseDescription(text, error);
  if (!description) {
    std::fprintf(stderr, "stager: %s: %s\n", argv[argc - 1], error.c_str());
    return 2;
  }
  return (packagesOnly ? StagePackages(*description) : Stage(*description)) ? 0 : 1;
}
