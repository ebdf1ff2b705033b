// The companion that runs is the one built with vorsk.exe: opened beside it without sharing
// writing or deletion, its image checked against the digest vorsk.exe carries of it, and held so
// until it has been started, so that nobody may change or replace the file in between.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "host/win32/win32_handles.h"

namespace vorsk::win32 {

// A companion built with vorsk.exe: its name beside vorsk.exe ("vorsk64.exe") and the digest of
// its image (digest/image_digest.h) in 64 lowercase hex digits. The build writes the list of them
// (companion_digests.h) from the companions it made first.
struct BuiltCompanion {
  std::string name;
  std::string digest;
};
using BuiltCompanions = std::vector<BuiltCompanion>;

// The platform's "Windows cannot verify the digital signature for this file"
// (ERROR_INVALID_IMAGE_HASH, which MinGW's headers lack): a file that is not the one built.
inline constexpr Status kErrorInvalidImageHash = 577;

// What checking a companion came to.
struct CompanionCheck {
  enum class Outcome {
    Checked,    // the file is the one built: `held` holds it
    Missing,    // no file of that name (`error` says why)
    Different,  // a file whose image is not the one built, or no program at all
    Unopened,   // the file cannot be opened so (another holds it for writing: `error`)
  };
  Outcome outcome = Outcome::Unopened;
  Status error = kErrorSuccess;
  unique_hfile held;  // open for reading, sharing reading alone, while it is started
};

// The longest companion whose image is read to be checked.
inline constexpr std::size_t kLongestCompanion = 64 * 1024 * 1024;

// Opens the file at `path` for reading, sharing reading alone (nobody may write, rename or delete
// it while it is held), reads it through that handle and checks its image's digest against
// `expectedDigest`; `held` is set only when they match.
CompanionCheck OpenBuiltCompanion(const std::wstring& path, const std::string& expectedDigest);

// The digest, as text, of the image in the file at `path`; empty when it cannot be read or is no
// program.
std::string ImageDigestOfFile(const std::wstring& path);

}  // namespace vorsk::win32
