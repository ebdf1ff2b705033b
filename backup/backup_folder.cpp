#include "backup/backup_folder.h"

#include <cstdio>

#include "text/text.h"

namespace vorsk {

namespace {

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof(text), "%02d", value % 100);
  return text;
}

std::string Joined(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::string ErrorReason(const std::string& what, Status error) {
  return what + " (error " + ErrorText(error) + ")";
}

// Makes each missing folder on the way to `parent`, from the first below the drive or the share
// (\\server\share); one that exists already refuses quietly. Each is checked before anything is
// made inside it: a link there could put the backup anywhere, so none is passed through.
bool MakeParent(Host& host, RunReport& report, const std::string& parent) {
  const std::u16string path = Utf16FromUtf8(parent);
  std::size_t first = 0;
  if (path.rfind(u"\\\\", 0) == 0) {
    const std::size_t server = path.find(u'\\', 2);
    first = server == std::u16string::npos ? server : path.find(u'\\', server + 1);
  } else if (path.size() >= 2 && path[1] == u':') {
    first = 2;
  }
  std::uint32_t attributes = kInvalidFileAttributes;
  if (first != std::u16string::npos) {
    for (std::size_t slash = path.find(u'\\', first + 1);; slash = path.find(u'\\', slash + 1)) {
      const std::u16string folder = path.substr(0, slash);
      host.CreateNewDirectory(folder, Host::FolderAccess::Inherited);
      attributes = host.GetFileAttributesW(folder);
      if (attributes != kInvalidFileAttributes && (attributes & kFileAttributeReparsePoint) != 0) {
        report.LogUtf8("backup: " + Utf8FromUtf16(folder) +
                       " is a link to another place: no backup is made through one");
        return false;
      }
      if (slash == std::u16string::npos) {
        break;
      }
    }
  } else {
    attributes = host.GetFileAttributesW(path);
  }
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
}

}  // namespace

std::string BackupFolderName(const std::string& computer, const UtcTime& time) {
  return computer + "-" + std::to_string(time.year) + TwoDigits(time.month) + TwoDigits(time.day) +
         "T" + TwoDigits(time.hour) + TwoDigits(time.minute) + TwoDigits(time.second) + "Z";
}

std::u16string PathIn(const std::string& folder, const std::string& name) {
  return Utf16FromUtf8(Joined(folder, name));
}

std::optional<std::string> MakeRunFolder(Host& host, RunReport& report, const std::string& parent,
                                         const std::string& computer, const UtcTime& time) {
  if (!MakeParent(host, report, parent)) {
    return std::nullopt;
  }
  const std::string name = BackupFolderName(computer, time);
  // Made with a call that fails when the name is taken, so that runs on many machines (or two
  // in one second) sharing one folder never write into each other's; and with rights of its
  // own, so that whoever may write the parent cannot change what an administrator will run.
  for (int attempt = 1; attempt <= kMaxBackupFolderTries; ++attempt) {
    const std::string folder =
        Joined(parent, attempt == 1 ? name : name + "-" + std::to_string(attempt));
    const Status status =
        host.CreateNewDirectory(Utf16FromUtf8(folder), Host::FolderAccess::AdministratorsOnly);
    if (status == kErrorSuccess) {
      return folder;
    }
    if (status != kErrorAlreadyExists) {
      report.LogUtf8(ErrorReason("backup: the folder " + folder + " cannot be made", status));
      return std::nullopt;
    }
  }
  report.LogUtf8("backup: " + name + " and its " + std::to_string(kMaxBackupFolderTries - 1) +
                 " numbered names are all taken in " + parent);
  return std::nullopt;
}

}  // namespace vorsk
