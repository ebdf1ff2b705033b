// Every text that vorsk shows a person: its message boxes and its usage. The boxes' texts are
// the program's own, kept word for word as its users and their scripts know them.
#pragma once

#include <string>
#include <string_view>

namespace vorsk {

// The removal script cannot be opened; the box is owned by the main frame.
inline constexpr std::string_view kMissingScriptMessage =
    "Can't locate at file remove417.ini,uninstall failed!";

// A driver file that cannot be deleted, whatever the reason; the box has no owner and the
// platform's default caption.
inline std::string UndeletableFileMessage(const std::string& path) {
  return "File: " + path + " is read only,can't be deleted!";
}

// A hardware-ID buffer that cannot be allocated; the box has no owner.
inline constexpr std::string_view kAllocationFailedMessage = "error";

// The companion is missing, cannot start or fails; the box is owned by the main frame.
inline constexpr std::string_view kCompanionFailedMessage =
    "Can't run file vorsk64.exe,devices not removed!";

// The switches and the exit statuses, as /? shows them.
inline constexpr std::string_view kUsage =
    "vorsk [/quiet] [/log:<file>] [/list | /backup:<folder>]\n"
    "vorsk /restore:<folder> [/anycomputer] [/list] [/quiet] [/log:<file>]\n"
    "Removes the driver of the USB still-image device of setup 417, as its removal script\n"
    "<Windows>\\Setup417\\Remove417.ini says.\n"
    "\n"
    "  /quiet, /q    show no message box: each becomes a line on standard error and in the log\n"
    "                (also when there is no interactive desktop, as for a service)\n"
    "  /log:<file>   append what the run does to <file> (UTF-8, one timestamped line each)\n"
    "  /list         change nothing: list what a run would remove, and end with 3 when\n"
    "                something the script names is there, 0 when nothing is\n"
    "  /backup:<folder>\n"
    "                first save what the run deletes in a new folder of its own below\n"
    "                <folder>, <computer>-<UTC time>, with restore.cmd, which puts it back;\n"
    "                an item that cannot be saved is not deleted\n"
    "  /restore:<folder>\n"
    "                put back what the backup in <folder> (a run's own folder) saved, and\n"
    "                remove nothing; with /list, change nothing and say what would go back\n"
    "  /anycomputer  with /restore: restore a backup that this computer has no record of\n"
    "                (made on another computer, or by an earlier vorsk), if you vouch for it\n"
    "  /?            this text\n"
    "Switches may begin with / or -, in any letter case.\n"
    "\n"
    "Exit status:\n"
    "  0     the removal ran, and nothing that the script names is left\n"
    "  1     nothing was run (/?, a switch vorsk does not know, /list or /restore with\n"
    "        /backup, /Unregister, or no main window); a backup refused for /restore\n"
    "  2     the removal script is missing or cannot be opened; nothing was touched\n"
    "  3     the removal ran, and something that the script names was left; /restore:\n"
    "        something is not back (with /list: something would go back)\n"
    "  1618  another run did not end in time; nothing was run\n"
    "  3010  the removal ran, nothing is left, and a restart finishes removing a device\n"
    "At a command prompt, start /wait vorsk ... waits for the status.\n";

}  // namespace vorsk
