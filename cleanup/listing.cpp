#include "cleanup/listing.h"

#include "cleanup/driver_files.h"
#include "cleanup/driver_package.h"
#include "cleanup/key_trees.h"
#include "text/text.h"

namespace vorsk {

void ListingActions::Tell(const std::string&, const std::string& listed) {
  report_.List(listed);
}

// A package the platform holds is there, whatever its files, and so is one that cannot be told
// from its INF; then the files.
void ListingActions::Driver(const FoundDriver& driver) {
  if (driver.package.hold == DriverPackage::Hold::Held || LeavesDriverWhole(driver)) {
    report_.NoteLeft();
  }
  File(driver.infPath);
  File(driver.pnfPath);
}

void ListingActions::File(const std::string& path) {
  if (host_.GetFileAttributesA(path) == kInvalidFileAttributes) {
    const Status error = host_.GetLastError();
    if (NamesNoFile(error)) {
      report_.List("  file " + path + ": absent");
      return;
    }
    // It may be there: what cannot be told counts as there.
    report_.List("  file " + path + ": cannot tell (error " + ErrorText(error) + ")");
  } else {
    report_.List("  file " + path + ": present");
  }
  report_.NoteLeft();
}

void ListingActions::OverlongFile(const std::string& path) {
  report_.List("  file " + path + ": refused, longer than 255 characters");
}

void ListingActions::FileWithoutFolder(const std::string& infName) {
  // Whether it is there cannot be told, so it counts as there.
  report_.List("  file " + infName + ": cannot tell, the Windows directory cannot be had");
  report_.NoteLeft();
}

void ListingActions::Instance(const FoundInstance& instance) {
  report_.List(
      DescribeInstance(instance.instanceId, instance.matchingId) +
      (host_.IsDevicePresent(instance.set, instance.record) ? ": present" : ": not plugged in"));
  report_.NoteLeft();
}

void ListingActions::Tree(const FoundTree& tree) {
  report_.List("tree " + tree.path + ": " + KeysText(CountTree(host_, tree)));
  report_.NoteLeft();
}

}  // namespace vorsk
