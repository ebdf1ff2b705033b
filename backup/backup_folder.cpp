#include "backup/backup_folder.h"

#include <cstdio>

#include "host/object_trust.h"
#include "text/text.h"

namespace vorsk {

namespace {

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof(text), "%02d", value % 100);
  return text;
}

std::string ErrorReason(const std::string& what, Status error) {
  return what + " (error " + ErrorText(error) + ")";
}

// A full path split into its root ("C:\" or "\\server\share") and the folders below it; nothing
// for a path that is neither on a drive nor on a share.
struct SplitPath {
  std::u16string root;
  std::vector<std::u16string> folders;
  bool onShare = false;
};

std::optional<SplitPath> SplitFullPath(const std::u16string& path) {
  SplitPath split;
  std::size_t rest = 0;
  if (path.rfind(u"\\\\", 0) == 0) {
    const std::size_t server = path.find(u'\\', 2);
    if (server == std::u16string::npos || server == 2) {
      return std::nullopt;
    }
    rest = path.find(u'\\', server + 1);
    split.root = path.substr(0, rest);
    split.onShare = true;
    if (split.root.size() == server + 1) {
      return std::nullopt;
    }
  } else if (path.size() >= 2 && path[1] == u':' && (path.size() == 2 || path[2] == u'\\')) {
    split.root = path.substr(0, 2) + u"\\";
    rest = path.size() > 2 ? 2 : std::u16string::npos;
  } else {
    return std::nullopt;
  }
  while (rest != std::u16string::npos && rest < path.size()) {
    const std::size_t next = path.find(u'\\', rest + 1);
    const std::u16string name = path.substr(
        rest + 1, next == std::u16string::npos ? std::u16string::npos : next - rest - 1);
    if (name.empty() || name == u"." || name == u"..") {
      if (next == std::u16string::npos && name.empty()) {
        break;  // a separator at its end
      }
      return std::nullopt;
    }
    split.folders.push_back(name);
    rest = next;
  }
  return split;
}

// Why another account may change the folder open at `folder` (`rights` of kFolderChangeRights or
// kParentChangeRights); nothing when none may.
std::optional<std::string> Changeable(Host& host, FolderHandle folder, std::uint32_t rights) {
  SecurityFacts security;
  const Status status = host.ReadFolderSecurity(folder, security);
  if (status != kErrorSuccess) {
    return ErrorReason("its access list cannot be read", status);
  }
  return OthersMayChange(security, rights, host.RunningUserSid());
}

}  // namespace

std::string BackupFolderName(const std::string& computer, const UtcTime& time) {
  return computer + "-" + std::to_string(time.year) + TwoDigits(time.month) + TwoDigits(time.day) +
         "T" + TwoDigits(time.hour) + TwoDigits(time.minute) + TwoDigits(time.second) + "Z";
}

std::optional<RunFolder> MakeRunFolder(Host& host, RunReport& report, const std::string& parent,
                                       const std::string& computer, const UtcTime& time) {
  const std::optional<SplitPath> split = SplitFullPath(Utf16FromUtf8(parent));
  if (!split) {
    report.LogUtf8("backup: " + parent + " is no full path on a drive or a share");
    return std::nullopt;
  }
  RunFolder run;
  std::string shown = Utf8FromUtf16(split->root);
  unique_hfolder root(host);
  Status status = host.OpenFolderNoFollow(kNoFolder, split->root, root.put());
  if (status != kErrorSuccess) {
    report.LogUtf8(ErrorReason("backup: " + shown + " cannot be opened", status));
    return std::nullopt;
  }
  run.held_.push_back(std::move(root));
  // Whether the folder last held was made by this run (so nobody else's rights are on it).
  bool made = false;
  for (const std::u16string& name : split->folders) {
    shown += (shown.back() == '\\' ? "" : "\\") + Utf8FromUtf16(name);
    const FolderHandle above = run.held_.back().get();
    // The folder that holds it decides who may rename it too.
    if (!split->onShare && !made) {
      if (const std::optional<std::string> why = Changeable(host, above, kParentChangeRights)) {
        report.LogUtf8("backup: " + shown + " is refused: the folder that holds it lets another " +
                       "account take it (" + *why + ")");
        return std::nullopt;
      }
    }
    unique_hfolder folder(host);
    status = host.CreateFolderIn(
        above, name,
        split->onShare ? Host::FolderAccess::Inherited : Host::FolderAccess::AdministratorsOnly,
        folder.put());
    made = status == kErrorSuccess;
    if (status == kErrorAlreadyExists) {
      status = host.OpenFolderNoFollow(above, name, folder.put());
    }
    if (status == kErrorStoppedOnSymlink) {
      report.LogUtf8("backup: " + shown +
                     " is a link to another place: no backup is made through one");
      return std::nullopt;
    }
    if (status != kErrorSuccess) {
      report.LogUtf8(ErrorReason("backup: the folder " + shown + " cannot be made", status));
      return std::nullopt;
    }
    if (!split->onShare && !made) {
      if (const std::optional<std::string> why =
              Changeable(host, folder.get(), kFolderChangeRights)) {
        report.LogUtf8("backup: " + shown + " is refused: " + *why);
        return std::nullopt;
      }
    }
    run.held_.push_back(std::move(folder));
  }
  if (!split->onShare && !made) {
    if (const std::optional<std::string> why =
            Changeable(host, run.held_.back().get(), kParentChangeRights)) {
      report.LogUtf8("backup: " + shown + " is refused: it lets another account take what it " +
                     "holds (" + *why + ")");
      return std::nullopt;
    }
  }
  const std::string name = BackupFolderName(computer, time);
  // Made with a call that fails when the name is taken, so that runs on many machines (or two
  // in one second) sharing one folder never write into each other's; and with rights of its
  // own, so that whoever may write the parent cannot change what an administrator will run.
  for (int attempt = 1; attempt <= kMaxBackupFolderTries; ++attempt) {
    const std::string folderName = attempt == 1 ? name : name + "-" + std::to_string(attempt);
    unique_hfolder folder(host);
    status = host.CreateFolderIn(run.held_.back().get(), Utf16FromUtf8(folderName),
                                 split->onShare ? Host::FolderAccess::AdministratorsAndMaker
                                                : Host::FolderAccess::AdministratorsOnly,
                                 folder.put());
    if (status == kErrorSuccess) {
      run.held_.push_back(std::move(folder));
      run.name_ = folderName;
      run.path_ = shown + (shown.back() == '\\' ? "" : "\\") + folderName;
      return run;
    }
    if (status != kErrorAlreadyExists) {
      report.LogUtf8(ErrorReason("backup: the folder " + shown +
                                     (shown.back() == '\\' ? "" : "\\") + folderName +
                                     " cannot be made",
                                 status));
      return std::nullopt;
    }
  }
  report.LogUtf8("backup: " + name + " and its " + std::to_string(kMaxBackupFolderTries - 1) +
                 " numbered names are all taken in " + parent);
  return std::nullopt;
}

}  // namespace vorsk
