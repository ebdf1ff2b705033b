#include "cleanup/key_trees.h"

#include <algorithm>
#include <vector>

#include "cleanup/stages.h"
#include "host/handles.h"
#include "removal/script.h"

namespace vorsk {

void RemoveKeyTrees(Host& host, const std::string& scriptPath, const std::string& devNo) {
  const std::string section = DeviceSectionName(devNo, kKeySuffix);
  const std::int32_t count =
      std::min(ReadScriptCount(host, scriptPath, section, "Num", kDefaultTreeCount), kMaxTreeCount);
  for (std::int32_t i = 1; i <= count; ++i) {
    std::string path = ListedTreePath(
        ReadScriptText(host, scriptPath, section, NumberedEntryName(i), kScriptTextSize));
    if (!path.empty()) {
      DeleteKeyTree(host, path);
    }
  }
}

void DeleteKeyTree(Host& host, std::string& path) {
  std::vector<std::string> names;
  {
    unique_hkey key(host);
    if (host.RegOpenKeyExA(kLocalMachine, path, kKeyRead, key.put()) != kErrorSuccess) {
      return;
    }
    std::uint32_t subKeyCount = 0;
    if (host.RegQueryInfoKeyA(key.get(), subKeyCount) != kErrorSuccess) {
      return;
    }
    // Every name of the level is collected before the first deletion, so that the deletions
    // never disturb the enumeration. A name that cannot be read keeps the whole level.
    for (std::uint32_t index = 0; index < subKeyCount; ++index) {
      std::string name;
      if (host.RegEnumKeyExA(key.get(), index, name, kSubkeyNameSize) != kErrorSuccess) {
        return;
      }
      names.push_back(std::move(name));
    }
  }
  const std::size_t levelLength = path.size();
  for (const std::string& name : names) {
    path.resize(levelLength);
    path += '\\';
    path += name;
    DeleteKeyTree(host, path);
  }
  path.resize(levelLength);
  // A key whose subkeys could not all be deleted fails here too; that is not reported.
  host.RegDeleteKeyA(kLocalMachine, path);
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
