#include "backup/backup_record.h"

#include <vector>

#include "host/handles.h"
#include "host/key_path.h"
#include "host/object_trust.h"
#include "text/text.h"

namespace vorsk {

namespace {

const std::vector<std::u16string> kRecordPath = {u"SOFTWARE", u"vorsk", u"Backups"};

std::string ErrorReason(const std::string& what, Status error) {
  return what + " (error " + ErrorText(error) + ")";
}

// The digests of a multi-string's UTF-16LE bytes.
std::vector<std::string> DigestsOf(const std::string& data) {
  std::vector<std::string> digests;
  const std::u16string text = Utf16FromLeBytes(data);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find(u'\0', at);
    if (end == std::u16string::npos) {
      end = text.size();
    }
    if (end > at) {
      digests.push_back(Utf8FromUtf16(text.substr(at, end - at)));
    }
    at = end + 1;
  }
  return digests;
}

std::string MultiStringBytes(const std::vector<std::string>& digests) {
  std::string bytes;
  for (const std::string& digest : digests) {
    for (const char c : digest) {
      bytes += c;
      bytes += '\0';
    }
    bytes += std::string(2, '\0');
  }
  return bytes + std::string(2, '\0');
}

// Opens (with `make`, makes) the record's key, each key of its path checked: no link, and nobody
// but the administrators may write it. The reason when it cannot be had.
std::optional<std::string> OpenRecordKey(Host& host, bool make, std::uint32_t access,
                                         unique_hkey& key, bool& absent) {
  absent = false;
  unique_hkey parent(host);
  std::string shown;
  for (std::size_t i = 0; i < kRecordPath.size(); ++i) {
    const RegKey from = i == 0 ? kLocalMachine : parent.get();
    const std::u16string& name = kRecordPath[i];
    shown += (i == 0 ? "" : "\\") + Utf8FromUtf16(name);
    const bool last = i + 1 == kRecordPath.size();
    // Read control, to judge who else may write it.
    const std::uint32_t stepAccess = (last   ? access
                                      : make ? kKeyQueryValue | kKeyCreateSubKey
                                             : kKeyQueryValue) |
                                     kReadControl;
    unique_hkey step(host);
    bool made = false;
    Status status = make && i > 0 ? host.RegCreateKeyNoFollowW(from, name, stepAccess,
                                                               Host::KeyAccess::AdministratorsWrite,
                                                               step.put(), &made)
                                  : host.RegOpenKeyNoFollowW(from, name, stepAccess, step.put());
    if (!make && NamesNoKey(status)) {
      absent = true;
      return "no backup is recorded on this computer";
    }
    if (status != kErrorSuccess) {
      return ErrorReason(shown + " cannot be opened", status);
    }
    if (!made && ResolvesAsLink(host, from, name, step.get())) {
      return shown + " is a symbolic link";
    }
    if (i > 0) {
      SecurityFacts security;
      status = host.ReadKeySecurity(step.get(), security);
      if (status != kErrorSuccess) {
        return ErrorReason("the access list of " + shown + " cannot be read", status);
      }
      if (const std::optional<std::string> others =
              OthersMayChange(security, kKeyChangeRights, host.RunningUserSid())) {
        return shown + " could be written by another account (" + *others + ")";
      }
    }
    parent = std::move(step);
  }
  key = std::move(parent);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WriteBackupRecord(Host& host, const std::string& folderName,
                                             const std::string& digest) {
  unique_hkey key(host);
  bool absent = false;
  if (std::optional<std::string> why =
          OpenRecordKey(host, true, kKeyQueryValue | kKeySetValue, key, absent)) {
    return why;
  }
  const std::u16string name = Utf16FromUtf8(folderName);
  std::vector<std::string> digests;
  std::uint32_t type = 0;
  std::string data;
  if (host.RegQueryValueW(key.get(), name, type, data) == kErrorSuccess && type == kRegMultiSz) {
    digests = DigestsOf(data);
  }
  digests.push_back(digest);
  const Status status = host.RegSetValueW(key.get(), name, kRegMultiSz, MultiStringBytes(digests));
  if (status != kErrorSuccess) {
    return ErrorReason("it cannot be written", status);
  }
  return std::nullopt;
}

RecordMatch MatchBackupRecord(Host& host, const std::string& folderName, const std::string& digest,
                              std::string& why) {
  unique_hkey key(host);
  bool absent = false;
  if (std::optional<std::string> reason = OpenRecordKey(host, false, kKeyQueryValue, key, absent)) {
    why = *reason;
    return absent ? RecordMatch::None : RecordMatch::Untrusted;
  }
  std::uint32_t type = 0;
  std::string data;
  const Status status = host.RegQueryValueW(key.get(), Utf16FromUtf8(folderName), type, data);
  if (status != kErrorSuccess || type != kRegMultiSz) {
    why = "no backup named " + folderName + " is recorded on this computer";
    return RecordMatch::None;
  }
  for (const std::string& recorded : DigestsOf(data)) {
    if (recorded == digest) {
      return RecordMatch::Matches;
    }
  }
  why = "the manifest is not the one recorded for " + folderName + " on this computer";
  return RecordMatch::None;
}

}  // namespace vorsk
