#include "host/key_path.h"

#include <algorithm>
#include <iterator>

#include "text/text.h"

namespace vorsk {

bool ResolvesAsLink(Host& host, RegKey parent, const std::u16string& name, RegKey key) {
  std::u16string itself;
  if (host.RegQueryKeyPath(key, itself) != kErrorSuccess) {
    return true;
  }
  unique_hkey followed(host);
  std::u16string reached;
  if (host.RegOpenKeyW(parent, name, kKeyQueryValue, followed.put()) != kErrorSuccess ||
      host.RegQueryKeyPath(followed.get(), reached) != kErrorSuccess) {
    // The key opened as itself, for at least this access: followed, it leads elsewhere.
    return true;
  }
  return !EqualAsciiFolded(Utf8FromUtf16(itself), Utf8FromUtf16(reached));
}

bool IsLinkValue(const std::u16string& name, std::uint32_t type) {
  return type == kRegLink && EqualAsciiFolded(Utf8FromUtf16(name), "SymbolicLinkValue");
}

std::optional<std::string> RegistryNameOf(Host& host, RegKey key) {
  std::u16string path;
  if (host.RegQueryKeyPath(key, path) != kErrorSuccess) {
    return std::nullopt;
  }
  return Utf8FromUtf16(path);
}

namespace {

// The components of a registry name.
std::vector<std::string_view> NameParts(std::string_view name) {
  std::vector<std::string_view> parts;
  for (std::size_t begin = 0; begin <= name.size();) {
    const std::size_t end = std::min(name.find('\\', begin), name.size());
    parts.push_back(name.substr(begin, end - begin));
    begin = end + 1;
  }
  return parts;
}

bool IsNumberedControlSet(std::string_view name) {
  constexpr std::string_view kSet = "ControlSet";
  return name.size() == kSet.size() + 3 && StartsWithAsciiFolded(name, kSet) &&
         std::all_of(name.begin() + kSet.size(), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The keys below SOFTWARE\Classes\Wow6432Node that the platform shares with the 64-bit view.
constexpr std::string_view kSharedClasses[] = {"AppID", "PROTOCOLS", "TypeLib"};

}  // namespace

namespace {

// Where the platform keeps links of its own: SYSTEM\CurrentControlSet, a key directly below
// SOFTWARE\WOW6432Node, and the shared keys below SOFTWARE\Classes\Wow6432Node.
enum class LinkPlace { None, ControlSet, Wow64Key, SharedClasses };

LinkPlace PlaceOf(const std::vector<std::string_view>& link) {
  const auto is = [](std::string_view part, std::string_view name) {
    return EqualAsciiFolded(part, name);
  };
  if (link.size() == 2 && is(link[0], "SYSTEM") && is(link[1], "CurrentControlSet")) {
    return LinkPlace::ControlSet;
  }
  if (link.size() == 3 && is(link[0], "SOFTWARE") && is(link[1], "WOW6432Node") &&
      !link[2].empty()) {
    return LinkPlace::Wow64Key;
  }
  if (link.size() == 4 && is(link[0], "SOFTWARE") && is(link[1], "Classes") &&
      is(link[2], "Wow6432Node") &&
      std::any_of(std::begin(kSharedClasses), std::end(kSharedClasses),
                  [&](std::string_view shared) { return is(link[3], shared); })) {
    return LinkPlace::SharedClasses;
  }
  return LinkPlace::None;
}

}  // namespace

bool IsPlatformLinkPlace(std::string_view linkPath) {
  return PlaceOf(NameParts(linkPath)) != LinkPlace::None;
}

bool IsPlatformLink(std::string_view linkPath, std::string_view targetPath) {
  const std::vector<std::string_view> link = NameParts(linkPath);
  const std::vector<std::string_view> target = NameParts(targetPath);
  const auto is = [](std::string_view part, std::string_view name) {
    return EqualAsciiFolded(part, name);
  };
  switch (PlaceOf(link)) {
    case LinkPlace::ControlSet:
      return target.size() == 2 && is(target[0], "SYSTEM") && IsNumberedControlSet(target[1]);
    case LinkPlace::Wow64Key:
      // Shared: the 64-bit view's key of the same name. Redirected: the 32-bit classes.
      return (target.size() == 2 && is(target[0], "SOFTWARE") && is(target[1], link[2])) ||
             (is(link[2], "Classes") && target.size() == 3 && is(target[0], "SOFTWARE") &&
              is(target[1], "Classes") && is(target[2], "Wow6432Node"));
    case LinkPlace::SharedClasses:
      return target.size() == 3 && is(target[0], "SOFTWARE") && is(target[1], "Classes") &&
             is(target[2], link[3]);
    case LinkPlace::None:
      break;
  }
  return false;
}

namespace {

// The accesses a key of the path is opened with, each tried in turn on access denied: the keys on
// the way to be looked at (and, when making, to make keys in), the last as asked.
struct Accesses {
  std::uint32_t first = 0;
  std::uint32_t fallback = 0;
};
Accesses AccessesOf(bool make, bool last, std::uint32_t lastAccess, std::uint32_t fallbackAccess) {
  if (last) {
    return {lastAccess, fallbackAccess};
  }
  return {make ? kKeyQueryValue | kKeyCreateSubKey : kKeyQueryValue, 0};
}

// Opens (or makes) one key of the path, as itself; the last with the first access the user has.
Status OpenStep(Host& host, RegKey from, const std::u16string& name, bool make,
                const Accesses& accesses, unique_hkey& key, KeyPathWalk& walk, bool& made) {
  made = false;
  Status status = kErrorAccessDenied;
  for (const std::uint32_t access : {accesses.first, accesses.fallback}) {
    if (access == 0) {
      break;
    }
    walk.access = access;
    status = make ? host.RegCreateKeyNoFollowW(from, name, access, Host::KeyAccess::Inherited,
                                               key.put(), &made)
                  : host.RegOpenKeyNoFollowW(from, name, access, key.put());
    if (status != kErrorAccessDenied) {
      break;
    }
  }
  return status;
}

}  // namespace

KeyPathWalk WalkKeyPath(Host& host, RegKey start, const std::vector<std::u16string>& components,
                        bool make, std::uint32_t lastAccess, std::uint32_t fallbackAccess,
                        unique_hkey& key) {
  KeyPathWalk walk;
  unique_hkey parent(host);
  for (std::size_t i = 0; i < components.size(); ++i) {
    const bool last = i + 1 == components.size();
    const RegKey from = i == 0 ? start : parent.get();
    const std::u16string& name = components[i];
    if (start == kLocalMachine && i == 1 && !last &&
        EqualAsciiFolded(Utf8FromUtf16(name), "WOW6432Node")) {
      const std::optional<std::string> reached = RegistryNameOf(host, parent.get());
      if (reached && EqualAsciiFolded(*reached, "SOFTWARE\\WOW6432Node")) {
        continue;
      }
    }
    unique_hkey step(host);
    bool made = false;
    const Accesses accesses = AccessesOf(make, last, lastAccess, fallbackAccess);
    Status status = OpenStep(host, from, name, make, accesses, step, walk, made);
    walk.made = walk.made || made;
    if (status == kErrorSuccess && !made && ResolvesAsLink(host, from, name, step.get())) {
      // Followed, where the platform keeps links of its own, to the key it stands for, which is
      // used only when the link leads where the platform puts it.
      const std::optional<std::string> linkPath = RegistryNameOf(host, step.get());
      if (!linkPath || !IsPlatformLinkPlace(*linkPath)) {
        walk.outcome = KeyPathWalk::Outcome::Link;
        walk.at = i;
        return walk;
      }
      unique_hkey followed(host);
      status = kErrorAccessDenied;
      for (const std::uint32_t access : {accesses.first, accesses.fallback}) {
        if (access == 0) {
          break;
        }
        walk.access = access;
        status = host.RegOpenKeyW(from, name, access, followed.put());
        if (status != kErrorAccessDenied) {
          break;
        }
      }
      if (status == kErrorSuccess) {
        const std::optional<std::string> targetPath = RegistryNameOf(host, followed.get());
        if (!targetPath || !IsPlatformLink(*linkPath, *targetPath)) {
          walk.outcome = KeyPathWalk::Outcome::Link;
          walk.at = i;
          return walk;
        }
      }
      // A link that cannot be followed leads to no key, or to one that cannot be opened: as for
      // any key of the path.
      step = std::move(followed);
      walk.linkFollowed = true;
    }
    if (!make && NamesNoKey(status)) {
      walk.outcome = KeyPathWalk::Outcome::Absent;
      return walk;
    }
    if (status != kErrorSuccess) {
      walk.outcome = KeyPathWalk::Outcome::Unopenable;
      walk.at = i;
      walk.error = status;
      return walk;
    }
    parent = std::move(step);
  }
  if (components.empty()) {
    walk.outcome = KeyPathWalk::Outcome::Unopenable;
    walk.error = kErrorInvalidParameter;
    return walk;
  }
  key = std::move(parent);
  walk.outcome = KeyPathWalk::Outcome::Opened;
  return walk;
}

}  // namespace vorsk
