// The three removal stages, called by the removal run in this order. Each reads its own entries
// from the removal script, releases everything it acquires before it returns, reports only what
// its rules say and notes in the run's report what it leaves on the machine; none of them stops
// the run. With a backup, each deletes an item only once the backup has saved it.
#pragma once

#include <string>

#include "backup/backup.h"
#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

// Deletes the INF and precompiled INF files of the driver entries that the script's RemoveInf
// section names.
void RemoveDriverFiles(Host& host, RunReport& report, const std::string& scriptPath,
                       Backup* backup = nullptr);

// Removes every device instance, present or not, whose hardware ID begins with one of the two
// prefixes of the script's <devNo>PIDVID section.
void RemoveDevices(Host& host, RunReport& report, const std::string& scriptPath,
                   const std::string& devNo, Backup* backup = nullptr);

// Deletes the registry trees that the script's <devNo>KEY section lists.
void RemoveKeyTrees(Host& host, RunReport& report, const std::string& scriptPath,
                    const std::string& devNo, Backup* backup = nullptr);

}  // namespace vorsk
