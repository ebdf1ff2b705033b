// What a run keeps of what it deletes, so that a wrong removal can be taken back. Each run makes a
// folder of its own, <computer>-<UTC time>, below the folder that /backup names, and saves there,
// before each deletion:
//   files\<name>    each INF and PNF file, byte for byte
//   files\store\<package folder>
//                   the driver store's folder of a package that the platform holds, whole
//   registry.reg    each listed tree, whole, in the registry editor's text format
//   manifest.txt    when, where, which vorsk, the script (copied beside it), each saved item; in
//                   UTF-8 without a byte-order mark
//   restore.cmd     puts the files and the trees back, and says what it did
// A stage deletes an item only once it is saved; a save that fails keeps the item on the machine.
// A backup whose folder cannot be made saves nothing, so that run deletes nothing.
//
// This file orchestrates: backup_folder.h makes the folder, tree_reader.h reads a tree,
// restore_script.h writes the restore command's text, reg_file.h the registry editor's format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "backup/backup_folder.h"
#include "backup/restore_script.h"
#include "cleanup/actions.h"
#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

class Backup {
 public:
  Backup(Host& host, RunReport& report) : host_(host), report_(report) {}

  // Makes the run's folder below `parent` (UTF-8; made first when missing), copies the script
  // (a path in the code page) into it and begins the manifest and the restore command. When any
  // of it fails, the reason is logged and on standard error, and every save then fails.
  void Begin(const std::string& parent, const std::string& scriptPath);
  // The run's folder, in UTF-8, once begun; empty when there is none.
  const std::string& Folder() const { return folder_; }

  // Saves what is about to be deleted; true when it is saved, or when there is nothing to save
  // (the file or tree is absent). False, logged, when the item must be kept. Paths, IDs and
  // hardware IDs are in the code page.
  bool SaveFile(const std::string& path);
  // The tree of the open key `root` (opened for reading), whose path below HKEY_LOCAL_MACHINE
  // is `path`, read through the wide-character calls; a link inside it is recorded with its
  // target in the manifest, never followed.
  bool SaveTree(RegKey root, const std::string& path);
  // The driver's INF and PNF and, when the platform holds its package, the package's store folder
  // whole: restore.cmd puts such a package back with the platform's own tool, and copies the two
  // files back only where there is no package. True when everything is saved; otherwise nothing
  // of the driver may go, and the reason is logged.
  bool SaveDriver(const FoundDriver& driver);
  // A device instance cannot be put back by a file: it is recorded in the manifest.
  bool SaveInstance(const std::string& instanceId, const std::string& hardwareIds,
                    const std::array<std::uint8_t, 16>& classGuid);

  // Ends the restore command.
  void End();

 private:
  bool Start(const std::string& scriptPath);
  bool Append(const std::string& name, const std::string& text);
  bool Refuse(const std::string& what, const std::string& why);
  // Copies the folder `from` whole into `to`, a new folder; the platform's error, or
  // kErrorSuccess, with the files counted in `files`.
  Status CopyFolder(const std::u16string& from, const std::u16string& to, int depth,
                    std::size_t& files);
  // Code-page text in UTF-8, as the log and the manifest take it.
  std::string Utf8(const std::string& codePageText);
  // The lead bytes of the code page restore.cmd is written in.
  LeadByteTest IsLead();

  Host& host_;
  RunReport& report_;
  bool ready_ = false;
  bool registryStarted_ = false;
  bool instancesRecorded_ = false;
  bool storeSaved_ = false;
  std::string computer_;  // in the code page
  UtcTime made_;
  std::string folder_;
};

}  // namespace vorsk
