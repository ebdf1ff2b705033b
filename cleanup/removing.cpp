#include "cleanup/removing.h"

#include <string_view>

#include "cleanup/driver_files.h"
#include "cleanup/driver_package.h"
#include "cleanup/key_trees.h"
#include "companion/protocol.h"
#include "companion/removal_by_id.h"
#include "report/exit_status.h"
#include "report/messages.h"
#include "script/script_reader.h"
#include "text/text.h"

namespace vorsk {

namespace {

void ReportUndeletable(RunReport& report, const std::string& path) {
  report.Tell(kNoOwner, UndeletableFileMessage(path), std::nullopt, kMbOk);
}

// Notes what became of one matching instance.
void NoteOutcome(RunReport& report, const std::string& described, InstanceOutcome outcome,
                 Status error) {
  switch (outcome) {
    case InstanceOutcome::Removed:
      report.Log(described + ": removed");
      return;
    case InstanceOutcome::RestartNeeded:
      report.Log(described + ": removed, a restart is needed to finish");
      report.NoteRestartNeeded();
      return;
    case InstanceOutcome::Absent:
      report.Log(described + ": absent");
      return;
    case InstanceOutcome::Failed:
      report.Log(described + ": left (error " + ErrorText(error) + ")");
      report.NoteLeft();
      return;
  }
}

}  // namespace

void RemovingActions::Tell(const std::string& logged, const std::string&) {
  report_.Log(logged);
}

// The package first, then the files: the platform's uninstall takes the package from the store
// with its database entries, the INF and the PNF; whatever of the two files is still there is
// then deleted as any other. When the uninstall fails, what the platform holds decides: without
// a package the files go alone (but never one the platform protects); the platform's own package
// is refused; any other package stays, and its files with it, so that no driver is left with its
// files gone and its package still offered to the device.
void RemovingActions::Driver(const FoundDriver& driver) {
  const std::string package = "package " + driver.infName;
  const DriverPackage::Hold hold = driver.package.hold;
  if (LeavesDriverWhole(driver)) {
    // Which package the INF publishes, or whether any, cannot be told: nothing of it goes.
    report_.Log(package + ": left, what the platform holds for it cannot be told");
    report_.NoteLeft();
    LeaveFiles(driver);
    return;
  }
  if (!driver.infPresent && !driver.package.halfRemoved) {
    // Nothing publishes a package to uninstall: the files as they are.
    File(driver.infPath);
    File(driver.pnfPath);
    return;
  }
  bool putBack = false;
  if (!driver.infPresent) {
    // Half-removed by an earlier removal: the store's copy, published again, lets the platform
    // uninstall the package.
    const Status status =
        host_.CopyToNewFile(driver.package.storeInf, host_.AnsiToWide(driver.infPath));
    if (status != kErrorSuccess) {
      report_.Log(package + ": left, its INF cannot be put back from the store (error " +
                  ErrorText(status) + ")");
      report_.NoteLeft();
      LeaveFiles(driver);
      return;
    }
    report_.Log("file " + driver.infPath + ": put back from the store");
    putBack = true;
  }
  const std::optional<Status> uninstalled = Uninstall(driver.infName);
  if (uninstalled && *uninstalled == kErrorSuccess) {
    report_.Log(package + ": uninstalled");
    // The platform may answer success and still keep part of the package (a file of it held
    // open): what is still in the store is left.
    if (hold == DriverPackage::Hold::Held && !driver.package.storeFolder.empty() &&
        host_.GetFileAttributesW(driver.package.storeFolder) != kInvalidFileAttributes) {
      report_.Log(package + ": left, its store folder " +
                  host_.WideToAnsi(driver.package.storeFolder) + " is still there");
      report_.NoteLeft();
    }
    // The INF put back for the uninstall was there for it to take, as a published one is.
    for (const auto& [path, present] : {std::pair{driver.infPath, driver.infPresent || putBack},
                                        {driver.pnfPath, driver.pnfPresent}}) {
      if (present && host_.GetFileAttributesA(path) == kInvalidFileAttributes) {
        report_.Log("file " + path + ": deleted with its package");
      } else {
        File(path);
      }
    }
    return;
  }
  if (putBack) {
    // The copy put back for the uninstall goes again: the machine stays as it was found.
    host_.SetFileAttributesA(driver.infPath, kFileAttributeArchive);
    host_.DeleteFileA(driver.infPath);
  }
  if (!uninstalled) {
    LeaveFiles(driver);
    return;
  }
  const std::string error = " (error " + ErrorText(*uninstalled) + ")";
  if (hold == DriverPackage::Hold::Held && *uninstalled == kErrorNotAnInstalledOemInf) {
    // A package in the store that the platform does not count as a third party's is its own.
    report_.Log(package + ": refused, the platform's own driver" + error);
    for (const std::string& path : {driver.infPath, driver.pnfPath}) {
      report_.Log("file " + path + ": refused, it belongs to the platform's own driver");
    }
    return;
  }
  if (hold == DriverPackage::Hold::Held) {
    report_.Log(package + ": left" + error);
    report_.NoteLeft();
    LeaveFiles(driver);
    return;
  }
  // No package: the files alone, as on a machine without a store.
  report_.Log(package + ": not uninstalled" + error + ", the files go alone");
  for (const std::string& path : {driver.infPath, driver.pnfPath}) {
    if (host_.IsProtectedFile(host_.AnsiToWide(path))) {
      report_.Log("file " + path + ": refused, the platform protects it");
    } else {
      File(path);
    }
  }
}

void RemovingActions::LeaveFiles(const FoundDriver& driver) {
  for (const std::string& path : {driver.infPath, driver.pnfPath}) {
    if (host_.GetFileAttributesA(path) != kInvalidFileAttributes ||
        !NamesNoFile(host_.GetLastError())) {
      report_.Log("file " + path + ": left with its package");
      report_.NoteLeft();
    }
  }
}

std::optional<Status> RemovingActions::Uninstall(const std::string& infName) {
  const std::string name = Utf8FromUtf16(host_.AnsiToWide(infName));
  if (!handOver_) {
    return UninstallPackage(host_, name).error;
  }
  const CompanionSession::Answer answer =
      companion_.Hand(CompanionTask{CompanionTask::Kind::Uninstall, {name}}, CompanionWaitMs(1));
  if (!answer.finished) {
    TellCompanionFailed();
  }
  const std::optional<UninstallReport> outcome = MatchUninstallReport(name, answer.output);
  if (!outcome) {
    report_.Log("package " + infName + ": left, the companion did not report it");
    report_.NoteLeft();
    return std::nullopt;
  }
  return outcome->error;
}

void RemovingActions::TellCompanionFailed() {
  if (companionFailureTold_) {
    return;
  }
  companionFailureTold_ = true;
  report_.Tell(report_.Frame(), std::string(kCompanionFailedMessage), std::string(kEmptyText),
               kMbIconInformation);
}

// Deletes the file, clearing its read-only attribute first; a file that cannot be deleted, for
// whatever reason, is reported in a message box with the platform's default caption. A file that
// is not there is done; one that is there after a failed deletion is left.
void RemovingActions::File(const std::string& path) {
  host_.SetFileAttributesA(path, kFileAttributeArchive);
  if (host_.DeleteFileA(path)) {
    report_.Log("file " + path + ": deleted");
    return;
  }
  const Status error = host_.GetLastError();
  // Only a file that the platform says is not there is absent; one it cannot look at may be there.
  if (host_.GetFileAttributesA(path) == kInvalidFileAttributes &&
      NamesNoFile(host_.GetLastError())) {
    report_.Log("file " + path + ": absent (error " + ErrorText(error) + ")");
  } else {
    report_.Log("file " + path + ": left (error " + ErrorText(error) + ")");
    report_.NoteLeft();
  }
  ReportUndeletable(report_, path);
}

// The rules never delete it, so it is not left; it is reported whole.
void RemovingActions::OverlongFile(const std::string& path) {
  report_.Log("file " + path + ": refused, longer than 255 characters");
  ReportUndeletable(report_, path);
}

// Nothing is deleted, and the INF file is reported. Whether it is there cannot be told, so it
// counts as left.
void RemovingActions::FileWithoutFolder(const std::string& infName) {
  report_.Log("file " + infName + ": left, the Windows directory cannot be had");
  report_.NoteLeft();
  ReportUndeletable(report_, infName);
}

void RemovingActions::Trace(const std::string& hardwareId) {
  host_.WriteStandardOutput("Compare device ID: [" + hardwareId + "]\n");
}

void RemovingActions::Instance(const FoundInstance& instance) {
  if (!handOver_) {
    RemoveInSet(instance);
  } else if (instance.instanceId &&
             IsInstanceIdText(Utf8FromUtf16(host_.AnsiToWide(*instance.instanceId)))) {
    handed_.push_back({*instance.instanceId, instance.matchingId});
  } else {
    // An instance whose ID cannot be read cannot be handed over: it stays.
    report_.Log(DescribeInstance(instance.instanceId, instance.matchingId) +
                ": left, its instance ID cannot be handed over");
    report_.NoteLeft();
  }
}

// Removes the instance through its class installer, in the walk's own set. An instance that
// refuses stays, and is noted as left.
void RemovingActions::RemoveInSet(const FoundInstance& instance) {
  const std::string described = DescribeInstance(instance.instanceId, instance.matchingId);
  if (!host_.SetupDiCallClassInstaller(kDifRemove, instance.set, instance.record)) {
    NoteOutcome(report_, described, InstanceOutcome::Failed, host_.GetLastError());
    return;
  }
  std::uint32_t flags = 0;
  const bool restart =
      host_.SetupDiGetDeviceInstallParamsA(instance.set, instance.record, &flags) &&
      (flags & (kDiNeedRestart | kDiNeedReboot)) != 0;
  NoteOutcome(report_, described,
              restart ? InstanceOutcome::RestartNeeded : InstanceOutcome::Removed, kErrorSuccess);
}

void RemovingActions::EndOfWalk() {
  if (!handed_.empty()) {
    HandToCompanion();
    handed_.clear();
  }
  // The walk's instances are the companion's last task of a run.
  companion_.End();
}

// Hands the matching instances to the 64-bit companion and notes what it reports: each one it
// reports removed or absent is gone; one it reports failed, or does not report at all, is left. A
// companion that is missing, cannot start or ends without doing its work leaves the instances, and
// the user is told once.
void RemovingActions::HandToCompanion() {
  std::vector<std::string> instanceIds;
  for (const Handed& handed : handed_) {
    instanceIds.push_back(Utf8FromUtf16(host_.AnsiToWide(handed.instanceId)));
  }
  std::size_t first = 0;
  for (const CompanionTask& task : RemovalTasks(instanceIds)) {
    const CompanionSession::Answer answer =
        companion_.Hand(task, CompanionWaitMs(task.items.size()));
    if (!answer.finished) {
      TellCompanionFailed();
    }
    const std::vector<std::optional<InstanceReport>> reports =
        MatchInstanceReports(task.items, answer.output);
    for (std::size_t i = 0; i < reports.size(); ++i) {
      const Handed& handed = handed_[first + i];
      const std::string described = DescribeInstance(handed.instanceId, handed.matchingId);
      if (reports[i]) {
        NoteOutcome(report_, described, reports[i]->outcome, reports[i]->error);
      } else {
        report_.Log(described + ": left, the companion did not report it");
        report_.NoteLeft();
      }
    }
    first += task.items.size();
  }
}

void RemovingActions::Tree(const FoundTree& tree) {
  const TreeOutcome outcome = DeleteTree(host_, tree);
  if (outcome.kind == TreeOutcome::Kind::Deleted) {
    report_.Log("tree " + tree.path + ": deleted, " + KeysText(outcome.keysDeleted));
    return;
  }
  report_.Log("tree " + tree.path + ": left, " + KeysText(outcome.keysDeleted) + " deleted" +
              (outcome.error != kErrorSuccess ? " (error " + ErrorText(outcome.error) + ")"
                                              : std::string()));
  report_.NoteLeft();
}

}  // namespace vorsk
