#include "cleanup/key_trees.h"

#include <algorithm>
#include <vector>

#include "cleanup/stages.h"
#include "host/handles.h"
#include "script/script_reader.h"

namespace vorsk {

namespace {

// Deletes every subkey of the open key `key`, depth first, siblings in enumeration order, each
// through a handle relative to its parent: the platform's text calls refuse absolute paths of
// more than 260 characters, and a deep tree grows past that. Returns false when the level cannot
// be listed, in which case nothing at or below it is deleted.
bool DeleteSubkeys(Host& host, RegKey key) {
  std::uint32_t subKeyCount = 0;
  if (host.RegQueryInfoKeyA(key, subKeyCount) != kErrorSuccess) {
    return false;
  }
  // Every name of the level is collected before the first deletion, so that the deletions
  // never disturb the enumeration. A name that cannot be read keeps the whole level.
  std::vector<std::string> names;
  for (std::uint32_t index = 0; index < subKeyCount; ++index) {
    std::string name;
    if (host.RegEnumKeyExA(key, index, name, kSubkeyNameSize) != kErrorSuccess) {
      return false;
    }
    names.push_back(std::move(name));
  }
  for (const std::string& name : names) {
    bool listed = false;
    {
      unique_hkey subkey(host);
      listed = host.RegOpenKeyExA(key, name, kKeyRead, subkey.put()) == kErrorSuccess &&
               DeleteSubkeys(host, subkey.get());
    }
    // A subkey that could not be opened or listed is kept; its parent then fails to delete too,
    // since it still has a subkey. Failed deletions are not reported.
    if (listed) {
      host.RegDeleteKeyA(key, name);
    }
  }
  return true;
}

}  // namespace

void RemoveKeyTrees(Host& host, RunReport&, const std::string& scriptPath,
                    const std::string& devNo) {
  const std::string section = DeviceSectionName(devNo, kKeySuffix);
  const std::int32_t count =
      std::min(ReadScriptCount(host, scriptPath, section, "Num", kDefaultTreeCount), kMaxTreeCount);
  for (std::int32_t i = 1; i <= count; ++i) {
    const std::string path = ListedTreePath(
        ReadScriptText(host, scriptPath, section, NumberedEntryName(i), kScriptTextSize));
    if (!path.empty()) {
      DeleteKeyTree(host, path);
    }
  }
}

void DeleteKeyTree(Host& host, const std::string& path) {
  bool listed = false;
  {
    unique_hkey key(host);
    listed = host.RegOpenKeyExA(kLocalMachine, path, kKeyRead, key.put()) == kErrorSuccess &&
             DeleteSubkeys(host, key.get());
  }
  if (listed) {
    host.RegDeleteKeyA(kLocalMachine, path);
  }
}

std::string ListedTreePath(std::string_view listed) {
  while (!listed.empty() && listed.back() == '\\') {
    listed.remove_suffix(1);
  }
  int components = 0;
  bool inComponent = false;
  for (const char c : listed) {
    if (c == '\\') {
      inComponent = false;
    } else if (!inComponent) {
      inComponent = true;
      ++components;
    }
  }
  return components >= 2 ? std::string(listed) : std::string();
}

}  // namespace vorsk
