// Registry tree removal: each key that the script lists below HKEY_LOCAL_MACHINE is deleted with
// everything below it, depth first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/host.h"

namespace vorsk {

// A count the script does not give lists five trees.
inline constexpr std::int32_t kDefaultTreeCount = 5;
// The most trees a script may list. A larger count (a corrupt or mistyped Num, up to two
// thousand million) would make the stage read entries for hours; it lists this many.
inline constexpr std::int32_t kMaxTreeCount = 1000;

// What became of a listed tree.
struct TreeOutcome {
  enum class Kind { Absent, Deleted, Left };
  Kind kind = Kind::Absent;
  std::uint32_t keysDeleted = 0;
  Status error = kErrorSuccess;  // why the listed key could not be opened, when it could not
};

// Deletes the key `path` below HKEY_LOCAL_MACHINE with all its subkeys, depth first, siblings
// in enumeration order, and returns what became of it. A key that does not exist is left alone:
// nothing is created.
TreeOutcome DeleteKeyTree(Host& host, const std::string& path);

// The number of keys at and below the key `path` below HKEY_LOCAL_MACHINE; nothing when there is
// no such key.
std::optional<std::uint32_t> CountKeyTree(Host& host, const std::string& path);

// A listed path as the registry resolves it: repeated separators collapsed into one, none at its
// end.
std::string ListedTreePath(std::string_view listed);

// Why the rules never delete the tree at `path` (as ListedTreePath returns it): a top-level key
// of HKEY_LOCAL_MACHINE (fewer than two components), whose deletion would take a whole branch of
// the machine, or a key of the platform's own or one that holds one. Nothing when they may.
std::optional<std::string> TreeRefusal(std::string_view path);

}  // namespace vorsk
