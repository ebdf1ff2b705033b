#include "removal/run.h"

#include "backup/backup.h"
#include "cleanup/listing.h"
#include "cleanup/removing.h"
#include "cleanup/saving.h"
#include "cleanup/stages.h"
#include "host/handles.h"
#include "report/exit_status.h"
#include "report/messages.h"
#include "report/run_report.h"
#include "script/script_reader.h"
#include "text/text.h"

namespace vorsk {

namespace {

constexpr std::string_view kScriptFilePrefix = "Remove";
constexpr std::string_view kTagText = "417";

// Whether the script can be opened for shared reading. The handle serves only this check and is
// closed at once: the script is read by path, through the profile reader.
bool CanOpenScript(Host& host, const std::string& scriptPath) {
  unique_hfile script(host, host.CreateFileA(scriptPath, kGenericRead, kFileShareRead,
                                             kOpenExisting, kFileAttributeNormal));
  return script.is_valid();
}

// The first line of the log: who runs what, where.
void LogStart(Host& host, RunReport& report, const RunOptions& options) {
  if (!report.Logging()) {
    return;  // the process's facts cost a handful of platform calls, for this line alone
  }
  const ProcessFacts facts = host.GetProcessFacts();
  // The backup folder is UTF-8 already; the rest is code-page text.
  const auto utf8 = [&](const std::string& text) { return Utf8FromUtf16(host.AnsiToWide(text)); };
  report.LogUtf8("vorsk " + VersionText() + (options.list ? ", listing" : "") +
                 (options.quiet ? ", quiet" : "") +
                 (options.backupFolder.empty() ? "" : ", backup in " + options.backupFolder) +
                 " on Windows " + utf8(facts.windowsVersion) + " (" +
                 std::to_string(facts.windowsBits) + "-bit, this program " +
                 std::to_string(facts.processBits) + "-bit) as " + utf8(facts.user) +
                 (facts.elevated ? " (elevated)" : " (not elevated)"));
}

// The three stages in their order, each handing what it finds to `act`.
void RunStages(Host& host, RunReport& report, const std::string& scriptPath, ItemActions& act) {
  RemoveDriverFiles(host, report, scriptPath, act);
  const std::string devNo =
      ReadScriptText(host, scriptPath, kCurrentDevSection, kDevNoEntry, kScriptTextSize);
  report.LogEntry(kCurrentDevSection, kDevNoEntry, devNo);
  RemoveDevices(host, report, scriptPath, devNo, act);
  RemoveKeyTrees(host, report, scriptPath, devNo, act);
}

// The run from its script check to the end of its last stage, with the actions that `options`
// choose; returns its exit status.
int CheckScriptAndRun(Host& host, RunReport& report, const RunOptions& options) {
  // Without the Windows directory there is no script to read: an empty directory part would
  // take the script from \Setup417 at the root of the current drive, a folder that any user may
  // create. A directory too long for its buffer cannot lead to a script path that fits either.
  std::string windowsDirectory;
  const std::uint32_t length =
      host.GetSystemWindowsDirectoryA(windowsDirectory, kWindowsDirectorySize);

  const std::optional<std::string> scriptPath = BuildScriptPath(windowsDirectory);
  if (length == 0 || length >= kWindowsDirectorySize || !scriptPath ||
      !CanOpenScript(host, *scriptPath)) {
    report.Log("script " + scriptPath.value_or(windowsDirectory + "\\Setup417") +
               ": cannot be opened");
    report.Tell(report.Frame(), std::string(kMissingScriptMessage), std::string(kEmptyText),
                kMbIconInformation);
    return kExitScriptMissing;
  }
  report.Log("script " + *scriptPath);

  if (options.list) {
    ListingActions listing(host, report);
    RunStages(host, report, *scriptPath, listing);
    return report.Status();
  }
  RemovingActions removal(host, report, host.IsWow64Process());
  if (options.backupFolder.empty()) {
    RunStages(host, report, *scriptPath, removal);
    return report.Status();
  }
  // A backup that cannot be made saves nothing: the stages then delete nothing and say so.
  Backup backup(host, report);
  backup.Begin(options.backupFolder, *scriptPath);
  SavingActions saving(backup, removal);
  RunStages(host, report, *scriptPath, saving);
  backup.End();
  return report.Status();
}

}  // namespace

std::optional<std::string> BuildScriptPath(const std::string& windowsDirectory) {
  std::string path = windowsDirectory;
  path += "\\Setup417\\";
  path += kScriptFilePrefix;
  path += kTagText;
  path += ".ini";
  if (path.size() >= kScriptTextSize) {
    return std::nullopt;
  }
  return path;
}

int UnderRunLock(Host& host, RunReport& report, const std::function<int()>& run) {
  RunLock lock = host.AcquireRunLock(0);
  if (lock == RunLock::TimedOut) {
    report.Log("waiting for another run to end");
    lock = host.AcquireRunLock(kRunLockWaitMs);
  }
  switch (lock) {
    case RunLock::TimedOut:
      // Nothing runs; nobody is asked anything either: the caller tries again later.
      report.Log("another run did not end within " + std::to_string(kRunLockWaitMs / 60000) +
                 " minutes: nothing was run");
      host.WriteStandardError("Another run of vorsk did not end in time: nothing was run.\n");
      return kExitAnotherRun;
    case RunLock::Failed:
      // Without the lock the run still does what it would do; two runs at once then meet what
      // the other left, as a second run would.
      report.Log("the run lock cannot be had (error " + ErrorText(host.GetLastError()) +
                 "): running without it");
      return run();
    case RunLock::Squatted:
      report.Log(
          "the run lock was made by an account other than SYSTEM or the administrators: running "
          "without it");
      return run();
    case RunLock::NotAdministrator:
      report.Log(
          "this account is neither SYSTEM nor an administrator: running without the run lock");
      return run();
    case RunLock::Acquired:
      break;
  }
  switch (host.HeldRunLock()) {
    case RunLockKind::Both:
      report.Log(
          "the run lock is held in the administrators' private namespace and by its global "
          "name");
      break;
    case RunLockKind::Private:
      report.Log(
          "the run lock is held in the administrators' private namespace (its global name "
          "is another account's, or cannot be had)");
      break;
    case RunLockKind::Global:
      report.Log(
          "the run lock is held by its global name, owned by the administrators (no "
          "private namespace here)");
      break;
  }
  const int status = run();
  host.ReleaseRunLock();
  return status;
}

int PerformRemoval(Host& host, WindowHandle frame, const RunOptions& options) {
  RunReport report(host, frame, options.quiet || options.list);
  LogStart(host, report, options);
  const int status =
      UnderRunLock(host, report, [&] { return CheckScriptAndRun(host, report, options); });
  report.Log("status " + std::to_string(status));
  return status;
}

}  // namespace vorsk
