// vorsk.exe's root: the application object, and the removal that its main frame hands control
// to: the run on the real machine, which ends the process with the run's exit status.
#include <cstdlib>

#include "host/win32/text_conversion.h"
#include "host/win32/translate.h"
#include "host/win32/win32_host.h"
#include "removal/run.h"
#include "shell/startup_times.h"
#include "shell/vorsk_app.h"
#include "text/text.h"

namespace {

class MachineRemoval final : public RemovalRunner {
 public:
  void Run(CWnd& frame, const RemovalRequest& request) override {
    vorsk::Win32Host host;
    // A log that cannot be opened, or is refused, is said on standard error; the run goes on
    // without it.
    if (!request.logPath.empty()) {
      const std::string refusal = host.OpenLog(request.logPath);
      if (!refusal.empty()) {
        host.WriteStandardError(vorsk::EscapeControls("The log " +
                                                      vorsk::win32::WideToAnsi(request.logPath) +
                                                      " " + refusal) +
                                "\n");
      }
    }
    vorsk::RunOptions options = request.options;
    // In UTF-8, so that a folder named outside the code page reaches the platform whole.
    options.backupFolder = vorsk::Utf8FromUtf16(
        std::u16string(request.backupFolder.begin(), request.backupFolder.end()));
    const int status =
        vorsk::PerformRemoval(host, vorsk::win32::FromPlatform(frame.GetSafeHwnd()), options);
    vorsk::MarkStartupPhase("removal");
    vorsk::WriteStartupTimes();
    // Through the runtime's exit, so that buffered standard output (the trace) is flushed.
    std::exit(status);
  }
};

MachineRemoval removal;

}  // namespace

// Constructed before AfxWinMain runs, after the removal it is given; its name is string
// AFX_IDS_APP_TITLE.
CVorskApp theApp(removal);
