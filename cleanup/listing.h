// The actions of a run that only lists: each item found is said on standard output (and in the
// log), and one that is there makes the run's status 3; nothing is changed, nothing is traced.
#pragma once

#include "cleanup/actions.h"
#include "report/run_report.h"

namespace vorsk {

class ListingActions final : public ItemActions {
 public:
  ListingActions(Host& host, RunReport& report) : host_(host), report_(report) {}

  void Tell(const std::string& logged, const std::string& listed) override;
  using ItemActions::Tell;
  void Driver(const FoundDriver& driver) override;
  void File(const std::string& path) override;
  void OverlongFile(const std::string& path) override;
  void FileWithoutFolder(const std::string& infName) override;
  void Trace(const std::string&) override {}
  void Instance(const FoundInstance& instance) override;
  void EndOfWalk() override {}
  void Tree(const FoundTree& tree) override;

 private:
  Host& host_;
  RunReport& report_;
};

}  // namespace vorsk
