#include "report/run_report.h"

#include "report/exit_status.h"
#include "res/version.h"
#include "text/text.h"

namespace vorsk {

RunReport::RunReport(Host& host, WindowHandle frame, bool quiet)
    : host_(host),
      frame_(frame),
      boxes_(!quiet && host.HasInteractiveDesktop()),
      logging_(host.HasLog()) {}

void RunReport::Tell(WindowHandle owner, const std::string& text,
                     const std::optional<std::string>& caption, std::uint32_t type) {
  Log("message: " + text);
  if (boxes_) {
    host_.MessageBoxA(owner, text, caption, type);
  } else {
    host_.WriteStandardError(EscapeControls(text) + "\n");
  }
}

void RunReport::Log(const std::string& line) {
  if (logging_) {
    host_.WriteLog(EscapeControls(Utf8FromUtf16(host_.AnsiToWide(line))));
  }
}

void RunReport::LogUtf8(const std::string& line) {
  if (logging_) {
    host_.WriteLog(EscapeControls(line));
  }
}

void RunReport::LogEntry(std::string_view section, std::string_view entry,
                         const std::string& value) {
  Log("script [" + std::string(section) + "] " + std::string(entry) + "=" + value);
}

void RunReport::List(const std::string& line) {
  host_.WriteStandardOutput(EscapeControls(line) + "\n");
  Log("list: " + line);
}

int RunReport::Status() const {
  if (left_) {
    return kExitLeft;
  }
  return restartNeeded_ ? kExitRestartNeeded : kExitCompleted;
}

std::string VersionText() {
  constexpr std::string_view kVersionResource = VORSK_VERSION_TEXT;  // "1, 0, 0, 1"
  std::string text;
  for (const char c : kVersionResource) {
    if (c != ' ') {
      text += c == ',' ? '.' : c;
    }
  }
  return text;
}

}  // namespace vorsk
