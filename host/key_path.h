// How a registry path below HKEY_LOCAL_MACHINE is opened, or made, one key at a time: which keys
// are symbolic links, and which of them the platform keeps at fixed places. A key is a link when
// the platform resolves it as one, not when it merely holds a value of the name a link keeps its
// target in (anyone who may write a key may add such a value to it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/handles.h"
#include "host/host.h"

namespace vorsk {

// Whether the key `name` of the open key `parent`, open as `key` without following it, is a link:
// what it names followed is another key than what it names opened as itself (or nothing at all).
// A key whose registry name cannot be read, either way, counts as a link: what it leads to cannot
// be told.
bool ResolvesAsLink(Host& host, RegKey parent, const std::u16string& name, RegKey key);

// Whether a value of that name and type is the one a link key keeps its target in
// (SymbolicLinkValue, any letter case, REG_LINK): a key without one resolves as itself.
bool IsLinkValue(const std::u16string& name, std::uint32_t type);

// The registry's own name for the key open at `key`, below HKEY_LOCAL_MACHINE, in UTF-8 (the key
// that a followed link reached; a 32-bit program's SOFTWARE on 64-bit Windows as
// SOFTWARE\WOW6432Node); nothing when it cannot be had.
std::optional<std::string> RegistryNameOf(Host& host, RegKey key);

// Whether the link key at `linkPath`, which leads to `targetPath` (both the registry's own names),
// is one the platform keeps at a fixed place, to where the platform puts it:
// SYSTEM\CurrentControlSet to a control set (SYSTEM\ControlSetNNN); a key directly below
// SOFTWARE\WOW6432Node to where the platform shares or redirects it, the 64-bit view's key of the
// same name (SOFTWARE\WOW6432Node\Policies to SOFTWARE\Policies), or SOFTWARE\WOW6432Node\Classes
// to SOFTWARE\Classes\Wow6432Node; and the AppID, PROTOCOLS and TypeLib keys below that to their
// 64-bit names (SOFTWARE\Classes\Wow6432Node\AppID to SOFTWARE\Classes\AppID). Letter case
// aside. Any other link, there or anywhere, is no platform's.
bool IsPlatformLink(std::string_view linkPath, std::string_view targetPath);
// Whether `linkPath` is one of the places where the platform keeps links of its own.
bool IsPlatformLinkPlace(std::string_view linkPath);

// What opening a path key by key came to.
struct KeyPathWalk {
  enum class Outcome {
    Opened,      // the last key is open
    Absent,      // a key on the path is not there (only when not making them)
    Link,        // a link on the path that is not the platform's own: nothing beyond it is opened
    Unopenable,  // a key on the path, or the last, cannot be opened (or made)
  };
  Outcome outcome = Outcome::Absent;
  std::size_t at = 0;            // the component where it stopped, for Link and Unopenable
  Status error = kErrorSuccess;  // the platform's reason, for Unopenable
  std::uint32_t access = 0;      // what the last key was opened with
  bool linkFollowed = false;     // one of the platform's own links was followed
  bool made = false;             // a key was made (only when making them)
};

// Opens `components` below the open key `start` (HKEY_LOCAL_MACHINE, or a key opened so) one key
// at a time into `key`, each relative to the
// one before (so nothing on the path can be swapped once it has been looked at) and without
// following a link, but the platform's own at fixed places; with `make`, each missing key is made
// on the way, never through a link. The keys on the way are opened to be looked at (and, with
// `make`, to make keys in); the last with `lastAccess`, or, when the user is denied that, with
// `fallbackAccess` (0: none). A 32-bit program's SOFTWARE on 64-bit Windows already is
// SOFTWARE\WOW6432Node: that name, second on a path from HKEY_LOCAL_MACHINE, names the key
// itself and is passed over.
KeyPathWalk WalkKeyPath(Host& host, RegKey start, const std::vector<std::u16string>& components,
                        bool make, std::uint32_t lastAccess, std::uint32_t fallbackAccess,
                        unique_hkey& key);

}  // namespace vorsk
