// What a run keeps of what it deletes, so that a wrong removal can be taken back. Each run makes a
// folder of its own, <computer>-<UTC time>, below the folder that /backup names, holds it open
// for the whole run (nobody may move or swap it meanwhile), and saves there, before each
// deletion, under names of its own choosing (the real ones are in the manifest):
//   files\<n>        each INF and PNF file, byte for byte
//   files\store\<n>\<m>
//                    each file of the driver store's folder of a package the platform holds
//   registry.reg     each listed tree, whole, in the registry editor's text format
//   manifest.txt     when, where, which vorsk, the script (copied beside it), each saved item with
//                    the SHA-256 of each file; in UTF-8 without a byte-order mark
//   vorsk.exe, vorsk64.exe
//                    the programs that put it back, so that a restore works after they are gone
//   restore.cmd      the double-click way to run that vorsk.exe on this folder
// A stage deletes an item only once it is saved; a save that fails keeps the item on the machine.
// A backup whose folder cannot be made saves nothing, so that run deletes nothing. At its end, the
// run records the SHA-256 of the manifest on the machine (backup/backup_record.h): the restore
// trusts a backup whose manifest matches that record.
//
// This file orchestrates: backup_folder.h makes the folder, tree_reader.h reads a tree,
// manifest.h writes the manifest's lines, reg_file.h the registry editor's format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "backup/backup_folder.h"
#include "backup/manifest.h"
#include "cleanup/actions.h"
#include "digest/sha256.h"
#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

class Backup {
 public:
  Backup(Host& host, RunReport& report) : host_(host), report_(report) {}

  // Makes the run's folder below `parent` (UTF-8; made first when missing), copies the script
  // (a path in the code page) and the programs into it and begins the manifest and the restore
  // command. When any of it fails, the reason is logged and on standard error, and every save
  // then fails.
  void Begin(const std::string& parent, const std::string& scriptPath);
  // The run's folder, in UTF-8, once begun; empty when there is none.
  std::string Folder() const { return run_ ? run_->Path() : std::string(); }

  // Saves what is about to be deleted; true when it is saved, or when there is nothing to save
  // (the file or tree is absent). False, logged, when the item must be kept. Paths, IDs and
  // hardware IDs are in the code page.
  bool SaveFile(const std::string& path);
  // The tree of the open key `root` (opened for reading), whose path below HKEY_LOCAL_MACHINE
  // is `path`, read through the wide-character calls; a link inside it is recorded with its
  // target in the manifest, never followed.
  bool SaveTree(RegKey root, const std::string& path);
  // The driver's INF and PNF and, when the platform holds its package, the package's store folder
  // whole: the restore adds such a package again with the platform's own call, and copies the two
  // files back only where there is no package. True when everything is saved; otherwise nothing
  // of the driver may go, and the reason is logged.
  bool SaveDriver(const FoundDriver& driver);
  // A device instance cannot be put back by a file: it is recorded in the manifest.
  bool SaveInstance(const std::string& instanceId, const std::string& hardwareIds,
                    const std::array<std::uint8_t, 16>& classGuid);

  // Ends the manifest with the digests of what it saved last, and records the manifest's digest
  // on the machine.
  void End();

 private:
  bool Start(const std::string& scriptPath);
  // Appends to a file of the backup; the manifest's digest follows what it is given.
  bool Append(const std::string& name, const std::string& text);
  bool Refuse(const std::string& what, const std::string& why);
  // Copies the file `from` (a full path) to `saved` in the backup; its digest in `sha256`.
  Status Copy(const std::u16string& from, const std::string& saved, std::string& sha256);
  // Copies the store folder `from` (its part `relative` below the package's folder, empty at
  // first) into the package's saved folder, one file at a time.
  Status CopyStoreFolder(const std::u16string& from, const std::u16string& relative, int depth,
                         SavedPackage& package, const std::u16string& storeInf);
  // Code-page text in UTF-8, as the log and the manifest take it.
  std::string Utf8(const std::string& codePageText);

  Host& host_;
  RunReport& report_;
  std::optional<RunFolder> run_;
  bool ready_ = false;
  bool registryStarted_ = false;
  bool storeStarted_ = false;
  int savedFiles_ = 0;
  int savedPackages_ = 0;
  std::string computer_;  // in the code page
  UtcTime made_;
  Sha256 manifestDigest_;
  Sha256 registryDigest_;
};

}  // namespace vorsk
