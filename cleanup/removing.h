// The actions of a run that removes: files deleted, device instances removed (by the walk itself
// on 32-bit Windows, by the 64-bit companion after the walk under WOW64), trees deleted, each
// outcome logged and whatever stays noted as left. Under WOW64 one companion serves the run: the
// package's uninstall and the walk's instances are tasks handed to it as each stage reaches them.
#pragma once

#include <optional>
#include <vector>

#include "cleanup/actions.h"
#include "companion/companion_session.h"
#include "report/run_report.h"

namespace vorsk {

class RemovingActions final : public ItemActions {
 public:
  // `handOver`: whether the instances go to the companion, decided by the run before the walk
  // from the machine (a 32-bit process on 64-bit Windows, which the device setup service refuses).
  RemovingActions(Host& host, RunReport& report, bool handOver)
      : host_(host), report_(report), handOver_(handOver) {}

  void Tell(const std::string& logged, const std::string& listed) override;
  using ItemActions::Tell;
  void Driver(const FoundDriver& driver) override;
  void File(const std::string& path) override;
  void OverlongFile(const std::string& path) override;
  void FileWithoutFolder(const std::string& infName) override;
  void Trace(const std::string& hardwareId) override;
  void Instance(const FoundInstance& instance) override;
  void EndOfWalk() override;
  void Tree(const FoundTree& tree) override;

 private:
  struct Handed {
    std::string instanceId;
    std::string matchingId;
  };
  void RemoveInSet(const FoundInstance& instance);
  void HandToCompanion();
  // Asks the platform to uninstall the package of a published INF (through the companion under
  // WOW64): its status, or nothing when it could not be asked (logged, the package left).
  std::optional<Status> Uninstall(const std::string& infName);
  // The box that says the companion cannot do its work: once per run.
  void TellCompanionFailed();
  // Keeps the driver's files on the machine with its package: each one there is left.
  void LeaveFiles(const FoundDriver& driver);

  Host& host_;
  RunReport& report_;
  bool handOver_;
  // Under WOW64: the companion, started at its first task.
  CompanionSession companion_{host_, report_};
  std::vector<Handed> handed_;
  bool companionFailureTold_ = false;
};

}  // namespace vorsk
