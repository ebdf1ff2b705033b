// Device instance removal: every device instance, of every class, present or not, whose
// hardware ID begins with one of two prefixes is removed by its class installer.
#pragma once

#include <string>

#include "cleanup/device_ids.h"
#include "host/host.h"

namespace vorsk {

// Walks all device instances, traces each hardware ID it examines on standard output, and
// removes the instances with an ID that begins with prefix1 or, failing that, prefix2.
void RemoveMatchingDevices(Host& host, const std::string& prefix1, const std::string& prefix2);

}  // namespace vorsk
