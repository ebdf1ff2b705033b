// Device instance removal: every device instance, of every class, present or not, whose
// hardware ID begins with one of two prefixes is removed by its class installer; on 64-bit
// Windows by the 64-bit companion, to which the walk hands the matching instances.
#pragma once

#include <string>

#include "backup/backup.h"
#include "cleanup/device_ids.h"
#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

// The message of a run whose companion is missing, cannot start or fails, owned by the frame.
inline constexpr std::string_view kCompanionFailedMessage =
    "Can't run file vorsk64.exe,devices not removed!";

// Walks all device instances, traces each hardware ID it examines on standard output, and
// removes the instances with an ID that begins with prefix1 or, failing that, prefix2. An
// instance that stays is noted in the report. With a backup, an instance is removed (or handed
// over) only once the backup has recorded it.
void RemoveMatchingDevices(Host& host, RunReport& report, const std::string& prefix1,
                           const std::string& prefix2, Backup* backup = nullptr);

}  // namespace vorsk
