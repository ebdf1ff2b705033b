// What a run tells: its message boxes, and the outcomes of its stages that make its exit status.
// The stages note here what they leave on the machine; the run reads the status at its end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/host.h"

namespace vorsk {

class RunReport {
 public:
  RunReport(Host& host, WindowHandle frame) : host_(host), frame_(frame) {}

  // The main frame, owner of the run's own message boxes.
  WindowHandle Frame() const { return frame_; }

  // Shows a message box and returns once it is dismissed.
  void Tell(WindowHandle owner, const std::string& text, const std::optional<std::string>& caption,
            std::uint32_t type);

  // Something that the script names is left on the machine.
  void NoteLeft() { left_ = true; }
  // A removal asks for a restart to finish.
  void NoteRestartNeeded() { restartNeeded_ = true; }

  // The exit status of a run that got to its stages: something left outweighs a restart.
  int Status() const;

 private:
  Host& host_;
  WindowHandle frame_;
  bool left_ = false;
  bool restartNeeded_ = false;
};

}  // namespace vorsk
