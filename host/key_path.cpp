#include "host/key_path.h"

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

bool IsPlatformLink(std::string_view linkPath) {
  if (EqualAsciiFolded(linkPath, "SYSTEM\\CurrentControlSet")) {
    return true;
  }
  constexpr std::string_view kShared = "SOFTWARE\\WOW6432Node\\";
  return linkPath.size() > kShared.size() && StartsWithAsciiFolded(linkPath, kShared) &&
         linkPath.find('\\', kShared.size()) == std::string_view::npos;
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
      const std::optional<std::string> linkPath = RegistryNameOf(host, step.get());
      if (!linkPath || !IsPlatformLink(*linkPath)) {
        walk.outcome = KeyPathWalk::Outcome::Link;
        walk.at = i;
        return walk;
      }
      // One of the platform's own links: followed to the key it stands for.
      status = kErrorAccessDenied;
      for (const std::uint32_t access : {accesses.first, accesses.fallback}) {
        if (access == 0) {
          break;
        }
        walk.access = access;
        status = host.RegOpenKeyW(from, name, access, step.put());
        if (status != kErrorAccessDenied) {
          break;
        }
      }
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
