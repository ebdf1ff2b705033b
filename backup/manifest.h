// manifest.txt, a backup's record of itself: when and where it was made, by which vorsk, and each
// item it saved, with the SHA-256 of every file it holds; in UTF-8 without a byte-order mark,
// CR LF. A person reads it; the restore reads it too, and trusts a backup by its digest. The names
// vorsk gives the files it saves are ASCII names of its own choosing ("files\1"); the real names
// are here:
//
//   vorsk backup
//   made: 2026-12-08 05:43:12 UTC
//   machine: SCANPC
//   folder: SCANPC-20261208T054312Z
//   vorsk: 1.0.0.1
//   script: C:\WINDOWS\Setup417\Remove417.ini, copied as Remove417.ini
//   not carried: ...
//   sha256 <64 hex digits> Remove417.ini          (and each program copied, restore.cmd)
//   saved:
//   file C:\WINDOWS\Inf\oem7.inf: saved as files\1, attributes read-only, sha256 <hex>
//   package oem7.inf: held by the platform; its store folder <folder> saved whole as
//     files\store\1, 2 files
//     store file files\store\1\1 (its INF): scanner.inf, sha256 <hex>
//     store file files\store\1\2: amd64\scanner.sys, sha256 <hex>
//   tree SOFTWARE\Vendor\Scanner: saved in registry.reg, 2 keys, 3 values
//   instance USB\VID_0000&PID_2206\1: class {...}, hardware IDs ...
//   sha256 <hex> registry.reg
//   end
//
// The manifest and what it records grow as each item is saved; "end" closes a backup whose run
// ended. Manifests of earlier versions have no folder line, no digests and no store file lines,
// and keep the saved files under their real names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorsk {

inline constexpr char kManifestLineEnd[] = "\r\n";

struct SavedFile {
  std::string path;   // where it was, in UTF-8
  std::string saved;  // relative to the backup folder
  std::uint32_t attributes = 0;
  std::string sha256;  // empty in earlier versions' manifests
};

struct SavedStoreFile {
  std::string saved;  // relative to the backup folder
  std::string name;   // relative to the package's store folder, in UTF-8
  std::string sha256;
  bool isInf = false;  // the package's INF
};

struct SavedPackage {
  std::string infName;                // the published INF's name
  std::string storeFolder;            // where it was in the store
  std::string saved;                  // the folder it was saved in, relative to the backup folder
  std::vector<SavedStoreFile> files;  // empty in earlier versions' manifests
};

// A whole file the backup holds and its digest.
struct SavedSum {
  std::string name;  // relative to the backup folder
  std::string sha256;
};

struct Manifest {
  std::string machine;
  std::string folder;  // the name the run gave its folder; empty in earlier versions'
  bool wow64 = false;  // the trees are of the 32-bit registry view of 64-bit Windows
  std::vector<SavedFile> files;
  std::vector<SavedPackage> packages;
  std::vector<SavedSum> sums;
  bool instancesRecorded = false;
  bool complete = false;  // the run that made it ended
};

// The manifest's first lines, up to and with "saved:"; `sums` are the digests of the files it
// holds from the start (the script, the programs, restore.cmd).
std::string ManifestBeginning(const std::string& made, const std::string& machine,
                              const std::string& folder, const std::string& version, bool wow64,
                              const std::string& scriptPath, const std::vector<SavedSum>& sums);
std::string ManifestFileLine(const SavedFile& file);
std::string ManifestPackageLines(const SavedPackage& package);
std::string ManifestSumLine(const SavedSum& sum);
inline constexpr char kManifestEnd[] = "end\r\n";

// The script's copy in a backup.
inline constexpr char kSavedScript[] = "Remove417.ini";

// The manifest's text read back; nothing, with the reason in `why`, for text that is not a
// manifest vorsk wrote, or that names a saved file outside the backup folder.
std::optional<Manifest> ReadManifest(std::string_view text, std::string& why);

// Whether a name relative to the backup folder is one that a backup gives: components of plain
// names, none of them "." or "..", nothing that leads outside the folder.
bool IsNameInBackup(std::string_view name);

// "read-only, hidden", "none": the flags the manifest records.
std::string AttributesText(std::uint32_t attributes);

}  // namespace vorsk
