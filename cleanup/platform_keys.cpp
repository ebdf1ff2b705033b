#include "cleanup/platform_keys.h"

#include <vector>

#include "text/text.h"

namespace vorsk {

namespace {

// A component of the table: a name, any control set ("<set>": CurrentControlSet, ControlSet001 to
// ControlSet999), or any class key ("{*}": a name in braces).
constexpr std::string_view kAnySet = "<set>";
constexpr std::string_view kAnyClass = "{*}";

// The table, each key as its components; the SOFTWARE keys are in both views.
const std::vector<std::vector<std::string_view>>& PlatformKeys() {
  static const std::vector<std::vector<std::string_view>> keys = [] {
    const std::vector<std::vector<std::string_view>> software = {
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
    std::vector<std::vector<std::string_view>> all = {
        {"SOFTWARE", "WOW6432Node"},
        {"SYSTEM", "Select"},
        {"SYSTEM", "Setup"},
        {"SYSTEM", "MountedDevices"},
        {"SYSTEM", "DriverDatabase"},
        {"SYSTEM", kAnySet, "Control", "Class", kAnyClass},
        {"SYSTEM", kAnySet, "Control", "Session Manager"},
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
  if (pattern == kAnyClass) {
    return component.size() >= 2 && component.front() == '{' && component.back() == '}';
  }
  // Key names compare as the registry compares them: letter case aside.
  return EqualAsciiFolded(component, pattern);
}

}  // namespace

bool IsOrHoldsPlatformKey(std::string_view path, const std::function<bool(std::uint8_t)>& isLead) {
  const std::vector<std::string_view> components = PathComponentsOf(path, isLead);
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

}  // namespace vorsk
