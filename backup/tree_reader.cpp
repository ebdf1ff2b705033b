#include "backup/tree_reader.h"

#include <optional>

#include "backup/reg_file.h"
#include "host/handles.h"
#include "host/key_path.h"
#include "report/run_report.h"
#include "text/text.h"

namespace vorsk {

namespace {

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

std::string ErrorReason(const std::string& what, Status error) {
  return what + " (error " + ErrorText(error) + ")";
}

// Adds the key `key`, at `path`, and everything below it to `tree`. A subkey (`name` of the open
// key `parent`) that is a link is noted with its target and neither written nor followed; a key
// that merely holds a value of the name a link keeps its target in is an ordinary key, saved
// whole.
bool ReadKey(Host& host, RegKey key, const std::u16string& path, RegKey parent,
             const std::u16string& name, TreeText& tree) {
  std::vector<RegFileValue> values;
  for (std::uint32_t index = 0;; ++index) {
    RegFileValue value;
    const Status status = host.RegEnumValueW(key, index, value.name, value.type, value.data);
    if (status == kErrorNoMoreItems) {
      break;
    }
    if (status != kErrorSuccess) {
      tree.failure = ErrorReason("a value of " + Utf8FromUtf16(path) + " cannot be read", status);
      return false;
    }
    values.push_back(std::move(value));
  }
  for (const RegFileValue& value : values) {
    if (parent != kNullKey && IsLinkValue(value.name, value.type) &&
        ResolvesAsLink(host, parent, name, key)) {
      const std::u16string target = Utf16FromLeBytes(value.data);
      tree.notes.push_back("  link " + Utf8FromUtf16(path) + " -> " + Utf8FromUtf16(target) +
                           ": recorded here, not in registry.reg (a link is not restored)");
      return true;
    }
  }
  for (RegFileValue& value : values) {
    if (!CanWriteValueName(value.name)) {
      tree.failure = "a value name of " + Utf8FromUtf16(path) + " holds a line break or a zero";
      return false;
    }
    if (IsStringType(value.type) && !CanWriteValue(value)) {
      // The importer gives string data its terminating zero: the value comes back with one.
      if (value.data.size() % 2 != 0) {
        value.data += '\0';
      }
      value.data += std::string(2, '\0');
      tree.notes.push_back("  value " + Utf8FromUtf16(path) + " \"" + Utf8FromUtf16(value.name) +
                           "\": string data without its terminating zero, restored with one");
    }
  }
  const std::optional<std::u16string> block = RegFileKeyBlock(path, values);
  if (!block) {
    tree.failure = "the key " + Utf8FromUtf16(path) + " cannot be written in registry.reg";
    return false;
  }
  tree.blocks += *block;
  ++tree.keys;
  tree.values += static_cast<std::uint32_t>(values.size());

  std::uint32_t subKeyCount = 0;
  Status status = host.RegQueryInfoKeyA(key, subKeyCount);
  if (status != kErrorSuccess) {
    tree.failure =
        ErrorReason("the subkeys of " + Utf8FromUtf16(path) + " cannot be counted", status);
    return false;
  }
  std::vector<std::u16string> names;
  for (std::uint32_t index = 0; index < subKeyCount; ++index) {
    std::u16string name;
    status = host.EnumSubkeyNameW(key, index, name);
    if (status != kErrorSuccess) {
      tree.failure =
          ErrorReason("a subkey of " + Utf8FromUtf16(path) + " cannot be listed", status);
      return false;
    }
    names.push_back(std::move(name));
  }
  for (const std::u16string& subkeyName : names) {
    unique_hkey subkey(host);
    status = host.RegOpenKeyNoFollowW(key, subkeyName, kKeyRead, subkey.put());
    if (status != kErrorSuccess) {
      tree.failure =
          ErrorReason(Utf8FromUtf16(path + u"\\" + subkeyName) + " cannot be opened", status);
      return false;
    }
    if (!ReadKey(host, subkey.get(), path + u"\\" + subkeyName, key, subkeyName, tree)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ReadTree(Host& host, RegKey root, const std::u16string& path, TreeText& tree) {
  return ReadKey(host, root, path, kNullKey, std::u16string(), tree);
}

}  // namespace vorsk
