#include "backup/backup.h"

#include <cstdio>
#include <vector>

#include "backup/backup_record.h"
#include "backup/reg_file.h"
#include "backup/restore_script.h"
#include "backup/tree_reader.h"
#include "cleanup/driver_package.h"
#include "companion/protocol.h"
#include "text/text.h"

namespace vorsk {

namespace {

constexpr char kManifest[] = "manifest.txt";
constexpr char kRestore[] = "restore.cmd";
constexpr char kRegistryFile[] = "registry.reg";
constexpr char kFilesFolder[] = "files";
constexpr char kStoreFolder[] = "files\\store";

std::string TimeText(const UtcTime& time) {
  char text[48];
  std::snprintf(text, sizeof(text), "%d-%02d-%02d %02d:%02d:%02d UTC", time.year, time.month % 100,
                time.day % 100, time.hour % 100, time.minute % 100, time.second % 100);
  return text;
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

// The part of a path in UTF-16 before its last component, and that component: a trail byte of a
// double-byte character may be a backslash, so the code-page text is never cut at one.
std::u16string FolderOf(const std::u16string& path) {
  const std::size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

}  // namespace

std::string Backup::Utf8(const std::string& codePageText) {
  return Utf8FromUtf16(host_.AnsiToWide(codePageText));
}

void Backup::Begin(const std::string& parent, const std::string& scriptPath) {
  const std::string trimmed =
      parent.size() > 3 && parent.back() == '\\' ? parent.substr(0, parent.size() - 1) : parent;
  // One moment and one name for the folder, the manifest and its record.
  computer_ = host_.ComputerName();
  made_ = host_.GetSystemTime();
  run_ = MakeRunFolder(host_, report_, trimmed, Utf8(computer_), made_);
  if (!run_) {
    report_.LogUtf8("backup: no backup can be made in " + parent + ": nothing is deleted");
    host_.WriteStandardError(EscapeControls("No backup can be made in " +
                                            host_.WideToAnsi(Utf16FromUtf8(parent)) +
                                            ": nothing was deleted.") +
                             "\n");
    return;
  }
  ready_ = Start(scriptPath);
}

Status Backup::Copy(const std::u16string& from, const std::string& saved, std::string& sha256) {
  Sha256 digest;
  const Status status = host_.CopyFileIn(kNoFolder, from, run_->Handle(), Utf16FromUtf8(saved),
                                         [&](std::string_view piece) { digest.Add(piece); });
  sha256 = DigestText(digest.Finish());
  return status;
}

bool Backup::Start(const std::string& scriptPath) {
  std::vector<SavedSum> sums;
  Status status = kErrorSuccess;
  {
    unique_hfolder made(host_);
    status = host_.CreateFolderIn(run_->Handle(), Utf16FromUtf8(kFilesFolder),
                                  Host::FolderAccess::Inherited, made.put());
  }
  // The programs that put the backup back travel with it: vorsk.exe, as restore.cmd runs it, and
  // each companion beside it that it starts.
  std::u16string program;
  if (status == kErrorSuccess) {
    status = host_.OwnProgramPath(program);
  }
  std::vector<std::pair<std::u16string, std::string>> copies;
  if (status == kErrorSuccess) {
    copies.push_back({program, kSavedProgram});
    copies.push_back({host_.AnsiToWide(scriptPath), kSavedScript});
  }
  for (std::size_t i = 0; status == kErrorSuccess && i < copies.size(); ++i) {
    SavedSum sum{copies[i].second, std::string()};
    status = Copy(copies[i].first, sum.name, sum.sha256);
    sums.push_back(sum);
  }
  if (status == kErrorSuccess) {
    for (const std::string_view companion : {kCompanionProgram}) {
      SavedSum sum{std::string(companion), std::string()};
      const Status copied =
          Copy(FolderOf(program) + u"\\" + Utf16FromUtf8(sum.name), sum.name, sum.sha256);
      if (copied == kErrorSuccess) {
        sums.push_back(sum);
      } else if (copied == kErrorFileNotFound) {
        report_.LogUtf8("backup: " + sum.name + " is not beside vorsk.exe: the backup has none");
      } else {
        status = copied;
      }
    }
  }
  const std::string restore = RestoreCommand();
  if (status == kErrorSuccess) {
    status = host_.WriteFileIn(run_->Handle(), Utf16FromUtf8(kRestore), restore, false);
    sums.push_back({kRestore, Sha256Text(restore)});
  }
  if (status == kErrorSuccess) {
    const std::string manifest =
        ManifestBeginning(TimeText(made_), Utf8(computer_), run_->Name(), VersionText(),
                          host_.IsWow64Process(), Utf8(scriptPath), sums);
    status = host_.WriteFileIn(run_->Handle(), Utf16FromUtf8(kManifest), manifest, false);
    manifestDigest_.Add(manifest);
  }
  if (status != kErrorSuccess) {
    report_.LogUtf8(ErrorReason("backup: " + run_->Path() + " cannot be written", status) +
                    ": nothing is deleted");
    host_.WriteStandardError(EscapeControls("The backup " +
                                            host_.WideToAnsi(Utf16FromUtf8(run_->Path())) +
                                            " cannot be written: nothing was deleted.") +
                             "\n");
    return false;
  }
  report_.LogUtf8("backup " + run_->Path());
  return true;
}

bool Backup::Append(const std::string& name, const std::string& text) {
  const Status status = host_.WriteFileIn(run_->Handle(), Utf16FromUtf8(name), text, true);
  if (status != kErrorSuccess) {
    report_.LogUtf8(ErrorReason("backup: " + name + " cannot be written", status));
    return false;
  }
  if (name == kManifest) {
    manifestDigest_.Add(text);
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
  SavedFile file;
  file.path = Utf8(path);
  file.saved = std::string(kFilesFolder) + "\\" + std::to_string(++savedFiles_);
  file.attributes = attributes;
  const Status status = Copy(host_.AnsiToWide(path), file.saved, file.sha256);
  if (status != kErrorSuccess) {
    return Refuse(what, ErrorReason("it cannot be saved in the backup", status));
  }
  if (!Append(kManifest, ManifestFileLine(file))) {
    return Refuse(what, "its record cannot be written in the backup");
  }
  report_.LogUtf8(what + ": saved in the backup");
  return true;
}

Status Backup::CopyStoreFolder(const std::u16string& from, const std::u16string& relative,
                               int depth, SavedPackage& package, const std::u16string& storeInf) {
  // A package's folder is a few levels deep at most; one deeper than this is no package's.
  constexpr int kDeepest = 8;
  constexpr std::size_t kMostEntries = 4096;
  if (depth > kDeepest) {
    return kErrorBadPathname;
  }
  std::vector<FolderEntry> entries;
  Status status = host_.ListFolder(from, entries, kMostEntries);
  for (const FolderEntry& entry : entries) {
    if (status != kErrorSuccess) {
      break;
    }
    const std::u16string name = relative.empty() ? entry.name : relative + u"\\" + entry.name;
    if ((entry.attributes & kFileAttributeReparsePoint) != 0) {
      // A link in a package is none of the package's files: nothing is followed.
      status = kErrorBadPathname;
    } else if ((entry.attributes & kFileAttributeDirectory) != 0) {
      status = CopyStoreFolder(from + u"\\" + entry.name, name, depth + 1, package, storeInf);
    } else {
      SavedStoreFile file;
      file.saved = package.saved + "\\" + std::to_string(package.files.size() + 1);
      file.name = Utf8FromUtf16(name);
      file.isInf = from + u"\\" + entry.name == storeInf;
      status = Copy(from + u"\\" + entry.name, file.saved, file.sha256);
      package.files.push_back(file);
    }
  }
  return status;
}

bool Backup::SaveDriver(const FoundDriver& driver) {
  if (LeavesDriverWhole(driver)) {
    return true;  // nothing of it goes, so there is nothing to keep
  }
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
  if (!driver.package.linkOnPath.empty()) {
    // What lies beyond a link is not the store's own: a copy through it would not be the package.
    return Refuse(what, "its store folder cannot be saved whole, a link on its path (" +
                            Utf8FromUtf16(driver.package.linkOnPath) + ")");
  }
  SavedPackage package;
  package.infName = Utf8(driver.infName);
  package.storeFolder = Utf8FromUtf16(storeFolder);
  package.saved = std::string(kStoreFolder) + "\\" + std::to_string(++savedPackages_);
  Status status = kErrorSuccess;
  if (!storeStarted_) {
    unique_hfolder store(host_);
    status = host_.CreateFolderIn(run_->Handle(), Utf16FromUtf8(kStoreFolder),
                                  Host::FolderAccess::Inherited, store.put());
    storeStarted_ = status == kErrorSuccess;
  }
  if (status == kErrorSuccess) {
    unique_hfolder saved(host_);
    status = host_.CreateFolderIn(run_->Handle(), Utf16FromUtf8(package.saved),
                                  Host::FolderAccess::Inherited, saved.put());
  }
  if (status == kErrorSuccess) {
    status = CopyStoreFolder(storeFolder, std::u16string(), 0, package, storeInf);
  }
  if (status != kErrorSuccess) {
    return Refuse(what, ErrorReason("its store folder cannot be saved in the backup", status));
  }
  // The published INF and PNF are kept too, byte for byte, for the record: the package puts them
  // back, under the name the platform then gives it.
  std::string published;
  for (const std::string& path : {driver.infPath, driver.pnfPath}) {
    const std::uint32_t attributes = host_.GetFileAttributesA(path);
    if (attributes == kInvalidFileAttributes) {
      continue;
    }
    SavedFile file;
    file.path = Utf8(path);
    file.saved = std::string(kFilesFolder) + "\\" + std::to_string(++savedFiles_);
    file.attributes = attributes;
    const Status copied = Copy(host_.AnsiToWide(path), file.saved, file.sha256);
    if (copied != kErrorSuccess) {
      return Refuse(what, ErrorReason("file " + file.path + " cannot be saved", copied));
    }
    published += "  published " + ManifestFileLine(file);
  }
  if (!Append(kManifest, ManifestPackageLines(package) + published)) {
    return Refuse(what, "its record cannot be written in the backup");
  }
  report_.LogUtf8(what + ": its store folder saved in the backup, " +
                  CountText(package.files.size(), "file", "files"));
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
  const std::string bytes =
      registryStarted_ ? Utf16LeBytes(tree.blocks) : RegFileBytes(RegFileHeader() + tree.blocks);
  if (host_.WriteFileIn(run_->Handle(), Utf16FromUtf8(kRegistryFile), bytes, registryStarted_) !=
      kErrorSuccess) {
    return Refuse(what, "registry.reg cannot be written");
  }
  registryStarted_ = true;
  registryDigest_.Add(bytes);
  std::string manifest = what + ": saved in registry.reg, " + CountText(tree.keys, "key", "keys") +
                         ", " + CountText(tree.values, "value", "values") + kManifestLineEnd;
  for (const std::string& note : tree.notes) {
    manifest += note + kManifestLineEnd;
  }
  if (!Append(kManifest, manifest)) {
    return Refuse(what, "its record cannot be written in the backup");
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
                  " (recorded: plugging the device in again reinstalls it)" + kManifestLineEnd)) {
    return Refuse(what, "it cannot be recorded in the backup");
  }
  report_.LogUtf8(what + ": recorded in the backup");
  return true;
}

void Backup::End() {
  if (!ready_) {
    return;
  }
  std::string ending;
  if (registryStarted_) {
    ending += ManifestSumLine({kRegistryFile, DigestText(registryDigest_.Finish())});
  }
  ending += kManifestEnd;
  if (!Append(kManifest, ending)) {
    return;  // a manifest without its end has no record: its restore needs /anycomputer
  }
  const std::string digest = DigestText(manifestDigest_.Finish());
  if (const std::optional<std::string> why = WriteBackupRecord(host_, run_->Name(), digest)) {
    report_.LogUtf8("backup: its record on this computer cannot be written: " + *why +
                    ": restoring it will need /anycomputer");
    host_.WriteStandardError(
        EscapeControls(
            "The record of the backup " + host_.WideToAnsi(Utf16FromUtf8(run_->Path())) +
            " cannot be written on this computer: " + host_.WideToAnsi(Utf16FromUtf8(*why)) +
            "; restoring it will need /anycomputer.") +
        "\n");
    return;
  }
  report_.LogUtf8("backup: recorded on this computer, manifest sha256 " + digest);
}

}  // namespace vorsk
