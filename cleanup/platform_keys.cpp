#include "cleanup/platform_keys.h"

#include <algorithm>
#include <vector>

#include "text/text.h"

namespace vorsk {

namespace {

// A component of the table: a name, any control set ("<set>": CurrentControlSet, ControlSet001 to
// ControlSet999), any class key ("{*}": a name in braces), or any name at all ("<any>").
constexpr std::string_view kAnySet = "<set>";
constexpr std::string_view kAnyClass = "{*}";
constexpr std::string_view kAnyName = "<any>";

// The containers directly below SOFTWARE\Classes that the platform's own classes, interfaces,
// type libraries and shell verbs live in (a closed list): a vendor's ProgID or file type beside
// them is its own.
constexpr std::string_view kClassContainers[] = {"CLSID",
                                                 "Interface",
                                                 "TypeLib",
                                                 "AppID",
                                                 "Wow6432Node",
                                                 "Installer",
                                                 "MIME",
                                                 "PROTOCOLS",
                                                 "Media Type",
                                                 "*",
                                                 "Directory",
                                                 "Drive",
                                                 "Folder",
                                                 "AllFilesystemObjects",
                                                 "SystemFileAssociations",
                                                 "Unknown",
                                                 "Applications",
                                                 "DesktopBackground",
                                                 "CompressedFolder",
                                                 "exefile",
                                                 "dllfile",
                                                 "batfile",
                                                 "cmdfile",
                                                 "comfile",
                                                 "inffile",
                                                 "regfile",
                                                 "lnkfile",
                                                 "Component Categories",
                                                 "FileType"};

// The table, each key as its components; the SOFTWARE keys are in both views.
const std::vector<std::vector<std::string_view>>& PlatformKeys() {
  static const std::vector<std::vector<std::string_view>> keys = [] {
    std::vector<std::vector<std::string_view>> software = {
        {"Microsoft"},
        {"Microsoft", "Windows"},
        {"Microsoft", "Windows", "CurrentVersion"},
        {"Microsoft", "Windows", "CurrentVersion", "Uninstall"},
        {"Microsoft", "Windows", "CurrentVersion", "Run"},
        {"Microsoft", "Windows", "CurrentVersion", "RunOnce"},
        {"Microsoft", "Windows", "CurrentVersion", "App Paths"},
        {"Microsoft", "Windows", "CurrentVersion", "Explorer"},
        {"Microsoft", "Windows", "CurrentVersion", "Policies"},
        {"Microsoft", "Windows NT", "CurrentVersion"},
        {"Classes"},
        {"Policies"},
    };
    // The containers below Classes, and below its 32-bit view there (Classes\Wow6432Node).
    for (const std::string_view container : kClassContainers) {
      software.push_back({"Classes", container});
      software.push_back({"Classes", "Wow6432Node", container});
    }
    std::vector<std::vector<std::string_view>> all = {
        {"SOFTWARE", "WOW6432Node"},
        {"SYSTEM", "Select"},
        {"SYSTEM", "Setup"},
        {"SYSTEM", "MountedDevices"},
        {"SYSTEM", "DriverDatabase"},
        {"SYSTEM", kAnySet, "Control", "Class", kAnyClass},
        // Every key directly below Control is the platform's (Lsa, Session Manager, Class...).
        {"SYSTEM", kAnySet, "Control", kAnyName},
        {"SYSTEM", kAnySet, "Enum"},
        {"SYSTEM", kAnySet, "Services"},
        {"SYSTEM", kAnySet, "Hardware Profiles"},
    };
    for (const auto& key : software) {
      std::vector<std::string_view> own = {"SOFTWARE"};
      std::vector<std::string_view> wow64 = {"SOFTWARE", "WOW6432Node"};
      own.insert(own.end(), key.begin(), key.end());
      wow64.insert(wow64.end(), key.begin(), key.end());
      all.push_back(own);
      all.push_back(wow64);
    }
    return all;
  }();
  return keys;
}

bool IsControlSet(std::string_view name) {
  if (EqualAsciiFolded(name, "CurrentControlSet")) {
    return true;
  }
  if (name.size() != 13 || !EqualAsciiFolded(name.substr(0, 10), "ControlSet")) {
    return false;
  }
  for (const char c : name.substr(10)) {
    if (c < '0' || c > '9') {
      return false;
    }
  }
  return true;
}

bool Matches(std::string_view component, std::string_view pattern) {
  if (pattern == kAnySet) {
    return IsControlSet(component);
  }
  if (pattern == kAnyName) {
    return true;
  }
  if (pattern == kAnyClass) {
    return component.size() >= 2 && component.front() == '{' && component.back() == '}';
  }
  // Key names compare as the registry compares them: letter case aside.
  return EqualAsciiFolded(component, pattern);
}

}  // namespace

bool IsOrHoldsPlatformKey(std::string_view path, const std::function<bool(std::uint8_t)>& isLead) {
  // An empty component names no key of its own: the path is judged as the key it reaches.
  std::vector<std::string_view> components = PathComponentsOf(path, isLead);
  components.erase(std::remove(components.begin(), components.end(), std::string_view()),
                   components.end());
  for (const std::vector<std::string_view>& key : PlatformKeys()) {
    if (components.size() > key.size()) {
      continue;
    }
    bool holds = true;
    for (std::size_t i = 0; i < components.size() && holds; ++i) {
      holds = Matches(components[i], key[i]);
    }
    if (holds) {
      return true;
    }
  }
  return false;
}

bool IsInServiceKey(const std::vector<std::u16string>& components) {
  return components.size() >= 4 && EqualAsciiFolded(Utf8FromUtf16(components[0]), "SYSTEM") &&
         IsControlSet(Utf8FromUtf16(components[1])) &&
         EqualAsciiFolded(Utf8FromUtf16(components[2]), "Services");
}

namespace {

bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualAsciiFolded(Utf8FromUtf16(text.substr(0, prefix.size())), Utf8FromUtf16(prefix));
}

}  // namespace

std::vector<std::u16string> ImagePathFiles(std::u16string_view imagePath,
                                           std::u16string_view windows) {
  std::u16string_view text = imagePath;
  while (!text.empty() && text.front() == u' ') {
    text.remove_prefix(1);
  }
  std::vector<std::u16string_view> ends;
  if (!text.empty() && text.front() == u'"') {
    text.remove_prefix(1);
    ends.push_back(text.substr(0, text.find(u'"')));
  } else {
    for (std::size_t blank = text.find(u' '); blank != std::u16string_view::npos;
         blank = text.find(u' ', blank + 1)) {
      ends.push_back(text.substr(0, blank));
    }
    ends.push_back(text);
  }
  std::vector<std::u16string> files;
  for (std::u16string_view file : ends) {
    if (StartsWithFolded(file, u"\\??\\")) {
      file.remove_prefix(4);
    }
    std::u16string whole;
    if (StartsWithFolded(file, u"\\SystemRoot\\")) {
      whole = std::u16string(windows) + std::u16string(file.substr(11));
    } else if (file.size() >= 2 && file[1] == u':') {
      whole = std::u16string(file);
    } else if (!file.empty() && file.front() != u'\\') {
      // A driver's path without a drive is below the Windows folder (System32\drivers\x.sys).
      whole = std::u16string(windows) + u"\\" + std::u16string(file);
    } else {
      whole = std::u16string(file);
    }
    if (!whole.empty()) {
      files.push_back(std::move(whole));
    }
  }
  return files;
}

}  // namespace vorsk
