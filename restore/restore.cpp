#include "restore/restore.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "backup/backup_folder.h"
#include "backup/backup_record.h"
#include "backup/manifest.h"
#include "backup/reg_file.h"
#include "companion/companion_session.h"
#include "companion/protocol.h"
#include "companion/removal_by_id.h"
#include "digest/sha256.h"
#include "host/handles.h"
#include "host/key_path.h"
#include "removal/run.h"
#include "report/exit_status.h"
#include "report/run_report.h"
#include "text/text.h"

namespace vorsk {

namespace {

constexpr char kManifest[] = "manifest.txt";
constexpr char kRegistryFile[] = "registry.reg";
// The most a restore reads of one saved file into memory: INF and PNF files, the registry's
// trees, a manifest are all far smaller.
constexpr std::size_t kManifestLimit = std::size_t{16} << 20;
constexpr std::size_t kSavedFileLimit = std::size_t{256} << 20;
constexpr std::size_t kInfFolderLimit = 65536;
constexpr char16_t kRegistryRoot[] = u"HKEY_LOCAL_MACHINE\\";

std::string ErrorReason(const std::string& what, Status error) {
  return what + " (error " + ErrorText(error) + ")";
}

// A path's components between its separators.
std::vector<std::u16string> Components(const std::u16string& path) {
  std::vector<std::u16string> parts;
  for (std::size_t at = 0; at <= path.size();) {
    std::size_t end = path.find(u'\\', at);
    if (end == std::u16string::npos) {
      end = path.size();
    }
    parts.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

std::u16string FoldedUpper(std::u16string text) {
  for (char16_t& c : text) {
    c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
  }
  return text;
}

// A tree of registry.reg: the listed key's path below HKEY_LOCAL_MACHINE, and each key block of it
// with its path relative to that key (empty for the key itself).
struct SavedTree {
  std::u16string path;
  std::vector<RegFileKey> keys;
  std::size_t values = 0;
};

// The blocks of registry.reg as the trees they came from: a block that is not below the tree before
// it begins another. Nothing when a block names a key outside HKEY_LOCAL_MACHINE or a path no key
// can have.
std::optional<std::vector<SavedTree>> TreesOf(const std::vector<RegFileKey>& blocks,
                                              std::string& why) {
  const std::u16string root = FoldedUpper(kRegistryRoot);
  std::vector<SavedTree> trees;
  for (const RegFileKey& block : blocks) {
    if (FoldedUpper(block.path.substr(0, root.size())) != root) {
      why = "it names a key outside HKEY_LOCAL_MACHINE";
      return std::nullopt;
    }
    const std::u16string path = block.path.substr(root.size());
    for (const std::u16string& part : Components(path)) {
      if (part.empty()) {
        why = "it names a key by an empty name";
        return std::nullopt;
      }
    }
    RegFileKey key{std::u16string(), block.values};
    if (!trees.empty() && FoldedUpper(path).rfind(FoldedUpper(trees.back().path) + u"\\", 0) == 0) {
      key.path = path.substr(trees.back().path.size() + 1);
    } else {
      trees.push_back({path, {}, 0});
    }
    trees.back().values += key.values.size();
    trees.back().keys.push_back(std::move(key));
  }
  return trees;
}

class Restorer {
 public:
  Restorer(Host& host, RunReport& report, const RestoreOptions& options)
      : host_(host), report_(report), options_(options), folder_(host) {}

  int Run() {
    if (!Load()) {
      return kExitNothingRun;
    }
    for (const SavedPackage& package : manifest_.packages) {
      Package(package);
    }
    // The packages are the companion's only tasks.
    companion_.End();
    for (const SavedFile& file : manifest_.files) {
      File(file);
    }
    Trees();
    if (manifest_.instancesRecorded) {
      Say("instances: not put back by a restore: plugging the device in again reinstalls them "
          "(manifest.txt lists them)");
    }
    return notBack_ ? kExitLeft : kExitCompleted;
  }

 private:
  // A line on standard output (in the code page) and in the log (in UTF-8).
  void Say(const std::string& utf8) {
    host_.WriteStandardOutput(EscapeControls(host_.WideToAnsi(Utf16FromUtf8(utf8))) + "\n");
    report_.LogUtf8("restore: " + utf8);
  }
  // An item that is there already, one that goes back (or would), one that does not.
  void There(const std::string& what, const std::string& more = std::string()) {
    Say(what + ": there" + more);
  }
  void Back(const std::string& what, const std::string& more = std::string()) {
    if (options_.list) {
      notBack_ = true;
      Say(what + ": would be restored" + more);
    } else {
      Say(what + ": restored" + more);
    }
  }
  void NotBack(const std::string& what, const std::string& why) {
    notBack_ = true;
    Say(what + ": NOT restored, " + why);
  }
  void Refuse(const std::string& why) {
    report_.LogUtf8("restore: the backup " + options_.folder + " is refused: " + why);
    host_.WriteStandardError(EscapeControls(host_.WideToAnsi(Utf16FromUtf8(
                                 "The backup " + options_.folder + " is refused: " + why))) +
                             "\n");
  }

  // The folder, its manifest, and whether the manifest is trusted.
  bool Load() {
    Status status =
        host_.OpenFolderNoFollow(kNoFolder, Utf16FromUtf8(options_.folder), folder_.put());
    if (status != kErrorSuccess) {
      Refuse(ErrorReason("its folder cannot be opened", status));
      return false;
    }
    std::string text;
    status = host_.ReadFileIn(folder_.get(), Utf16FromUtf8(kManifest), text, kManifestLimit);
    if (status != kErrorSuccess) {
      Refuse(ErrorReason("its manifest.txt cannot be read", status));
      return false;
    }
    std::string why;
    std::optional<Manifest> manifest = ReadManifest(text, why);
    if (!manifest) {
      Refuse("its manifest.txt cannot be read: " + why);
      return false;
    }
    manifest_ = std::move(*manifest);
    const std::string digest = Sha256Text(text);
    const RecordMatch match = manifest_.folder.empty()
                                  ? RecordMatch::None
                                  : MatchBackupRecord(host_, manifest_.folder, digest, why);
    if (manifest_.folder.empty()) {
      why = "an earlier vorsk made it, without a record";
    }
    if (match == RecordMatch::Matches) {
      Say("backup " + options_.folder +
          ": trusted, its manifest is the one recorded on this "
          "computer");
    } else if (options_.anyComputer) {
      Say("backup " + options_.folder + ": vouched for with /anycomputer (" + why + ")");
    } else {
      Refuse(why + "; give /anycomputer to restore it if you vouch for the folder");
      return false;
    }
    if (!manifest_.complete) {
      Say("backup " + options_.folder +
          ": the run that made it was cut short; it holds what that run saved before");
    }
    return true;
  }

  // The digest the manifest gives a whole file of the backup; empty when it gives none.
  std::string SumOf(const std::string& name) const {
    for (const SavedSum& sum : manifest_.sums) {
      if (EqualAsciiFolded(sum.name, name)) {
        return sum.sha256;
      }
    }
    return std::string();
  }

  // A saved file's bytes, read whole and checked against its digest (an earlier vorsk's manifest
  // gives none: the person vouched for it). The reason when they cannot be used.
  std::optional<std::string> SavedBytes(const std::string& name, const std::string& sha256,
                                        std::string& bytes) {
    const Status status =
        host_.ReadFileIn(folder_.get(), Utf16FromUtf8(name), bytes, kSavedFileLimit);
    if (status != kErrorSuccess) {
      return ErrorReason("its saved copy " + name + " cannot be read", status);
    }
    if (sha256.empty() && !manifest_.folder.empty()) {
      return "the manifest gives its saved copy " + name + " no digest";
    }
    if (!sha256.empty() && Sha256Text(bytes) != sha256) {
      return "its saved copy " + name + " is not the one the manifest describes";
    }
    return std::nullopt;
  }

  // This computer's INF folder, in UTF-8; nothing when the Windows folder cannot be had.
  std::optional<std::string> InfFolder() {
    std::string windows;
    const std::uint32_t length = host_.GetSystemWindowsDirectoryA(windows, 260);
    if (length == 0 || length >= 260) {
      return std::nullopt;
    }
    return Utf8FromUtf16(host_.AnsiToWide(windows)) + "\\Inf";
  }

  void File(const SavedFile& file) {
    const std::string what = "file " + file.path;
    // A run deletes files of the INF folder only, so nothing goes back anywhere else.
    const std::optional<std::string> infFolder = InfFolder();
    const std::size_t slash = file.path.rfind('\\');
    if (!infFolder || slash == std::string::npos ||
        !EqualAsciiFolded(file.path.substr(0, slash), *infFolder) ||
        !IsNameInBackup(file.path.substr(slash + 1))) {
      NotBack(what, "it is no file of this computer's INF folder");
      return;
    }
    std::string bytes;
    if (const std::optional<std::string> why = SavedBytes(file.saved, file.sha256, bytes)) {
      NotBack(what, *why);
      return;
    }
    const std::u16string target = Utf16FromUtf8(file.path);
    const std::uint32_t flags =
        file.attributes & (kFileAttributeReadOnly | kFileAttributeHidden | kFileAttributeSystem);
    std::string present;
    const Status status = host_.ReadFileBytes(target, present, bytes.size());
    const std::uint32_t attributes = host_.GetFileAttributesW(target);
    if (status == kErrorSuccess && present == bytes) {
      const std::uint32_t now =
          attributes & (kFileAttributeReadOnly | kFileAttributeHidden | kFileAttributeSystem);
      if (now == flags) {
        There(what);
      } else if (options_.list) {
        Back(what, ", its attributes");
      } else if (SetFlags(target, attributes, flags)) {
        Back(what, ", its attributes");
      } else {
        NotBack(what, ErrorReason("its attributes cannot be set", host_.GetLastError()));
      }
      return;
    }
    if (attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0) {
      NotBack(what, "a folder is in its place");
      return;
    }
    if (status == kErrorSuccess || status == kErrorMoreData) {
      NotBack(what, "another file is in its place");
      return;
    }
    if (status != kErrorFileNotFound) {
      NotBack(what, ErrorReason("its place cannot be read", status));
      return;
    }
    if (options_.list) {
      Back(what);
      return;
    }
    // Made new, never over anything: a file that appeared meanwhile stays.
    Status written = host_.WriteFileBytes(target, bytes, false);
    if (written == kErrorSuccess && !SetFlags(target, host_.GetFileAttributesW(target), flags)) {
      written = host_.GetLastError();
    }
    if (written != kErrorSuccess) {
      NotBack(what, ErrorReason("it cannot be written", written));
      return;
    }
    Back(what);
  }

  // Gives the file exactly the read-only, hidden and system flags of `flags`, its other
  // attributes (`attributes`, as they are now) kept.
  bool SetFlags(const std::u16string& path, std::uint32_t attributes, std::uint32_t flags) {
    constexpr std::uint32_t kFlags =
        kFileAttributeReadOnly | kFileAttributeHidden | kFileAttributeSystem;
    const std::uint32_t kept =
        attributes == kInvalidFileAttributes ? 0 : attributes & ~(kFlags | kFileAttributeNormal);
    const std::uint32_t wanted = kept | flags;
    return host_.SetFileAttributesW(path, wanted == 0 ? kFileAttributeNormal : wanted);
  }

  // The published INF of this computer that holds these bytes; nothing when none does.
  std::optional<std::string> PublishedWith(const std::string& bytes) {
    const std::optional<std::string> infFolder = InfFolder();
    std::vector<FolderEntry> entries;
    if (!infFolder ||
        host_.ListFolder(Utf16FromUtf8(*infFolder), entries, kInfFolderLimit) != kErrorSuccess) {
      return std::nullopt;
    }
    for (const FolderEntry& entry : entries) {
      std::string present;
      if ((entry.attributes & kFileAttributeDirectory) == 0 && entry.size == bytes.size() &&
          host_.ReadFileBytes(Utf16FromUtf8(*infFolder) + u"\\" + entry.name, present,
                              bytes.size()) == kErrorSuccess &&
          present == bytes) {
        return Utf8FromUtf16(entry.name);
      }
    }
    return std::nullopt;
  }

  // The files of a saved package, with their names in the package: as the manifest lists them,
  // or, for an earlier vorsk's backup, as its saved folder holds them.
  std::vector<SavedStoreFile> PackageFiles(const SavedPackage& package, const std::string& base,
                                           const std::u16string& relative) {
    if (!package.files.empty() || !manifest_.folder.empty()) {
      return package.files;
    }
    std::vector<SavedStoreFile> files;
    std::vector<FolderEntry> entries;
    const std::u16string folder =
        Utf16FromUtf8(options_.folder + "\\" + base) + (relative.empty() ? u"" : u"\\" + relative);
    if (host_.ListFolder(folder, entries, 4096) != kErrorSuccess) {
      return files;
    }
    for (const FolderEntry& entry : entries) {
      const std::u16string name = relative.empty() ? entry.name : relative + u"\\" + entry.name;
      if ((entry.attributes & kFileAttributeReparsePoint) != 0) {
        continue;
      }
      if ((entry.attributes & kFileAttributeDirectory) != 0) {
        const std::vector<SavedStoreFile> inner = PackageFiles(package, base, name);
        files.insert(files.end(), inner.begin(), inner.end());
        continue;
      }
      SavedStoreFile file;
      file.saved = base + "\\" + Utf8FromUtf16(name);
      file.name = Utf8FromUtf16(name);
      const std::string lower = Utf8FromUtf16(FoldedUpper(entry.name));
      file.isInf = relative.empty() && lower.size() > 4 && lower.substr(lower.size() - 4) == ".INF";
      files.push_back(file);
    }
    return files;
  }

  void Package(const SavedPackage& package) {
    const std::string what = "package " + package.infName;
    const std::vector<SavedStoreFile> files = PackageFiles(package, package.saved, u"");
    const auto inf = std::find_if(files.begin(), files.end(),
                                  [](const SavedStoreFile& file) { return file.isInf; });
    if (inf == files.end() || std::count_if(files.begin(), files.end(),
                                            [](const SavedStoreFile& f) { return f.isInf; }) != 1) {
      NotBack(what, "its saved store folder holds no one INF of the package");
      return;
    }
    std::string infBytes;
    if (const std::optional<std::string> why = SavedBytes(inf->saved, inf->sha256, infBytes)) {
      NotBack(what, *why);
      return;
    }
    if (const std::optional<std::string> published = PublishedWith(infBytes)) {
      There(what, ", published as " + *published);
      return;
    }
    if (options_.list) {
      Back(what);
      return;
    }
    // The package is put together again in a folder of the run's own that only administrators
    // may write, from bytes checked against the manifest as they are copied, so that what the
    // platform reads is what was saved.
    const std::optional<std::string> infFolder = InfFolder();
    if (!infFolder) {
      NotBack(what, "the Windows folder cannot be had");
      return;
    }
    const std::string temporary = infFolder->substr(0, infFolder->size() - 4) + "\\Temp";
    std::optional<RunFolder> staging =
        MakeRunFolder(host_, report_, temporary, "vorsk-restore", host_.GetSystemTime());
    if (!staging) {
      NotBack(what, "no folder of its own can be made in " + temporary + " to add it from");
      return;
    }
    const std::string stagingPath = staging->Path();
    std::optional<std::string> failure;
    std::vector<std::u16string> made;
    for (const SavedStoreFile& file : files) {
      const std::u16string name = Utf16FromUtf8(file.name);
      // Its folders inside the package first.
      for (std::size_t slash = name.find(u'\\'); !failure && slash != std::u16string::npos;
           slash = name.find(u'\\', slash + 1)) {
        const std::u16string inner = name.substr(0, slash);
        if (std::find(made.begin(), made.end(), inner) != made.end()) {
          continue;
        }
        unique_hfolder folder(host_);
        const Status status = host_.CreateFolderIn(staging->Handle(), inner,
                                                   Host::FolderAccess::Inherited, folder.put());
        if (status != kErrorSuccess) {
          failure = ErrorReason("its folder " + Utf8FromUtf16(inner) + " cannot be made", status);
        }
        made.push_back(inner);
      }
      if (failure) {
        break;
      }
      Sha256 digest;
      const Status status =
          host_.CopyFileIn(folder_.get(), Utf16FromUtf8(file.saved), staging->Handle(), name,
                           [&](std::string_view piece) { digest.Add(piece); });
      if (status != kErrorSuccess) {
        failure = ErrorReason("its saved copy " + file.saved + " cannot be copied", status);
      } else if (!file.sha256.empty() && DigestText(digest.Finish()) != file.sha256) {
        failure = "its saved copy " + file.saved + " is not the one the manifest describes";
      } else if (file.sha256.empty() && !manifest_.folder.empty()) {
        failure = "the manifest gives its saved copy " + file.saved + " no digest";
      }
      if (failure) {
        break;
      }
    }
    std::optional<std::string> published;
    if (!failure) {
      published = Add(stagingPath + "\\" + inf->name, failure);
    }
    // The staging folder goes: the platform keeps its own copy of the package in its store.
    staging.reset();
    RemoveStaging(Utf16FromUtf8(stagingPath), files, made);
    if (!published) {
      NotBack(what, failure.value_or("the platform did not add it"));
      return;
    }
    Back(what, ", published as " + *published);
  }

  // Adds the package of the INF at `infPath` with the platform's own call: on 64-bit Windows
  // through the companion, since the platform keeps the 64-bit store out of a 32-bit program's
  // reach. The published INF's name, or nothing with the reason in `failure`.
  std::optional<std::string> Add(const std::string& infPath, std::optional<std::string>& failure) {
    if (!host_.IsWow64Process()) {
      const AddReport report = AddPackage(host_, infPath);
      if (report.error != kErrorSuccess) {
        failure = ErrorReason("the platform did not add it", report.error);
        return std::nullopt;
      }
      return report.published;
    }
    // The path is UTF-8 already: the companion takes it whole.
    const CompanionSession::Answer answer =
        companion_.Hand(CompanionTask{CompanionTask::Kind::Add, {infPath}}, CompanionWaitMs(1));
    const std::optional<AddReport> report = MatchAddReport(infPath, answer.output);
    if (!report) {
      failure =
          answer.finished ? std::string(kCompanionProgram) + " did not report it" : answer.failure;
      return std::nullopt;
    }
    if (report->error != kErrorSuccess) {
      failure = ErrorReason("the platform did not add it", report->error);
      return std::nullopt;
    }
    return report->published;
  }

  void RemoveStaging(const std::u16string& path, const std::vector<SavedStoreFile>& files,
                     std::vector<std::u16string> folders) {
    for (const SavedStoreFile& file : files) {
      host_.DeleteFileW(path + u"\\" + Utf16FromUtf8(file.name));
    }
    std::sort(folders.begin(), folders.end(),
              [](const std::u16string& a, const std::u16string& b) { return a.size() > b.size(); });
    for (const std::u16string& folder : folders) {
      host_.RemoveDirectoryW(path + u"\\" + folder);
    }
    if (!host_.RemoveDirectoryW(path)) {
      report_.LogUtf8(ErrorReason("restore: the folder " + Utf8FromUtf16(path) +
                                      " it added the package from cannot be removed",
                                  host_.GetLastError()));
    }
  }

  void Trees() {
    const std::string sum = SumOf(kRegistryFile);
    if (sum.empty() && !manifest_.folder.empty()) {
      return;  // it saved no tree
    }
    std::string bytes;
    if (sum.empty() && host_.GetFileAttributesW(Utf16FromUtf8(
                           options_.folder + "\\" + kRegistryFile)) == kInvalidFileAttributes) {
      return;  // an earlier vorsk's backup without trees
    }
    if (const std::optional<std::string> why = SavedBytes(kRegistryFile, sum, bytes)) {
      NotBack("the registry trees", *why);
      return;
    }
    std::string why;
    const std::optional<std::vector<RegFileKey>> blocks = ReadRegFile(bytes, why);
    const std::optional<std::vector<SavedTree>> trees =
        blocks ? TreesOf(*blocks, why) : std::nullopt;
    if (!trees) {
      NotBack("the registry trees", "registry.reg cannot be read: " + why);
      return;
    }
    for (const SavedTree& tree : *trees) {
      Tree(tree);
    }
  }

  // Whether every key of the tree is there with every value it saved.
  bool TreeIsThere(const SavedTree& tree) {
    unique_hkey root(host_);
    if (WalkKeyPath(host_, kLocalMachine, Components(tree.path), false, kKeyQueryValue, 0, root)
            .outcome != KeyPathWalk::Outcome::Opened) {
      return false;
    }
    for (const RegFileKey& block : tree.keys) {
      unique_hkey key(host_);
      if (!block.path.empty() &&
          WalkKeyPath(host_, root.get(), Components(block.path), false, kKeyQueryValue, 0, key)
                  .outcome != KeyPathWalk::Outcome::Opened) {
        return false;
      }
      const RegKey at = block.path.empty() ? root.get() : key.get();
      for (const RegFileValue& value : block.values) {
        std::uint32_t type = 0;
        std::string data;
        if (host_.RegQueryValueW(at, value.name, type, data) != kErrorSuccess ||
            type != value.type || data != value.data) {
          return false;
        }
      }
    }
    return true;
  }

  // Why a walk did not open a key of the tree; `base` is the path the walk began at.
  static std::string WalkFailure(const KeyPathWalk& walk, const std::u16string& base,
                                 const std::vector<std::u16string>& components, bool inside) {
    std::u16string reached = base;
    for (std::size_t i = 0; i <= walk.at && i < components.size(); ++i) {
      reached += (reached.empty() ? u"" : u"\\") + components[i];
    }
    if (walk.outcome == KeyPathWalk::Outcome::Link) {
      return std::string("a symbolic link ") + (inside ? "inside it" : "on its path") + " (" +
             Utf8FromUtf16(reached) + "): nothing is written through one";
    }
    return ErrorReason(Utf8FromUtf16(reached) + " cannot be opened or made", walk.error);
  }

  void Tree(const SavedTree& tree) {
    const std::string what = "tree " + Utf8FromUtf16(tree.path);
    const std::string size = ", " + CountText(tree.keys.size(), "key", "keys") + ", " +
                             CountText(tree.values, "value", "values");
    if (TreeIsThere(tree)) {
      There(what);
      return;
    }
    const std::vector<std::u16string> path = Components(tree.path);
    unique_hkey root(host_);
    constexpr std::uint32_t kWrite = kKeyQueryValue | kKeySetValue | kKeyCreateSubKey;
    // A listing looks without making anything: a link on the path keeps the tree out either way.
    KeyPathWalk walk = WalkKeyPath(host_, kLocalMachine, path, !options_.list, kWrite, 0, root);
    if (walk.outcome == KeyPathWalk::Outcome::Link ||
        (walk.outcome == KeyPathWalk::Outcome::Unopenable && !options_.list)) {
      NotBack(what, WalkFailure(walk, u"", path, false));
      return;
    }
    if (options_.list) {
      Back(what, size);
      return;
    }
    for (const RegFileKey& block : tree.keys) {
      unique_hkey key(host_);
      const std::vector<std::u16string> inside = Components(block.path);
      if (!block.path.empty()) {
        walk = WalkKeyPath(host_, root.get(), inside, true, kWrite, 0, key);
        if (walk.outcome != KeyPathWalk::Outcome::Opened) {
          NotBack(what, WalkFailure(walk, tree.path, inside, true));
          return;
        }
      }
      const RegKey at = block.path.empty() ? root.get() : key.get();
      for (const RegFileValue& value : block.values) {
        const Status status = host_.RegSetValueW(at, value.name, value.type, value.data);
        if (status != kErrorSuccess) {
          const std::u16string keyPath =
              block.path.empty() ? tree.path : tree.path + u"\\" + block.path;
          NotBack(what, ErrorReason("a value of " + Utf8FromUtf16(keyPath) + " cannot be written",
                                    status));
          return;
        }
      }
    }
    Back(what, size);
  }

  Host& host_;
  RunReport& report_;
  const RestoreOptions& options_;
  unique_hfolder folder_;
  Manifest manifest_;
  bool notBack_ = false;
  // On 64-bit Windows: the companion of the backup's folder, started at its first task.
  CompanionSession companion_{host_, report_};
};

}  // namespace

int PerformRestore(Host& host, WindowHandle frame, const RestoreOptions& options) {
  RunReport report(host, frame, true);
  if (report.Logging()) {
    const ProcessFacts facts = host.GetProcessFacts();
    report.LogUtf8("vorsk " + VersionText() + ", restoring " + options.folder +
                   (options.list ? ", listing" : "") +
                   (options.anyComputer ? ", for any computer" : "") + " on Windows " +
                   Utf8FromUtf16(host.AnsiToWide(facts.windowsVersion)) + " (" +
                   std::to_string(facts.windowsBits) + "-bit, this program " +
                   std::to_string(facts.processBits) + "-bit) as " +
                   Utf8FromUtf16(host.AnsiToWide(facts.user)) +
                   (facts.elevated ? " (elevated)" : " (not elevated)"));
  }
  const int status = UnderRunLock(host, report, [&] {
    Restorer restorer(host, report, options);
    return restorer.Run();
  });
  report.Log("status " + std::to_string(status));
  return status;
}

}  // namespace vorsk
