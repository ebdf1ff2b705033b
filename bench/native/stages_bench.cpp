// The three removal stages against the in-memory machine, on machines ten times larger at each
// step: their cost should grow linearly (a time ratio near 10 per step, not 100). Also the peak
// memory that the tree deletion itself holds on deep trees, which should grow with the names on
// the current path, not with a fixed table per level.
//
// Google Benchmark runs the figures; a table of ratios follows them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "bench/native/measuring_host.h"
#include "cleanup/devices.h"
#include "cleanup/driver_files.h"
#include "cleanup/key_trees.h"
#include "cleanup/removing.h"
#include "host/handles.h"
#include "tests/fake_host.h"

namespace vorsk::bench {
namespace {

constexpr int kFanOut = 10;

// A tree of `keys` keys below `root`, each level ten wide.
void BuildTree(test::FakeHost& host, const std::string& root, int keys) {
  std::vector<std::string> level = {root};
  int made = 0;
  while (made < keys) {
    std::vector<std::string> next;
    for (const std::string& parent : level) {
      for (int i = 0; i < kFanOut && made < keys; ++i, ++made) {
        next.push_back(parent + "\\key" + std::to_string(i));
        host.AddKey(next.back());
      }
    }
    level = std::move(next);
  }
}

void BM_DeleteKeyTree(benchmark::State& state) {
  const int keys = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    test::FakeHost host;
    host.keepJournal = false;
    BuildTree(host, "SOFTWARE\\Vendor\\Tree", keys);
    state.ResumeTiming();
    DeleteKeyTree(host, "SOFTWARE\\Vendor\\Tree");
    state.PauseTiming();
    if (host.KeyExists("SOFTWARE\\Vendor\\Tree")) {
      state.SkipWithError("the tree is still there");
    }
    state.ResumeTiming();
  }
}

void BM_FindMatchingDevices(benchmark::State& state) {
  test::FakeHost host;
  host.keepJournal = false;
  for (int i = 0; i < state.range(0); ++i) {
    const std::string id = "USB\\VID_" + std::to_string(i) + "&PID_0001";
    host.AddDevice(id + "\\" + std::to_string(i), {id + "&REV_0100", id});
  }
  for (auto _ : state) {
    host.standardOutput.clear();
    RunReport report(host, kNoOwner);
    RemovingActions act(host, report, false);
    FindMatchingDevices(host, report, "USB\\VID_NONE&PID_0000", "USB\\VID_NONE&PID_0001", act);
  }
}

void BM_FindDriverFiles(benchmark::State& state) {
  test::FakeHost host;
  host.keepJournal = false;
  const std::string classKey(kImageClassKey);
  for (int i = 0; i < state.range(0); ++i) {
    const std::string entry = classKey + "\\" + std::to_string(100000 + i);
    host.SetString(entry, "MatchingDeviceId", "usb\\vid_" + std::to_string(i));
    host.SetString(entry, "InfPath", "oem" + std::to_string(i) + ".inf");
  }
  for (auto _ : state) {
    unique_hkey key(host);
    host.RegOpenKeyA(kLocalMachine, classKey, key.put());
    RunReport report(host, kNoOwner);
    RemovingActions act(host, report, false);
    FindDriverFiles(host, key.get(), "usb\\vid_none", "Image0", act);
  }
}

BENCHMARK(BM_DeleteKeyTree)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMatchingDevices)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindDriverFiles)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);

// Keeps each run's time per iteration, by benchmark and size, for the ratio table.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      const std::size_t slash = name.find('/');
      times[name.substr(0, slash)][std::stol(name.substr(slash + 1))] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, std::map<long, double>> times;
};

// The peak of the memory that the deletion itself holds (the in-memory machine's own work not
// counted) on a chain of `depth` keys, each with `width` leaves beside the chain.
std::size_t PeakOfDescent(int depth, int width, const std::string& name) {
  test::FakeHost fake;
  fake.keepJournal = false;
  std::string path = "SOFTWARE\\Vendor\\Deep";
  for (int level = 0; level < depth; ++level) {
    for (int leaf = 0; leaf < width; ++leaf) {
      fake.AddKey(path + "\\" + name + std::to_string(leaf));
    }
    path += "\\" + name;
  }
  fake.AddKey(path);
  MeasuringHost host(fake);
  ResetPeak();
  DeleteKeyTree(host, "SOFTWARE\\Vendor\\Deep");
  return Peak();
}

}  // namespace
}  // namespace vorsk::bench

int main(int argc, char** argv) {
  using namespace vorsk::bench;
  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nGrowth per step of ten (time ratio; linear is 10):\n");
  for (const auto& [benchmark, bySize] : reporter.times) {
    std::printf("  %-26s", benchmark.c_str());
    double previous = 0;
    for (const auto& [size, time] : bySize) {
      if (previous > 0) {
        std::printf("  %ld: %5.1f", size, time / previous);
      }
      previous = time;
    }
    std::printf("\n");
  }

  std::printf("\nPeak memory held by the tree deletion (bytes), chains with 10 leaves a level:\n");
  for (const int depth : {50, 100, 200, 400}) {
    const std::size_t shortNames = PeakOfDescent(depth, 10, "k");
    const std::size_t longNames = PeakOfDescent(depth, 10, std::string(200, 'n'));
    std::printf(
        "  depth %3d: %8zu with 1-character names (%5zu a level), %8zu with 200-character "
        "names (%5zu a level)\n",
        depth, shortNames, shortNames / depth, longNames, longNames / depth);
  }
  std::printf("  (a fixed table of 1000 names of 260 characters would hold %d bytes a level)\n",
              1000 * 260);
  return 0;
}
