#include "backup/backup.h"

#include <cstdio>
#include <vector>

#include "backup/reg_file.h"
#include "backup/tree_reader.h"
#include "text/text.h"

namespace vorsk {

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kManifest[] = "manifest.txt";
constexpr char kRestore[] = "restore.cmd";
constexpr char kRegistryFile[] = "registry.reg";
constexpr char kFilesFolder[] = "files";

std::string TimeText(const UtcTime& time) {
  char text[48];
  std::snprintf(text, sizeof(text), "%d-%02d-%02d %02d:%02d:%02d UTC", time.year, time.month % 100,
                time.day % 100, time.hour % 100, time.minute % 100, time.second % 100);
  return text;
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

std::string GuidText(const std::array<std::uint8_t, 16>& guid) {
  char text[40];
  std::snprintf(text, sizeof(text),
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid[3],
                guid[2], guid[1], guid[0], guid[5], guid[4], guid[7], guid[6], guid[8], guid[9],
                guid[10], guid[11], guid[12], guid[13], guid[14], guid[15]);
  return text;
}

std::string ErrorReason(const std::string& what, Status error) {
  return what + " (error " + ErrorText(error) + ")";
}

// The last component of a path in UTF-16: a trail byte of a double-byte character may be a
// backslash, so the code-page text is never cut at one.
std::u16string LastName(const std::u16string& path) {
  return path.substr(path.rfind(u'\\') + 1);
}

}  // namespace

LeadByteTest Backup::IsLead() {
  return [this](unsigned char byte) { return host_.IsDBCSLeadByte(byte); };
}

std::string Backup::Utf8(const std::string& codePageText) {
  return Utf8FromUtf16(host_.AnsiToWide(codePageText));
}

void Backup::Begin(const std::string& parent, const std::string& scriptPath) {
  const std::string trimmed =
      parent.size() > 3 && parent.back() == '\\' ? parent.substr(0, parent.size() - 1) : parent;
  // One moment and one name for the folder, the manifest and the restore command.
  computer_ = host_.ComputerName();
  made_ = host_.GetSystemTime();
  const std::optional<std::string> folder =
      MakeRunFolder(host_, report_, trimmed, Utf8(computer_), made_);
  if (!folder) {
    report_.LogUtf8("backup: no backup can be made in " + parent + ": nothing is deleted");
    host_.WriteStandardError(EscapeControls("No backup can be made in " +
                                            host_.WideToAnsi(Utf16FromUtf8(parent)) +
                                            ": nothing was deleted.") +
                             "\n");
    return;
  }
  folder_ = *folder;
  ready_ = Start(scriptPath);
}

bool Backup::Start(const std::string& scriptPath) {
  const std::u16string scriptName = LastName(host_.AnsiToWide(scriptPath));
  const std::string manifest =
      std::string("vorsk backup") + kLineEnd + "made: " + TimeText(made_) + kLineEnd +
      "machine: " + Utf8(computer_) + kLineEnd + "vorsk: " + VersionText() +
      (host_.IsWow64Process()
           ? ", a 32-bit program on 64-bit Windows: the trees are of the 32-bit registry view"
           : "") +
      kLineEnd + "script: " + Utf8(scriptPath) + ", copied as " + Utf8FromUtf16(scriptName) +
      kLineEnd +
      "not carried: permissions, key classes, volatile keys (they come back as ordinary keys), "
      "link keys and device instances (both recorded below)" +
      kLineEnd + "saved:" + kLineEnd;
  Status status =
      host_.CreateNewDirectory(PathIn(folder_, kFilesFolder), Host::FolderAccess::Inherited);
  if (status == kErrorSuccess) {
    status = host_.CopyToNewFile(host_.AnsiToWide(scriptPath),
                                 Utf16FromUtf8(folder_) + u"\\" + scriptName);
  }
  if (status == kErrorSuccess) {
    status = host_.WriteFileBytes(PathIn(folder_, kManifest), manifest, false);
  }
  if (status == kErrorSuccess) {
    status = host_.WriteFileBytes(
        PathIn(folder_, kRestore),
        RestoreBeginning(computer_, TimeText(made_), host_.GetACP(), IsLead()), false);
  }
  if (status != kErrorSuccess) {
    report_.LogUtf8(ErrorReason("backup: " + folder_ + " cannot be written", status) +
                    ": nothing is deleted");
    host_.WriteStandardError(EscapeControls("The backup " +
                                            host_.WideToAnsi(Utf16FromUtf8(folder_)) +
                                            " cannot be written: nothing was deleted.") +
                             "\n");
    return false;
  }
  report_.LogUtf8("backup " + folder_);
  return true;
}

bool Backup::Append(const std::string& name, const std::string& text) {
  const Status status = host_.WriteFileBytes(PathIn(folder_, name), text, true);
  if (status != kErrorSuccess) {
    report_.LogUtf8(ErrorReason("backup: " + name + " cannot be written", status));
    return false;
  }
  return true;
}

bool Backup::Refuse(const std::string& what, const std::string& why) {
  report_.LogUtf8(what + ": left, " + why);
  report_.NoteLeft();
  return false;
}

bool Backup::SaveFile(const std::string& path) {
  const std::uint32_t attributes = host_.GetFileAttributesA(path);
  if (attributes == kInvalidFileAttributes) {
    return true;  // nothing there to keep; the deletion says it is absent
  }
  const std::string what = "file " + Utf8(path);
  if (!ready_) {
    return Refuse(what, "there is no backup to save it in");
  }
  const std::u16string widePath = host_.AnsiToWide(path);
  const std::u16string saved = u"files\\" + LastName(widePath);
  const Status status = host_.CopyToNewFile(widePath, Utf16FromUtf8(folder_) + u"\\" + saved);
  if (status != kErrorSuccess) {
    return Refuse(what, ErrorReason("it cannot be saved in the backup", status));
  }
  if (!Append(kManifest, what + ": saved as " + Utf8FromUtf16(saved) + ", attributes " +
                             AttributesText(attributes) + kLineEnd) ||
      !Append(kRestore, RestoreFileLines(path, host_.WideToAnsi(saved), attributes, IsLead()))) {
    return Refuse(what, "its record cannot be written in the backup");
  }
  report_.LogUtf8(what + ": saved in the backup");
  return true;
}

Status Backup::CopyFolder(const std::u16string& from, const std::u16string& to, int depth,
                          std::size_t& files) {
  // A package's folder is a few levels deep at most; one deeper than this is no package's.
  constexpr int kDeepest = 8;
  constexpr std::size_t kMostEntries = 4096;
  if (depth > kDeepest) {
    return kErrorBadPathname;
  }
  std::vector<FolderEntry> entries;
  Status status = host_.ListFolder(from, entries, kMostEntries);
  if (status == kErrorSuccess) {
    status = host_.CreateNewDirectory(to, Host::FolderAccess::Inherited);
  }
  for (const FolderEntry& entry : entries) {
    if (status != kErrorSuccess) {
      break;
    }
    if ((entry.attributes & kFileAttributeReparsePoint) != 0) {
      // A link in a package is none of the package's files: nothing is followed.
      status = kErrorBadPathname;
    } else if ((entry.attributes & kFileAttributeDirectory) != 0) {
      status = CopyFolder(from + u"\\" + entry.name, to + u"\\" + entry.name, depth + 1, files);
    } else {
      status = host_.CopyToNewFile(from + u"\\" + entry.name, to + u"\\" + entry.name);
      files += status == kErrorSuccess ? 1 : 0;
    }
  }
  return status;
}

bool Backup::SaveDriver(const FoundDriver& driver) {
  if (driver.package.hold != DriverPackage::Hold::Held) {
    // No package: the two files are all there is, and each is put back by a copy.
    const bool infSaved = SaveFile(driver.infPath);
    return SaveFile(driver.pnfPath) && infSaved;
  }
  const std::string what = "package " + Utf8(driver.infName);
  if (!ready_) {
    return Refuse(what, "there is no backup to save it in");
  }
  const std::u16string& storeFolder = driver.package.storeFolder;
  const std::u16string& storeInf = driver.package.storeInf;
  if (storeFolder.empty() || storeInf.size() <= storeFolder.size()) {
    return Refuse(what, "its store folder cannot be found to save it");
  }
  const std::u16string saved = u"files\\store\\" + LastName(storeFolder);
  if (!storeSaved_) {
    const Status status =
        host_.CreateNewDirectory(PathIn(folder_, "files\\store"), Host::FolderAccess::Inherited);
    if (status != kErrorSuccess) {
      return Refuse(what, ErrorReason("its store folder cannot be saved", status));
    }
    storeSaved_ = true;
  }
  std::size_t files = 0;
  const Status status = CopyFolder(storeFolder, Utf16FromUtf8(folder_) + u"\\" + saved, 0, files);
  if (status != kErrorSuccess) {
    return Refuse(what, ErrorReason("its store folder cannot be saved in the backup", status));
  }
  // The published INF and PNF are kept too, byte for byte, for the record.
  for (const std::string& path : {driver.infPath, driver.pnfPath}) {
    if (host_.GetFileAttributesA(path) == kInvalidFileAttributes) {
      continue;
    }
    const std::u16string copy = u"files\\" + LastName(host_.AnsiToWide(path));
    const Status copied =
        host_.CopyToNewFile(host_.AnsiToWide(path), Utf16FromUtf8(folder_) + u"\\" + copy);
    if (copied != kErrorSuccess) {
      return Refuse(what, ErrorReason("file " + Utf8(path) + " cannot be saved", copied));
    }
  }
  const std::u16string savedInf = saved + storeInf.substr(storeFolder.size());
  if (!Append(kManifest, what + ": held by the platform; its store folder " +
                             Utf8FromUtf16(storeFolder) + " saved whole as " +
                             Utf8FromUtf16(saved) + ", " + CountText(files, "file", "files") +
                             kLineEnd) ||
      !Append(kRestore,
              RestorePackageLines(driver.infPath, host_.WideToAnsi(savedInf), IsLead()))) {
    return Refuse(what, "its record cannot be written in the backup");
  }
  report_.LogUtf8(what + ": its store folder saved in the backup, " +
                  CountText(files, "file", "files"));
  return true;
}

bool Backup::SaveTree(RegKey root, const std::string& path) {
  const std::string what = "tree " + Utf8(path);
  if (!ready_) {
    return Refuse(what, "there is no backup to save it in");
  }
  if (root == kNullKey) {
    return Refuse(what, "it cannot be read for the backup");
  }
  TreeText tree;
  if (!ReadTree(host_, root, u"HKEY_LOCAL_MACHINE\\" + host_.AnsiToWide(path), tree)) {
    return Refuse(what, "it cannot be saved in the backup: " + tree.failure);
  }
  const bool written = registryStarted_
                           ? Append(kRegistryFile, Utf16LeBytes(tree.blocks))
                           : host_.WriteFileBytes(PathIn(folder_, kRegistryFile),
                                                  RegFileBytes(RegFileHeader() + tree.blocks),
                                                  false) == kErrorSuccess;
  if (!written) {
    return Refuse(what, "registry.reg cannot be written");
  }
  std::string manifest = what + ": saved in registry.reg, " + CountText(tree.keys, "key", "keys") +
                         ", " + CountText(tree.values, "value", "values") + kLineEnd;
  for (const std::string& note : tree.notes) {
    manifest += note + kLineEnd;
  }
  if (!Append(kManifest, manifest)) {
    return Refuse(what, "its record cannot be written in the backup");
  }
  if (!registryStarted_) {
    if (!Append(kRestore, RestoreRegistryLines(host_.IsWow64Process()))) {
      return Refuse(what, "its record cannot be written in the backup");
    }
    registryStarted_ = true;
  }
  report_.LogUtf8(what + ": saved in the backup, " + CountText(tree.keys, "key", "keys"));
  return true;
}

bool Backup::SaveInstance(const std::string& instanceId, const std::string& hardwareIds,
                          const std::array<std::uint8_t, 16>& classGuid) {
  const std::string what = "instance " + Utf8(instanceId);
  if (!ready_) {
    return Refuse(what, "there is no backup to record it in");
  }
  if (!Append(kManifest,
              what + ": class " + GuidText(classGuid) + ", hardware IDs " + Utf8(hardwareIds) +
                  " (recorded: plugging the device in again reinstalls it)" + kLineEnd)) {
    return Refuse(what, "it cannot be recorded in the backup");
  }
  instancesRecorded_ = true;
  report_.LogUtf8(what + ": recorded in the backup");
  return true;
}

void Backup::End() {
  if (ready_) {
    Append(kRestore, RestoreEnding(instancesRecorded_));
  }
}

}  // namespace vorsk
