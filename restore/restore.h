// Putting a backup back: vorsk.exe /restore:<run folder>. It trusts a backup whose manifest is the
// one recorded on this computer (backup/backup_record.h), wherever its folder now is, and one that
// a person vouches for with /anycomputer; it checks each saved file against the manifest's digest
// and uses only what matches. Each tree goes back at its saved path, opened (and made) one key at a
// time and never through a link; a file only where its place is empty or holds the same bytes; a
// driver package through the platform's own call, which publishes it anew.
#pragma once

#include <string>

#include "host/host.h"

namespace vorsk {

struct RestoreOptions {
  std::string folder;        // the backup's run folder, a full path in UTF-8
  bool list = false;         // change nothing: say what would go back
  bool quiet = false;        // no box (a restore shows none anyway)
  bool anyComputer = false;  // the person vouches for a backup this computer has no record of
};

// Puts the backup back (or lists what would go back) and returns the exit status: 0 everything
// is back (with /list: everything is there already), 3 something is not back (each named; with
// /list: something would go back), 1 the backup is refused or cannot be read, 1618 another run
// holds the lock.
int PerformRestore(Host& host, WindowHandle frame, const RestoreOptions& options);

}  // namespace vorsk
