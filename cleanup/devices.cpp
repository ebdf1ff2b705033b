#include "cleanup/devices.h"

#include <cstring>

#include "cleanup/stages.h"
#include "host/handles.h"
#include "script/script_reader.h"

namespace vorsk {

namespace {

// Allocates a zero-filled buffer of the size that the instance's hardware-ID property reports.
// A failed allocation is reported and the size asked again, until an allocation succeeds.
// Returns false for an instance without hardware IDs, and for one whose size query reports
// nothing (it yields no IDs).
bool AllocateHardwareIds(Host& host, DevInfoSet set, DeviceInfoRecord& record,
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
    host.MessageBoxA(kNoOwner, "error", std::string(kEmptyText), kMbOk);
  }
}

// Walks the IDs of a hardware-ID list of `size` bytes, never past its end (the last ID may
// lack its terminating zero), and removes the instance at the first ID that matches.
void CompareHardwareIds(Host& host, DevInfoSet set, DeviceInfoRecord& record, const char* ids,
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
      return;  // the empty text that ends the list
    }
    const std::string_view text(id, length);
    host.WriteStandardOutput("Compare device ID: [" + std::string(text) + "]\n");
    if (HasIdPrefix(prefix1, text) || HasIdPrefix(prefix2, text)) {
      // The outcome is neither examined nor reported: an instance that refuses stays.
      host.SetupDiCallClassInstaller(kDifRemove, set, record);
      return;
    }
    offset += static_cast<std::uint32_t>(length) + 1;
  }
}

}  // namespace

void RemoveDevices(Host& host, const std::string& scriptPath, const std::string& devNo) {
  const std::string section = DeviceSectionName(devNo, kPidVidSuffix);
  const std::string prefix1 = ReadScriptText(host, scriptPath, section, "Num1", kScriptTextSize);
  const std::string prefix2 = ReadScriptText(host, scriptPath, section, "Num2", kScriptTextSize);
  RemoveMatchingDevices(host, prefix1, prefix2);
}

void RemoveMatchingDevices(Host& host, const std::string& prefix1, const std::string& prefix2) {
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
    if (!AllocateHardwareIds(host, set.get(), record, buffer, size)) {
      continue;
    }
    // A read that fails leaves the buffer zero-filled: no IDs.
    std::uint32_t unused = 0;
    host.SetupDiGetDeviceRegistryPropertyA(set.get(), record, kSpdrpHardwareId, buffer.get(), size,
                                           &unused);
    CompareHardwareIds(host, set.get(), record, static_cast<const char*>(buffer.get()), size,
                       prefix1, prefix2);
  }
}

}  // namespace vorsk
