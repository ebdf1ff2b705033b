// What a run tells, and to whom: its message boxes (or, in a quiet run, their lines on standard
// error), its log, the listing of a run that only lists, and the outcomes of its stages that make
// its exit status. The stages tell everything through here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/host.h"

namespace vorsk {

// What the command line asks of a run.
struct RunOptions {
  // No message box: each becomes a line on standard error and in the log.
  bool quiet = false;
  // Change nothing; list what a run would remove, on standard output.
  bool list = false;
  // Save what the run deletes in a folder of its own below this one first; empty: no backup. In
  // UTF-8: the command line's name reaches the platform whole, outside the code page too.
  std::string backupFolder;
};

class RunReport {
 public:
  // A run that cannot show a box (asked to be quiet, listing, or without an interactive desktop
  // where nobody could answer one) writes its boxes as lines instead.
  RunReport(Host& host, WindowHandle frame, const RunOptions& options = RunOptions());

  // The main frame, owner of the run's own message boxes.
  WindowHandle Frame() const { return frame_; }
  // Whether the run only lists what it would remove.
  bool Listing() const { return listing_; }

  // Shows a message box and returns once it is dismissed; in a run without boxes, writes its text
  // as a line on standard error. Either way the log has it.
  void Tell(WindowHandle owner, const std::string& text, const std::optional<std::string>& caption,
            std::uint32_t type);
  // A line of the log (when there is one), from text in the code page: the log is UTF-8.
  void Log(const std::string& line);
  // A line of the log already in UTF-8 (built from names read through the wide-character calls).
  void LogUtf8(const std::string& line);
  // Whether the run has a log to write.
  bool Logging() const { return logging_; }
  // An entry of the removal script, as read.
  void LogEntry(std::string_view section, std::string_view entry, const std::string& value);
  // A line of the listing, on standard output and in the log.
  void List(const std::string& line);

  // Something that the script names is left on the machine (or, when listing, is there).
  void NoteLeft() { left_ = true; }
  // A removal asks for a restart to finish.
  void NoteRestartNeeded() { restartNeeded_ = true; }

  // The exit status of a run that got to its stages: something left outweighs a restart.
  int Status() const;

 private:
  Host& host_;
  WindowHandle frame_;
  bool listing_;
  bool boxes_;
  bool logging_;
  bool left_ = false;
  bool restartNeeded_ = false;
};

// vorsk's version as people write it: "1.0.0.1".
std::string VersionText();

// The platform's error code as the log writes it: eight hex digits.
std::string ErrorText(Status error);

}  // namespace vorsk
