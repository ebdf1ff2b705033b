// The companion's work: each device instance named by its instance ID removed through its class
// installer, in a set of its own; the driver package that a published INF names uninstalled; a
// saved package added again. Names come as UTF-8 and reach the platform's wide calls whole.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "companion/protocol.h"
#include "host/host.h"

namespace vorsk {

// Removes each instance, opened by its instance ID in a set of its own, through its class
// installer, and reports what became of it; returns the companion's exit status.
int RemoveInstancesById(Host& host, const std::vector<std::string>& instanceIds,
                        const std::function<void(const InstanceReport&)>& report);

// Asks the platform to uninstall the package that the INF folder's `infName` publishes, even while
// devices still use it, and reports what came of it.
UninstallReport UninstallPackage(Host& host, const std::string& infName);

// Asks the platform to stage and publish the package whose INF is at `infPath`, as a vendor's
// setup installs one, and reports the name it published it under.
AddReport AddPackage(Host& host, const std::string& infPath);

// Does one task and writes each report line of it (without its line end) to `write`; returns the
// task's status: 0, 3 (something left) or 3010 (all done, a restart needed).
int PerformTask(Host& host, const CompanionTask& task,
                const std::function<void(const std::string& line)>& write);

// The status of several tasks together: 3 when any left something, else 3010 when any needs a
// restart, else 0.
int CombinedStatus(int earlier, int task);

}  // namespace vorsk
