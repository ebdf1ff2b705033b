// The record on the machine of each backup that a run made: the SHA-256 of its manifest (which
// holds the SHA-256 of every file the backup saved), below a key of vorsk's own that only
// administrators can write, HKEY_LOCAL_MACHINE\SOFTWARE\vorsk\Backups: one value per backup,
// named after its folder, holding the digests of the manifests made under that name (a
// multi-string). The restore trusts a backup, wherever its folder now is, when its manifest's
// digest is recorded there.
#pragma once

#include <optional>
#include <string>

#include "host/host.h"

namespace vorsk {

// Adds `digest` to the record of the backup folder `folderName` (UTF-8); the reason when it cannot
// be written, or when the record's keys could be written by another account than the
// administrators (a record there proves nothing).
std::optional<std::string> WriteBackupRecord(Host& host, const std::string& folderName,
                                             const std::string& digest);

// What the record says of a backup's manifest.
enum class RecordMatch {
  Matches,    // its digest is recorded for the folder's name
  None,       // nothing is recorded for that name, or something else
  Untrusted,  // the record's keys could be written by another account, or cannot be read
};

// Whether the record on this machine holds `digest` for `folderName`; `why` says why it does not.
RecordMatch MatchBackupRecord(Host& host, const std::string& folderName, const std::string& digest,
                              std::string& why);

}  // namespace vorsk
