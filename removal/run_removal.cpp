#include <cstdlib>

#include "host/win32/win32_host.h"
#include "removal/run.h"

namespace vorsk {

void RunRemoval(WindowHandle frame) {
  Win32Host host;
  const int status = PerformRemoval(host, frame);
  std::exit(status);
}

}  // namespace vorsk
