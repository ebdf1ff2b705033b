// Registry tree removal: each key that the script lists below HKEY_LOCAL_MACHINE is deleted with
// everything below it, depth first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cleanup/actions.h"
#include "host/handles.h"
#include "host/host.h"

namespace vorsk {

// A count the script does not give lists five trees.
inline constexpr std::int32_t kDefaultTreeCount = 5;
// The most trees a script may list. A larger count (a corrupt or mistyped Num, up to two
// thousand million) would make the stage read entries for hours; it lists this many.
inline constexpr std::int32_t kMaxTreeCount = 1000;

// What became of a listed tree.
struct TreeOutcome {
  enum class Kind { Absent, Refused, Deleted, Left };
  Kind kind = Kind::Absent;
  std::uint32_t keysDeleted = 0;
  Status error = kErrorSuccess;  // why the listed key could not be opened, when it could not
};

// What a listed path comes to: the tree that is there, a path the rules refuse (and why), or
// neither when no key is there.
struct TreeRoot {
  std::optional<FoundTree> tree;
  std::optional<std::string> refusal;
};

// Opens the root of the listed tree at `path` (as ListedTreePath returns it) below
// HKEY_LOCAL_MACHINE into `root`: for reading and deletion, or for reading alone when the user
// may not delete it. The path is opened one key at a time, never following a link but the
// platform's own at fixed places (SYSTEM\CurrentControlSet, the keys directly below
// SOFTWARE\WOW6432Node that the 32-bit view shares); any other link on it refuses it, as does
// TreeRefusal for its text or, once a link was followed, for the registry's own name of the key
// reached. Nothing is created.
TreeRoot OpenTreeRoot(Host& host, const std::string& path, unique_hkey& root);

// Deletes the found tree through its root's handle with all its subkeys, depth first, siblings in
// enumeration order, and returns what became of it.
TreeOutcome DeleteTree(Host& host, const FoundTree& tree);

// The number of keys at and below the found tree's root, as the deletion would meet them.
std::uint32_t CountTree(Host& host, const FoundTree& tree);

// The same for the key at `path`, opened as a listed tree is: absent when there is none.
TreeOutcome DeleteKeyTree(Host& host, const std::string& path);
std::optional<std::uint32_t> CountKeyTree(Host& host, const std::string& path);

// "1 key", "2 keys".
std::string KeysText(std::uint32_t count);

// A listed path as the registry resolves it: repeated separators collapsed into one, none at its
// end; per character of the ANSI code page (`isLead` tells a double-byte character's first byte,
// whose second may look like a separator).
std::string ListedTreePath(std::string_view listed,
                           const std::function<bool(std::uint8_t)>& isLead);

// Why the rules never delete the tree at `path` (as ListedTreePath returns it): a top-level key
// of HKEY_LOCAL_MACHINE (fewer than two components), whose deletion would take a whole branch of
// the machine, or a key of the platform's own or one that holds one. Nothing when they may.
std::optional<std::string> TreeRefusal(std::string_view path,
                                       const std::function<bool(std::uint8_t)>& isLead);

}  // namespace vorsk
