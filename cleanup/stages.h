// The three removal stages, called by the removal run in this order. Each reads its own entries
// from the removal script, finds the items they name one by one, in the platform's order, and
// hands each to the run's actions as it finds it; it releases everything it acquires before it
// returns, and none of them stops the run.
#pragma once

#include <string>

#include "cleanup/actions.h"
#include "host/host.h"
#include "report/run_report.h"

namespace vorsk {

// The INF and precompiled INF files of the driver entries that the script's RemoveInf section
// names.
void RemoveDriverFiles(Host& host, RunReport& report, const std::string& scriptPath,
                       ItemActions& act);

// Every device instance, present or not, whose hardware ID begins with one of the two prefixes of
// the script's <devNo>PIDVID section; each hardware ID examined is traced.
void RemoveDevices(Host& host, RunReport& report, const std::string& scriptPath,
                   const std::string& devNo, ItemActions& act);

// The registry trees that the script's <devNo>KEY section lists.
void RemoveKeyTrees(Host& host, RunReport& report, const std::string& scriptPath,
                    const std::string& devNo, ItemActions& act);

}  // namespace vorsk
