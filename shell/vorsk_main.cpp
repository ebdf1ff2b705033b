// vorsk.exe's root: the application object, and the removal that its main frame hands control
// to: the run on the real machine, which ends the process with the run's exit status.
#include <cstdlib>

#include "companion_digests.h"
#include "host/win32/text_conversion.h"
#include "host/win32/translate.h"
#include "host/win32/win32_host.h"
#include "removal/run.h"
#include "report/exit_status.h"
#include "restore/restore.h"
#include "shell/startup_times.h"
#include "shell/vorsk_app.h"
#include "text/text.h"

namespace {

// A folder as the command line names it, made a full path (from the current folder) in UTF-8,
// so that a name outside the code page reaches the platform whole.
std::string FullPathUtf8(const std::wstring& folder) {
  std::wstring full(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length =
        ::GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) {
      break;
    }
    if (length < full.size()) {
      full.resize(length);
      return vorsk::Utf8FromUtf16(std::u16string(full.begin(), full.end()));
    }
    full.assign(length + 1, L'\0');
  }
  return vorsk::Utf8FromUtf16(std::u16string(folder.begin(), folder.end()));
}

class MachineRemoval final : public RemovalRunner {
 public:
  void Run(CWnd& frame, const RemovalRequest& request) override {
    vorsk::Win32Host host;
    host.SetBuiltCompanions(vorsk::win32::kBuiltCompanions);
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
    const vorsk::WindowHandle owner = vorsk::win32::FromPlatform(frame.GetSafeHwnd());
    int status = vorsk::kExitNothingRun;
    if (!request.restoreFolder.empty()) {
      vorsk::RestoreOptions restore;
      restore.folder = FullPathUtf8(request.restoreFolder);
      restore.list = request.options.list;
      restore.quiet = request.options.quiet;
      restore.anyComputer = request.anyComputer;
      status = vorsk::PerformRestore(host, owner, restore);
    } else {
      vorsk::RunOptions options = request.options;
      // In UTF-8, so that a folder named outside the code page reaches the platform whole.
      options.backupFolder =
          request.backupFolder.empty() ? std::string() : FullPathUtf8(request.backupFolder);
      status = vorsk::PerformRemoval(host, owner, options);
    }
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
