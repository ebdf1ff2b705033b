#include "backup/backup.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "backup/reg_file.h"
#include "host/handles.h"
#include "text/text.h"

namespace vorsk {

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kManifest[] = "manifest.txt";
constexpr char kRestore[] = "restore.cmd";
constexpr char kRegistryFile[] = "registry.reg";
constexpr char kFilesFolder[] = "files";
constexpr std::u16string_view kLinkValueName = u"SymbolicLinkValue";

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof(text), "%02d", value % 100);
  return text;
}

std::string TimeText(const UtcTime& time) {
  return std::to_string(time.year) + "-" + TwoDigits(time.month) + "-" + TwoDigits(time.day) + " " +
         TwoDigits(time.hour) + ":" + TwoDigits(time.minute) + ":" + TwoDigits(time.second) +
         " UTC";
}

std::string Joined(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::string AttributesText(std::uint32_t attributes) {
  std::string text;
  for (const auto& [flag, name] :
       {std::pair{kFileAttributeReadOnly, "read-only"}, std::pair{kFileAttributeHidden, "hidden"},
        std::pair{kFileAttributeSystem, "system"}}) {
    if ((attributes & flag) != 0) {
      text += text.empty() ? name : std::string(", ") + name;
    }
  }
  return text.empty() ? "none" : text;
}

// The attrib commands that leave the file at `path` with exactly the read-only, hidden and system
// flags of `attributes`. Windows' attrib changes nothing on a hidden or system file unless the
// command names those flags too, and Wine's applies only the last flag of a command: one command
// with all the flags, then one per flag, suits both.
std::string AttribLines(const std::string& path, std::uint32_t attributes) {
  const std::string quoted = CommandQuoted(path);
  const std::string quiet = " >nul 2>&1";
  std::string lines = "attrib -r -h -s " + quoted + quiet + kLineEnd;
  for (const char* flag : {"-s", "-h", "-r"}) {
    lines += std::string("attrib ") + flag + " " + quoted + quiet + kLineEnd;
  }
  std::string all;
  for (const auto& [bit, flag] :
       {std::pair{kFileAttributeReadOnly, "+r"}, std::pair{kFileAttributeHidden, "+h"},
        std::pair{kFileAttributeSystem, "+s"}}) {
    if ((attributes & bit) != 0) {
      lines += std::string("attrib ") + flag + " " + quoted + quiet + kLineEnd;
      all += std::string(flag) + " ";
    }
  }
  if (!all.empty()) {
    lines += "attrib " + all + quoted + quiet + kLineEnd;
  }
  return lines;
}

std::string GuidText(const std::array<std::uint8_t, 16>& guid) {
  char text[40];
  std::snprintf(text, sizeof(text),
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid[3],
                guid[2], guid[1], guid[0], guid[5], guid[4], guid[7], guid[6], guid[8], guid[9],
                guid[10], guid[11], guid[12], guid[13], guid[14], guid[15]);
  return text;
}

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// A tree read for its backup: its text, what the format cannot carry, its size.
struct TreeText {
  std::u16string blocks;
  std::vector<std::string> notes;
  std::uint32_t keys = 0;
  std::uint32_t values = 0;
  std::string failure;  // why it cannot be saved; empty when it can
};

std::string ErrorReason(const std::string& what, Status error) {
  return what + " (error " + ErrorText(error) + ")";
}

// Adds the key `key`, at `path`, and everything below it to `tree`. A link key (opened without
// following it, it holds the value that names its target) is noted with its target and neither
// written nor followed.
bool ReadKey(Host& host, RegKey key, const std::u16string& path, bool isSubkey, TreeText& tree) {
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
  if (isSubkey && values.size() == 1 && values[0].type == kRegLink &&
      values[0].name == kLinkValueName) {
    const std::u16string target = Utf16FromLeBytes(values[0].data);
    tree.notes.push_back("  link " + Utf8FromUtf16(path) + " -> " + Utf8FromUtf16(target) +
                         ": recorded here, not in registry.reg (a link is not restored)");
    return true;
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
    status = host.RegEnumKeyExW(key, index, name);
    if (status != kErrorSuccess) {
      tree.failure =
          ErrorReason("a subkey of " + Utf8FromUtf16(path) + " cannot be listed", status);
      return false;
    }
    names.push_back(std::move(name));
  }
  for (const std::u16string& name : names) {
    unique_hkey subkey(host);
    status = host.RegOpenKeyNoFollowW(key, name, kKeyRead, subkey.put());
    if (status != kErrorSuccess) {
      tree.failure = ErrorReason(Utf8FromUtf16(path + u"\\" + name) + " cannot be opened", status);
      return false;
    }
    if (!ReadKey(host, subkey.get(), path + u"\\" + name, true, tree)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string BackupFolderName(const std::string& computer, const UtcTime& time) {
  return computer + "-" + std::to_string(time.year) + TwoDigits(time.month) + TwoDigits(time.day) +
         "T" + TwoDigits(time.hour) + TwoDigits(time.minute) + TwoDigits(time.second) + "Z";
}

std::string CommandQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c == '%' ? std::string("%%") : std::string(1, c);
  }
  return quoted + "\"";
}

std::string CommandText(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '%') {
      escaped += "%%";
      continue;
    }
    if (c == '&' || c == '|' || c == '<' || c == '>' || c == '^' || c == '(' || c == ')' ||
        c == '"') {
      escaped += '^';
    }
    escaped += c;
  }
  return escaped;
}

bool Backup::MakeParent(const std::string& parent) {
  // Each folder on the way, from the first below the drive or the share (\\server\share); one
  // that exists already refuses quietly.
  std::size_t first = 0;
  if (parent.rfind("\\\\", 0) == 0) {
    const std::size_t server = parent.find('\\', 2);
    first = server == std::string::npos ? server : parent.find('\\', server + 1);
  } else if (parent.size() >= 2 && parent[1] == ':') {
    first = 2;
  }
  if (first != std::string::npos) {
    for (std::size_t slash = parent.find('\\', first + 1);; slash = parent.find('\\', slash + 1)) {
      host_.CreateDirectoryA(parent.substr(0, slash));
      if (slash == std::string::npos) {
        break;
      }
    }
  }
  const std::uint32_t attributes = host_.GetFileAttributesA(parent);
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
}

bool Backup::MakeRunFolder(const std::string& parent) {
  const std::string name = BackupFolderName(computer_, made_);
  // Made with a call that fails when the name is taken, so that runs on many machines (or two
  // in one second) sharing one folder never write into each other's.
  for (int attempt = 1; attempt <= kMaxBackupFolderTries; ++attempt) {
    const std::string folder =
        Joined(parent, attempt == 1 ? name : name + "-" + std::to_string(attempt));
    const Status status = host_.CreateDirectoryA(folder);
    if (status == kErrorSuccess) {
      folder_ = folder;
      return true;
    }
    if (status != kErrorAlreadyExists) {
      report_.Log(ErrorReason("backup: the folder " + folder + " cannot be made", status));
      return false;
    }
  }
  report_.Log("backup: " + name + " and its " + std::to_string(kMaxBackupFolderTries - 1) +
              " numbered names are all taken in " + parent);
  return false;
}

bool Backup::Begin(const std::string& parent, const std::string& scriptPath) {
  const std::string trimmed =
      parent.size() > 3 && parent.back() == '\\' ? parent.substr(0, parent.size() - 1) : parent;
  // One moment and one name for the folder, the manifest and the restore command.
  computer_ = host_.GetComputerNameA();
  made_ = host_.GetSystemTime();
  if (!MakeParent(trimmed) || !MakeRunFolder(trimmed)) {
    report_.Log("backup: no backup can be made in " + parent + ": nothing is deleted");
    host_.WriteStandardError("No backup can be made in " + parent + ": nothing was deleted.\n");
    return false;
  }
  const std::string scriptName = scriptPath.substr(scriptPath.rfind('\\') + 1);
  const bool wow64 = host_.IsWow64Process();
  const std::string manifest =
      std::string("vorsk backup") + kLineEnd + "made: " + TimeText(made_) + kLineEnd +
      "machine: " + computer_ + kLineEnd + "vorsk: " + VersionText() +
      (wow64 ? ", a 32-bit program on 64-bit Windows: the trees are of the 32-bit registry view"
             : "") +
      kLineEnd + "script: " + scriptPath + ", copied as " + scriptName + kLineEnd +
      "not carried: permissions, key classes, volatile keys (they come back as ordinary keys), "
      "link keys and device instances (both recorded below)" +
      kLineEnd + "saved:" + kLineEnd;
  const std::string restore =
      std::string("@echo off") + kLineEnd + "rem Puts back what vorsk deleted on " + computer_ +
      " at " + TimeText(made_) + ", as saved in this folder." + kLineEnd +
      "rem Run it as an administrator; run again, it changes nothing more." + kLineEnd +
      "set failed=0" + kLineEnd;
  Status status = host_.CreateDirectoryA(Joined(folder_, kFilesFolder));
  if (status == kErrorSuccess) {
    status = host_.CopyFileA(scriptPath, Joined(folder_, scriptName));
  }
  if (status == kErrorSuccess) {
    status = host_.WriteFileBytes(Joined(folder_, kManifest), manifest, false);
  }
  if (status == kErrorSuccess) {
    status = host_.WriteFileBytes(Joined(folder_, kRestore), restore, false);
  }
  if (status != kErrorSuccess) {
    report_.Log(ErrorReason("backup: " + folder_ + " cannot be written", status) +
                ": nothing is deleted");
    host_.WriteStandardError("The backup " + folder_ +
                             " cannot be written: nothing was deleted.\n");
    return false;
  }
  report_.Log("backup " + folder_);
  ready_ = true;
  return true;
}

bool Backup::Append(const std::string& name, const std::string& text) {
  const Status status = host_.WriteFileBytes(Joined(folder_, name), text, true);
  if (status != kErrorSuccess) {
    report_.Log(ErrorReason("backup: " + name + " cannot be written", status));
    return false;
  }
  return true;
}

bool Backup::Refuse(const std::string& what, const std::string& why) {
  report_.Log(what + ": left, " + why);
  report_.NoteLeft();
  return false;
}

bool Backup::SaveFile(const std::string& path) {
  const std::uint32_t attributes = host_.GetFileAttributesA(path);
  if (attributes == kInvalidFileAttributes) {
    return true;  // nothing there to keep; the deletion says it is absent
  }
  if (!ready_) {
    return Refuse("file " + path, "there is no backup to save it in");
  }
  const std::string name = path.substr(path.rfind('\\') + 1);
  const std::string saved = std::string(kFilesFolder) + "\\" + name;
  const Status status = host_.CopyFileA(path, Joined(folder_, saved));
  if (status != kErrorSuccess) {
    return Refuse("file " + path, ErrorReason("it cannot be saved in the backup", status));
  }
  // The file in the way loses its read-only, hidden and system flags first (Windows would not
  // copy over a read-only file); the copy then gets the saved ones.
  const std::string restore =
      "if exist " + CommandQuoted(path) + " (" + kLineEnd + AttribLines(path, 0) + ")" + kLineEnd +
      "copy /y \"%~dp0" + CommandQuoted(saved).substr(1) + " " + CommandQuoted(path) +
      " >nul 2>&1" + kLineEnd + "if errorlevel 1 (set failed=1& echo NOT restored: file " +
      CommandText(path) + ") else (echo restored file " + CommandText(path) + ")" + kLineEnd +
      "if exist " + CommandQuoted(path) + " (" + kLineEnd + AttribLines(path, attributes) + ")" +
      kLineEnd;
  if (!Append(kManifest, "file " + path + ": saved as " + saved + ", attributes " +
                             AttributesText(attributes) + kLineEnd) ||
      !Append(kRestore, restore)) {
    return Refuse("file " + path, "its record cannot be written in the backup");
  }
  report_.Log("file " + path + ": saved in the backup");
  return true;
}

bool Backup::SaveTree(RegKey root, const std::string& path) {
  if (!ready_) {
    return Refuse("tree " + path, "there is no backup to save it in");
  }
  if (root == kNullKey) {
    return Refuse("tree " + path, "it cannot be read for the backup");
  }
  TreeText tree;
  if (!ReadKey(host_, root, u"HKEY_LOCAL_MACHINE\\" + host_.AnsiToWide(path), false, tree)) {
    return Refuse("tree " + path, "it cannot be saved in the backup: " + tree.failure);
  }
  const bool written = registryStarted_
                           ? Append(kRegistryFile, Utf16LeBytes(tree.blocks))
                           : host_.WriteFileBytes(Joined(folder_, kRegistryFile),
                                                  RegFileBytes(RegFileHeader() + tree.blocks),
                                                  false) == kErrorSuccess;
  if (!written) {
    return Refuse("tree " + path, "registry.reg cannot be written");
  }
  std::string manifest = "tree " + path + ": saved in registry.reg, " + std::to_string(tree.keys) +
                         (tree.keys == 1 ? " key, " : " keys, ") + std::to_string(tree.values) +
                         (tree.values == 1 ? " value" : " values") + kLineEnd;
  for (const std::string& note : tree.notes) {
    manifest += note + kLineEnd;
  }
  if (!Append(kManifest, manifest)) {
    return Refuse("tree " + path, "its record cannot be written in the backup");
  }
  if (!registryStarted_) {
    // Into the registry view the trees were read from: a 64-bit command prompt would otherwise
    // put the 32-bit view's keys into its own.
    const std::string view = host_.IsWow64Process() ? " /reg:32" : "";
    if (!Append(kRestore, "reg import \"%~dp0" + std::string(kRegistryFile) + "\"" + view +
                              " >nul 2>&1" + kLineEnd +
                              "if errorlevel 1 (set failed=1& echo NOT restored: the registry "
                              "trees of registry.reg) else (echo restored the registry trees of "
                              "registry.reg)" +
                              kLineEnd)) {
      return Refuse("tree " + path, "its record cannot be written in the backup");
    }
    registryStarted_ = true;
  }
  report_.Log("tree " + path + ": saved in the backup, " + std::to_string(tree.keys) +
              (tree.keys == 1 ? " key" : " keys"));
  return true;
}

bool Backup::SaveInstance(const std::string& instanceId, const std::string& hardwareIds,
                          const std::array<std::uint8_t, 16>& classGuid) {
  if (!ready_) {
    return Refuse("instance " + instanceId, "there is no backup to record it in");
  }
  if (!Append(kManifest, "instance " + instanceId + ": class " + GuidText(classGuid) +
                             ", hardware IDs " + hardwareIds +
                             " (recorded: plugging the device in again reinstalls it)" +
                             kLineEnd)) {
    return Refuse("instance " + instanceId, "it cannot be recorded in the backup");
  }
  instancesRecorded_ = true;
  report_.Log("instance " + instanceId + ": recorded in the backup");
  return true;
}

void Backup::End() {
  if (!ready_) {
    return;
  }
  std::string ending;
  if (instancesRecorded_) {
    ending += std::string(
                  "echo The device instances are not restored by this command: plugging "
                  "the device in again reinstalls them ^(manifest.txt lists them^).") +
              kLineEnd;
  }
  ending += std::string("exit /b %failed%") + kLineEnd;
  Append(kRestore, ending);
}

}  // namespace vorsk
