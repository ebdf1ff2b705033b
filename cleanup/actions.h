// What a run does with each item that its stages find. The stages only find: the driver entry and
// its two files, each matching device instance, each listed tree that is there. Each item found is
// handed at once to the run's actions, chosen once per run by the run: list it; remove it; save
// it, then remove it. Only the actions know what the run is for.
#pragma once

#include <optional>
#include <string>

#include "host/host.h"

namespace vorsk {

// A device instance of the walk whose hardware ID begins with one of the script's prefixes. The
// set and the record are the walk's own, valid for the call only.
struct FoundInstance {
  DevInfoSet set;
  DeviceInfoRecord& record;
  std::optional<std::string> instanceId;  // nothing when it cannot be read
  std::string matchingId;                 // the hardware ID that matched
  std::string hardwareIds;                // all its hardware IDs: "a; b"
};

// What the platform holds for a driver's published INF.
struct DriverPackage {
  enum class Hold {
    NoStore,     // the machine keeps no driver store: the INF and its PNF are all there is
    None,        // the store holds no package that the INF publishes
    Held,        // the store holds its package
    CannotTell,  // which package the INF publishes, or whether any, cannot be told
  };
  Hold hold = Hold::NoStore;
  // The package's folder in the store, as this process reaches it, and the package's INF in it
  // (empty when the platform names the folder but the INF in it cannot be told).
  std::u16string storeFolder;
  std::u16string storeInf;
  // A link (a junction, a symbolic link) on the store folder's path, the folder itself among
  // them: what is reached through it is not the store's own, so the folder cannot be saved whole.
  // Empty when there is none.
  std::u16string linkOnPath;
  // A machine that an earlier removal left half-removed: the published INF gone, the package
  // still in the store. Its store INF is published again under the INF's name, so that the
  // platform can uninstall the package.
  bool halfRemoved = false;
  // How the package was found, or why it could not be told, as the log says it.
  std::string how;
};

// The driver entry's published INF, its precompiled twin (each at a path of at most 255
// characters), whether each was there when the stage looked, and the package it publishes.
struct FoundDriver {
  std::string infName;
  std::string infPath;
  std::string pnfPath;
  bool infPresent = false;
  bool pnfPresent = false;
  DriverPackage package;
};

// A listed tree that is there: its root key, open for reading (and for deletion when the user may
// delete it), and its path below HKEY_LOCAL_MACHINE. A root that could not be opened at all is
// null, with the platform's reason.
struct FoundTree {
  RegKey root = kNullKey;
  bool deletable = false;
  Status openError = kErrorSuccess;
  std::string path;
};

class ItemActions {
 public:
  virtual ~ItemActions() = default;

  // What a stage found or refused that is no item to act on (a lookup without a driver entry, a
  // refused InfPath or tree, an absent tree): `logged` as the log says it, `listed` as a listing
  // says it.
  virtual void Tell(const std::string& logged, const std::string& listed) = 0;
  void Tell(const std::string& line) { Tell(line, line); }

  // The driver entry's INF, its precompiled twin and its package.
  virtual void Driver(const FoundDriver& driver) = 0;
  // An INF file or its precompiled twin, at a path of at most 255 characters, when the other
  // one's path is too long to go with it as one driver.
  virtual void File(const std::string& path) = 0;
  // A file path longer than 255 characters: never cut into another file's path, never deleted.
  virtual void OverlongFile(const std::string& path) = 0;
  // An INF file whose folder cannot be told, the Windows directory failing.
  virtual void FileWithoutFolder(const std::string& infName) = 0;

  // A hardware ID that the device walk examines, as it examines it.
  virtual void Trace(const std::string& hardwareId) = 0;
  // A matching device instance, during the walk.
  virtual void Instance(const FoundInstance& instance) = 0;
  // The walk is over and its set released.
  virtual void EndOfWalk() = 0;

  // A listed tree that is there.
  virtual void Tree(const FoundTree& tree) = 0;
};

// How the log and the listing name an instance: "instance <ID> (matching <hardware ID>)".
std::string DescribeInstance(const std::optional<std::string>& instanceId,
                             const std::string& matchingId);

}  // namespace vorsk
