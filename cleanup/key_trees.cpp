#include "cleanup/key_trees.h"

#include <algorithm>
#include <vector>

#include "cleanup/platform_keys.h"
#include "cleanup/stages.h"
#include "host/handles.h"
#include "report/run_report.h"
#include "script/script_reader.h"
#include "text/text.h"

namespace vorsk {

namespace {

// Deletes every subkey of the open key `key`, depth first, siblings in enumeration order, each
// through a handle relative to its parent: the platform's calls refuse absolute paths of more
// than 260 characters, and a deep tree grows past that. Subkeys are named through the
// wide-character calls, so that a name outside the code page (a vendor's key in Chinese on a
// machine set to another language) is found and deleted like any other. Counts the keys it
// deletes in `deleted`. Returns false when the level cannot be listed, in which case nothing at or
// below it is deleted.
bool DeleteSubkeys(Host& host, RegKey key, std::uint32_t& deleted) {
  std::uint32_t subKeyCount = 0;
  if (host.RegQueryInfoKeyA(key, subKeyCount) != kErrorSuccess) {
    return false;
  }
  // Every name of the level is collected before the first deletion, so that the deletions
  // never disturb the enumeration. A name that cannot be read keeps the whole level.
  std::vector<std::u16string> names;
  for (std::uint32_t index = 0; index < subKeyCount; ++index) {
    std::u16string name;
    if (host.RegEnumKeyExW(key, index, name) != kErrorSuccess) {
      return false;
    }
    names.push_back(std::move(name));
  }
  for (const std::u16string& name : names) {
    // A symbolic link inside the tree is never followed: the key opened is the link itself,
    // which shows no subkeys, and what is deleted through its handle is the link, never what it
    // points to.
    unique_hkey subkey(host);
    bool deletable = true;
    Status status = host.RegOpenKeyNoFollowW(key, name, kKeyRead | kDelete, subkey.put());
    if (status == kErrorAccessDenied) {
      // A key that the user may not delete: what is below it may still go.
      deletable = false;
      status = host.RegOpenKeyNoFollowW(key, name, kKeyRead, subkey.put());
    }
    // A subkey that could not be opened or listed is kept; its parent then fails to delete too,
    // since it still has a subkey.
    if (status == kErrorSuccess && DeleteSubkeys(host, subkey.get(), deleted) && deletable &&
        host.RegDeleteKeyOfHandle(subkey.get()) == kErrorSuccess) {
      ++deleted;
    }
  }
  return true;
}

// The keys below the open key `key`, as the deletion would meet them (a link counts alone); a
// subkey that cannot be opened or counted counts alone.
std::uint32_t CountSubkeys(Host& host, RegKey key) {
  std::uint32_t subKeyCount = 0;
  if (host.RegQueryInfoKeyA(key, subKeyCount) != kErrorSuccess) {
    return 0;
  }
  std::uint32_t count = 0;
  for (std::uint32_t index = 0; index < subKeyCount; ++index) {
    std::u16string name;
    if (host.RegEnumKeyExW(key, index, name) != kErrorSuccess) {
      continue;
    }
    ++count;
    unique_hkey subkey(host);
    if (host.RegOpenKeyNoFollowW(key, name, kKeyRead, subkey.put()) == kErrorSuccess) {
      count += CountSubkeys(host, subkey.get());
    }
  }
  return count;
}

}  // namespace

std::string KeysText(std::uint32_t count) {
  return CountText(count, "key", "keys");
}

void RemoveKeyTrees(Host& host, RunReport& report, const std::string& scriptPath,
                    const std::string& devNo, ItemActions& act) {
  const std::string section = DeviceSectionName(devNo, kKeySuffix);
  const std::int32_t count =
      std::min(ReadScriptCount(host, scriptPath, section, "Num", kDefaultTreeCount), kMaxTreeCount);
  report.LogEntry(section, "Num", std::to_string(count));
  for (std::int32_t i = 1; i <= count; ++i) {
    const std::string entry = NumberedEntryName(i);
    const std::string listed = ReadScriptText(host, scriptPath, section, entry, kScriptTextSize);
    report.LogEntry(section, entry, listed);
    if (listed.empty()) {
      continue;
    }
    const std::string path = ListedTreePath(listed);
    if (const std::optional<std::string> refusal = TreeRefusal(path)) {
      // The rules never delete it, so it is not left either.
      act.Tell("tree " + path + ": refused, " + *refusal);
      continue;
    }
    unique_hkey root(host);
    std::optional<FoundTree> tree = OpenTreeRoot(host, path, root);
    if (!tree) {
      act.Tell("tree " + path + ": absent");
      continue;
    }
    act.Tree(*tree);
  }
}

std::optional<FoundTree> OpenTreeRoot(Host& host, const std::string& path, unique_hkey& root) {
  FoundTree tree;
  tree.path = path;
  Status status = host.RegOpenKeyExA(kLocalMachine, path, kKeyRead | kDelete, root.put());
  tree.deletable = status == kErrorSuccess;
  if (status == kErrorAccessDenied) {
    // A key that the user may not delete: what is below it may still go.
    status = host.RegOpenKeyExA(kLocalMachine, path, kKeyRead, root.put());
  }
  if (NamesNoKey(status)) {
    return std::nullopt;
  }
  tree.root = status == kErrorSuccess ? root.get() : kNullKey;
  tree.openError = status;
  return tree;
}

TreeOutcome DeleteTree(Host& host, const FoundTree& tree) {
  TreeOutcome outcome;
  outcome.error = tree.openError;
  // The listed key goes through its own handle, as its subkeys do: what was opened, and checked,
  // is what goes.
  if (tree.root != kNullKey && DeleteSubkeys(host, tree.root, outcome.keysDeleted) &&
      tree.deletable && host.RegDeleteKeyOfHandle(tree.root) == kErrorSuccess) {
    ++outcome.keysDeleted;
    outcome.kind = TreeOutcome::Kind::Deleted;
    return outcome;
  }
  // Whatever kept the listed key (a subkey that could not go, a refused deletion, a key that
  // cannot even be opened), it is there still.
  outcome.kind = TreeOutcome::Kind::Left;
  return outcome;
}

std::uint32_t CountTree(Host& host, const FoundTree& tree) {
  return tree.root != kNullKey ? 1 + CountSubkeys(host, tree.root) : 1;
}

TreeOutcome DeleteKeyTree(Host& host, const std::string& path) {
  unique_hkey root(host);
  const std::optional<FoundTree> tree = OpenTreeRoot(host, path, root);
  return tree ? DeleteTree(host, *tree) : TreeOutcome{};
}

std::optional<std::uint32_t> CountKeyTree(Host& host, const std::string& path) {
  unique_hkey root(host);
  const std::optional<FoundTree> tree = OpenTreeRoot(host, path, root);
  if (!tree) {
    return std::nullopt;
  }
  return CountTree(host, *tree);
}

std::string ListedTreePath(std::string_view listed) {
  std::string path;
  for (const char c : listed) {
    if (c != '\\' || path.empty() || path.back() != '\\') {
      path += c;
    }
  }
  while (path.size() > 1 && path.back() == '\\') {
    path.pop_back();
  }
  return path;
}

std::optional<std::string> TreeRefusal(std::string_view path) {
  int components = 0;
  bool inComponent = false;
  for (const char c : path) {
    if (c == '\\') {
      inComponent = false;
    } else if (!inComponent) {
      inComponent = true;
      ++components;
    }
  }
  if (components < 2) {
    return "a top-level key";
  }
  if (IsOrHoldsPlatformKey(path)) {
    return "a key of the platform's own, or one that holds one";
  }
  return std::nullopt;
}

}  // namespace vorsk
