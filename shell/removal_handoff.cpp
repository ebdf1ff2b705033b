#include "shell/removal_handoff.h"

#include <cstdint>

#include "framework/wnd.h"
#include "removal/run.h"

namespace vorsk {

void RunRemoval(CWnd* frame) {
  RunRemoval(WindowHandle{reinterpret_cast<std::uintptr_t>(frame->GetSafeHwnd())});
}

}  // namespace vorsk
