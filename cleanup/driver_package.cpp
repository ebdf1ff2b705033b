#include "cleanup/driver_package.h"

#include <optional>
#include <vector>

#include "cleanup/driver_files.h"
#include "host/handles.h"
#include "text/text.h"

namespace vorsk {

namespace {

constexpr char kDriverDatabase[] = "DRIVERS\\DriverDatabase";

bool IsFolder(const FolderEntry& entry) {
  return (entry.attributes & kFileAttributeDirectory) != 0;
}

bool IsLink(const FolderEntry& entry) {
  return (entry.attributes & kFileAttributeReparsePoint) != 0;
}

DriverPackage Package(DriverPackage::Hold hold, std::string how,
                      std::u16string storeFolder = std::u16string(),
                      std::u16string storeInf = std::u16string()) {
  DriverPackage package;
  package.hold = hold;
  package.how = std::move(how);
  package.storeFolder = std::move(storeFolder);
  package.storeInf = std::move(storeInf);
  return package;
}

// The store's INF that the platform names for the published INF, reached as this process reaches
// the store.
std::optional<std::u16string> NamedStoreInf(Host& host, const std::u16string& windowsDirectory,
                                            const std::u16string& infPath) {
  const std::optional<std::u16string> storeInf = host.DriverStoreInfPath(infPath);
  if (!storeInf || storeInf->rfind(u'\\') == std::u16string::npos) {
    return std::nullopt;
  }
  // A 32-bit process on 64-bit Windows is given the 64-bit system folder's name, which it reaches
  // through Sysnative.
  const std::u16string system = windowsDirectory + u"\\System32\\";
  if (host.IsWow64Process() && storeInf->size() > system.size() &&
      EqualAsciiFolded(Utf8FromUtf16(storeInf->substr(0, system.size())), Utf8FromUtf16(system))) {
    return windowsDirectory + u"\\Sysnative\\" + storeInf->substr(system.size());
  }
  return storeInf;
}

// The link on the path of the store folder `folder` (UTF-16, as this process reaches it), from the
// folder below the system folder down to the folder itself; empty when there is none. A folder on
// the way that cannot be looked at is no link.
std::u16string LinkOnPath(Host& host, const std::u16string& windows, const std::u16string& folder) {
  std::size_t from = 0;
  for (const char16_t* system : {u"\\System32\\", u"\\Sysnative\\", u"\\"}) {
    const std::u16string base = windows + system;
    if (folder.size() > base.size() &&
        EqualAsciiFolded(Utf8FromUtf16(folder.substr(0, base.size())), Utf8FromUtf16(base))) {
      from = base.size();
      break;
    }
  }
  for (std::size_t end = folder.find(u'\\', from);; end = folder.find(u'\\', end + 1)) {
    const std::u16string path = folder.substr(0, end);
    const std::uint32_t attributes = host.GetFileAttributesW(path);
    if (attributes != kInvalidFileAttributes && (attributes & kFileAttributeReparsePoint) != 0) {
      return path;
    }
    if (end == std::u16string::npos) {
      return std::u16string();
    }
  }
}

// The names of the INF that a store folder is named for: the platform names a package's folder
// "<INF name>_<...>" after its INF, so each part of the name up to ".inf" that "_" follows.
std::vector<std::u16string> InfNamesOf(const std::u16string& folder) {
  std::vector<std::u16string> names;
  const std::string folded = Utf8FromUtf16(folder);
  std::string lower;
  for (const char c : folded) {
    lower += FoldAscii(c);
  }
  for (std::size_t at = lower.find(".inf_"); at != std::string::npos;
       at = lower.find(".inf_", at + 1)) {
    if (at > 0) {
      names.push_back(Utf16FromUtf8(folded.substr(0, at + 4)));
    }
  }
  return names;
}

// The store's folders named for the INF they hold whose INF is exactly `published`, links among
// them never followed: only an INF of the folder's own name is looked at, and only one of the
// published INF's size is read. A folder whose INF cannot be looked at, or read, for another
// reason than its absence makes the answer unknown: then `unreadable` says which and why.
std::vector<std::u16string> StoreInfsSameAs(Host& host, const std::u16string& store,
                                            const std::vector<FolderEntry>& folders,
                                            const std::string& published, std::string& unreadable) {
  std::vector<std::u16string> found;
  for (const FolderEntry& folder : folders) {
    if (!IsFolder(folder) || IsLink(folder)) {
      continue;
    }
    for (const std::u16string& name : InfNamesOf(folder.name)) {
      const std::u16string inf = store + u"\\" + folder.name + u"\\" + name;
      FolderEntry facts;
      Status status = host.LookAtFile(inf, facts);
      std::string bytes;
      if (status == kErrorSuccess &&
          (facts.attributes & (kFileAttributeDirectory | kFileAttributeReparsePoint)) != 0) {
        continue;  // no file of its own
      }
      if (status == kErrorSuccess && facts.size != published.size()) {
        continue;  // other bytes: a store of 1,500 packages is read no further than it must be
      }
      if (status == kErrorSuccess) {
        status = host.ReadFileBytes(inf, bytes, published.size());
      }
      if (status == kErrorSuccess && bytes == published) {
        found.push_back(inf);
      } else if (status != kErrorSuccess && status != kErrorMoreData && !NamesNoFile(status)) {
        unreadable = Utf8FromUtf16(inf) + " cannot be read (error " + ErrorText(status) + ")";
        return found;
      }
    }
  }
  return found;
}

// The package that the driver database names for a published INF that is gone:
// DRIVERS\DriverDatabase\DriverInfFiles\<published name>, whose "Active" value (or else the first
// name of its default value) names the package's folder in the store, "<name>.inf_<...>", which
// holds <name>.inf.
DriverPackage PackageOfDatabase(Host& host, const std::u16string& store,
                                const std::string& infName) {
  const auto unreadable = [](Status status) {
    return Package(
        DriverPackage::Hold::CannotTell,
        "cannot tell: the driver database cannot be read (error " + ErrorText(status) + ")");
  };
  unique_hkey database(host);
  Status status = host.RegOpenKeyExA(kLocalMachine, kDriverDatabase, kKeyRead, database.put());
  if (NamesNoKey(status)) {
    return Package(DriverPackage::Hold::CannotTell,
                   "cannot tell: the INF is gone and no driver database names its package");
  }
  if (status != kErrorSuccess) {
    return unreadable(status);
  }
  unique_hkey entry(host);
  status = host.RegOpenKeyExA(database.get(), "DriverInfFiles\\" + infName, kKeyRead, entry.put());
  if (NamesNoKey(status)) {
    return Package(DriverPackage::Hold::None, "the driver database names no package for it");
  }
  if (status != kErrorSuccess) {
    return unreadable(status);
  }
  std::string name;
  if (host.RegQueryValueExA(entry.get(), "Active", name, kDriverTextSize) != kErrorSuccess) {
    name.clear();
    host.RegQueryValueExA(entry.get(), "", name, kDriverTextSize);
  }
  name = RegistryText(name);
  std::string folded;
  for (const char c : name) {
    folded += FoldAscii(c);
  }
  const std::size_t inf = folded.find(".inf_");
  const auto isLead = [&host](std::uint8_t byte) { return host.IsDBCSLeadByte(byte); };
  if (!IsPlainFileName(name, isLead) || inf == std::string::npos || inf == 0) {
    return Package(DriverPackage::Hold::CannotTell,
                   "cannot tell: the driver database names no package folder for it");
  }
  const std::u16string folder = store + u"\\" + host.AnsiToWide(name);
  const std::u16string storeInf = folder + u"\\" + host.AnsiToWide(name.substr(0, inf + 4));
  // A folder that is a link is none of the store's: its INF would come from elsewhere.
  const std::uint32_t folderAttributes = host.GetFileAttributesW(folder);
  if (folderAttributes != kInvalidFileAttributes &&
      (folderAttributes & kFileAttributeReparsePoint) != 0) {
    return Package(DriverPackage::Hold::CannotTell,
                   "cannot tell: the driver database names package " + name + ", a link");
  }
  const std::uint32_t attributes = host.GetFileAttributesW(storeInf);
  if (attributes == kInvalidFileAttributes ||
      (attributes & (kFileAttributeDirectory | kFileAttributeReparsePoint)) != 0) {
    return Package(DriverPackage::Hold::CannotTell,
                   "cannot tell: the driver database names package " + name +
                       ", whose INF the store does not hold");
  }
  DriverPackage package =
      Package(DriverPackage::Hold::Held, "the driver database names it", folder, storeInf);
  package.halfRemoved = true;
  return package;
}

}  // namespace

std::u16string DriverStoreFolder(Host& host, const std::u16string& windowsDirectory) {
  return windowsDirectory + (host.IsWow64Process() ? u"\\Sysnative" : u"\\System32") +
         u"\\DriverStore\\FileRepository";
}

DriverPackage FindDriverPackage(Host& host, const std::string& windowsDirectory,
                                const std::string& infName, const std::string& infPath,
                                bool infPresent) {
  const std::u16string windows = host.AnsiToWide(windowsDirectory);
  const std::u16string store = DriverStoreFolder(host, windows);
  std::vector<FolderEntry> folders;
  const Status listed = host.ListFolder(store, folders, kStoreFolderLimit);
  if (NamesNoFile(listed)) {
    return Package(DriverPackage::Hold::NoStore, "no driver store on this machine");
  }
  if (listed != kErrorSuccess) {
    return Package(
        DriverPackage::Hold::CannotTell,
        "cannot tell: the driver store cannot be read (error " + ErrorText(listed) + ")");
  }
  DriverPackage package;
  const std::u16string wideInf = host.AnsiToWide(infPath);
  if (!infPresent) {
    package = PackageOfDatabase(host, store, infName);
  } else if (const auto storeInf = NamedStoreInf(host, windows, wideInf)) {
    package = Package(DriverPackage::Hold::Held, "the platform names its store folder",
                      storeInf->substr(0, storeInf->rfind(u'\\')), *storeInf);
  } else {
    std::string published;
    const Status read = host.ReadFileBytes(wideInf, published, kInfSizeLimit);
    if (read != kErrorSuccess) {
      return Package(DriverPackage::Hold::CannotTell,
                     "cannot tell: the INF cannot be read (error " + ErrorText(read) + ")");
    }
    std::string unreadable;
    const std::vector<std::u16string> found =
        StoreInfsSameAs(host, store, folders, published, unreadable);
    if (!unreadable.empty()) {
      return Package(DriverPackage::Hold::CannotTell, "cannot tell: " + unreadable);
    }
    if (found.size() > 1) {
      // Any of them may be the package: the wrong one would be named, saved and looked for.
      return Package(DriverPackage::Hold::CannotTell,
                     "cannot tell: " + std::to_string(found.size()) + " folders hold its INF");
    }
    if (found.empty()) {
      return Package(DriverPackage::Hold::None, "no package in the driver store");
    }
    package = Package(DriverPackage::Hold::Held, "its INF in the store is the published one",
                      found[0].substr(0, found[0].rfind(u'\\')), found[0]);
  }
  if (package.hold == DriverPackage::Hold::Held) {
    package.linkOnPath = LinkOnPath(host, windows, package.storeFolder);
  }
  return package;
}

bool LeavesDriverWhole(const FoundDriver& driver) {
  return driver.infPresent && driver.package.hold == DriverPackage::Hold::CannotTell;
}

std::string PackageText(const DriverPackage& package) {
  switch (package.hold) {
    case DriverPackage::Hold::Held:
      return package.storeFolder.empty()
                 ? "held by the platform, its store folder cannot be found"
                 : "held by the platform, store folder " + Utf8FromUtf16(package.storeFolder) +
                       " (" + package.how + ")";
    case DriverPackage::Hold::None:
    case DriverPackage::Hold::NoStore:
    case DriverPackage::Hold::CannotTell:
      return package.how;
  }
  return package.how;
}

}  // namespace vorsk
