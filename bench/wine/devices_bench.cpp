// Device instance walk under Wine: vorsk's FindMatchingDevices over many staged instances, none
// of them matching (the walk alone), against a bare loop of the platform's enumeration and
// hardware-ID query.
//
//   devices_bench <instances> <repetitions>
//
// Stages the instances, prints one line per method: instances, method, median milliseconds; then
// removes what it staged.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/wine/bench_clock.h"
#include "cleanup/devices.h"
#include "cleanup/removing.h"
#include "host/win32/win32_handles.h"
#include "host/win32/win32_host.h"

namespace vorsk::bench {
namespace {

// {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}: the still-image device setup class.
const GUID kImageClass = {
    0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};

// The staged instances: VORSKBENCH\VID_0&PID_0001\0, VORSKBENCH\VID_1&PID_0001\1, ...: one
// device each, as plugged-in devices are.
const std::string kInstancePrefix = "VORSKBENCH\\VID_";

// The real host, with the trace written where a redirected standard output would take it.
class TraceToFileHost : public Win32Host {
 public:
  explicit TraceToFileHost(std::FILE* trace) : trace_(trace) {}
  void WriteStandardOutput(const std::string& text) override {
    std::fwrite(text.data(), 1, text.size(), trace_);
  }

 private:
  std::FILE* trace_;
};

void StageInstances(int count) {
  win32::unique_hdevinfo set(::SetupDiCreateDeviceInfoList(&kImageClass, nullptr));
  for (int i = 0; i < count; ++i) {
    SP_DEVINFO_DATA record = {};
    record.cbSize = sizeof(record);
    const std::string name =
        kInstancePrefix + std::to_string(i) + "&PID_0001\\" + std::to_string(i);
    if (!::SetupDiCreateDeviceInfoA(set.get(), name.c_str(), &kImageClass, nullptr, nullptr, 0,
                                    &record)) {
      continue;
    }
    std::string ids = "VORSKBENCH\\VID_" + std::to_string(i) + "&PID_0001&REV_0100";
    ids += '\0';
    ids += "VORSKBENCH\\VID_" + std::to_string(i) + "&PID_0001";
    ids += '\0';
    ids += '\0';
    ::SetupDiSetDeviceRegistryPropertyA(set.get(), &record, SPDRP_HARDWAREID,
                                        reinterpret_cast<const BYTE*>(ids.data()),
                                        static_cast<DWORD>(ids.size()));
    ::SetupDiRegisterDeviceInfo(set.get(), &record, 0, nullptr, nullptr, nullptr);
  }
}

void RemoveStagedInstances() {
  win32::unique_hdevinfo set(::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
  SP_DEVINFO_DATA record = {};
  record.cbSize = sizeof(record);
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &record); ++index) {
    char id[201] = {};
    if (::SetupDiGetDeviceInstanceIdA(set.get(), &record, id, sizeof(id), nullptr) &&
        std::string(id).rfind(kInstancePrefix, 0) == 0) {
      ::SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &record);
    }
  }
}

// The platform's own cost of the same walk: the set, each instance, its hardware-ID size and
// its hardware IDs.
std::size_t BareWalk() {
  std::size_t bytes = 0;
  win32::unique_hdevinfo set(::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
  SP_DEVINFO_DATA record = {};
  record.cbSize = sizeof(record);
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &record); ++index) {
    DWORD required = 0;
    if (!::SetupDiGetDeviceRegistryPropertyA(set.get(), &record, SPDRP_HARDWAREID, nullptr, nullptr,
                                             0, &required) &&
        ::GetLastError() == ERROR_INVALID_DATA) {
      continue;
    }
    win32::unique_hlocal buffer(::LocalAlloc(LPTR, required));
    if (::SetupDiGetDeviceRegistryPropertyA(set.get(), &record, SPDRP_HARDWAREID, nullptr,
                                            static_cast<BYTE*>(buffer.get()), required, nullptr)) {
      bytes += required;
    }
  }
  return bytes;
}

}  // namespace
}  // namespace vorsk::bench

int main(int argc, char** argv) {
  using namespace vorsk::bench;
  if (argc != 3) {
    std::fprintf(stderr, "usage: devices_bench <instances> <repetitions>\n");
    return 2;
  }
  const int instances = std::atoi(argv[1]);
  const int repetitions = std::atoi(argv[2]);
  RemoveStagedInstances();
  StageInstances(instances);

  std::FILE* trace = std::fopen("NUL", "w");
  TraceToFileHost host(trace);
  std::vector<double> walk;
  std::vector<double> bare;
  // The two walks take turns leading, so that neither always finds the service's caches cold.
  const auto timeWalk = [&] {
    const Stopwatch stopwatch;
    vorsk::RunReport report(host, vorsk::kNoOwner);
    vorsk::RemovingActions act(host, report, false);
    vorsk::FindMatchingDevices(host, report, "NOMATCH\\VID_0000", "NOMATCH\\VID_0001", act);
    std::fflush(trace);
    walk.push_back(stopwatch.Milliseconds());
  };
  const auto timeBare = [&] {
    const Stopwatch stopwatch;
    BareWalk();
    bare.push_back(stopwatch.Milliseconds());
  };
  for (int repetition = 0; repetition < repetitions; ++repetition) {
    if (repetition % 2 == 0) {
      timeWalk();
      timeBare();
    } else {
      timeBare();
      timeWalk();
    }
  }
  std::fclose(trace);
  RemoveStagedInstances();
  std::printf("%d FindMatchingDevices %.3f\n", instances, Median(walk));
  std::printf("%d bare-walk %.3f\n", instances, Median(bare));
  return 0;
}
