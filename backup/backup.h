// What a run keeps of what it deletes, so that a wrong removal can be taken back. Each run makes a
// folder of its own, <computer>-<UTC time>, below the folder that /backup names, and saves there,
// before each deletion:
//   files\<name>    each INF and PNF file, byte for byte
//   registry.reg    each listed tree, whole, in the registry editor's text format
//   manifest.txt    when, where, which vorsk, the script (copied beside it), each saved item
//   restore.cmd     puts the files and the trees back, and says what it did
// A stage deletes an item only once it is saved; a save that fails keeps the item on the machine.
// A backup whose folder cannot be made saves nothing, so that run deletes nothing.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

// A run makes at most this many folders of one name before it gives up: the name with "-2" to
// "-99".
inline constexpr int kMaxBackupFolderTries = 99;

class Backup {
 public:
  Backup(Host& host, RunReport& report) : host_(host), report_(report) {}

  // Makes the run's folder below `parent` (made first when missing), copies the script into it
  // and begins the manifest and the restore command. False, with the reason logged and on
  // standard error, when any of it fails: every save then fails.
  bool Begin(const std::string& parent, const std::string& scriptPath);
  // The run's folder, once begun.
  const std::string& Folder() const { return folder_; }

  // Saves what is about to be deleted; true when it is saved, or when there is nothing to save
  // (the file or tree is absent). False, logged, when the item must be kept.
  bool SaveFile(const std::string& path);
  // The tree of the open key `root` (opened for reading), whose path below HKEY_LOCAL_MACHINE
  // is `path`, read through the wide-character calls; a link inside it is recorded with its
  // target in the manifest, never followed.
  bool SaveTree(RegKey root, const std::string& path);
  // A device instance cannot be put back by a file: it is recorded in the manifest.
  bool SaveInstance(const std::string& instanceId, const std::string& hardwareIds,
                    const std::array<std::uint8_t, 16>& classGuid);

  // Ends the restore command.
  void End();

 private:
  bool MakeParent(const std::string& parent);
  bool MakeRunFolder(const std::string& parent);
  bool Append(const std::string& name, const std::string& text);
  bool Refuse(const std::string& what, const std::string& why);

  Host& host_;
  RunReport& report_;
  bool ready_ = false;
  bool registryStarted_ = false;
  bool instancesRecorded_ = false;
  std::string computer_;
  UtcTime made_;
  std::string folder_;
};

// The folder name of a backup made on `computer` at `time`: "SCANPC-20261208T054312Z".
std::string BackupFolderName(const std::string& computer, const UtcTime& time);

// Text as a command file takes it: within quotes ('%' doubled), and outside them, where the
// command interpreter's own characters are escaped.
std::string CommandQuoted(const std::string& text);
std::string CommandText(const std::string& text);

}  // namespace vorsk
