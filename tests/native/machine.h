// Helpers that stage the pieces of a machine that the removal stages look at.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cleanup/driver_files.h"
#include "tests/fake_host.h"

namespace vorsk::test {

inline const std::string kScriptPath = "C:\\WINDOWS\\Setup417\\Remove417.ini";
inline const std::string kInf = "C:\\WINDOWS\\Inf\\";

inline std::string EntryPath(std::string_view classKey, const std::string& subkey) {
  return std::string(classKey) + "\\" + subkey;
}

// A driver entry below a class key; an absent value is not written at all.
inline void AddDriverEntry(FakeHost& host, std::string_view classKey, const std::string& subkey,
                           const std::optional<std::string>& matchingDeviceId,
                           const std::optional<std::string>& infPath) {
  const std::string path = EntryPath(classKey, subkey);
  host.AddKey(path);
  if (matchingDeviceId) {
    host.SetString(path, "MatchingDeviceId", *matchingDeviceId);
  }
  if (infPath) {
    host.SetString(path, "InfPath", *infPath);
  }
}

// An INF file and its precompiled twin in the INF directory.
inline void AddInfPair(FakeHost& host, const std::string& stem) {
  host.AddFile(kInf + stem + ".inf");
  host.AddFile(kInf + stem + ".pnf");
}

}  // namespace vorsk::test
