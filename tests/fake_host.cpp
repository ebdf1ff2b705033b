#include "tests/fake_host.h"

#include "cleanup/driver_files.h"
#include "companion/removal_by_id.h"
#include "text/text.h"
#include "tools/machine/description.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>

namespace vorsk::test {

namespace {

char Fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && blank(text[begin])) {
    ++begin;
  }
  while (end > begin && blank(text[end - 1])) {
    --end;
  }
  return text.substr(begin, end - begin);
}

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) {
      return false;
    }
  }
  return true;
}

// The line that begins at `position` (ended by CR, LF or CR LF, or by the end of the text), with
// `position` moved past its end; false once the text is used up.
bool NextLine(std::string_view text, std::size_t& position, std::string_view& line) {
  if (position > text.size()) {
    return false;
  }
  const std::size_t end = text.find_first_of("\r\n", position);
  if (end == std::string_view::npos) {
    line = text.substr(position);
    position = text.size() + 1;
    return true;
  }
  line = text.substr(position, end - position);
  position = end + 1;
  if (text[end] == '\r' && position < text.size() && text[position] == '\n') {
    ++position;
  }
  return true;
}

// The value of section/entry in an initialisation file's text, as the platform's profile reader
// finds it: names in any letter case, blanks trimmed, one pair of surrounding quotes stripped.
std::optional<std::string> ProfileValue(const std::string& text, const std::string& section,
                                        const std::string& entry) {
  bool inSection = false;
  bool sectionSeen = false;
  std::size_t position = 0;
  std::string_view raw;
  while (NextLine(text, position, raw)) {
    const std::string_view line = Trim(raw);
    if (!line.empty() && line[0] == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name = Trim(
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      if (sectionSeen && inSection) {
        return std::nullopt;  // the first section of that name is the one read
      }
      inSection = SameNoCase(name, section);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection || line.empty() || line[0] == ';') {
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || !SameNoCase(Trim(line.substr(0, equals)), entry)) {
      continue;
    }
    std::string value(Trim(line.substr(equals + 1)));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return std::nullopt;
}

// The integer that the platform's profile reader makes of a text: optional blanks and sign, then
// digits in decimal (or hexadecimal after 0x), up to the first other character.
std::int32_t ProfileInteger(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  unsigned base = 10;
  if (i + 1 < text.size() && text[i] == '0' && Fold(text[i + 1]) == 'x') {
    base = 16;
    i += 2;
  }
  std::uint32_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = Fold(text[i]);
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      break;
    }
    value = value * base + digit;  // wraps as the platform's 32-bit reader does
  }
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path) {
    if (c == '\\') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

void SnapshotKey(const FakeHost::Key& key, const std::string& path,
                 std::vector<std::string>& lines) {
  if (key.linkTarget) {
    lines.push_back(path + " -> " + *key.linkTarget);
  }
  for (const auto& [name, value] : key.values) {
    lines.push_back(path + " : " + name + " = " + std::to_string(value.type) + ":" +
                    Hex(value.data));
  }
  for (const auto& [name, subkey] : key.subkeys) {
    const std::string subPath = path.empty() ? name : path + "\\" + name;
    lines.push_back(subPath);
    SnapshotKey(*subkey, subPath, lines);
  }
}

}  // namespace

void FakeHost::Note(std::string line) {
  if (keepJournal) {
    journal.push_back(std::move(line));
  }
}

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char x = Fold(a[i]);
    const char y = Fold(b[i]);
    if (x != y) {
      return x < y;
    }
  }
  return a.size() < b.size();
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return SameNoCase(a, b);
}

FakeHost::FakeHost() = default;

FakeHost::~FakeHost() {
  for (const auto& [memory, size] : allocations_) {
    delete[] static_cast<unsigned char*>(memory);
  }
}

void FakeHost::AddFile(const std::string& path, const std::string& content,
                       std::uint32_t attributes) {
  File file;
  file.content = content;
  file.attributes = attributes;
  files[path] = file;
}

void FakeHost::AddLink(const std::string& path, const std::string& target) {
  AddKey(path).linkTarget = target;
}

FakeHost::Key& FakeHost::AddKey(const std::string& path) {
  Key* key = &registry;
  for (const std::string& part : SplitKeyPath(path)) {
    if (part.empty()) {
      continue;
    }
    auto& slot = key->subkeys[part];
    if (!slot) {
      slot = std::make_unique<Key>();
      key->cursorValid = false;
    }
    key = slot.get();
  }
  return *key;
}

void FakeHost::SetValue(const std::string& keyPath, const std::string& name,
                        const std::string& data, std::uint32_t type) {
  AddKey(keyPath).values[name] = Value{type, data, std::nullopt};
}

void FakeHost::SetString(const std::string& keyPath, const std::string& name,
                         const std::string& text) {
  SetValue(keyPath, name, text + std::string(1, '\0'), kRegSz);
}

FakeHost::Device& FakeHost::AddDevice(const std::string& instanceId,
                                      const std::vector<std::string>& hardwareIds, bool present) {
  Device device;
  device.instanceId = instanceId;
  device.present = present;
  if (!hardwareIds.empty()) {
    device.hardwareIds = machine::HardwareIdList(hardwareIds);
  }
  devices.push_back(device);
  return devices.back();
}

bool FakeHost::FileExists(const std::string& path) const {
  return files.count(path) != 0;
}

FakeHost::Key* FakeHost::FindKey(const std::string& path) {
  Key* key = &registry;
  std::string part;
  for (std::size_t begin = 0; begin <= path.size();) {
    std::size_t end = path.find('\\', begin);
    if (end == std::string::npos) {
      end = path.size();
    }
    if (end > begin) {
      part.assign(path, begin, end - begin);
      const auto it = key->subkeys.find(part);
      if (it == key->subkeys.end()) {
        return nullptr;
      }
      key = it->second.get();
    }
    begin = end + 1;
  }
  return key;
}

std::vector<std::string> FakeHost::RegistrySnapshot() const {
  std::vector<std::string> lines;
  SnapshotKey(registry, std::string(), lines);
  return lines;
}

std::vector<std::string> FakeHost::JournalOf(const std::string& kind) const {
  std::vector<std::string> entries;
  const std::string prefix = kind + " ";
  for (const std::string& line : journal) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      entries.push_back(line.substr(prefix.size()));
    }
  }
  return entries;
}

std::size_t FakeHost::OpenHandleCount() const {
  return openKeys_.size() + openFiles_.size() + openFolders_.size() + openSets_.size() +
         allocations_.size() + (lockHeld_ ? 1 : 0) + sessions_.size();
}

std::string FakeHost::GetPrivateProfileStringA(const std::string& section, const std::string& entry,
                                               const std::string& defaultText, std::uint32_t size,
                                               const std::string& path) {
  Note("profile " + section + "/" + entry);
  std::string value = defaultText;
  const auto file = files.find(path);
  if (file != files.end()) {
    if (const auto found = ProfileValue(file->second.content, section, entry)) {
      value = *found;
    }
  }
  if (size == 0) {
    return std::string();
  }
  if (value.size() > size - 1) {
    value.resize(size - 1);
  }
  return value;
}

std::int32_t FakeHost::GetPrivateProfileIntA(const std::string& section, const std::string& entry,
                                             std::int32_t defaultValue, const std::string& path) {
  Note("profile " + section + "/" + entry);
  const auto file = files.find(path);
  if (file == files.end()) {
    return defaultValue;
  }
  const auto found = ProfileValue(file->second.content, section, entry);
  if (!found || found->empty()) {
    return defaultValue;
  }
  return ProfileInteger(*found);
}

std::uint32_t FakeHost::GetSystemWindowsDirectoryA(std::string& directory, std::uint32_t size) {
  if (windowsDirectoryFails) {
    lastError_ = kErrorAccessDenied;
    return 0;
  }
  if (windowsDirectory.size() >= size) {
    return static_cast<std::uint32_t>(windowsDirectory.size() + 1);
  }
  directory = windowsDirectory;
  return static_cast<std::uint32_t>(windowsDirectory.size());
}

FileHandle FakeHost::CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                                 std::uint32_t shareMode, std::uint32_t creationDisposition,
                                 std::uint32_t) {
  const auto file = files.find(path);
  if (file == files.end() || creationDisposition != kOpenExisting) {
    lastError_ = kErrorFileNotFound;
    return kInvalidFile;
  }
  // Another process's handle lets this open through only when this one shares what that one
  // does.
  if ((file->second.heldOpenForWriting && (shareMode & kFileShareWrite) == 0) ||
      (file->second.heldOpenForReading && (shareMode & kFileShareRead) == 0)) {
    lastError_ = kErrorSharingViolation;
    return kInvalidFile;
  }
  if (desiredAccess != kGenericRead) {
    faults.push_back("file opened for more than reading: " + path);
  }
  const FileHandle handle{nextHandle_++};
  openFiles_[handle] = path;
  Note("open " + path);
  return handle;
}

bool FakeHost::CloseHandle(FileHandle file) {
  const auto it = openFiles_.find(file);
  if (it == openFiles_.end()) {
    faults.push_back("CloseHandle on a handle that is not open");
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  Note("close " + it->second);
  openFiles_.erase(it);
  return true;
}

bool FakeHost::SetFileAttributesA(const std::string& path, std::uint32_t attributes) {
  const auto file = files.find(path);
  if (file == files.end()) {
    lastError_ = kErrorFileNotFound;
    return false;
  }
  file->second.attributes = attributes;
  return true;
}

std::uint32_t FakeHost::GetFileAttributesA(const std::string& path) {
  if (deniedPaths.count(path) != 0) {
    lastError_ = kErrorAccessDenied;
    return kInvalidFileAttributes;
  }
  if (directories.count(path) != 0) {
    return kFileAttributeDirectory |
           (reparsePoints.count(path) != 0 ? kFileAttributeReparsePoint : 0);
  }
  const auto file = files.find(path);
  if (file == files.end()) {
    lastError_ = kErrorFileNotFound;
    return kInvalidFileAttributes;
  }
  return file->second.attributes;
}

bool FakeHost::DeleteFileA(const std::string& path) {
  Note("delete-file " + path);
  const auto file = files.find(path);
  if (file == files.end()) {
    lastError_ = kErrorFileNotFound;
    return false;
  }
  if ((file->second.attributes & kFileAttributeReadOnly) != 0 || file->second.deleteDenied) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  for (const auto& [handle, openPath] : openFiles_) {
    if (EqualNoCase(openPath, path)) {
      lastError_ = kErrorSharingViolation;
      return false;
    }
  }
  files.erase(file);
  Note("deleted-file " + path);
  return true;
}

bool FakeHost::ParentExists(const std::string& path) const {
  const std::size_t slash = path.rfind('\\');
  if (slash == std::string::npos) {
    return false;
  }
  const std::string parent = path.substr(0, slash);
  return (parent.size() == 2 && parent[1] == ':') || directories.count(parent) != 0;
}

Status FakeHost::CreateNewDirectory(const std::u16string& widePath, FolderAccess access) {
  const std::string path = FileName(widePath);
  Note("create-folder " + path);
  if (failingWrites.count(path) != 0) {
    return kErrorAccessDenied;
  }
  if (directories.count(path) != 0 || files.count(path) != 0) {
    return kErrorAlreadyExists;
  }
  if (!ParentExists(path)) {
    return kErrorPathNotFound;
  }
  directories.insert(path);
  folderAccess[path] = access;
  return kErrorSuccess;
}

Status FakeHost::CopyToNewFile(const std::u16string& wideFrom, const std::u16string& wideTo) {
  const std::string from = FileName(wideFrom);
  const std::string to = FileName(wideTo);
  Note("copy-file " + from + " to " + to);
  const auto source = files.find(from);
  if (source == files.end()) {
    return kErrorFileNotFound;
  }
  if (failingWrites.count(to) != 0) {
    return kErrorAccessDenied;
  }
  if (files.count(to) != 0 || directories.count(to) != 0) {
    return kErrorFileExists;
  }
  if (!ParentExists(to)) {
    return kErrorPathNotFound;
  }
  File copy;
  copy.content = source->second.content;
  copy.attributes = source->second.attributes;
  files[to] = copy;
  return kErrorSuccess;
}

Status FakeHost::WriteFileBytes(const std::u16string& widePath, const std::string& bytes,
                                bool append) {
  const std::string path = FileName(widePath);
  Note("write-file " + path);
  if (failingWrites.count(path) != 0) {
    return kErrorAccessDenied;
  }
  const auto file = files.find(path);
  if (append) {
    if (file == files.end()) {
      return kErrorFileNotFound;
    }
    file->second.content += bytes;
    return kErrorSuccess;
  }
  if (file != files.end() || directories.count(path) != 0) {
    return kErrorFileExists;
  }
  if (!ParentExists(path)) {
    return kErrorPathNotFound;
  }
  files[path].content = bytes;
  return kErrorSuccess;
}

std::optional<std::string> FakeHost::ResolvePath(RegKey parent, const std::string& subKey,
                                                 Status& status) const {
  std::string base;
  if (parent != kLocalMachine) {
    const auto it = openKeys_.find(parent);
    if (it == openKeys_.end()) {
      status = kErrorInvalidHandle;
      return std::nullopt;
    }
    base = it->second;
  }
  // The platform's text calls convert a path through a buffer of 261 wide characters.
  if (subKey.size() > kMaxAnsiKeyPath) {
    status = kErrorMoreData;
    return std::nullopt;
  }
  if (subKey.empty()) {
    return base;
  }
  // The registry refuses a path that begins with a separator, collapses repeated ones and drops
  // those at the end (as measured under Wine); every name must have at most 255 characters.
  if (subKey[0] == '\\') {
    status = kErrorBadPathname;
    return std::nullopt;
  }
  std::string relative;
  for (std::size_t begin = 0; begin < subKey.size();) {
    std::size_t end = subKey.find('\\', begin);
    if (end == std::string::npos) {
      end = subKey.size();
    }
    if (end - begin > 255) {
      status = kErrorInvalidParameter;
      return std::nullopt;
    }
    if (end > begin) {
      relative += (relative.empty() ? "" : "\\") + subKey.substr(begin, end - begin);
    }
    begin = end + 1;
  }
  return base.empty() ? relative : base + "\\" + relative;
}

std::optional<std::string> FakeHost::FollowLinks(const std::string& path, bool followLast) const {
  std::vector<std::string> rest = SplitKeyPath(path);
  std::string resolved;
  const Key* key = &registry;
  for (int hops = 0; !rest.empty();) {
    const std::string part = rest.front();
    rest.erase(rest.begin());
    if (part.empty()) {
      continue;
    }
    const auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) {
      return std::nullopt;
    }
    if (it->second->linkTarget && (followLast || !rest.empty())) {
      if (++hops > 16) {
        return std::nullopt;
      }
      // The link stands for its target: resolution starts again there.
      std::vector<std::string> target = SplitKeyPath(*it->second->linkTarget);
      target.insert(target.end(), rest.begin(), rest.end());
      rest = target;
      resolved.clear();
      key = &registry;
      continue;
    }
    resolved += (resolved.empty() ? "" : "\\") + it->first;
    key = it->second.get();
  }
  return resolved;
}

RegKey FakeHost::OpenKeyHandle(const std::string& path) {
  const RegKey handle{nextHandle_++};
  openKeys_[handle] = path;
  return handle;
}

FakeHost::Key* FakeHost::KeyOfHandle(RegKey key, Status& status) {
  if (key == kLocalMachine) {
    return &registry;
  }
  const auto it = openKeys_.find(key);
  if (it == openKeys_.end()) {
    status = kErrorInvalidHandle;
    faults.push_back("registry call on a key that is not open");
    return nullptr;
  }
  Key* found = FindKey(it->second);
  if (found == nullptr) {
    status = kErrorKeyDeleted;
  }
  return found;
}

Status FakeHost::RegOpenKeyA(RegKey parent, const std::string& subKey, RegKey* result) {
  return RegOpenKeyExA(parent, subKey, kKeyRead, result);
}

Status FakeHost::RegOpenKeyExA(RegKey parent, const std::string& subKey, std::uint32_t access,
                               RegKey* result) {
  return OpenKey(parent, subKey, access, true, result);
}

Status FakeHost::RegOpenKeyNoFollowA(RegKey parent, const std::string& subKey, std::uint32_t access,
                                     RegKey* result) {
  return OpenKey(parent, subKey, access, false, result);
}

Status FakeHost::OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                         bool followLast, RegKey* result) {
  Status status = kErrorSuccess;
  const std::optional<std::string> path = ResolvePath(parent, subKey, status);
  if (!path) {
    return status;
  }
  const std::optional<std::string> resolved = FollowLinks(*path, followLast);
  Key* key = resolved ? FindKey(*resolved) : nullptr;
  if (key == nullptr) {
    return kErrorFileNotFound;
  }
  if (key->openFailure) {
    return *key->openFailure;
  }
  if ((access & kDelete) != 0 && key->deleteFailure == kErrorAccessDenied) {
    return kErrorAccessDenied;  // the user may not delete it
  }
  *result = OpenKeyHandle(*resolved);
  return kErrorSuccess;
}

Status FakeHost::RegEnumKeyExA(RegKey key, std::uint32_t index, std::string& name,
                               std::uint32_t nameSize) {
  Status status = kErrorSuccess;
  Key* node = KeyOfHandle(key, status);
  if (node == nullptr) {
    return status;
  }
  if (const auto failure = node->enumFailures.find(index); failure != node->enumFailures.end()) {
    return failure->second;
  }
  if (index >= node->subkeys.size()) {
    return kErrorNoMoreItems;
  }
  const auto position = node->cursorValid && node->cursorIndex <= index
                            ? std::next(node->cursor, index - node->cursorIndex)
                            : std::next(node->subkeys.begin(), index);
  node->cursor = position;
  node->cursorIndex = index;
  node->cursorValid = true;
  const std::string& subkeyName = position->first;
  if (subkeyName.size() >= nameSize) {
    return kErrorMoreData;
  }
  name = subkeyName;
  return kErrorSuccess;
}

Status FakeHost::RegQueryValueExA(RegKey key, const std::string& valueName, std::string& data,
                                  std::uint32_t dataSize) {
  Status status = kErrorSuccess;
  Key* node = KeyOfHandle(key, status);
  if (node == nullptr) {
    return status;
  }
  const auto value = node->values.find(valueName);
  if (value == node->values.end()) {
    return kErrorFileNotFound;
  }
  if (value->second.data.size() > dataSize) {
    return kErrorMoreData;
  }
  data = value->second.data;
  return kErrorSuccess;
}

Status FakeHost::RegQueryInfoKeyA(RegKey key, std::uint32_t& subKeyCount) {
  Status status = kErrorSuccess;
  Key* node = KeyOfHandle(key, status);
  if (node == nullptr) {
    return status;
  }
  if (node->queryInfoFailure) {
    return *node->queryInfoFailure;
  }
  subKeyCount = static_cast<std::uint32_t>(node->subkeys.size());
  return kErrorSuccess;
}

Status FakeHost::RegDeleteKeyA(RegKey parent, const std::string& subKey) {
  Status status = kErrorSuccess;
  const std::optional<std::string> textual = ResolvePath(parent, subKey, status);
  if (!textual) {
    return status;
  }
  if (textual->empty() || subKey.empty()) {
    return kErrorInvalidParameter;
  }
  // A link named here stands for its target, which is what goes.
  const std::optional<std::string> path = FollowLinks(*textual, true);
  if (!path) {
    return kErrorFileNotFound;
  }
  return DeleteKeyAt(*path);
}

Status FakeHost::RegDeleteKeyOfHandle(RegKey key) {
  const auto it = openKeys_.find(key);
  if (it == openKeys_.end()) {
    faults.push_back("deletion through a key that is not open");
    return kErrorInvalidHandle;
  }
  if (it->second.empty()) {
    return kErrorAccessDenied;
  }
  return DeleteKeyAt(it->second);
}

Status FakeHost::RegQueryKeyPath(RegKey key, std::u16string& path) {
  const auto it = openKeys_.find(key);
  if (it == openKeys_.end()) {
    faults.push_back("key path of a key that is not open");
    return kErrorInvalidHandle;
  }
  // A handle names the key it was opened on, its links followed: the registry's own name for it.
  if (const Key* node = FindKey(it->second); node != nullptr && node->nameFailure) {
    return *node->nameFailure;
  }
  path = AnsiToWide(it->second);
  return kErrorSuccess;
}

Status FakeHost::DeleteKeyAt(const std::string& path) {
  Note("delete-key " + path);
  const std::size_t slash = path.rfind('\\');
  Key* owner = slash == std::string::npos ? &registry : FindKey(path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (owner == nullptr) {
    return kErrorFileNotFound;
  }
  const auto it = owner->subkeys.find(name);
  if (it == owner->subkeys.end()) {
    return kErrorFileNotFound;
  }
  if (it->second->deleteFailure) {
    return *it->second->deleteFailure;
  }
  if (!it->second->subkeys.empty()) {
    return kErrorAccessDenied;
  }
  owner->subkeys.erase(it);
  owner->cursorValid = false;
  Note("deleted-key " + path);
  return kErrorSuccess;
}

namespace {

// The in-memory machine keeps names and strings as code-page text in which each byte is the
// character of the same number.
std::u16string Widen(const std::string& text) {
  std::u16string wide;
  for (const char c : text) {
    wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  }
  return wide;
}

std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (const char16_t c : text) {
    narrow += c < 0x100 ? static_cast<char>(c) : '?';
  }
  return narrow;
}

std::string WideBytes(const std::string& text) {
  std::string bytes;
  for (const char c : text) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

}  // namespace

Status FakeHost::RegOpenKeyNoFollowW(RegKey parent, const std::u16string& subKey,
                                     std::uint32_t access, RegKey* result) {
  return OpenKey(parent, Narrow(subKey), access, false, result);
}

Status FakeHost::EnumSubkeyNameW(RegKey key, std::uint32_t index, std::u16string& name) {
  std::string narrow;
  const Status status = RegEnumKeyExA(key, index, narrow, 256);
  if (status == kErrorSuccess) {
    name = Widen(narrow);
  }
  return status;
}

Status FakeHost::RegEnumValueW(RegKey key, std::uint32_t index, std::u16string& name,
                               std::uint32_t& type, std::string& data) {
  Status status = kErrorSuccess;
  Key* node = KeyOfHandle(key, status);
  if (node == nullptr) {
    return status;
  }
  // A link key shows the value that names its target, as the registry keeps it.
  if (node->linkTarget) {
    if (index != 0) {
      return kErrorNoMoreItems;
    }
    name = Widen(node->linkValueName);
    type = kRegLink;
    data = WideBytes("\\REGISTRY\\MACHINE\\" + *node->linkTarget);
    return kErrorSuccess;
  }
  if (index >= node->values.size()) {
    return kErrorNoMoreItems;
  }
  const auto value = std::next(node->values.begin(), index);
  name = Widen(value->first);
  type = value->second.type;
  const bool text = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
  data = text ? WideBytes(value->second.data) : value->second.data;
  return kErrorSuccess;
}

std::u16string FakeHost::AnsiToWide(const std::string& text) {
  return Widen(text);
}

std::string FakeHost::WideToAnsi(const std::u16string& text) {
  return Narrow(text);
}

std::string FakeHost::FileName(const std::u16string& path) {
  // The name the narrow calls know the file by; one outside the code page (Latin-1 here) is
  // reachable only through the wide calls, and kept in UTF-8.
  // Sysnative is how a 32-bit process names the 64-bit system folder: the same folder here.
  const bool inCodePage =
      std::all_of(path.begin(), path.end(), [](char16_t c) { return c < 0x100; });
  std::string name = inCodePage ? Narrow(path) : Utf8FromUtf16(path);
  const std::string sysnative = "\\sysnative\\";
  std::string folded;
  for (const char c : name) {
    folded += FoldAscii(c);
  }
  const std::size_t at = folded.find(sysnative);
  if (at != std::string::npos) {
    name.replace(at, sysnative.size(), "\\System32\\");
  }
  return name;
}

Status FakeHost::ListFolder(const std::u16string& wideFolder, std::vector<FolderEntry>& entries,
                            std::size_t limit) {
  const std::string folder = FileName(wideFolder);
  Note("list-folder " + folder);
  entries.clear();
  if (deniedPaths.count(folder) != 0) {
    return kErrorAccessDenied;
  }
  if (directories.count(folder) == 0) {
    return kErrorPathNotFound;
  }
  const std::string prefix = folder + "\\";
  std::vector<FolderEntry> found;
  for (const std::string& directory : directories) {
    if (directory.size() > prefix.size() &&
        EqualNoCase(directory.substr(0, prefix.size()), prefix) &&
        directory.find('\\', prefix.size()) == std::string::npos) {
      found.push_back({Widen(directory.substr(prefix.size())),
                       kFileAttributeDirectory |
                           (reparsePoints.count(directory) != 0 ? kFileAttributeReparsePoint : 0),
                       0});
    }
  }
  for (const auto& [path, file] : files) {
    if (path.size() > prefix.size() && EqualNoCase(path.substr(0, prefix.size()), prefix) &&
        path.find('\\', prefix.size()) == std::string::npos) {
      found.push_back({Widen(path.substr(prefix.size())), file.attributes, file.content.size()});
    }
  }
  if (found.size() > limit) {
    return kErrorMoreData;
  }
  entries = std::move(found);
  return kErrorSuccess;
}

Status FakeHost::ReadFileBytes(const std::u16string& widePath, std::string& bytes,
                               std::size_t limit) {
  const std::string path = FileName(widePath);
  Note("read-file " + path);
  const auto file = files.find(path);
  if (deniedPaths.count(path) != 0) {
    return kErrorAccessDenied;
  }
  if (file == files.end()) {
    return directories.count(path) != 0 ? kErrorAccessDenied : kErrorFileNotFound;
  }
  if (file->second.content.size() > limit) {
    return kErrorMoreData;
  }
  bytes = file->second.content;
  bytesRead += bytes.size();
  return kErrorSuccess;
}

std::string FakeHost::AddDriverStore() {
  std::string path = windowsDirectory;
  for (const char* name : {"\\System32", "\\DriverStore", "\\FileRepository"}) {
    path += name;
    directories.insert(path);
  }
  return path;
}

FakeHost::Package& FakeHost::AddPackage(const std::string& publishedInf,
                                        const std::string& folderName, const std::string& content,
                                        bool publish) {
  Package package;
  package.publishedInf = publishedInf;
  package.storeFolder = AddDriverStore() + "\\" + folderName;
  directories.insert(package.storeFolder);
  const std::string infName = folderName.substr(0, folderName.find('_'));
  package.storeInf = package.storeFolder + "\\" + infName;
  AddFile(package.storeInf, content);
  AddFile(package.storeFolder + "\\scanner.sys", "MZ driver of " + folderName);
  package.catalog = windowsDirectory + "\\System32\\CatRoot\\" + folderName + ".cat";
  AddFile(package.catalog, "catalog of " + folderName);
  if (publish) {
    AddFile(windowsDirectory + "\\Inf\\" + publishedInf, content);
    AddFile(windowsDirectory + "\\Inf\\" + PrecompiledPath(publishedInf), "PNF of " + content);
  }
  packages.push_back(package);
  return packages.back();
}

void FakeHost::AddDatabaseEntry(const std::string& publishedInf, const std::string& folderName) {
  const std::string key = "DRIVERS\\DriverDatabase\\DriverInfFiles\\" + publishedInf;
  AddKey(key);
  SetString(key, "Active", folderName);
}

bool FakeHost::SetupUninstallOEMInfA(const std::string& infFileName, std::uint32_t flags) {
  Note("uninstall-oem-inf " + infFileName + (flags == kSuoiForceDelete ? " force" : ""));
  if (wow64 && !companionRunning && uninstallRefusedInWow64) {
    lastError_ = kErrorInWow64;
    return false;
  }
  if (uninstallFailure) {
    lastError_ = *uninstallFailure;
    return false;
  }
  const std::string infPath = windowsDirectory + "\\Inf\\" + infFileName;
  if (files.count(infPath) == 0) {
    lastError_ = kErrorFileNotFound;
    return false;
  }
  const auto package = std::find_if(packages.begin(), packages.end(), [&](const Package& p) {
    return EqualNoCase(p.publishedInf, infFileName);
  });
  if (package == packages.end() || package->platformOwn) {
    lastError_ = kErrorNotAnInstalledOemInf;
    return false;
  }
  if (package->usedByDevice && (flags & kSuoiForceDelete) == 0) {
    lastError_ = kErrorInfInUseByDevices;
    return false;
  }
  files.erase(infPath);
  files.erase(PrecompiledPath(infPath));
  files.erase(package->catalog);
  if (package->fileHeldOpen) {
    files.erase(package->storeInf);
  } else if (!package->storeFolder.empty()) {
    const std::string prefix = package->storeFolder + "\\";
    for (auto file = files.begin(); file != files.end();) {
      file = EqualNoCase(file->first.substr(0, prefix.size()), prefix) ? files.erase(file)
                                                                       : std::next(file);
    }
    for (auto directory = directories.begin(); directory != directories.end();) {
      directory = EqualNoCase(*directory, package->storeFolder) ||
                          EqualNoCase(directory->substr(0, prefix.size()), prefix)
                      ? directories.erase(directory)
                      : std::next(directory);
    }
  }
  DeleteKeyAt("DRIVERS\\DriverDatabase\\DriverInfFiles\\" + infFileName);
  packages.erase(package);
  Note("uninstalled-package " + infFileName);
  return true;
}

bool FakeHost::SetupUninstallOEMInfW(const std::u16string& infFileName, std::uint32_t flags) {
  return SetupUninstallOEMInfA(FileName(infFileName), flags);
}

std::optional<std::u16string> FakeHost::DriverStoreInfPath(const std::u16string& wideInfPath) {
  const std::string infPath = FileName(wideInfPath);
  if (!storeLocationKnown) {
    return std::nullopt;
  }
  for (const Package& package : packages) {
    if (!package.storeFolder.empty() &&
        EqualNoCase(windowsDirectory + "\\Inf\\" + package.publishedInf, infPath)) {
      return Widen(package.storeInf);
    }
  }
  return std::nullopt;
}

std::uint32_t FakeHost::GetFileAttributesW(const std::u16string& path) {
  return GetFileAttributesA(FileName(path));
}

Status FakeHost::LookAtFile(const std::u16string& widePath, FolderEntry& facts) {
  const std::string path = FileName(widePath);
  facts.attributes = GetFileAttributesA(path);
  if (facts.attributes == kInvalidFileAttributes) {
    return lastError_;
  }
  const auto file = files.find(path);
  facts.size = file == files.end() ? 0 : file->second.content.size();
  return kErrorSuccess;
}

Status FakeHost::RegCloseKey(RegKey key) {
  const auto it = openKeys_.find(key);
  if (it == openKeys_.end()) {
    faults.push_back("RegCloseKey on a key that is not open");
    return kErrorInvalidHandle;
  }
  openKeys_.erase(it);
  return kErrorSuccess;
}

DevInfoSet FakeHost::SetupDiGetClassDevsA(std::uint32_t flags) {
  Note("device-set " + std::to_string(flags));
  if (classDevsFail) {
    lastError_ = kErrorAccessDenied;
    return kInvalidDevInfoSet;
  }
  std::vector<std::size_t> members;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (!devices[i].removed && (devices[i].present || (flags & kDigcfPresent) == 0)) {
      members.push_back(i);
    }
  }
  const DevInfoSet set{nextHandle_++};
  openSets_[set] = members;
  return set;
}

bool FakeHost::SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t index,
                                     DeviceInfoRecord& record) {
  const auto it = openSets_.find(set);
  if (it == openSets_.end()) {
    faults.push_back("enumeration of a set that is not open");
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  if (record.cbSize != sizeof(DeviceInfoRecord)) {
    lastError_ = kErrorInvalidUserBuffer;
    return false;
  }
  if (index >= it->second.size()) {
    lastError_ = kErrorNoMoreItems;
    return false;
  }
  record.devInst = static_cast<std::uint32_t>(it->second[index] + 1);
  return true;
}

FakeHost::Device* FakeHost::DeviceOf(DevInfoSet set, const DeviceInfoRecord& record) {
  if (openSets_.count(set) == 0) {
    faults.push_back("device call on a set that is not open");
    return nullptr;
  }
  if (record.devInst == 0 || record.devInst > devices.size()) {
    faults.push_back("device call with a record the set did not fill");
    return nullptr;
  }
  return &devices[record.devInst - 1];
}

bool FakeHost::SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, DeviceInfoRecord& record,
                                                 std::uint32_t property, void* buffer,
                                                 std::uint32_t bufferSize,
                                                 std::uint32_t* requiredSize) {
  Device* device = DeviceOf(set, record);
  if (device == nullptr || property != kSpdrpHardwareId) {
    lastError_ = kErrorInvalidParameter;
    return false;
  }
  if (device->removed) {
    // The walk never comes back to an instance it removed.
    faults.push_back("hardware IDs of a removed instance asked for: " + device->instanceId);
    lastError_ = kErrorNoSuchDevinst;
    return false;
  }
  if (!device->hardwareIds) {
    lastError_ = kErrorInvalidData;
    return false;
  }
  const std::string& ids = *device->hardwareIds;
  const auto size = static_cast<std::uint32_t>(ids.size());
  if (requiredSize != nullptr) {
    *requiredSize = device->reportedSize.value_or(size);
  }
  if (buffer == nullptr || bufferSize < size) {
    lastError_ = kErrorInsufficientBuffer;
    return false;
  }
  std::memcpy(buffer, ids.data(), ids.size());
  return true;
}

bool FakeHost::SetupDiCallClassInstaller(std::uint32_t function, DevInfoSet set,
                                         DeviceInfoRecord& record) {
  Device* device = DeviceOf(set, record);
  if (device == nullptr || function != kDifRemove) {
    lastError_ = kErrorInvalidParameter;
    return false;
  }
  Note("remove-device " + device->instanceId);
  if (device->refusesRemoval || device->removed) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  device->removed = true;
  return true;
}

bool FakeHost::SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  if (openSets_.erase(set) == 0) {
    faults.push_back("SetupDiDestroyDeviceInfoList on a set that is not open");
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  return true;
}

std::optional<std::string> FakeHost::DeviceInstanceIdOf(DevInfoSet set, DeviceInfoRecord& record) {
  Device* device = DeviceOf(set, record);
  if (device == nullptr || device->instanceIdUnreadable) {
    lastError_ = kErrorInvalidParameter;
    return std::nullopt;
  }
  return device->instanceId;
}

DevInfoSet FakeHost::SetupDiCreateDeviceInfoList() {
  Note("device-list of no class");
  const DevInfoSet set{nextHandle_++};
  openSets_[set] = {};
  return set;
}

bool FakeHost::SetupDiOpenDeviceInfoA(DevInfoSet set, const std::string& instanceId,
                                      DeviceInfoRecord& record) {
  const auto it = openSets_.find(set);
  if (it == openSets_.end()) {
    faults.push_back("instance opened in a set that is not open");
    lastError_ = kErrorInvalidHandle;
    return false;
  }
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (!devices[i].removed && EqualNoCase(devices[i].instanceId, instanceId)) {
      it->second.push_back(i);
      record.devInst = static_cast<std::uint32_t>(i + 1);
      return true;
    }
  }
  lastError_ = kErrorNoSuchDevinst;
  return false;
}

bool FakeHost::SetupDiOpenDeviceInfoW(DevInfoSet set, const std::u16string& instanceId,
                                      DeviceInfoRecord& record) {
  return SetupDiOpenDeviceInfoA(set, FileName(instanceId), record);
}

bool FakeHost::SetupDiGetDeviceInstallParamsA(DevInfoSet set, DeviceInfoRecord& record,
                                              std::uint32_t* flags) {
  Device* device = DeviceOf(set, record);
  if (device == nullptr) {
    lastError_ = kErrorInvalidParameter;
    return false;
  }
  *flags = device->removed && device->needsRestart ? kDiNeedReboot : 0;
  return true;
}

bool FakeHost::IsDevicePresent(DevInfoSet set, DeviceInfoRecord& record) {
  const Device* device = DeviceOf(set, record);
  return device != nullptr && device->present;
}

RunLock FakeHost::AcquireRunLock(std::uint32_t timeoutMs) {
  Note("lock " + std::to_string(timeoutMs));
  if (runLock == RunLock::Failed) {
    lastError_ = kErrorAccessDenied;
  }
  lockHeld_ = runLock == RunLock::Acquired;
  return runLock;
}

void FakeHost::ReleaseRunLock() {
  if (!lockHeld_) {
    faults.push_back("a run lock released that was not held");
  }
  lockHeld_ = false;
  Note("unlock");
}

ProgramRun FakeHost::RunProgramBeside(const std::string& program, const std::string& arguments,
                                      std::uint32_t timeoutMs) {
  Note("run " + program + " " + arguments);
  programTimeoutsMs.push_back(timeoutMs);
  ProgramRun run;
  if (program != kCompanionProgram || companion == Companion::Missing) {
    run.start = ProgramRun::Start::Missing;
    run.error = kErrorFileNotFound;
    return run;
  }
  switch (companion) {
    case Companion::FailsToStart:
      run.start = ProgramRun::Start::Failed;
      run.error = 193;  // not a program this machine can run
      return run;
    case Companion::Different:
      run.start = ProgramRun::Start::Different;
      run.error = 577;  // the image's digest is not the one expected
      return run;
    case Companion::RefusesCommandLine:
      run.start = ProgramRun::Start::Ran;
      run.exitCode = 1;
      return run;
    case Companion::Hangs:
      run.start = ProgramRun::Start::Ran;
      run.exitCode = kErrorTimeout;
      return run;
    case Companion::CutShort: {
      run = RunCompanionOn(*this, arguments);
      std::size_t end = 0;
      for (std::size_t line = 0; line < companionReportsBeforeCut && end < run.output.size();
           ++line) {
        end = run.output.find('\n', end) + 1;
      }
      run.output.resize(end);
      run.exitCode = 0xC0000005;  // ended by an access violation
      return run;
    }
    default:
      return RunCompanionOn(*this, arguments);
  }
}

ProgramRun FakeHost::StartProgramBeside(const std::string& program, const std::string& arguments,
                                        ProgramSession* session) {
  Note("start " + program + " " + arguments);
  ProgramRun run;
  if (program != kCompanionProgram || companion == Companion::Missing) {
    run.start = ProgramRun::Start::Missing;
    run.error = kErrorFileNotFound;
    return run;
  }
  if (companion == Companion::FailsToStart) {
    run.error = 193;  // not a program this machine can run
    return run;
  }
  if (companion == Companion::Different) {
    run.start = ProgramRun::Start::Different;
    run.error = 577;  // the image's digest is not the one expected
    return run;
  }
  run.start = ProgramRun::Start::Ran;
  *session = ProgramSession{nextHandle_++};
  sessions_[*session].reportsLeft =
      companion == Companion::CutShort ? companionReportsBeforeCut : ~std::size_t{0};
  return run;
}

ProgramAnswer FakeHost::HandProgramTask(ProgramSession session, const std::string& input,
                                        std::uint32_t timeoutMs,
                                        const std::function<bool(std::string_view)>& answered) {
  programTimeoutsMs.push_back(timeoutMs);
  std::string line = input;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.pop_back();
  }
  Note("task " + line);
  ProgramAnswer answer;
  const auto it = sessions_.find(session);
  if (it == sessions_.end() || it->second.ended) {
    faults.push_back("a task handed to a program that is not running");
    answer.ended = true;
    return answer;
  }
  Session& running = it->second;
  const std::optional<CompanionTask> task = ParseTask(line);
  if (companion == Companion::Hangs) {
    running.ended = kErrorTimeout;
  } else if (!task || companion == Companion::RefusesCommandLine || input.empty() ||
             input.back() != '\n') {
    running.ended = 1u;
  } else {
    companionRunning = true;
    // Cut short: it ends (by an access violation) right after its last report line, before its
    // first when it has none; what it was doing goes on to its end all the same.
    const int status = PerformTask(*this, *task, [&](const std::string& report) {
      if (running.ended) {
        return;
      }
      if (running.reportsLeft == 0) {
        running.ended = 0xC0000005;
        return;
      }
      answer.output += report + "\r\n";
      if (--running.reportsLeft == 0) {
        running.ended = 0xC0000005;
      }
    });
    companionRunning = false;
    if (!running.ended) {
      running.status = CombinedStatus(running.status, status);
      answer.output += FormatTaskEnd(status) + "\r\n";
    }
  }
  answer.answered = !running.ended && answered(answer.output);
  answer.ended = running.ended.has_value();
  answer.exitCode = running.ended.value_or(0);
  return answer;
}

std::uint32_t FakeHost::EndProgramSession(ProgramSession session, std::uint32_t timeoutMs) {
  programTimeoutsMs.push_back(timeoutMs);
  Note("end " + std::string(kCompanionProgram));
  const auto it = sessions_.find(session);
  if (it == sessions_.end()) {
    faults.push_back("a program session ended that is not open");
    return kErrorInvalidHandle;
  }
  const std::uint32_t status =
      it->second.ended.value_or(static_cast<std::uint32_t>(it->second.status));
  sessions_.erase(it);
  return status;
}

void* FakeHost::LocalAlloc(std::uint32_t flags, std::size_t bytes) {
  if (allocationFailures > 0) {
    --allocationFailures;
    lastError_ = kErrorNotEnoughMemory;
    Note("alloc-failed " + std::to_string(bytes));
    return nullptr;
  }
  if (flags != kLptr) {
    faults.push_back("allocation that is not fixed and zero-filled");
  }
  // Exactly the size asked for, so that the sanitizers see any read past it.
  void* memory = new unsigned char[bytes]();
  allocations_[memory] = bytes;
  Note("alloc " + std::to_string(bytes));
  return memory;
}

void* FakeHost::LocalFree(void* memory) {
  const auto it = allocations_.find(memory);
  if (it == allocations_.end()) {
    faults.push_back("LocalFree of memory that is not allocated");
    return memory;
  }
  delete[] static_cast<unsigned char*>(memory);
  allocations_.erase(it);
  return nullptr;
}

int FakeHost::MessageBoxA(WindowHandle owner, const std::string& text,
                          const std::optional<std::string>& caption, std::uint32_t type) {
  Note("message " + text);
  messageBoxes.push_back(MessageBoxRecord{owner, text, caption, type});
  return 1;  // IDOK
}

void FakeHost::WriteStandardOutput(const std::string& text) {
  Note("output " + text);
  standardOutput += text;
}

void FakeHost::WriteStandardError(const std::string& text) {
  Note("error-output " + text);
  standardError += text;
}

// Files and folders held open, and names relative to them.

namespace {

// The owner and list that the administrators' own folders and keys have.
SecurityFacts AdministratorsOnly() {
  SecurityFacts security;
  security.owner = "S-1-5-32-544";
  security.entries = {{true, false, 0x1F01FF, "S-1-5-18"}, {true, false, 0x1F01FF, "S-1-5-32-544"}};
  return security;
}

}  // namespace

void FakeHost::AddPrograms() {
  const std::string folder = programPath.substr(0, programPath.rfind('\\'));
  directories.insert(folder);
  AddFile(programPath, "MZ vorsk.exe");
  AddFile(folder + "\\vorsk64.exe", "MZ vorsk64.exe");
}

bool FakeHost::MoveFolder(const std::string& from, const std::string& to) {
  for (const auto& [handle, path] : openFolders_) {
    if (EqualNoCase(path, from)) {
      Note("move-folder-refused " + from);
      return false;
    }
  }
  if (directories.count(from) == 0 || directories.count(to) != 0 || files.count(to) != 0) {
    return false;
  }
  const auto moved = [&](const std::string& path) -> std::optional<std::string> {
    if (EqualNoCase(path, from)) {
      return to;
    }
    if (path.size() > from.size() && EqualNoCase(path.substr(0, from.size() + 1), from + "\\")) {
      return to + path.substr(from.size());
    }
    return std::nullopt;
  };
  std::set<std::string, NoCaseLess> newDirectories;
  for (const std::string& directory : directories) {
    newDirectories.insert(moved(directory).value_or(directory));
  }
  directories = std::move(newDirectories);
  std::map<std::string, File, NoCaseLess> newFiles;
  for (auto& [path, file] : files) {
    newFiles[moved(path).value_or(path)] = file;
  }
  files = std::move(newFiles);
  for (auto& [handle, path] : openFolders_) {
    path = moved(path).value_or(path);
  }
  Note("moved-folder " + from + " to " + to);
  return true;
}

std::optional<std::string> FakeHost::PathIn(FolderHandle folder, const std::u16string& name) {
  const auto it = openFolders_.find(folder);
  if (it == openFolders_.end()) {
    faults.push_back("a name relative to a folder that is not open");
    return std::nullopt;
  }
  return it->second + "\\" + FileName(name);
}

bool FakeHost::SetFileAttributesW(const std::u16string& path, std::uint32_t attributes) {
  return SetFileAttributesA(FileName(path), attributes);
}

bool FakeHost::DeleteFileW(const std::u16string& path) {
  return DeleteFileA(FileName(path));
}

bool FakeHost::RemoveDirectoryW(const std::u16string& widePath) {
  const std::string path = FileName(widePath);
  Note("remove-folder " + path);
  const std::string prefix = path + "\\";
  const auto holds = [&](const std::string& other) {
    return other.size() > prefix.size() && EqualNoCase(other.substr(0, prefix.size()), prefix);
  };
  if (directories.count(path) == 0 ||
      std::any_of(files.begin(), files.end(),
                  [&](const auto& file) { return holds(file.first); }) ||
      std::any_of(directories.begin(), directories.end(), holds)) {
    lastError_ = directories.count(path) == 0 ? kErrorFileNotFound : 145;  // not empty
    return false;
  }
  directories.erase(path);
  return true;
}

Status FakeHost::OpenFolderNoFollow(FolderHandle parent, const std::u16string& name,
                                    FolderHandle* folder) {
  std::string path;
  if (parent == kNoFolder) {
    path = FileName(name);
    while (path.size() > 3 && path.back() == '\\') {
      path.pop_back();
    }
  } else {
    const std::optional<std::string> inside = PathIn(parent, name);
    if (!inside) {
      return kErrorInvalidHandle;
    }
    path = *inside;
  }
  Note("open-folder " + path);
  const bool root = path.size() == 3 && path[1] == ':' && path[2] == '\\';
  if (files.count(path) != 0) {
    return kErrorDirectory;
  }
  if (!root && directories.count(path) == 0) {
    return kErrorFileNotFound;
  }
  if (reparsePoints.count(path) != 0) {
    return kErrorStoppedOnSymlink;
  }
  const FolderHandle handle{nextHandle_++};
  openFolders_[handle] = root ? path.substr(0, 2) : path;
  *folder = handle;
  return kErrorSuccess;
}

Status FakeHost::CreateFolderIn(FolderHandle parent, const std::u16string& name,
                                FolderAccess access, FolderHandle* folder) {
  const std::optional<std::string> path = PathIn(parent, name);
  if (!path) {
    return kErrorInvalidHandle;
  }
  const Status status = CreateNewDirectory(AnsiToWide(*path), access);
  if (status != kErrorSuccess) {
    return status;
  }
  const FolderHandle handle{nextHandle_++};
  openFolders_[handle] = *path;
  *folder = handle;
  return kErrorSuccess;
}

Status FakeHost::CloseFolder(FolderHandle folder) {
  if (openFolders_.erase(folder) == 0) {
    faults.push_back("a folder closed that is not open");
    return kErrorInvalidHandle;
  }
  return kErrorSuccess;
}

Status FakeHost::ReadFolderSecurity(FolderHandle folder, SecurityFacts& security) {
  const auto it = openFolders_.find(folder);
  if (it == openFolders_.end()) {
    faults.push_back("the security of a folder that is not open");
    return kErrorInvalidHandle;
  }
  const std::string path = it->second.size() == 2 ? it->second + "\\" : it->second;
  const auto found = folderSecurity.find(path);
  security = found != folderSecurity.end() ? found->second : AdministratorsOnly();
  return kErrorSuccess;
}

Status FakeHost::WriteFileIn(FolderHandle folder, const std::u16string& name,
                             const std::string& bytes, bool append) {
  if (duringWrites) {
    duringWrites(*this);
  }
  const std::optional<std::string> path = PathIn(folder, name);
  return path ? WriteFileBytes(AnsiToWide(*path), bytes, append) : kErrorInvalidHandle;
}

Status FakeHost::CopyFileIn(FolderHandle fromFolder, const std::u16string& from,
                            FolderHandle folder, const std::u16string& name,
                            const std::function<void(std::string_view)>& eachPiece) {
  if (duringWrites) {
    duringWrites(*this);
  }
  const std::optional<std::string> source = fromFolder == kNoFolder
                                                ? std::optional<std::string>(FileName(from))
                                                : PathIn(fromFolder, from);
  const std::optional<std::string> path = PathIn(folder, name);
  if (!source || !path) {
    return kErrorInvalidHandle;
  }
  const Status status = CopyToNewFile(AnsiToWide(*source), AnsiToWide(*path));
  if (status == kErrorSuccess) {
    // In pieces, as the platform's reads give them.
    const std::string& content = files[*path].content;
    for (std::size_t at = 0; at < content.size(); at += 7) {
      eachPiece(std::string_view(content).substr(at, 7));
    }
  }
  return status;
}

Status FakeHost::ReadFileIn(FolderHandle folder, const std::u16string& name, std::string& bytes,
                            std::size_t limit) {
  const std::optional<std::string> path = PathIn(folder, name);
  return path ? ReadFileBytes(AnsiToWide(*path), bytes, limit) : kErrorInvalidHandle;
}

Status FakeHost::RegOpenKeyW(RegKey parent, const std::u16string& subKey, std::uint32_t access,
                             RegKey* result) {
  return OpenKey(parent, Narrow(subKey), access, true, result);
}

Status FakeHost::RegCreateKeyNoFollowW(RegKey parent, const std::u16string& wideName,
                                       std::uint32_t access, KeyAccess security, RegKey* result,
                                       bool* created) {
  Status status = kErrorSuccess;
  Key* owner = KeyOfHandle(parent, status);
  if (owner == nullptr) {
    return status;
  }
  const std::string name = Narrow(wideName);
  if (name.empty() || name.find('\\') != std::string::npos) {
    faults.push_back("a key made by a name that is not one key's");
    return kErrorInvalidParameter;
  }
  const auto it = owner->subkeys.find(name);
  if (it != owner->subkeys.end()) {
    *created = false;
    return OpenKey(parent, name, access, false, result);
  }
  if (owner->createFailure) {
    return *owner->createFailure;
  }
  const std::optional<std::string> path = ResolvePath(parent, name, status);
  if (!path) {
    return status;
  }
  // The registry's own name of the parent: a followed link made it the target's.
  auto& slot = owner->subkeys[name];
  slot = std::make_unique<Key>();
  owner->cursorValid = false;
  if (security == KeyAccess::AdministratorsWrite) {
    SecurityFacts facts = AdministratorsOnly();
    facts.entries.push_back({true, false, kKeyRead, "S-1-1-0"});
    slot->security = facts;
  }
  Note("created-key " + *path);
  *created = true;
  *result = OpenKeyHandle(*path);
  return kErrorSuccess;
}

Status FakeHost::RegSetValueW(RegKey key, const std::u16string& name, std::uint32_t type,
                              const std::string& data) {
  Status status = kErrorSuccess;
  Key* node = KeyOfHandle(key, status);
  if (node == nullptr) {
    return status;
  }
  Value value;
  value.type = type;
  const bool text = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
  value.data = text ? Narrow(Utf16FromLeBytes(data)) : data;
  if (text) {
    value.wideData = data;
  }
  node->values[Narrow(name)] = value;
  Note("set-value " + openKeys_[key] + " " + Narrow(name));
  return kErrorSuccess;
}

Status FakeHost::RegQueryValueW(RegKey key, const std::u16string& name, std::uint32_t& type,
                                std::string& data) {
  Status status = kErrorSuccess;
  Key* node = KeyOfHandle(key, status);
  if (node == nullptr) {
    return status;
  }
  if (const auto failure = node->valueFailures.find(Narrow(name));
      failure != node->valueFailures.end()) {
    return failure->second;
  }
  const auto it = node->values.find(Narrow(name));
  if (it == node->values.end()) {
    return kErrorFileNotFound;
  }
  type = it->second.type;
  const bool text = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
  data = !text                 ? it->second.data
         : it->second.wideData ? *it->second.wideData
                               : WideBytes(it->second.data);
  return kErrorSuccess;
}

Status FakeHost::ReadKeySecurity(RegKey key, SecurityFacts& security) {
  Status status = kErrorSuccess;
  Key* node = KeyOfHandle(key, status);
  if (node == nullptr) {
    return status;
  }
  security = node->security ? *node->security : AdministratorsOnly();
  return kErrorSuccess;
}

Status FakeHost::OwnProgramPath(std::u16string& path) {
  path = AnsiToWide(programPath);
  return kErrorSuccess;
}

bool FakeHost::SetupCopyOEMInfW(const std::u16string& wideInfPath, std::u16string& publishedName) {
  const std::string infPath = FileName(wideInfPath);
  Note("copy-oem-inf " + infPath);
  if (wow64 && !companionRunning) {
    lastError_ = kErrorInWow64;
    return false;
  }
  const auto inf = files.find(infPath);
  if (inf == files.end()) {
    lastError_ = kErrorFileNotFound;
    return false;
  }
  // The lowest free published name, as the platform picks one.
  std::string published;
  for (int number = 0;; ++number) {
    published = "oem" + std::to_string(number) + ".inf";
    if (files.count(windowsDirectory + "\\Inf\\" + published) == 0) {
      break;
    }
  }
  const std::string source = infPath.substr(0, infPath.rfind('\\'));
  const std::string infName = infPath.substr(infPath.rfind('\\') + 1);
  Package package;
  package.publishedInf = published;
  // Where the platform keeps a store, the package is staged there first, whole.
  if (directories.count(windowsDirectory + "\\System32\\DriverStore\\FileRepository") != 0) {
    std::string folder;
    for (int number = 1;; ++number) {
      folder = windowsDirectory + "\\System32\\DriverStore\\FileRepository\\" + infName + "_" +
               std::to_string(number);
      if (directories.count(folder) == 0) {
        break;
      }
    }
    package.storeFolder = folder;
    package.storeInf = folder + "\\" + infName;
    directories.insert(folder);
    const std::string prefix = source + "\\";
    const std::vector<std::string> sourceDirectories(directories.begin(), directories.end());
    for (const std::string& directory : sourceDirectories) {
      if (directory.size() > prefix.size() &&
          EqualNoCase(directory.substr(0, prefix.size()), prefix)) {
        directories.insert(folder + "\\" + directory.substr(prefix.size()));
      }
    }
    const std::map<std::string, File, NoCaseLess> sourceFiles = files;
    for (const auto& [path, file] : sourceFiles) {
      if (path.size() > prefix.size() && EqualNoCase(path.substr(0, prefix.size()), prefix)) {
        files[folder + "\\" + path.substr(prefix.size())] = file;
      }
    }
  }
  AddFile(windowsDirectory + "\\Inf\\" + published, inf->second.content);
  AddFile(windowsDirectory + "\\Inf\\" + PrecompiledPath(published),
          "PNF of " + inf->second.content);
  packages.push_back(package);
  publishedName = AnsiToWide(published);
  Note("published " + published);
  return true;
}

std::u16string FakeHost::ExpandEnvironmentText(const std::u16string& text) {
  const std::string narrow = Narrow(text);
  std::string expanded;
  for (std::size_t at = 0; at < narrow.size();) {
    const std::size_t open = narrow.find('%', at);
    const std::size_t close =
        open == std::string::npos ? std::string::npos : narrow.find('%', open + 1);
    if (close == std::string::npos) {
      expanded += narrow.substr(at);
      break;
    }
    const std::string name = narrow.substr(open + 1, close - open - 1);
    const auto value = environment.find(name);
    expanded += narrow.substr(at, open - at);
    if (value != environment.end()) {
      expanded += value->second;
    } else if (EqualNoCase(name, "SystemRoot") || EqualNoCase(name, "windir")) {
      expanded += windowsDirectory;
    } else {
      // A name the environment does not hold stays as it is.
      expanded += narrow.substr(open, close - open + 1);
    }
    at = close + 1;
  }
  return Widen(expanded);
}

bool FakeHost::IsProtectedKey(const std::u16string& path) {
  Note("protected-key? " + Narrow(path));
  return keyProtectionKnown && protectedKeys.count(Narrow(path)) != 0;
}

ProgramRun RunCompanionOn(FakeHost& host, const std::string& arguments) {
  ProgramRun run;
  run.start = ProgramRun::Start::Ran;
  const std::optional<CompanionCommand> command =
      ParseCompanionArguments(vorsk::SplitCommandArguments(arguments));
  if (!command || command->tasks) {
    run.exitCode = 1;
    return run;
  }
  host.companionRunning = true;
  run.exitCode = static_cast<std::uint32_t>(PerformTask(
      host, command->task, [&](const std::string& line) { run.output += line + "\r\n"; }));
  host.companionRunning = false;
  return run;
}

}  // namespace vorsk::test
