// The run's own backup folder: where it is made, what it is named, who may write in it, and the
// handles that keep it, and every folder on its path, where it is until the run ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/handles.h"
#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

// A run makes at most this many folders of one name before it gives up: the name with "-2" to
// "-99".
inline constexpr int kMaxBackupFolderTries = 99;

// The folder name of a backup made on `computer` at `time`: "SCANPC-20261208T054312Z".
std::string BackupFolderName(const std::string& computer, const UtcTime& time);

// The run's folder, open with every folder on its path from the drive's root or the share, none
// of them shared for deletion: nobody may move, rename or delete any of them while the run holds
// them, and every file of the backup is made relative to the run folder's handle.
class RunFolder {
 public:
  FolderHandle Handle() const { return held_.back().get(); }
  // Its full path and its name, in UTF-8.
  const std::string& Path() const { return path_; }
  const std::string& Name() const { return name_; }

 private:
  friend std::optional<RunFolder> MakeRunFolder(Host&, RunReport&, const std::string&,
                                                const std::string&, const UtcTime&);
  std::vector<unique_hfolder> held_;
  std::string path_;
  std::string name_;
};

// Makes the run's folder, named for `computer` and `time`, below `parent` (a full path on a drive
// or a share; both in UTF-8), making each missing folder on the way first. On a local disk every
// folder made gets the run folder's protected access list (SYSTEM and the Administrators), and a
// folder already on the path is refused when an account other than SYSTEM, the Administrators,
// the platform's installer account or the one running vorsk may delete, rename or take it, or
// delete or rename what it holds. On a share the folders above the run folder are the share's
// (many machines write there): only the run folder is made protected, for SYSTEM, the
// Administrators and the account that made it. Nothing, with the reason logged, when a folder on
// the way is a link (it could lead anywhere, the system folder too), is refused, or cannot be
// made.
std::optional<RunFolder> MakeRunFolder(Host& host, RunReport& report, const std::string& parent,
                                       const std::string& computer, const UtcTime& time);

}  // namespace vorsk
