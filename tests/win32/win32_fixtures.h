// Private corners of the real machine for the Windows tests: a folder, a registry key and device
// instances of their own, created before a test and removed after it, so that tests never see
// each other's leftovers.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "host/win32/win32_handles.h"

namespace vorsk::test {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string Path(const std::string& name) const { return path_ + "\\" + name; }
  // Writes a file below the folder (creating its folders) and returns its path.
  std::string Write(const std::string& name, const std::string& content);

 private:
  std::string path_;
};

// A key of a unique name below HKEY_LOCAL_MACHINE\<parent>, deleted with its tree afterwards.
class ScratchKey {
 public:
  explicit ScratchKey(const std::string& parent = "SOFTWARE\\VorskTest");
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  // The key's path relative to HKEY_LOCAL_MACHINE.
  const std::string& path() const { return path_; }
  void Create(const std::string& relative);
  void SetBinary(const std::string& relative, const std::string& name, const std::string& data,
                 DWORD type);
  bool Exists(const std::string& relative) const;

 private:
  std::string path_;
};

// Root-enumerated device instances of the still-image class, removed afterwards.
class ScratchDevices {
 public:
  ScratchDevices() = default;
  ~ScratchDevices();
  ScratchDevices(const ScratchDevices&) = delete;
  ScratchDevices& operator=(const ScratchDevices&) = delete;

  // Creates and registers an instance with these hardware IDs (none: no hardware-ID property)
  // and returns its instance ID.
  std::string Create(const std::vector<std::string>& hardwareIds);

 private:
  std::vector<std::string> created_;
};

std::string InstanceIdOf(DevInfoSet set, const DeviceInfoRecord& record);
std::string InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& record);
bool InstanceExists(const std::string& instanceId);

}  // namespace vorsk::test
