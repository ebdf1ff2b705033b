// The companion's work: each device instance named by its instance ID removed through its class
// installer, in a set of its own; or the driver package that a published INF names uninstalled.
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

// Asks the platform to stage and publish the package whose INF is at `infPath` (UTF-8), as a
// vendor's setup installs one, and reports the name it published it under.
AddReport AddPackage(Host& host, const std::string& infPath);

}  // namespace vorsk
