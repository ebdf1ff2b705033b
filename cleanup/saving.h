// The actions of a run with a backup: each item is saved first, and goes only once it is saved;
// an item whose save fails is kept, and the backup says why.
#pragma once

#include "backup/backup.h"
#include "cleanup/actions.h"

namespace vorsk {

class SavingActions final : public ItemActions {
 public:
  SavingActions(Backup& backup, ItemActions& removal) : backup_(backup), removal_(removal) {}

  void Tell(const std::string& logged, const std::string& listed) override {
    removal_.Tell(logged, listed);
  }
  using ItemActions::Tell;
  void Driver(const FoundDriver& driver) override;
  void File(const std::string& path) override;
  void OverlongFile(const std::string& path) override { removal_.OverlongFile(path); }
  void FileWithoutFolder(const std::string& infName) override {
    removal_.FileWithoutFolder(infName);
  }
  void Trace(const std::string& hardwareId) override { removal_.Trace(hardwareId); }
  void Instance(const FoundInstance& instance) override;
  void EndOfWalk() override { removal_.EndOfWalk(); }
  void Tree(const FoundTree& tree) override;

 private:
  Backup& backup_;
  ItemActions& removal_;
};

}  // namespace vorsk
