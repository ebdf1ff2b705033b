#include "companion/removal_by_id.h"

#include "host/handles.h"
#include "report/exit_status.h"
#include "text/text.h"

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
  if (!host.SetupDiOpenDeviceInfoW(set.get(), Utf16FromUtf8(instanceId), record)) {
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

// A failure without the platform's reason is a failure still.
Status FailureOf(Host& host) {
  const Status error = host.GetLastError();
  return error == kErrorSuccess ? kErrorInvalidData : error;
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
  if (!host.SetupUninstallOEMInfW(Utf16FromUtf8(infName), kSuoiForceDelete)) {
    report.error = FailureOf(host);
  }
  return report;
}

AddReport AddPackage(Host& host, const std::string& infPath) {
  AddReport report;
  report.infPath = infPath;
  std::u16string published;
  if (!host.SetupCopyOEMInfW(Utf16FromUtf8(infPath), published)) {
    report.error = FailureOf(host);
    return report;
  }
  report.published = Utf8FromUtf16(published);
  return report;
}

int PerformTask(Host& host, const CompanionTask& task,
                const std::function<void(const std::string& line)>& write) {
  switch (task.kind) {
    case CompanionTask::Kind::Uninstall: {
      const UninstallReport report = UninstallPackage(host, task.items[0]);
      write(FormatUninstallReport(report));
      return report.error == kErrorSuccess ? kExitCompleted : kExitLeft;
    }
    case CompanionTask::Kind::Add: {
      const AddReport report = AddPackage(host, task.items[0]);
      write(FormatAddReport(report));
      return report.error == kErrorSuccess ? kExitCompleted : kExitLeft;
    }
    case CompanionTask::Kind::Remove:
      break;
  }
  return RemoveInstancesById(
      host, task.items, [&](const InstanceReport& report) { write(FormatInstanceReport(report)); });
}

int CombinedStatus(int earlier, int task) {
  if (earlier == kExitLeft || task == kExitLeft) {
    return kExitLeft;
  }
  return earlier == kExitRestartNeeded || task == kExitRestartNeeded ? kExitRestartNeeded
                                                                     : kExitCompleted;
}

}  // namespace vorsk
