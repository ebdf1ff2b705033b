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

bool EndsWithInf(const std::u16string& name) {
  return name.size() > 4 && EqualAsciiFolded(Utf8FromUtf16(name.substr(name.size() - 4)), ".inf");
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

// The INF of the store's package folder that holds exactly `published`: only INF files of the
// same size are read.
std::optional<std::u16string> StoreInfSameAs(Host& host, const std::u16string& store,
                                             const std::vector<FolderEntry>& packages,
                                             const std::string& published) {
  for (const FolderEntry& package : packages) {
    if (!IsFolder(package) || IsLink(package)) {
      continue;
    }
    const std::u16string folder = store + u"\\" + package.name;
    std::vector<FolderEntry> files;
    if (host.ListFolder(folder, files, kPackageFileLimit) != kErrorSuccess) {
      continue;
    }
    for (const FolderEntry& file : files) {
      if (IsFolder(file) || IsLink(file) || !EndsWithInf(file.name) ||
          file.size != published.size()) {
        continue;
      }
      std::string bytes;
      if (host.ReadFileBytes(folder + u"\\" + file.name, bytes, kInfSizeLimit) == kErrorSuccess &&
          bytes == published) {
        return folder + u"\\" + file.name;
      }
    }
  }
  return std::nullopt;
}

// The package that the driver database names for a published INF that is gone:
// DRIVERS\DriverDatabase\DriverInfFiles\<published name>, whose "Active" value (or else the first
// name of its default value) names the package's folder in the store, "<name>.inf_<...>", which
// holds <name>.inf.
DriverPackage PackageOfDatabase(Host& host, const std::u16string& store,
                                const std::string& infName) {
  unique_hkey database(host);
  const Status status =
      host.RegOpenKeyExA(kLocalMachine, kDriverDatabase, kKeyRead, database.put());
  if (status != kErrorSuccess) {
    return Package(DriverPackage::Hold::CannotTell,
                   "cannot tell: the INF is gone and no driver database names its package");
  }
  unique_hkey entry(host);
  if (host.RegOpenKeyExA(database.get(), "DriverInfFiles\\" + infName, kKeyRead, entry.put()) !=
      kErrorSuccess) {
    return Package(DriverPackage::Hold::None, "the driver database names no package for it");
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
  std::vector<FolderEntry> packages;
  const Status listed = host.ListFolder(store, packages, kStoreFolderLimit);
  if (listed == kErrorFileNotFound || listed == kErrorPathNotFound) {
    return Package(DriverPackage::Hold::NoStore, "no driver store on this machine");
  }
  if (listed != kErrorSuccess) {
    return Package(
        DriverPackage::Hold::CannotTell,
        "cannot tell: the driver store cannot be read (error " + ErrorText(listed) + ")");
  }
  if (!infPresent) {
    return PackageOfDatabase(host, store, infName);
  }
  const std::u16string wideInf = host.AnsiToWide(infPath);
  if (const auto storeInf = NamedStoreInf(host, windows, wideInf)) {
    return Package(DriverPackage::Hold::Held, "the platform names its store folder",
                   storeInf->substr(0, storeInf->rfind(u'\\')), *storeInf);
  }
  std::string published;
  const Status read = host.ReadFileBytes(wideInf, published, kInfSizeLimit);
  if (read != kErrorSuccess) {
    return Package(DriverPackage::Hold::CannotTell,
                   "cannot tell: the INF cannot be read (error " + ErrorText(read) + ")");
  }
  if (const auto storeInf = StoreInfSameAs(host, store, packages, published)) {
    return Package(DriverPackage::Hold::Held, "its INF in the store is the published one",
                   storeInf->substr(0, storeInf->rfind(u'\\')), *storeInf);
  }
  return Package(DriverPackage::Hold::None, "no package in the driver store");
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
