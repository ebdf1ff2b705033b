// Runs beside_probe beside itself through the host services, waiting with a named event:
//   run_beside <event name>
// for a test that ends this program while its probe runs.
#include <string>

#include "host/win32/companion_check.h"
#include "host/win32/program_runner.h"
#include "host/win32/win32_host.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    return 2;
  }
  vorsk::Win32Host host;
  host.SetBuiltCompanions(
      {{"beside_probe.exe",
        vorsk::win32::ImageDigestOfFile(vorsk::win32::OwnFolder() + L"\\beside_probe.exe")}});
  host.RunProgramBeside("beside_probe.exe", std::string("wait ") + argv[1], 120000);
  return 0;
}
