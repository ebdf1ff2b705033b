#include "cleanup/removing.h"

#include <string_view>

#include "cleanup/key_trees.h"
#include "companion/protocol.h"
#include "report/exit_status.h"
#include "report/messages.h"
#include "script/script_reader.h"

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
  if (host_.GetFileAttributesA(path) == kInvalidFileAttributes) {
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
  } else if (instance.instanceId && IsInstanceIdText(*instance.instanceId)) {
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
}

// Hands the matching instances to the 64-bit companion, started from this program's folder, and
// notes what it reports: each one it reports removed or absent is gone; one it reports failed, or
// does not report at all, is left. A companion that is missing, cannot start or ends without
// doing its work leaves the instances, and the user is told once.
void RemovingActions::HandToCompanion() {
  std::vector<std::string> instanceIds;
  for (const Handed& handed : handed_) {
    instanceIds.push_back(handed.instanceId);
  }
  bool failed = false;
  std::size_t first = 0;
  for (const CompanionBatch& batch : CompanionBatches(instanceIds)) {
    const ProgramRun run = host_.RunProgramBeside(std::string(kCompanionProgram), batch.arguments,
                                                  CompanionWaitMs(batch.instanceIds.size()));
    // A companion that ends with another status did not finish its work (a malformed command
    // line, a crash): what it reported before that still counts, the rest is left.
    const bool finished = run.start == ProgramRun::Start::Ran &&
                          (run.exitCode == kExitCompleted || run.exitCode == kExitLeft ||
                           run.exitCode == kExitRestartNeeded);
    failed = failed || !finished;
    if (run.start == ProgramRun::Start::Ran) {
      report_.Log(std::string(kCompanionProgram) + " ended with status " +
                  std::to_string(run.exitCode));
    } else {
      report_.Log(std::string(kCompanionProgram) +
                  (run.start == ProgramRun::Start::Missing ? " is missing" : " cannot start") +
                  " (error " + ErrorText(run.error) + ")");
    }
    const std::vector<std::optional<InstanceReport>> reports =
        MatchInstanceReports(batch.instanceIds, run.output);
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
    first += batch.instanceIds.size();
  }
  if (failed) {
    report_.Tell(report_.Frame(), std::string(kCompanionFailedMessage), std::string(kEmptyText),
                 kMbIconInformation);
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
