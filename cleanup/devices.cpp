#include "cleanup/devices.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "cleanup/companion.h"
#include "cleanup/stages.h"
#include "host/handles.h"
#include "report/exit_status.h"
#include "script/script_reader.h"

namespace vorsk {

namespace {

// A matching instance: its instance ID (when it can be read) and the hardware ID that matched.
struct Match {
  std::optional<std::string> instanceId;
  std::string hardwareId;
};

std::string Describe(const Match& match) {
  return "instance " + match.instanceId.value_or("(its instance ID cannot be read)") +
         " (matching " + match.hardwareId + ")";
}

// The attempts at a hardware-ID buffer before the instance is given up.
constexpr int kAllocationAttempts = 3;

enum class HardwareIds { None, Allocated, GivenUp };

// Allocates a zero-filled buffer of the size that the instance's hardware-ID property reports.
// A failed allocation is reported and the size asked again; after three failures the instance is
// given up. None for an instance without hardware IDs, and for one whose size query reports
// nothing (it yields no IDs).
HardwareIds AllocateHardwareIds(Host& host, RunReport& report, DevInfoSet set,
                                DeviceInfoRecord& record, unique_hlocal& buffer,
                                std::uint32_t& size) {
  for (int attempt = 0; attempt < kAllocationAttempts; ++attempt) {
    std::uint32_t required = 0;
    host.SetupDiGetDeviceRegistryPropertyA(set, record, kSpdrpHardwareId, nullptr, 0, &required);
    if (host.GetLastError() == kErrorInvalidData || required == 0) {
      return HardwareIds::None;
    }
    buffer.reset(host.LocalAlloc(kLptr, required));
    if (buffer) {
      size = required;
      return HardwareIds::Allocated;
    }
    report.Tell(kNoOwner, "error", std::string(kEmptyText), kMbOk);
  }
  return HardwareIds::GivenUp;
}

// Walks the IDs of a hardware-ID list of `size` bytes, never past its end (the last ID may lack
// its terminating zero), tracing each, and returns the first that begins with a prefix. A run
// that lists writes its listing instead of the trace.
std::optional<std::string> FirstMatchingId(Host& host, const RunReport& report, const char* ids,
                                           std::uint32_t size, const std::string& prefix1,
                                           const std::string& prefix2) {
  std::uint32_t offset = 0;
  while (offset < size) {
    const char* id = ids + offset;
    const void* zero = std::memchr(id, '\0', size - offset);
    const std::size_t length = zero != nullptr
                                   ? static_cast<std::size_t>(static_cast<const char*>(zero) - id)
                                   : size - offset;
    if (length == 0) {
      return std::nullopt;  // the empty text that ends the list
    }
    const std::string text(id, length);
    if (!report.Listing()) {
      host.WriteStandardOutput("Compare device ID: [" + text + "]\n");
    }
    if (HasIdPrefix(prefix1, text) || HasIdPrefix(prefix2, text)) {
      return text;
    }
    offset += static_cast<std::uint32_t>(length) + 1;
  }
  return std::nullopt;
}

// The IDs of a hardware-ID list of `size` bytes, as the backup records them: "a; b".
std::string HardwareIdList(const char* ids, std::uint32_t size) {
  std::string list;
  std::uint32_t offset = 0;
  while (offset < size && ids[offset] != '\0') {
    const void* zero = std::memchr(ids + offset, '\0', size - offset);
    const std::uint32_t end =
        zero != nullptr ? static_cast<std::uint32_t>(static_cast<const char*>(zero) - ids) : size;
    list += (list.empty() ? "" : "; ") + std::string(ids + offset, end - offset);
    offset = end + 1;
  }
  return list;
}

// Notes what became of one matching instance.
void NoteOutcome(RunReport& report, const Match& match, InstanceOutcome outcome, Status error) {
  switch (outcome) {
    case InstanceOutcome::Removed:
      report.Log(Describe(match) + ": removed");
      return;
    case InstanceOutcome::RestartNeeded:
      report.Log(Describe(match) + ": removed, a restart is needed to finish");
      report.NoteRestartNeeded();
      return;
    case InstanceOutcome::Absent:
      report.Log(Describe(match) + ": absent");
      return;
    case InstanceOutcome::Failed:
      report.Log(Describe(match) + ": left (error " + ErrorText(error) + ")");
      report.NoteLeft();
      return;
  }
}

// Removes the instance through its class installer, in the walk's own set. An instance that
// refuses stays, and is noted as left.
void RemoveInstanceInSet(Host& host, RunReport& report, DevInfoSet set, DeviceInfoRecord& record,
                         const Match& match) {
  if (!host.SetupDiCallClassInstaller(kDifRemove, set, record)) {
    NoteOutcome(report, match, InstanceOutcome::Failed, host.GetLastError());
    return;
  }
  std::uint32_t flags = 0;
  const bool restart = host.SetupDiGetDeviceInstallParamsA(set, record, &flags) &&
                       (flags & (kDiNeedRestart | kDiNeedReboot)) != 0;
  NoteOutcome(report, match, restart ? InstanceOutcome::RestartNeeded : InstanceOutcome::Removed,
              kErrorSuccess);
}

// Notes what the companion did with the instances it was handed: each one it reports removed or
// absent is gone; one it reports failed, or does not report at all, is left.
void ReadCompanionReports(RunReport& report, const std::vector<Match>& handed,
                          const std::string& output) {
  std::vector<std::optional<InstanceReport>> reports(handed.size());
  std::size_t begin = 0;
  while (begin < output.size()) {
    std::size_t end = output.find('\n', begin);
    end = end == std::string::npos ? output.size() : end;
    std::string_view line(output.data() + begin, end - begin);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    begin = end + 1;
    const std::optional<InstanceReport> parsed = ParseInstanceReport(line);
    for (std::size_t i = 0; parsed && i < handed.size(); ++i) {
      if (handed[i].instanceId == parsed->instanceId && !reports[i]) {
        reports[i] = parsed;
        break;
      }
    }
  }
  for (std::size_t i = 0; i < handed.size(); ++i) {
    if (reports[i]) {
      NoteOutcome(report, handed[i], reports[i]->outcome, reports[i]->error);
    } else {
      report.Log(Describe(handed[i]) + ": left, the companion did not report it");
      report.NoteLeft();
    }
  }
}

// Hands the matching instances to the 64-bit companion, started from this program's folder, and
// notes what it reports. A companion that is missing, cannot start or ends without doing its
// work leaves the instances, and the user is told once.
void HandToCompanion(Host& host, RunReport& report, const std::vector<Match>& handed) {
  std::vector<std::string> instanceIds;
  for (const Match& match : handed) {
    instanceIds.push_back(*match.instanceId);
  }
  bool failed = false;
  std::size_t first = 0;
  for (const CompanionBatch& batch : CompanionBatches(instanceIds)) {
    const std::vector<Match> batchMatches(handed.begin() + first,
                                          handed.begin() + first + batch.instanceIds.size());
    first += batch.instanceIds.size();
    const ProgramRun run = host.RunProgramBeside(std::string(kCompanionProgram), batch.arguments,
                                                 CompanionWaitMs(batch.instanceIds.size()));
    // A companion that ends with another status did not finish its work (a malformed command
    // line, a crash): what it reported before that still counts, the rest is left.
    const bool finished = run.start == ProgramRun::Start::Ran &&
                          (run.exitCode == kExitCompleted || run.exitCode == kExitLeft ||
                           run.exitCode == kExitRestartNeeded);
    failed = failed || !finished;
    if (run.start == ProgramRun::Start::Ran) {
      report.Log(std::string(kCompanionProgram) + " ended with status " +
                 std::to_string(run.exitCode));
    } else {
      report.Log(std::string(kCompanionProgram) +
                 (run.start == ProgramRun::Start::Missing ? " is missing" : " cannot start") +
                 " (error " + ErrorText(run.error) + ")");
    }
    ReadCompanionReports(report, batchMatches, run.output);
  }
  if (failed) {
    report.Tell(report.Frame(), std::string(kCompanionFailedMessage), std::string(kEmptyText),
                kMbIconInformation);
  }
}

}  // namespace

void RemoveDevices(Host& host, RunReport& report, const std::string& scriptPath,
                   const std::string& devNo, Backup* backup) {
  const std::string section = DeviceSectionName(devNo, kPidVidSuffix);
  const std::string prefix1 = ReadScriptText(host, scriptPath, section, "Num1", kScriptTextSize);
  report.LogEntry(section, "Num1", prefix1);
  const std::string prefix2 = ReadScriptText(host, scriptPath, section, "Num2", kScriptTextSize);
  report.LogEntry(section, "Num2", prefix2);
  RemoveMatchingDevices(host, report, prefix1, prefix2, backup);
}

void RemoveMatchingDevices(Host& host, RunReport& report, const std::string& prefix1,
                           const std::string& prefix2, Backup* backup) {
  // On 64-bit Windows the service refuses removals from this 32-bit process; the platform's
  // guidance is to have the 64-bit program do them. Decided before the walk, from the machine:
  // the walk and its trace are the same either way, since a removed instance stays in the set.
  const bool handOver = host.IsWow64Process();
  std::vector<Match> handed;
  {
    // All classes, present or not: instances of earlier, unplugged connections go too.
    unique_hdevinfo set(host, host.SetupDiGetClassDevsA(kDigcfAllClasses));
    if (!set) {
      report.Log("the device instances cannot be listed (error " + ErrorText(host.GetLastError()) +
                 ")");
      return;
    }
    DeviceInfoRecord record;
    record.cbSize = sizeof(record);
    // After a removal the walk goes on with the next index; it never restarts.
    for (std::uint32_t index = 0; host.SetupDiEnumDeviceInfo(set.get(), index, record); ++index) {
      unique_hlocal buffer(host);
      std::uint32_t size = 0;
      const HardwareIds ids = AllocateHardwareIds(host, report, set.get(), record, buffer, size);
      if (ids == HardwareIds::GivenUp) {
        // Its IDs could not be read: it may be one that the script names, so it counts as left.
        report.Log("instance " +
                   host.SetupDiGetDeviceInstanceIdA(set.get(), record)
                       .value_or("(its instance ID cannot be read)") +
                   ": left, its hardware IDs cannot be read (no memory)");
        report.NoteLeft();
        continue;
      }
      if (ids == HardwareIds::None) {
        continue;
      }
      // A read that fails leaves the buffer zero-filled: no IDs.
      std::uint32_t unused = 0;
      host.SetupDiGetDeviceRegistryPropertyA(set.get(), record, kSpdrpHardwareId, buffer.get(),
                                             size, &unused);
      const std::optional<std::string> matched = FirstMatchingId(
          host, report, static_cast<const char*>(buffer.get()), size, prefix1, prefix2);
      if (!matched) {
        continue;
      }
      const Match match{host.SetupDiGetDeviceInstanceIdA(set.get(), record), *matched};
      if (report.Listing()) {
        report.List(Describe(match) +
                    (host.IsDevicePresent(set.get(), record) ? ": present" : ": not plugged in"));
        report.NoteLeft();
      } else if (backup != nullptr &&
                 !backup->SaveInstance(
                     match.instanceId.value_or("(its instance ID cannot be read)"),
                     HardwareIdList(static_cast<const char*>(buffer.get()), size),
                     record.classGuid)) {
        // Kept, and said so: nothing goes without its record.
      } else if (!handOver) {
        RemoveInstanceInSet(host, report, set.get(), record, match);
      } else if (match.instanceId && IsInstanceIdText(*match.instanceId)) {
        handed.push_back(match);
      } else {
        // An instance whose ID cannot be read cannot be handed over: it stays.
        report.Log(Describe(match) + ": left, its instance ID cannot be handed over");
        report.NoteLeft();
      }
    }
  }
  if (!handed.empty()) {
    HandToCompanion(host, report, handed);
  }
}

}  // namespace vorsk
