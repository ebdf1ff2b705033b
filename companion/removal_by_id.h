// The companion's work: each device instance named by its instance ID removed through its class
// installer, in a set of its own.
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

}  // namespace vorsk
