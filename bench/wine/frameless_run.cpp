// The whole run without the shell: the same removal as vorsk.exe (PerformRemoval on the real
// host, the project's own core) owned by one hidden plain window, with no application framework:
// no application object, document template, frame, view or bars. The floor of vorsk.exe's whole
// run on the same machine.
//
//   frameless_run [<program>]
//
// The device instances that match are removed in this process, also under WOW64, where vorsk.exe
// hands them to its 64-bit companion instead. With a program named, after the removal this
// process starts it from its own folder the way vorsk.exe starts its companion (a pipe for its
// output, a job, waiting for its end). With VORSK_STARTUP_TIMES set it writes its phases to
// standard error as vorsk.exe does: loaded, window, removal and, with a program, companion.
// Ends with the run's exit status, as vorsk.exe does.
//
// Built as frameless_bars (FRAMELESS_WITH_BARS), it imports the common controls' library as
// vorsk.exe does and builds a toolbar and a status bar in its window before the removal (phase
// "bars"): the platform's part of the frame's bars, without the framework.
#include <cstdio>
#include <cstdlib>

#include <windows.h>
#ifdef FRAMELESS_WITH_BARS
#include <commctrl.h>
#endif

#include "companion/protocol.h"
#include "host/win32/companion_check.h"
#include "host/win32/program_runner.h"
#include "host/win32/translate.h"
#include "host/win32/win32_host.h"
#include "removal/run.h"
#include "shell/startup_times.h"

namespace {

// The real host, except that the matching instances are removed in this process in either
// world: the companion's own start is timed on its own.
class InProcessHost final : public vorsk::Win32Host {
 public:
  bool IsWow64Process() override { return false; }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  vorsk::MarkStartupPhase("loaded");
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ::DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "FramelessRun";
  if (::RegisterClassA(&windowClass) == 0) {
    return 1;
  }
  // Never shown: the owner of the run's message boxes, as vorsk.exe's hidden frame is.
  const HWND window =
      ::CreateWindowExA(0, "FramelessRun", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    return 1;
  }
  vorsk::MarkStartupPhase("window");
#ifdef FRAMELESS_WITH_BARS
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
  if (!::InitCommonControlsEx(&controls)) {
    return 1;
  }
  const HWND toolbar = ::CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                                         WS_CHILD | WS_VISIBLE | CCS_TOP | TBSTYLE_FLAT, 0, 0, 0, 0,
                                         window, nullptr, instance, nullptr);
  const HWND statusBar = ::CreateWindowExA(0, STATUSCLASSNAMEA, nullptr, WS_CHILD | WS_VISIBLE, 0,
                                           0, 0, 0, window, nullptr, instance, nullptr);
  // The message pane and three indicators, as the frame's status bar has.
  const int parts[] = {200, 300, 400, -1};
  if (toolbar == nullptr || statusBar == nullptr ||
      ::SendMessageA(statusBar, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(parts)) == 0) {
    return 1;
  }
  vorsk::MarkStartupPhase("bars");
#endif
  InProcessHost host;
  const int status = vorsk::PerformRemoval(host, vorsk::win32::FromPlatform(window));
  vorsk::MarkStartupPhase("removal");
  if (__argc > 1) {
    // Started as vorsk.exe starts its companion: checked against its digest first.
    const std::string program = __argv[1];
    host.SetBuiltCompanions(
        {{program, vorsk::win32::ImageDigestOfFile(vorsk::win32::OwnFolder() + L"\\" +
                                                   std::wstring(program.begin(), program.end()))}});
    const vorsk::ProgramRun run = host.RunProgramBeside(program, "", vorsk::CompanionWaitMs(0));
    vorsk::MarkStartupPhase("companion");
    if (run.start != vorsk::ProgramRun::Start::Ran) {
      std::fprintf(stderr, "%s did not run\n", __argv[1]);
      std::exit(1);
    }
  }
  vorsk::WriteStartupTimes();
  // Through the runtime's exit, so that buffered standard output (the trace) is flushed.
  std::exit(status);
}
