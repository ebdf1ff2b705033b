#include "report/run_report.h"

#include "report/exit_status.h"

namespace vorsk {

void RunReport::Tell(WindowHandle owner, const std::string& text,
                     const std::optional<std::string>& caption, std::uint32_t type) {
  host_.MessageBoxA(owner, text, caption, type);
}

int RunReport::Status() const {
  if (left_) {
    return kExitLeft;
  }
  return restartNeeded_ ? kExitRestartNeeded : kExitCompleted;
}

}  // namespace vorsk
