#include "cleanup/devices.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "cleanup/stages.h"
#include "host/handles.h"
#include "report/messages.h"
#include "script/script_reader.h"

namespace vorsk {

namespace {

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
    report.Tell(kNoOwner, std::string(kAllocationFailedMessage), std::string(kEmptyText), kMbOk);
  }
  return HardwareIds::GivenUp;
}

// Walks the IDs of a hardware-ID list of `size` bytes, never past its end (the last ID may lack
// its terminating zero), tracing each, and returns the first that begins with a prefix.
std::optional<std::string> FirstMatchingId(ItemActions& act, const char* ids, std::uint32_t size,
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
    act.Trace(text);
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

}  // namespace

std::string DescribeInstance(const std::optional<std::string>& instanceId,
                             const std::string& matchingId) {
  return "instance " + instanceId.value_or("(its instance ID cannot be read)") + " (matching " +
         matchingId + ")";
}

void RemoveDevices(Host& host, RunReport& report, const std::string& scriptPath,
                   const std::string& devNo, ItemActions& act) {
  const std::string section = DeviceSectionName(devNo, kPidVidSuffix);
  std::string prefixes[2];
  for (int i = 0; i < 2; ++i) {
    const std::string entry = i == 0 ? "Num1" : "Num2";
    std::string& prefix = prefixes[i];
    prefix = ReadScriptText(host, scriptPath, section, entry, kScriptTextSize);
    report.LogEntry(section, entry, prefix);
    if (const std::optional<std::string> refusal = IdPrefixRefusal(prefix)) {
      // The rules never use it, so it matches nothing, as an empty prefix; the walk still runs.
      act.Tell("device prefix " + entry + "=" + prefix + ": refused, " + *refusal);
      prefix.clear();
    }
  }
  FindMatchingDevices(host, report, prefixes[0], prefixes[1], act);
}

void FindMatchingDevices(Host& host, RunReport& report, const std::string& prefix1,
                         const std::string& prefix2, ItemActions& act) {
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
                   host.DeviceInstanceIdOf(set.get(), record)
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
      const char* const idList = static_cast<const char*>(buffer.get());
      const std::optional<std::string> matched =
          FirstMatchingId(act, idList, size, prefix1, prefix2);
      if (matched) {
        act.Instance(FoundInstance{set.get(), record, host.DeviceInstanceIdOf(set.get(), record),
                                   *matched, HardwareIdList(idList, size)});
      }
    }
  }
  act.EndOfWalk();
}

}  // namespace vorsk
