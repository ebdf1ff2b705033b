#include "cleanup/saving.h"

namespace vorsk {

void SavingActions::Driver(const FoundDriver& driver) {
  if (backup_.SaveDriver(driver)) {
    removal_.Driver(driver);
  }
}

void SavingActions::File(const std::string& path) {
  if (backup_.SaveFile(path)) {
    removal_.File(path);
  }
}

void SavingActions::Instance(const FoundInstance& instance) {
  if (backup_.SaveInstance(instance.instanceId.value_or("(its instance ID cannot be read)"),
                           instance.hardwareIds, instance.record.classGuid)) {
    removal_.Instance(instance);
  }
}

void SavingActions::Tree(const FoundTree& tree) {
  if (backup_.SaveTree(tree.root, tree.path)) {
    removal_.Tree(tree);
  }
}

}  // namespace vorsk
