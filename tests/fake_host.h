// An in-memory machine behind the host services, for the core's native tests: files (the removal
// script among them, read through a profile reader of its own), a registry below
// HKEY_LOCAL_MACHINE, device instances, local memory, recorded message boxes and standard output.
// It keeps a journal of what the run did, injects the faults a test asks for, and counts the
// handles, sets and buffers that are still open.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"

namespace vorsk::test {

// Orders names without regard to ASCII letter case, as the registry and the file system do.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
bool EqualNoCase(const std::string& a, const std::string& b);

// The longest key path that the registry's text calls take in one argument.
inline constexpr std::size_t kMaxAnsiKeyPath = 260;

struct MessageBoxRecord {
  WindowHandle owner;
  std::string text;
  std::optional<std::string> caption;
  std::uint32_t type;
};

class FakeHost : public Host {
 public:
  struct File {
    std::string content;
    std::uint32_t attributes = kFileAttributeArchive;
    bool heldOpenForWriting = false;  // another process holds it open for writing
    bool heldOpenForReading = false;  // another process holds it open for reading
    bool deleteDenied = false;        // the user lacks the right to delete it
  };

  struct Value {
    std::uint32_t type = kRegSz;
    std::string data;  // the stored bytes, exactly
    // String data written through the wide-character calls, as they wrote it (UTF-16LE); the
    // text calls read it narrowed.
    std::optional<std::string> wideData;
  };

  struct Key {
    std::map<std::string, std::unique_ptr<Key>, NoCaseLess> subkeys;
    std::map<std::string, Value, NoCaseLess> values;
    std::map<std::uint32_t, Status> enumFailures;  // RegEnumKeyExA fails at these indexes
    std::optional<Status> queryInfoFailure;
    std::optional<Status> openFailure;
    std::optional<Status> deleteFailure;
    // A symbolic link to this key path below HKEY_LOCAL_MACHINE: opening it the usual way opens
    // the target; it has no subkeys of its own.
    std::optional<std::string> linkTarget;
    // The name of the value a link keeps its target in, as the registry lists it.
    std::string linkValueName = "SymbolicLinkValue";
    // Reading the registry's own name for a handle of this key fails.
    std::optional<Status> nameFailure;
    // Reading these values through the wide-character call fails so.
    std::map<std::string, Status, NoCaseLess> valueFailures;
    // Its owner and access list; none: the administrators', as HKLM's keys have.
    std::optional<SecurityFacts> security;
    std::optional<Status> createFailure;  // making a key in it fails
    // The position enumerated last, so that walking the indexes in order costs no more than the
    // walk; adding or deleting a subkey forgets it.
    bool cursorValid = false;
    std::uint32_t cursorIndex = 0;
    std::map<std::string, std::unique_ptr<Key>, NoCaseLess>::iterator cursor;
  };

  struct Device {
    std::string instanceId;
    std::optional<std::string> hardwareIds;  // the property's bytes; none: no hardware IDs
    bool present = true;
    bool refusesRemoval = false;
    bool needsRestart = false;  // its removal asks for a restart to finish
    bool instanceIdUnreadable = false;
    bool removed = false;
    std::optional<std::uint32_t> reportedSize;  // a size query that reports this instead
  };

  // A third-party driver package as the platform keeps it: published in the INF folder under
  // `publishedInf`, with its folder in the driver store (none on a platform without a store) and
  // its catalog. Uninstalling it takes all of them, and the driver database's entry for it.
  struct Package {
    std::string publishedInf;
    std::string storeFolder;    // a full path; empty on a platform without a store
    std::string storeInf;       // its INF in the store folder
    std::string catalog;        // a full path; empty: none
    bool platformOwn = false;   // the platform's own: not a third party's to uninstall
    bool usedByDevice = false;  // uninstalled only with the force flag
    // A file of its store folder that another program holds open: the uninstall answers success
    // and leaves the folder with that file.
    bool fileHeldOpen = false;
  };

  FakeHost();
  ~FakeHost() override;

  // Machine state, set up by a test.
  std::string windowsDirectory = "C:\\WINDOWS";  // the system's Windows directory
  bool windowsDirectoryFails = false;
  std::map<std::string, File, NoCaseLess> files;
  // Folders that hold new files (the Windows directory's own files need none).
  std::set<std::string, NoCaseLess> directories;
  // Paths where creating a folder, copying or writing a file fails, as on a full or read-only
  // disk.
  std::set<std::string, NoCaseLess> failingWrites;
  // Folders that are links (junctions, mount points) to elsewhere.
  std::set<std::string, NoCaseLess> reparsePoints;
  // Paths that the running account may not look at: listing the folder, reading the file or its
  // attributes is refused (access denied).
  std::set<std::string, NoCaseLess> deniedPaths;
  // The bytes of files that reads handed over, as a file larger than a read's limit is not read.
  std::size_t bytesRead = 0;
  // The access each folder was made with, as CreateFolderIn was asked.
  std::map<std::string, FolderAccess, NoCaseLess> folderAccess;
  // The owner and access list of folders; a folder without one is the administrators' alone.
  std::map<std::string, SecurityFacts, NoCaseLess> folderSecurity;
  // Called at each write into a held folder, as another process could act meanwhile.
  std::function<void(FakeHost&)> duringWrites;
  // This program's own module file, and the account that runs it.
  std::string programPath = "C:\\vorsk\\vorsk.exe";
  std::string runningUser = "S-1-5-21-1-2-3-500";
  std::string computerName = "SCANPC";
  // The ANSI code page as the restore command records it (the text calls stay Latin-1).
  std::uint32_t codePage = 1252;
  UtcTime now{2026, 12, 8, 5, 43, 12};
  Key registry;  // HKEY_LOCAL_MACHINE
  std::vector<Device> devices;
  bool classDevsFail = false;
  int allocationFailures = 0;  // the next N allocations fail
  bool wow64 = false;          // a 32-bit process on 64-bit Windows
  // The companion beside the program, and what running it does.
  enum class Companion {
    Missing,
    FailsToStart,
    RefusesCommandLine,  // ends with status 1 and says nothing
    CutShort,            // removes, but ends abnormally after reporting the first few
    Works,
    Different,  // a file of its name that is not the companion built with vorsk.exe
    // Never answers a task: its time runs out, and it is ended.
    Hangs,
  };
  Companion companion = Companion::Missing;
  std::size_t companionReportsBeforeCut = 0;
  // The driver store: its packages, whether the platform can name a package's store INF (Windows
  // Vista and later; not Wine), whether a 32-bit caller on 64-bit Windows is refused the
  // uninstall, a failure that every uninstall meets, and the files the platform protects.
  std::vector<Package> packages;
  bool storeLocationKnown = false;
  bool uninstallRefusedInWow64 = false;
  std::optional<Status> uninstallFailure;
  std::set<std::string, NoCaseLess> protectedFiles;
  // The process's environment variables, as ExpandEnvironmentText replaces them (SystemRoot and
  // windir are the Windows directory unless set here).
  std::map<std::string, std::string, NoCaseLess> environment;
  // Whether the platform answers which keys its resource protection keeps (Windows Vista and
  // later), and the keys it keeps, by the registry's own names.
  bool keyProtectionKnown = false;
  std::set<std::string, NoCaseLess> protectedKeys;
  // What each program run was given to end in; for a session, each task and its end in turn.
  std::vector<std::uint32_t> programTimeoutsMs;
  RunLock runLock = RunLock::Acquired;            // what taking the run lock comes to
  RunLockKind runLockKind = RunLockKind::Global;  // which lock an acquired run holds
  bool interactiveDesktop = true;  // false: a service's window station, where no box is seen
  ProcessFacts processFacts{"6.1.7601", 32, 32, "MACHINE\\admin", true};

  // What the run did. A benchmark that measures the run itself turns the journal off.
  bool keepJournal = true;
  std::vector<std::string> journal;
  std::vector<MessageBoxRecord> messageBoxes;
  std::string standardOutput;
  std::string standardError;
  bool hasLog = true;
  std::vector<std::string> log;
  std::vector<std::string> faults;  // misuse of the services: a double close, a stray handle

  // Building the machine.
  void AddFile(const std::string& path, const std::string& content = std::string(),
               std::uint32_t attributes = kFileAttributeArchive);
  Key& AddKey(const std::string& path);
  // The programs vorsk's folder holds: vorsk.exe and its companion.
  void AddPrograms();
  // Moves a folder as another process would: refused while someone holds it open (vorsk holds
  // its backup's folders without sharing deletion).
  bool MoveFolder(const std::string& from, const std::string& to);
  // A symbolic link key at `path` to the key `target`.
  void AddLink(const std::string& path, const std::string& target);
  void SetValue(const std::string& keyPath, const std::string& name, const std::string& data,
                std::uint32_t type = kRegSz);
  // A zero-terminated string value.
  void SetString(const std::string& keyPath, const std::string& name, const std::string& text);
  Device& AddDevice(const std::string& instanceId, const std::vector<std::string>& hardwareIds,
                    bool present = true);
  // <Windows>\System32\DriverStore\FileRepository, made when missing.
  std::string AddDriverStore();
  // A package staged in the store as `folderName` (its INF `content`, a file beside it) and
  // published as `publishedInf` with its PNF; `publish` false leaves it staged only, as an
  // earlier removal that deleted the published files left it.
  Package& AddPackage(const std::string& publishedInf, const std::string& folderName,
                      const std::string& content, bool publish = true);
  // The driver database's entry that names `folderName` for `publishedInf`.
  void AddDatabaseEntry(const std::string& publishedInf, const std::string& folderName);

  // Reading the machine.
  bool FileExists(const std::string& path) const;
  Key* FindKey(const std::string& path);
  bool KeyExists(const std::string& path) { return FindKey(path) != nullptr; }
  // Every key path and value below HKEY_LOCAL_MACHINE, one line each, in enumeration order.
  std::vector<std::string> RegistrySnapshot() const;
  std::vector<std::string> JournalOf(const std::string& kind) const;
  // Handles, sets and buffers still open.
  std::size_t OpenHandleCount() const;

  // Host services.
  std::string GetPrivateProfileStringA(const std::string& section, const std::string& entry,
                                       const std::string& defaultText, std::uint32_t size,
                                       const std::string& path) override;
  std::int32_t GetPrivateProfileIntA(const std::string& section, const std::string& entry,
                                     std::int32_t defaultValue, const std::string& path) override;
  std::uint32_t GetSystemWindowsDirectoryA(std::string& directory, std::uint32_t size) override;
  FileHandle CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                         std::uint32_t shareMode, std::uint32_t creationDisposition,
                         std::uint32_t flagsAndAttributes) override;
  bool CloseHandle(FileHandle file) override;
  bool SetFileAttributesA(const std::string& path, std::uint32_t attributes) override;
  std::uint32_t GetFileAttributesA(const std::string& path) override;
  bool DeleteFileA(const std::string& path) override;
  Status CopyToNewFile(const std::u16string& from, const std::u16string& to) override;
  Status WriteFileBytes(const std::u16string& path, const std::string& bytes, bool append) override;
  std::uint32_t GetFileAttributesW(const std::u16string& path) override;
  Status LookAtFile(const std::u16string& path, FolderEntry& facts) override;
  Status ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries,
                    std::size_t limit) override;
  Status ReadFileBytes(const std::u16string& path, std::string& bytes, std::size_t limit) override;
  bool SetFileAttributesW(const std::u16string& path, std::uint32_t attributes) override;
  bool DeleteFileW(const std::u16string& path) override;
  bool RemoveDirectoryW(const std::u16string& path) override;
  Status OpenFolderNoFollow(FolderHandle parent, const std::u16string& name,
                            FolderHandle* folder) override;
  Status CreateFolderIn(FolderHandle parent, const std::u16string& name, FolderAccess access,
                        FolderHandle* folder) override;
  Status CloseFolder(FolderHandle folder) override;
  Status ReadFolderSecurity(FolderHandle folder, SecurityFacts& security) override;
  Status WriteFileIn(FolderHandle folder, const std::u16string& name, const std::string& bytes,
                     bool append) override;
  Status CopyFileIn(FolderHandle fromFolder, const std::u16string& from, FolderHandle folder,
                    const std::u16string& name,
                    const std::function<void(std::string_view)>& eachPiece) override;
  Status ReadFileIn(FolderHandle folder, const std::u16string& name, std::string& bytes,
                    std::size_t limit) override;
  Status RegOpenKeyA(RegKey parent, const std::string& subKey, RegKey* result) override;
  Status RegOpenKeyExA(RegKey parent, const std::string& subKey, std::uint32_t access,
                       RegKey* result) override;
  Status RegEnumKeyExA(RegKey key, std::uint32_t index, std::string& name,
                       std::uint32_t nameSize) override;
  Status RegQueryValueExA(RegKey key, const std::string& valueName, std::string& data,
                          std::uint32_t dataSize) override;
  Status RegQueryInfoKeyA(RegKey key, std::uint32_t& subKeyCount) override;
  Status RegDeleteKeyA(RegKey parent, const std::string& subKey) override;
  Status RegOpenKeyNoFollowA(RegKey parent, const std::string& subKey, std::uint32_t access,
                             RegKey* result) override;
  Status RegDeleteKeyOfHandle(RegKey key) override;
  Status RegQueryKeyPath(RegKey key, std::u16string& path) override;
  Status RegCloseKey(RegKey key) override;
  Status RegOpenKeyW(RegKey parent, const std::u16string& subKey, std::uint32_t access,
                     RegKey* result) override;
  Status RegCreateKeyNoFollowW(RegKey parent, const std::u16string& name, std::uint32_t access,
                               KeyAccess security, RegKey* result, bool* created) override;
  Status RegSetValueW(RegKey key, const std::u16string& name, std::uint32_t type,
                      const std::string& data) override;
  Status RegQueryValueW(RegKey key, const std::u16string& name, std::uint32_t& type,
                        std::string& data) override;
  Status ReadKeySecurity(RegKey key, SecurityFacts& security) override;
  Status RegOpenKeyNoFollowW(RegKey parent, const std::u16string& subKey, std::uint32_t access,
                             RegKey* result) override;
  Status EnumSubkeyNameW(RegKey key, std::uint32_t index, std::u16string& name) override;
  Status RegEnumValueW(RegKey key, std::uint32_t index, std::u16string& name, std::uint32_t& type,
                       std::string& data) override;
  std::u16string AnsiToWide(const std::string& text) override;
  std::string WideToAnsi(const std::u16string& text) override;
  std::uint32_t GetACP() override { return codePage; }
  // Code page 936's lead bytes when it is the code page; none in any other.
  bool IsDBCSLeadByte(std::uint8_t byte) override {
    return codePage == 936 && byte >= 0x81 && byte <= 0xFE;
  }
  DevInfoSet SetupDiGetClassDevsA(std::uint32_t flags) override;
  bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t index,
                             DeviceInfoRecord& record) override;
  bool SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, DeviceInfoRecord& record,
                                         std::uint32_t property, void* buffer,
                                         std::uint32_t bufferSize,
                                         std::uint32_t* requiredSize) override;
  bool SetupDiCallClassInstaller(std::uint32_t function, DevInfoSet set,
                                 DeviceInfoRecord& record) override;
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override;
  std::optional<std::string> DeviceInstanceIdOf(DevInfoSet set, DeviceInfoRecord& record) override;
  DevInfoSet SetupDiCreateDeviceInfoList() override;
  bool SetupDiOpenDeviceInfoA(DevInfoSet set, const std::string& instanceId,
                              DeviceInfoRecord& record) override;
  bool SetupDiOpenDeviceInfoW(DevInfoSet set, const std::u16string& instanceId,
                              DeviceInfoRecord& record) override;
  bool SetupDiGetDeviceInstallParamsA(DevInfoSet set, DeviceInfoRecord& record,
                                      std::uint32_t* flags) override;
  bool IsDevicePresent(DevInfoSet set, DeviceInfoRecord& record) override;
  bool SetupUninstallOEMInfA(const std::string& infFileName, std::uint32_t flags) override;
  bool SetupUninstallOEMInfW(const std::u16string& infFileName, std::uint32_t flags) override;
  std::optional<std::u16string> DriverStoreInfPath(const std::u16string& infPath) override;
  bool SetupCopyOEMInfW(const std::u16string& infPath, std::u16string& publishedName) override;
  bool IsProtectedFile(const std::u16string& path) override {
    return protectedFiles.count(FileName(path)) != 0;
  }
  bool IsWow64Process() override { return wow64; }
  ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments,
                              std::uint32_t timeoutMs) override;
  // The companion's session: each task it is handed is done on this machine as the companion
  // does it, as `companion` says.
  ProgramRun StartProgramBeside(const std::string& program, const std::string& arguments,
                                ProgramSession* session) override;
  ProgramAnswer HandProgramTask(ProgramSession session, const std::string& input,
                                std::uint32_t timeoutMs,
                                const std::function<bool(std::string_view)>& answered) override;
  std::uint32_t EndProgramSession(ProgramSession session, std::uint32_t timeoutMs) override;
  ProcessFacts GetProcessFacts() override { return processFacts; }
  Status OwnProgramPath(std::u16string& path) override;
  std::string RunningUserSid() override { return runningUser; }
  std::string ComputerName() override { return computerName; }
  UtcTime GetSystemTime() override { return now; }
  RunLock AcquireRunLock(std::uint32_t timeoutMs) override;
  void ReleaseRunLock() override;
  bool HasInteractiveDesktop() override { return interactiveDesktop; }
  void* LocalAlloc(std::uint32_t flags, std::size_t bytes) override;
  void* LocalFree(void* memory) override;
  std::uint32_t GetLastError() override { return lastError_; }
  int MessageBoxA(WindowHandle owner, const std::string& text,
                  const std::optional<std::string>& caption, std::uint32_t type) override;
  void WriteStandardOutput(const std::string& text) override;
  void WriteStandardError(const std::string& text) override;
  bool HasLog() override { return hasLog; }
  void WriteLog(const std::string& utf8Line) override { log.push_back(utf8Line); }

  // The platform's own keys and files.
  std::u16string ExpandEnvironmentText(const std::u16string& text) override;
  bool CanTellProtectedKeys() override { return keyProtectionKnown; }
  bool IsProtectedKey(const std::u16string& path) override;
  RunLockKind HeldRunLock() override { return runLockKind; }

 private:
  // Resolves an open key (or HKEY_LOCAL_MACHINE) and a relative path to a full key path;
  // nothing when the handle is unknown or the path is malformed, with the status in `status`.
  std::optional<std::string> ResolvePath(RegKey parent, const std::string& subKey,
                                         Status& status) const;
  Key* KeyOfHandle(RegKey key, Status& status);
  Device* DeviceOf(DevInfoSet set, const DeviceInfoRecord& record);
  RegKey OpenKeyHandle(const std::string& path);
  Status OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access, bool followLast,
                 RegKey* result);
  // The key path that `path` names once the links on it are followed (the last one too, when
  // asked); nothing when a key on it is missing.
  std::optional<std::string> FollowLinks(const std::string& path, bool followLast) const;
  Status DeleteKeyAt(const std::string& path);
  // Makes a folder whose name is not taken, as CreateFolderIn does by its path.
  Status CreateNewDirectory(const std::u16string& path, FolderAccess access);
  // Whether new files and folders may go in the folder that holds `path`.
  bool ParentExists(const std::string& path) const;
  // The key of `files` and `directories` for a name the wide calls give.
  static std::string FileName(const std::u16string& path);

  void Note(std::string line);

  std::uint32_t lastError_ = 0;
  std::uintptr_t nextHandle_ = 0x1000;
  std::map<RegKey, std::string> openKeys_;
  std::map<FileHandle, std::string> openFiles_;
  std::map<FolderHandle, std::string> openFolders_;
  // The path below a held folder that a relative name names; nothing for a folder not held.
  std::optional<std::string> PathIn(FolderHandle folder, const std::u16string& name);
  std::map<DevInfoSet, std::vector<std::size_t>> openSets_;
  std::map<void*, std::size_t> allocations_;
  bool lockHeld_ = false;
  // The companion's sessions: each one's report lines left before it is cut short, its tasks'
  // status together, and its status once it ended.
  struct Session {
    std::size_t reportsLeft = 0;
    int status = 0;
    std::optional<std::uint32_t> ended;
  };
  std::map<ProgramSession, Session> sessions_;

 public:
  // Whether the companion, a 64-bit process, is the caller now.
  bool companionRunning = false;
};

// The companion run on the same machine, as the 64-bit process beside the program: its removal
// acts on `host`, and its report lines come back as its standard output.
ProgramRun RunCompanionOn(FakeHost& host, const std::string& arguments);

}  // namespace vorsk::test
