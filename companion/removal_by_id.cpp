#include "companion/removal_by_id.h"

#include "text/text.h"

#include "host/handles.h"
#include "report/exit_status.h"

namespace vorsk {

namespace {

// Removes one instance in a set of its own.
InstanceReport RemoveInstance(Host& host, const std::string& instanceId) {
  InstanceReport report;
  report.instanceId = instanceId;
  unique_hdevinfo set(host, host.SetupDiCreateDeviceInfoList());
  if (!set) {
    report.error = host.GetLastError();
    return report;
  }
  DeviceInfoRecord record;
  record.cbSize = sizeof(record);
  if (!host.SetupDiOpenDeviceInfoA(set.get(), instanceId, record)) {
    report.error = host.GetLastError();
    // An instance that no longer exists has nothing left to remove.
    if (report.error == kErrorNoSuchDevinst) {
      report.outcome = InstanceOutcome::Absent;
    }
    return report;
  }
  if (!host.SetupDiCallClassInstaller(kDifRemove, set.get(), record)) {
    report.error = host.GetLastError();
    return report;
  }
  std::uint32_t flags = 0;
  const bool restart = host.SetupDiGetDeviceInstallParamsA(set.get(), record, &flags) &&
                       (flags & (kDiNeedRestart | kDiNeedReboot)) != 0;
  report.outcome = restart ? InstanceOutcome::RestartNeeded : InstanceOutcome::Removed;
  return report;
}

}  // namespace

int RemoveInstancesById(Host& host, const std::vector<std::string>& instanceIds,
                        const std::function<void(const InstanceReport&)>& report) {
  bool left = false;
  bool restartNeeded = false;
  for (const std::string& instanceId : instanceIds) {
    const InstanceReport outcome = RemoveInstance(host, instanceId);
    left = left || outcome.outcome == InstanceOutcome::Failed;
    restartNeeded = restartNeeded || outcome.outcome == InstanceOutcome::RestartNeeded;
    report(outcome);
  }
  if (left) {
    return kExitLeft;
  }
  return restartNeeded ? kExitRestartNeeded : kExitCompleted;
}

UninstallReport UninstallPackage(Host& host, const std::string& infName) {
  UninstallReport report;
  report.infName = infName;
  if (!host.SetupUninstallOEMInfA(infName, kSuoiForceDelete)) {
    report.error = host.GetLastError();
    // A failure without a reason is still a failure.
    if (report.error == kErrorSuccess) {
      report.error = kErrorInvalidData;
    }
  }
  return report;
}

AddReport AddPackage(Host& host, const std::string& infPath) {
  AddReport report;
  report.infPath = infPath;
  std::u16string published;
  if (!host.SetupCopyOEMInfW(Utf16FromUtf8(infPath), published)) {
    report.error = host.GetLastError();
    // A failure without the platform's reason is a failure still.
    report.error = report.error == kErrorSuccess ? kErrorInvalidData : report.error;
    return report;
  }
  report.published = Utf8FromUtf16(published);
  return report;
}

}  // namespace vorsk
