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

// Allocates a zero-filled buffer of the size that the instance's hardware-ID property reports.
// A failed allocation is reported and the size asked again, until an allocation succeeds.
// Returns false for an instance without hardware IDs, and for one whose size query reports
// nothing (it yields no IDs).
bool AllocateHardwareIds(Host& host, RunReport& report, DevInfoSet set, DeviceInfoRecord& record,
                         unique_hlocal& buffer, std::uint32_t& size) {
  for (;;) {
    std::uint32_t required = 0;
    host.SetupDiGetDeviceRegistryPropertyA(set, record, kSpdrpHardwareId, nullptr, 0, &required);
    if (host.GetLastError() == kErrorInvalidData || required == 0) {
      return false;
    }
    buffer.reset(host.LocalAlloc(kLptr, required));
    if (buffer) {
      size = required;
      return true;
    }
    report.Tell(kNoOwner, "error", std::string(kEmptyText), kMbOk);
  }
}

// Walks the IDs of a hardware-ID list of `size` bytes, never past its end (the last ID may lack
// its terminating zero), tracing each, and returns the first that begins with a prefix.
std::optional<std::string> FirstMatchingId(Host& host, const char* ids, std::uint32_t size,
                                           const std::string& prefix1, const std::string& prefix2) {
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
    host.WriteStandardOutput("Compare device ID: [" + text + "]\n");
    if (HasIdPrefix(prefix1, text) || HasIdPrefix(prefix2, text)) {
      return text;
    }
    offset += static_cast<std::uint32_t>(length) + 1;
  }
  return std::nullopt;
}

// Removes the instance through its class installer, in the walk's own set. An instance that
// refuses stays, and is noted as left.
void RemoveInstanceInSet(Host& host, RunReport& report, DevInfoSet set, DeviceInfoRecord& record) {
  if (!host.SetupDiCallClassInstaller(kDifRemove, set, record)) {
    report.NoteLeft();
    return;
  }
  std::uint32_t flags = 0;
  if (host.SetupDiGetDeviceInstallParamsA(set, record, &flags) &&
      (flags & (kDiNeedRestart | kDiNeedReboot)) != 0) {
    report.NoteRestartNeeded();
  }
}

// Notes what the companion did with the instances it was handed: each one it reports removed or
// absent is gone; one it reports failed, or does not report at all, is left.
void ReadCompanionReports(RunReport& report, const std::vector<std::string>& handed,
                          const std::string& output) {
  std::vector<std::optional<InstanceOutcome>> outcomes(handed.size());
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
      if (handed[i] == parsed->instanceId && !outcomes[i]) {
        outcomes[i] = parsed->outcome;
        break;
      }
    }
  }
  for (const std::optional<InstanceOutcome>& outcome : outcomes) {
    if (!outcome || *outcome == InstanceOutcome::Failed) {
      report.NoteLeft();
    } else if (*outcome == InstanceOutcome::RestartNeeded) {
      report.NoteRestartNeeded();
    }
  }
}

// Hands the matching instances to the 64-bit companion, started from this program's folder, and
// notes what it reports. A companion that is missing, cannot start or ends without doing its
// work leaves the instances, and the user is told once.
void HandToCompanion(Host& host, RunReport& report, const std::vector<std::string>& instanceIds) {
  bool failed = false;
  for (const CompanionBatch& batch : CompanionBatches(instanceIds)) {
    const ProgramRun run = host.RunProgramBeside(std::string(kCompanionProgram), batch.arguments);
    // A companion that ends with another status did not finish its work (a malformed command
    // line, a crash): what it reported before that still counts, the rest is left.
    const bool finished = run.start == ProgramRun::Start::Ran &&
                          (run.exitCode == kExitCompleted || run.exitCode == kExitLeft ||
                           run.exitCode == kExitRestartNeeded);
    failed = failed || !finished;
    ReadCompanionReports(report, batch.instanceIds, run.output);
  }
  if (failed) {
    report.Tell(report.Frame(), std::string(kCompanionFailedMessage), std::string(kEmptyText),
                kMbIconInformation);
  }
}

}  // namespace

void RemoveDevices(Host& host, RunReport& report, const std::string& scriptPath,
                   const std::string& devNo) {
  const std::string section = DeviceSectionName(devNo, kPidVidSuffix);
  const std::string prefix1 = ReadScriptText(host, scriptPath, section, "Num1", kScriptTextSize);
  const std::string prefix2 = ReadScriptText(host, scriptPath, section, "Num2", kScriptTextSize);
  RemoveMatchingDevices(host, report, prefix1, prefix2);
}

void RemoveMatchingDevices(Host& host, RunReport& report, const std::string& prefix1,
                           const std::string& prefix2) {
  // On 64-bit Windows the service refuses removals from this 32-bit process; the platform's
  // guidance is to have the 64-bit program do them. Decided before the walk, from the machine:
  // the walk and its trace are the same either way, since a removed instance stays in the set.
  const bool handOver = host.IsWow64Process();
  std::vector<std::string> handed;
  {
    // All classes, present or not: instances of earlier, unplugged connections go too.
    unique_hdevinfo set(host, host.SetupDiGetClassDevsA(kDigcfAllClasses));
    if (!set) {
      return;
    }
    DeviceInfoRecord record;
    record.cbSize = sizeof(record);
    // After a removal the walk goes on with the next index; it never restarts.
    for (std::uint32_t index = 0; host.SetupDiEnumDeviceInfo(set.get(), index, record); ++index) {
      unique_hlocal buffer(host);
      std::uint32_t size = 0;
      if (!AllocateHardwareIds(host, report, set.get(), record, buffer, size)) {
        continue;
      }
      // A read that fails leaves the buffer zero-filled: no IDs.
      std::uint32_t unused = 0;
      host.SetupDiGetDeviceRegistryPropertyA(set.get(), record, kSpdrpHardwareId, buffer.get(),
                                             size, &unused);
      if (!FirstMatchingId(host, static_cast<const char*>(buffer.get()), size, prefix1, prefix2)) {
        continue;
      }
      if (!handOver) {
        RemoveInstanceInSet(host, report, set.get(), record);
        continue;
      }
      // An instance whose ID cannot be read cannot be handed over: it stays.
      const std::optional<std::string> instanceId =
          host.SetupDiGetDeviceInstanceIdA(set.get(), record);
      if (instanceId && IsInstanceIdText(*instanceId)) {
        handed.push_back(*instanceId);
      } else {
        report.NoteLeft();
      }
    }
  }
  if (!handed.empty()) {
    HandToCompanion(host, report, handed);
  }
}

}  // namespace vorsk
