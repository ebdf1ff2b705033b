// The run's own backup folder: where it is made, what it is named, and who may write in it.
#pragma once

#include <optional>
#include <string>

#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

// A run makes at most this many folders of one name before it gives up: the name with "-2" to
// "-99".
inline constexpr int kMaxBackupFolderTries = 99;

// The folder name of a backup made on `computer` at `time`: "SCANPC-20261208T054312Z".
std::string BackupFolderName(const std::string& computer, const UtcTime& time);

// Makes the run's folder, named for `computer` and `time`, below `parent` (both UTF-8; each missing
// folder on the way made first), for administrators only; returns its path in UTF-8. Nothing,
// with the reason logged, when a folder on the way is a link (it could lead anywhere, the system
// folder too), or when the folder cannot be made.
std::optional<std::string> MakeRunFolder(Host& host, RunReport& report, const std::string& parent,
                                         const std::string& computer, const UtcTime& time);

// `name` below `folder`, both in UTF-8, as the wide-character calls take the path.
std::u16string PathIn(const std::string& folder, const std::string& name);

}  // namespace vorsk
