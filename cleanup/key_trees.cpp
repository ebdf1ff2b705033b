#include "cleanup/key_trees.h"

#include <algorithm>
#include <vector>

#include "cleanup/platform_keys.h"
#include "cleanup/stages.h"
#include "host/handles.h"
#include "host/key_path.h"
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
    if (host.EnumSubkeyNameW(key, index, name) != kErrorSuccess) {
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
    if (host.EnumSubkeyNameW(key, index, name) != kErrorSuccess) {
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
    const std::string path =
        ListedTreePath(listed, [&host](std::uint8_t byte) { return host.IsDBCSLeadByte(byte); });
    unique_hkey root(host);
    const TreeRoot found = OpenTreeRoot(host, path, root);
    if (found.refusal) {
      // The rules never delete it, so it is not left either.
      act.Tell("tree " + path + ": refused, " + *found.refusal);
    } else if (!found.tree) {
      act.Tell("tree " + path + ": absent");
    } else {
      act.Tree(*found.tree);
    }
  }
}

namespace {

// The first `count` components, as the path spells them.
std::string PathOfComponents(const std::vector<std::string>& components, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i) {
    path += (i == 0 ? "" : "\\") + components[i];
  }
  return path;
}

// The value `name` of the open key as a 32-bit number, when it is a REG_DWORD.
std::optional<std::uint32_t> DwordValue(Host& host, RegKey key, const std::u16string& name,
                                        Status& status) {
  std::uint32_t type = 0;
  std::string data;
  status = host.RegQueryValueW(key, name, type, data);
  if (status != kErrorSuccess || type != kRegDword || data.size() != 4) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(data[0])) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(data[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(data[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(data[3])) << 24;
}

// The service's start types that the platform starts before anything else: its loader's (boot)
// and the kernel's own (system). Deleting such a service's key can leave the machine unable to
// start.
constexpr std::uint32_t kSystemStart = 1;

// Why the service whose key the path's first four components name (SYSTEM\<set>\Services\<name>)
// is the platform's, which no listed tree may be or lie in: it starts at boot or with the system,
// or its image (ImagePath expanded; for a driver without one, <name>.sys in the drivers folder of
// System32) is a file the platform's protection keeps. A service whose start cannot be read is
// taken for one: what it is cannot be told. Nothing for a vendor's own service.
std::optional<std::string> ServiceRefusal(Host& host, const std::vector<std::u16string>& path) {
  const std::vector<std::u16string> serviceKey(path.begin(), path.begin() + 4);
  unique_hkey service(host);
  const KeyPathWalk walk =
      WalkKeyPath(host, kLocalMachine, serviceKey, false, kKeyQueryValue, 0, service);
  if (walk.outcome != KeyPathWalk::Outcome::Opened) {
    return "a service whose start cannot be read (error " +
           ErrorText(walk.outcome == KeyPathWalk::Outcome::Unopenable ? walk.error
                                                                      : kErrorFileNotFound) +
           ")";
  }
  Status status = kErrorSuccess;
  const std::optional<std::uint32_t> start = DwordValue(host, service.get(), u"Start", status);
  if (start && *start <= kSystemStart) {
    return "a service that starts " + std::string(*start == 0 ? "at boot" : "with the system") +
           " (Start " + std::to_string(*start) + ")";
  }
  if (status != kErrorSuccess && status != kErrorFileNotFound) {
    return "a service whose start cannot be read (error " + ErrorText(status) + ")";
  }
  std::string windows;
  const std::uint32_t length = host.GetSystemWindowsDirectoryA(windows, kScriptTextSize);
  if (length == 0 || length >= kScriptTextSize) {
    return "a service whose image cannot be told (the Windows folder cannot be had)";
  }
  std::uint32_t type = 0;
  std::string data;
  status = host.RegQueryValueW(service.get(), u"ImagePath", type, data);
  std::u16string image;
  if (status == kErrorSuccess && (type == kRegSz || type == kRegExpandSz)) {
    image = Utf16FromLeBytes(data);
    image = host.ExpandEnvironmentText(image.substr(0, image.find(u'\0')));
  } else if (status == kErrorFileNotFound) {
    image = u"System32\\drivers\\" + path[3] + u".sys";
  } else {
    return "a service whose image cannot be read (error " + ErrorText(status) + ")";
  }
  for (const std::u16string& file : ImagePathFiles(image, host.AnsiToWide(windows))) {
    if (host.IsProtectedFile(file)) {
      return "a service whose image " + Utf8FromUtf16(file) + " the platform protects";
    }
  }
  return std::nullopt;
}

// The first key, at or below the open key `key` whose registry name is `name`, that the
// platform's resource protection keeps; nothing when it keeps none. A link inside is asked after
// as itself and never entered; a level that cannot be listed is passed over, as its deletion
// keeps it whole.
std::optional<std::u16string> ProtectedKeyIn(Host& host, RegKey key, const std::u16string& name) {
  if (host.IsProtectedKey(name)) {
    return name;
  }
  std::uint32_t subKeyCount = 0;
  if (host.RegQueryInfoKeyA(key, subKeyCount) != kErrorSuccess) {
    return std::nullopt;
  }
  for (std::uint32_t index = 0; index < subKeyCount; ++index) {
    std::u16string subName;
    if (host.EnumSubkeyNameW(key, index, subName) != kErrorSuccess) {
      continue;
    }
    unique_hkey subkey(host);
    const std::u16string subPath = name + u"\\" + subName;
    if (host.RegOpenKeyNoFollowW(key, subName, kKeyRead, subkey.put()) != kErrorSuccess) {
      if (host.IsProtectedKey(subPath)) {
        return subPath;
      }
      continue;
    }
    if (std::optional<std::u16string> found = ProtectedKeyIn(host, subkey.get(), subPath)) {
      return found;
    }
  }
  return std::nullopt;
}

// The components of a registry name, as RegQueryKeyPath gives it.
std::vector<std::u16string> NameComponents(const std::u16string& name) {
  std::vector<std::u16string> components;
  for (std::size_t begin = 0; begin <= name.size();) {
    const std::size_t end = std::min(name.find(u'\\', begin), name.size());
    if (end > begin) {
      components.push_back(name.substr(begin, end - begin));
    }
    begin = end + 1;
  }
  return components;
}

}  // namespace

TreeRoot OpenTreeRoot(Host& host, const std::string& path, unique_hkey& root) {
  const auto isLead = [&host](std::uint8_t byte) { return host.IsDBCSLeadByte(byte); };
  TreeRoot found;
  if (const std::optional<std::string> refusal = TreeRefusal(path, isLead)) {
    found.refusal = refusal;
    return found;
  }
  // The path is opened one key at a time from HKEY_LOCAL_MACHINE, each without following a
  // link, so that a link that anyone who may write a vendor's key can make (to the Run key, to a
  // service) is seen where it is, never taken for the listed tree. The keys on the way are opened
  // only to be looked at; the listed key for reading and deletion, or for reading alone when the
  // user may not delete it.
  const std::vector<std::string_view> parts = PathComponentsOf(path, isLead);
  const std::vector<std::string> components(parts.begin(), parts.end());
  if (components.front().empty()) {
    return found;  // the registry names no key by a path that begins with a separator
  }
  std::vector<std::u16string> names;
  for (const std::string& component : components) {
    names.push_back(host.AnsiToWide(component));
  }
  unique_hkey opened(host);
  const KeyPathWalk walk =
      WalkKeyPath(host, kLocalMachine, names, false, kKeyRead | kDelete, kKeyRead, opened);
  FoundTree tree;
  tree.path = path;
  switch (walk.outcome) {
    case KeyPathWalk::Outcome::Absent:
      return found;
    case KeyPathWalk::Outcome::Link:
      found.refusal =
          "a symbolic link on its path (" + PathOfComponents(components, walk.at + 1) + ")";
      return found;
    case KeyPathWalk::Outcome::Unopenable:
      // A key on the way, or the listed key, that cannot be opened at all: the tree is there, and
      // stays.
      tree.openError = walk.error;
      found.tree = tree;
      return found;
    case KeyPathWalk::Outcome::Opened:
      break;
  }
  // The key reached, as the registry names it: what a followed link led to is judged by that
  // name, as the script's text is.
  std::u16string reached;
  if (host.RegQueryKeyPath(opened.get(), reached) != kErrorSuccess) {
    found.refusal = "the key it leads to cannot be named";
    return found;
  }
  if (walk.linkFollowed) {
    if (const std::optional<std::string> refusal =
            TreeRefusal(ListedTreePath(Utf8FromUtf16(reached), isLead), isLead)) {
      found.refusal = "it leads to " + *refusal;
      return found;
    }
  }
  const std::vector<std::u16string> reachedComponents = NameComponents(reached);
  if (IsInServiceKey(reachedComponents)) {
    if (const std::optional<std::string> refusal = ServiceRefusal(host, reachedComponents)) {
      found.refusal = *refusal + ", or a key inside one";
      return found;
    }
  }
  if (host.CanTellProtectedKeys()) {
    // Refused whole, before anything of it goes, when the platform keeps any key of it.
    if (const std::optional<std::u16string> kept = ProtectedKeyIn(host, opened.get(), reached)) {
      found.refusal = "the platform's resource protection keeps " + Utf8FromUtf16(*kept);
      return found;
    }
  }
  root = std::move(opened);
  tree.root = root.get();
  tree.deletable = (walk.access & kDelete) != 0;
  found.tree = tree;
  return found;
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
  const TreeRoot found = OpenTreeRoot(host, path, root);
  if (found.refusal) {
    TreeOutcome outcome;
    outcome.kind = TreeOutcome::Kind::Refused;
    return outcome;
  }
  return found.tree ? DeleteTree(host, *found.tree) : TreeOutcome{};
}

std::optional<std::uint32_t> CountKeyTree(Host& host, const std::string& path) {
  unique_hkey root(host);
  const TreeRoot found = OpenTreeRoot(host, path, root);
  if (!found.tree) {
    return std::nullopt;
  }
  return CountTree(host, *found.tree);
}

std::string ListedTreePath(std::string_view listed,
                           const std::function<bool(std::uint8_t)>& isLead) {
  const std::vector<std::string_view> components = PathComponentsOf(listed, isLead);
  // A separator at its start stays: the registry names no key by such a path.
  std::string path = components.size() > 1 && components.front().empty() ? "\\" : "";
  bool first = true;
  for (const std::string_view component : components) {
    if (!component.empty()) {
      path += first ? "" : "\\";
      path += component;
      first = false;
    }
  }
  return path;
}

std::optional<std::string> TreeRefusal(std::string_view path,
                                       const std::function<bool(std::uint8_t)>& isLead) {
  int components = 0;
  for (const std::string_view component : PathComponentsOf(path, isLead)) {
    components += component.empty() ? 0 : 1;
  }
  if (components < 2) {
    return "a top-level key";
  }
  if (IsOrHoldsPlatformKey(path, isLead)) {
    return "a key of the platform's own, or one that holds one";
  }
  return std::nullopt;
}

}  // namespace vorsk
