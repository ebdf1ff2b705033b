#include "shell/startup_times.h"

#include <cstdio>
#include <cstdlib>

#include <windows.h>

namespace vorsk {

namespace {

constexpr int kMaxPhases = 16;

struct Phase {
  const char* name;
  ULONGLONG end;  // 100-nanosecond units of the system time
};

using PreciseTimeCall = VOID(WINAPI*)(LPFILETIME);

struct StartupClock {
  bool timed = false;
  PreciseTimeCall now = nullptr;
  ULONGLONG start = 0;
  Phase phases[kMaxPhases] = {};
  int count = 0;
};

ULONGLONG Ticks(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Read once, before the first mark. The process's creation time is the platform's, in the same
// units as the precise system time; the precise clock is found by name, since the 32-bit
// Windows that vorsk.exe runs on may lack it (the plain one then serves, more coarsely).
StartupClock& Clock() {
  static StartupClock clock = [] {
    StartupClock made;
    made.timed = std::getenv("VORSK_STARTUP_TIMES") != nullptr;
    if (!made.timed) {
      return made;
    }
    made.now = reinterpret_cast<PreciseTimeCall>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    if (made.now == nullptr) {
      made.now = &::GetSystemTimeAsFileTime;
    }
    FILETIME creation = {};
    FILETIME unused = {};
    if (::GetProcessTimes(::GetCurrentProcess(), &creation, &unused, &unused, &unused)) {
      made.start = Ticks(creation);
    }
    return made;
  }();
  return clock;
}

}  // namespace

void MarkStartupPhase(const char* name) {
  StartupClock& clock = Clock();
  if (!clock.timed || clock.count == kMaxPhases) {
    return;
  }
  FILETIME now = {};
  clock.now(&now);
  clock.phases[clock.count++] = {name, Ticks(now)};
}

void WriteStartupTimes() {
  const StartupClock& clock = Clock();
  ULONGLONG previous = clock.start;
  for (int index = 0; index < clock.count; ++index) {
    const Phase& phase = clock.phases[index];
    std::fprintf(stderr, "phase %s %.3f\n", phase.name,
                 static_cast<double>(phase.end - previous) / 10000.0);
    previous = phase.end;
  }
  std::fflush(stderr);
}

}  // namespace vorsk
