// Device instance removal: the walk over every device instance, of every class, present or not,
// that finds those whose hardware ID begins with one of two prefixes.
#pragma once

#include <string>

#include "cleanup/actions.h"
#include "cleanup/device_ids.h"
#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

// Walks all device instances and hands each with an ID that begins with prefix1 or, failing
// that, prefix2 to `act`, each hardware ID it examines traced through `act`; after the walk,
// with the set released, tells `act` the walk is over.
void FindMatchingDevices(Host& host, RunReport& report, const std::string& prefix1,
                         const std::string& prefix2, ItemActions& act);

}  // namespace vorsk
