// The host services: the operating-system operations that the removal run and its stages act on
// the machine through. The interface keeps the platform's result semantics where callers decide
// on them (status codes, last errors, sentinel handles) but speaks C++: text is std::string,
// handles are distinct types, and every handle is owned by one of the wrappers in handles.h.
//
// A service named after a platform call keeps that call's contract: how it fails (a status, a
// bool or a sentinel with the reason as last error) is the platform's. A service with a name of
// its own says in its name what it does, and returns a Status when it can fail.
//
// This header is portable: it includes no platform header, so the removal core compiles and is
// tested anywhere. host/win32 implements it with the real calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorsk {

// Constants of the platform, with its values; host/win32 checks each against the platform's own
// headers.

// Status and last-error codes.
using Status = std::uint32_t;
inline constexpr Status kErrorSuccess = 0;
inline constexpr Status kErrorFileNotFound = 2;
inline constexpr Status kErrorPathNotFound = 3;
inline constexpr Status kErrorAccessDenied = 5;
inline constexpr Status kErrorInvalidHandle = 6;
inline constexpr Status kErrorNotEnoughMemory = 8;
inline constexpr Status kErrorInvalidData = 13;
inline constexpr Status kErrorSharingViolation = 32;
inline constexpr Status kErrorFileExists = 80;
inline constexpr Status kErrorInvalidParameter = 87;
inline constexpr Status kErrorInsufficientBuffer = 122;
inline constexpr Status kErrorBadPathname = 161;
inline constexpr Status kErrorAlreadyExists = 183;
inline constexpr Status kErrorMoreData = 234;
inline constexpr Status kErrorNoMoreItems = 259;
inline constexpr Status kErrorDirectory = 267;
inline constexpr Status kErrorStoppedOnSymlink = 681;
inline constexpr Status kErrorKeyDeleted = 1018;
inline constexpr Status kErrorTimeout = 1460;
inline constexpr Status kErrorInvalidUserBuffer = 1784;
inline constexpr Status kErrorNoSuchDevinst = 0xE000020B;
inline constexpr Status kErrorInWow64 = 0xE0000235;
inline constexpr Status kErrorInfInUseByDevices = 0xE000023D;
inline constexpr Status kErrorNotAnInstalledOemInf = 0xE000023C;

// Whether the registry's answer to opening a path says that no key is there: none of that name,
// or a path that no key can have (an empty component, a name over 255 characters).
inline constexpr bool NamesNoKey(Status status) {
  return status == kErrorFileNotFound || status == kErrorBadPathname ||
         status == kErrorInvalidParameter;
}

// Files.
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kFileShareRead = 0x1;
inline constexpr std::uint32_t kFileShareWrite = 0x2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kFileAttributeReadOnly = 0x1;
inline constexpr std::uint32_t kFileAttributeHidden = 0x2;
inline constexpr std::uint32_t kFileAttributeSystem = 0x4;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
// A link (a junction, a symbolic link, a mount point) rather than a plain file or folder.
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// Rights that an access list grants on a file, a folder or a key: to delete or rename it, to
// change its list or its owner, to delete or rename what a folder holds, and the generic rights.
inline constexpr std::uint32_t kDelete = 0x10000;
inline constexpr std::uint32_t kReadControl = 0x20000;
inline constexpr std::uint32_t kWriteDac = 0x40000;
inline constexpr std::uint32_t kWriteOwner = 0x80000;
inline constexpr std::uint32_t kFileDeleteChild = 0x40;
inline constexpr std::uint32_t kGenericAll = 0x10000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;

// Registry: access and value types.
inline constexpr std::uint32_t kKeyQueryValue = 0x1;
inline constexpr std::uint32_t kKeySetValue = 0x2;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x4;
inline constexpr std::uint32_t kKeyCreateLink = 0x20;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// Device setup.
inline constexpr std::uint32_t kDigcfPresent = 0x2;
inline constexpr std::uint32_t kDigcfAllClasses = 0x4;
inline constexpr std::uint32_t kSpdrpHardwareId = 0x1;
inline constexpr std::uint32_t kDifRemove = 5;
// A device instance ID has at most this many characters.
inline constexpr std::size_t kMaxDeviceIdLength = 200;
// Install parameter flags: a removal that needs a restart of the machine to finish.
inline constexpr std::uint32_t kDiNeedRestart = 0x80;
inline constexpr std::uint32_t kDiNeedReboot = 0x100;

// Driver packages: an uninstall that goes on while devices still use the package.
inline constexpr std::uint32_t kSuoiForceDelete = 0x1;

// Local memory: fixed and zero-filled.
inline constexpr std::uint32_t kLptr = 0x40;

// Message boxes.
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr int kIdOk = 1;

// Handles. Each kind is its own type so that one cannot be closed as another.
enum class RegKey : std::uintptr_t {};
enum class FileHandle : std::uintptr_t {};
enum class DevInfoSet : std::uintptr_t {};
enum class WindowHandle : std::uintptr_t {};
enum class FolderHandle : std::uintptr_t {};

inline constexpr RegKey kNullKey{0};
// The predefined root: never opened, never closed, never wrapped.
inline constexpr RegKey kLocalMachine{0x80000002};
inline constexpr FileHandle kInvalidFile{~std::uintptr_t{0}};
inline constexpr DevInfoSet kInvalidDevInfoSet{~std::uintptr_t{0}};
inline constexpr WindowHandle kNoOwner{0};
inline constexpr FolderHandle kNoFolder{0};

// A device information record in the platform's layout (SP_DEVINFO_DATA): 28 bytes in a 32-bit
// process, 32 in a 64-bit one. The caller sets cbSize to the record's own size before the first
// enumeration.
struct DeviceInfoRecord {
  std::uint32_t cbSize = 0;
  std::array<std::uint8_t, 16> classGuid{};
  std::uint32_t devInst = 0;
  std::uintptr_t reserved = 0;
};

// An entry of a folder: a file or a folder, with its attributes and its size in bytes.
struct FolderEntry {
  std::u16string name;
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
};

// Who may do what to a file, a folder or a key: its owner and the entries of its access list, as
// the platform keeps them (the SIDs as text: "S-1-5-18").
struct AccessEntry {
  bool allows = true;        // an entry that grants (one that denies otherwise)
  bool inheritOnly = false;  // it applies only to what is made inside, not to the object itself
  std::uint32_t mask = 0;
  std::string sid;
};
struct SecurityFacts {
  std::string owner;      // empty when it has none
  bool nullList = false;  // no access list at all, which grants everyone everything
  std::vector<AccessEntry> entries;
};

// A program that this program ran from its own folder, and what came of it.
struct ProgramRun {
  // Different: a file of that name that is not the program built with this one (its digest
  // differs), which is never started.
  enum class Start { Ran, Missing, Failed, Different };
  Start start = Start::Failed;
  Status error = kErrorSuccess;  // why it is missing or could not start
  std::uint32_t exitCode = 0;
  std::string output;  // everything it wrote on its standard output
};

// A program started beside this one that is handed its tasks on its standard input, one after
// another, and answers each on its standard output.
enum class ProgramSession : std::uintptr_t {};
inline constexpr ProgramSession kNoSession{0};

// What a session's program answered to one task.
struct ProgramAnswer {
  bool answered = false;       // its answer is whole, as the caller's test of it says
  bool ended = false;          // it ended before that (or was ended when its time ran out)
  std::uint32_t exitCode = 0;  // once ended: its status, kErrorTimeout when it was ended
  std::string output;          // what it wrote on its standard output meanwhile
};

// A moment in Coordinated Universal Time.
struct UtcTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// What became of taking the lock that one run holds at a time. Without it (all but Acquired and
// TimedOut) a run goes on: Squatted, a lock of that name that another account than SYSTEM or
// the Administrators made, which is no lock; NotAdministrator, a run whose account is neither,
// which can neither make the lock nor trust one (and removes only what it has the right to).
enum class RunLock { Acquired, TimedOut, Failed, Squatted, NotAdministrator };
// Which lock an Acquired run holds: the one in the private namespace that only the
// Administrators group may make (Windows Vista and later), the one of the global name that
// earlier versions take, or both.
enum class RunLockKind { Global, Private, Both };

// The process and the machine it runs on, as a run's log begins with them.
struct ProcessFacts {
  std::string windowsVersion;  // "6.1.7601", say
  int windowsBits = 32;        // 64 on 64-bit Windows, whatever this program's own width
  int processBits = 32;
  std::string user;       // DOMAIN\user
  bool elevated = false;  // an administrator's full rights (or the platform's own account)
};

class Host {
 public:
  virtual ~Host() = default;

  // Profile reader. The value of section/entry, cut to size - 1 characters, or defaultText
  // (cut the same way) when the section or entry is absent. Names match in any letter case.
  virtual std::string GetPrivateProfileStringA(const std::string& section, const std::string& entry,
                                               const std::string& defaultText, std::uint32_t size,
                                               const std::string& path) = 0;
  // The value of section/entry as an integer, or defaultValue when it is absent.
  virtual std::int32_t GetPrivateProfileIntA(const std::string& section, const std::string& entry,
                                             std::int32_t defaultValue,
                                             const std::string& path) = 0;

  // The system's Windows directory into `directory`, as the platform returns it: its length on
  // success, 0 on failure, or the size needed when `size` is too small. Only a success writes
  // `directory`. It is the same folder for every user, also on a terminal server in application
  // mode, where the Windows directory of the usual call is a folder of each user's own.
  virtual std::uint32_t GetSystemWindowsDirectoryA(std::string& directory, std::uint32_t size) = 0;

  // Files. CreateFileA returns kInvalidFile on failure, with the reason as last error.
  virtual FileHandle CreateFileA(const std::string& path, std::uint32_t desiredAccess,
                                 std::uint32_t shareMode, std::uint32_t creationDisposition,
                                 std::uint32_t flagsAndAttributes) = 0;
  virtual bool CloseHandle(FileHandle file) = 0;
  virtual bool SetFileAttributesA(const std::string& path, std::uint32_t attributes) = 0;
  // The file's attributes, or kInvalidFileAttributes (with the reason as last error) when there is
  // no such file or it cannot be reached.
  virtual std::uint32_t GetFileAttributesA(const std::string& path) = 0;
  virtual bool DeleteFileA(const std::string& path) = 0;

  // Files named in UTF-16, so that any name (one outside the code page too) reaches the platform
  // whole. Neither ever replaces anything, and each returns the platform's error as its status
  // (kErrorSuccess once it is done):
  // - CopyToNewFile copies a file, bytes and attributes, to a name that is not taken
  //   (kErrorFileExists when `to` exists).
  // - WriteFileBytes writes a new file (kErrorFileExists when there is one) or appends to an
  //   existing one, and returns once the bytes are on the disk.
  virtual Status CopyToNewFile(const std::u16string& from, const std::u16string& to) = 0;
  virtual Status WriteFileBytes(const std::u16string& path, const std::string& bytes,
                                bool append) = 0;
  // As GetFileAttributesA, for a name in UTF-16.
  virtual std::uint32_t GetFileAttributesW(const std::u16string& path) = 0;
  // A file's attributes and size in `facts` (its name left as it is), a link's own and never its
  // target's, as GetFileAttributesExW gives them; the platform's error otherwise.
  virtual Status LookAtFile(const std::u16string& path, FolderEntry& facts) = 0;
  // The entries of a folder, "." and ".." aside, in the platform's order; at most `limit` of them
  // (kErrorMoreData when there are more). A link is listed as itself, never entered.
  virtual Status ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries,
                            std::size_t limit) = 0;
  // The bytes of a file, whole; kErrorMoreData when it holds more than `limit`.
  virtual Status ReadFileBytes(const std::u16string& path, std::string& bytes,
                               std::size_t limit) = 0;
  virtual bool SetFileAttributesW(const std::u16string& path, std::uint32_t attributes) = 0;
  virtual bool DeleteFileW(const std::u16string& path) = 0;
  virtual bool RemoveDirectoryW(const std::u16string& path) = 0;

  // Folders held open, and files named relative to them (the native create call's root
  // directory: the Win32 API has none), so that nothing on a folder's path can be swapped between
  // the moment it is looked at and the last file written in it. A folder stays open, sharing
  // reading and writing but never deletion, so that nobody may move, rename or delete it until
  // it is closed. A link (a junction, a symbolic link, a mount point) is never followed.
  // - OpenFolderNoFollow opens `name`, one folder's name, in `parent`; with kNoFolder, `name` is
  //   a drive's root ("C:\") or a share (\\server\share). kErrorStoppedOnSymlink when it is a
  //   link, kErrorDirectory when it is a file.
  // - CreateFolderIn makes a folder whose name is not taken (kErrorAlreadyExists when it is, by a
  //   folder or a file) and holds it open. With FolderAccess::AdministratorsOnly it gets its own
  //   protected access list instead of its parent's: full control for SYSTEM and the
  //   Administrators group, inherited by everything made in it; nobody else may write.
  //   AdministratorsAndMaker adds the account that made it, as a share needs (it knows SYSTEM as
  //   the machine's own account).
  // - WriteFileIn, CopyFileIn and ReadFileIn take a name relative to the folder (it may hold
  //   '\': "files\1"), never replace anything, and return the platform's error as their status.
  //   WriteFileIn writes a new file (kErrorFileExists when there is one) or appends to an
  //   existing one, and returns once the bytes are on the disk. CopyFileIn copies the file at
  //   `from` (a full path, or with `fromFolder` a name relative to it) to a new file, and hands
  //   each piece it copies to `eachPiece`, so that what was copied can be told from its bytes.
  //   ReadFileIn reads a whole file that nobody may write meanwhile.
  // - ReadFolderSecurity reads the owner and access list of an open folder.
  enum class FolderAccess { Inherited, AdministratorsOnly, AdministratorsAndMaker };
  virtual Status OpenFolderNoFollow(FolderHandle parent, const std::u16string& name,
                                    FolderHandle* folder) = 0;
  virtual Status CreateFolderIn(FolderHandle parent, const std::u16string& name,
                                FolderAccess access, FolderHandle* folder) = 0;
  virtual Status CloseFolder(FolderHandle folder) = 0;
  virtual Status ReadFolderSecurity(FolderHandle folder, SecurityFacts& security) = 0;
  virtual Status WriteFileIn(FolderHandle folder, const std::u16string& name,
                             const std::string& bytes, bool append) = 0;
  virtual Status CopyFileIn(FolderHandle fromFolder, const std::u16string& from,
                            FolderHandle folder, const std::u16string& name,
                            const std::function<void(std::string_view)>& eachPiece) = 0;
  virtual Status ReadFileIn(FolderHandle folder, const std::u16string& name, std::string& bytes,
                            std::size_t limit) = 0;

  // Registry. Each call returns its status; results are written only on success. Names and
  // values are bounded by the caller's buffer size, in characters or bytes, as the platform's.
  virtual Status RegOpenKeyA(RegKey parent, const std::string& subKey, RegKey* result) = 0;
  virtual Status RegOpenKeyExA(RegKey parent, const std::string& subKey, std::uint32_t access,
                               RegKey* result) = 0;
  // The name of the subkey at index; kErrorMoreData when it needs nameSize characters or more
  // (its terminating zero included), kErrorNoMoreItems past the last subkey.
  virtual Status RegEnumKeyExA(RegKey key, std::uint32_t index, std::string& name,
                               std::uint32_t nameSize) = 0;
  // The bytes of a value, exactly as stored; kErrorMoreData when there are more than dataSize.
  virtual Status RegQueryValueExA(RegKey key, const std::string& valueName, std::string& data,
                                  std::uint32_t dataSize) = 0;
  virtual Status RegQueryInfoKeyA(RegKey key, std::uint32_t& subKeyCount) = 0;
  virtual Status RegDeleteKeyA(RegKey parent, const std::string& subKey) = 0;
  // Opens a subkey without following it when it is a symbolic link: the handle names the link
  // key itself, which shows no subkeys. Keys on the way to it are resolved the usual way.
  virtual Status RegOpenKeyNoFollowA(RegKey parent, const std::string& subKey, std::uint32_t access,
                                     RegKey* result) = 0;
  // Deletes the key that the open handle names (opened with kDelete access, without subkeys): a
  // link key itself, never what it points to.
  virtual Status RegDeleteKeyOfHandle(RegKey key) = 0;
  // The path below HKEY_LOCAL_MACHINE of the key that the open handle names, as the registry
  // itself names it: the key that a followed link reached, a 32-bit program's SOFTWARE on 64-bit
  // Windows as SOFTWARE\WOW6432Node. kErrorFileNotFound for a key elsewhere.
  virtual Status RegQueryKeyPath(RegKey key, std::u16string& path) = 0;
  virtual Status RegCloseKey(RegKey key) = 0;
  // Opens a subkey, following a link on the way and at its end, as the registry resolves it.
  virtual Status RegOpenKeyW(RegKey parent, const std::u16string& subKey, std::uint32_t access,
                             RegKey* result) = 0;
  // Opens `name`, one key's name, in `parent`, making it when it is missing (`created` says
  // which); a link there is opened as itself, never followed. With KeyAccess::AdministratorsWrite
  // a key it makes gets its own protected access list: read for everyone, full control for SYSTEM
  // and the Administrators, inherited by the keys made in it.
  enum class KeyAccess { Inherited, AdministratorsWrite };
  virtual Status RegCreateKeyNoFollowW(RegKey parent, const std::u16string& name,
                                       std::uint32_t access, KeyAccess security, RegKey* result,
                                       bool* created) = 0;
  // A value with its type and bytes (strings in UTF-16LE, as stored), written or read whole.
  virtual Status RegSetValueW(RegKey key, const std::u16string& name, std::uint32_t type,
                              const std::string& data) = 0;
  virtual Status RegQueryValueW(RegKey key, const std::u16string& name, std::uint32_t& type,
                                std::string& data) = 0;
  virtual Status ReadKeySecurity(RegKey key, SecurityFacts& security) = 0;
  // The same through the wide-character calls, which carry every name and string as stored,
  // whatever the code page: subkey names of up to 255 characters, every value with its name,
  // type and bytes (strings in UTF-16LE).
  virtual Status RegOpenKeyNoFollowW(RegKey parent, const std::u16string& subKey,
                                     std::uint32_t access, RegKey* result) = 0;
  // The name of the subkey at index, whole (a subkey name has at most 255 characters, so no size
  // is asked for); kErrorNoMoreItems past the last subkey.
  virtual Status EnumSubkeyNameW(RegKey key, std::uint32_t index, std::u16string& name) = 0;
  virtual Status RegEnumValueW(RegKey key, std::uint32_t index, std::u16string& name,
                               std::uint32_t& type, std::string& data) = 0;
  // Text of the code page, as the wide-character calls take it.
  virtual std::u16string AnsiToWide(const std::string& text) = 0;
  // UTF-16 text in the code page, as standard error takes it: a character the code page lacks
  // becomes its default character ('?').
  virtual std::string WideToAnsi(const std::u16string& text) = 0;
  // The ANSI code page, and whether a byte begins a double-byte character in it.
  virtual std::uint32_t GetACP() = 0;
  virtual bool IsDBCSLeadByte(std::uint8_t byte) = 0;

  // Device setup service. Failures return false (or kInvalidDevInfoSet) with the last error set.
  virtual DevInfoSet SetupDiGetClassDevsA(std::uint32_t flags) = 0;
  virtual bool SetupDiEnumDeviceInfo(DevInfoSet set, std::uint32_t index,
                                     DeviceInfoRecord& record) = 0;
  // With buffer null and bufferSize 0 it reports the size needed in requiredSize.
  virtual bool SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, DeviceInfoRecord& record,
                                                 std::uint32_t property, void* buffer,
                                                 std::uint32_t bufferSize,
                                                 std::uint32_t* requiredSize) = 0;
  virtual bool SetupDiCallClassInstaller(std::uint32_t function, DevInfoSet set,
                                         DeviceInfoRecord& record) = 0;
  virtual bool SetupDiDestroyDeviceInfoList(DevInfoSet set) = 0;
  // The instance ID of the instance that the record names; nothing when it cannot be read.
  virtual std::optional<std::string> DeviceInstanceIdOf(DevInfoSet set,
                                                        DeviceInfoRecord& record) = 0;
  // An empty set of no particular class, for instances opened by their instance IDs.
  virtual DevInfoSet SetupDiCreateDeviceInfoList() = 0;
  // Adds the instance with this instance ID to the set and fills the record for it.
  virtual bool SetupDiOpenDeviceInfoA(DevInfoSet set, const std::string& instanceId,
                                      DeviceInfoRecord& record) = 0;
  // The same for an instance ID in UTF-16, as the companion is given it whatever its characters.
  virtual bool SetupDiOpenDeviceInfoW(DevInfoSet set, const std::u16string& instanceId,
                                      DeviceInfoRecord& record) = 0;
  // The flags of the instance's install parameters.
  virtual bool SetupDiGetDeviceInstallParamsA(DevInfoSet set, DeviceInfoRecord& record,
                                              std::uint32_t* flags) = 0;
  // Whether the device of the instance is plugged in now (its device node is there).
  virtual bool IsDevicePresent(DevInfoSet set, DeviceInfoRecord& record) = 0;

  // Driver packages. Uninstalls the third-party driver package that `infFileName`, a file of the
  // INF folder, publishes: the INF, its PNF and its catalog, and where the platform keeps a driver
  // store, the package in the store with the driver database's entries for it. False with the
  // reason as last error (kErrorNotAnInstalledOemInf for an INF that no third party installed).
  // Looked up at run time: where the platform lacks it, it fails with ERROR_PROC_NOT_FOUND.
  virtual bool SetupUninstallOEMInfA(const std::string& infFileName, std::uint32_t flags) = 0;
  // The same for a name in UTF-16, as the companion is given it whatever its characters.
  virtual bool SetupUninstallOEMInfW(const std::u16string& infFileName, std::uint32_t flags) = 0;
  // The path of the package's INF in the driver store for the published INF at `infPath`, as the
  // platform names it; nothing where it cannot tell (a platform without the query, before
  // Windows Vista and under Wine, or no package).
  virtual std::optional<std::u16string> DriverStoreInfPath(const std::u16string& infPath) = 0;
  // Stages the package whose INF is at `infPath` in the driver store and publishes it in the INF
  // folder, as a vendor's setup installs one; the name the platform published it under (oemNN.inf)
  // in `publishedName`. False with the reason as last error.
  virtual bool SetupCopyOEMInfW(const std::u16string& infPath, std::u16string& publishedName) = 0;
  // Whether the platform's file protection keeps the file at `path`; false where the platform has
  // no such query.
  virtual bool IsProtectedFile(const std::u16string& path) = 0;

  // This process. Whether it is a 32-bit process on 64-bit Windows (WOW64), where the device
  // setup service refuses to remove device instances.
  virtual bool IsWow64Process() = 0;
  // Runs `program` from the folder of this program's own module file (never the search path or
  // the current folder) with `arguments`, in a job that ends it if this process ends, and waits
  // for it up to `timeoutMs`: then it is ended with its job, and its status is kErrorTimeout. Its
  // standard output up to its end comes back whole.
  virtual ProgramRun RunProgramBeside(const std::string& program, const std::string& arguments,
                                      std::uint32_t timeoutMs) = 0;
  // Starts `program` from the folder of this program's own module file (never the search path or
  // the current folder) with `arguments`, in a job that ends it if this process ends, its standard
  // input and output each a pipe of this process (the only handles it inherits), and returns at
  // once: Ran with the session in `session`, or why it is missing or could not start. Each task
  // is handed with HandProgramTask; EndProgramSession ends it.
  virtual ProgramRun StartProgramBeside(const std::string& program, const std::string& arguments,
                                        ProgramSession* session) = 0;
  // Writes `input` to the program's standard input, then reads its standard output until
  // `answered` says that what came is a whole answer, the program ends, or `timeoutMs` runs out:
  // then it is ended with its job, and its status is kErrorTimeout. A program that ended is ended
  // for the session: only EndProgramSession is left to call.
  virtual ProgramAnswer HandProgramTask(ProgramSession session, const std::string& input,
                                        std::uint32_t timeoutMs,
                                        const std::function<bool(std::string_view)>& answered) = 0;
  // Closes the program's standard input and waits up to `timeoutMs` for it to end (then it is
  // ended with its job, kErrorTimeout); releases the session. Its exit status.
  virtual std::uint32_t EndProgramSession(ProgramSession session, std::uint32_t timeoutMs) = 0;
  virtual ProcessFacts GetProcessFacts() = 0;
  // The full path of this program's own module file.
  virtual Status OwnProgramPath(std::u16string& path) = 0;
  // The SID, as text, of the account this process runs as; empty when it cannot be read.
  virtual std::string RunningUserSid() = 0;
  // The machine's name ("COMPUTER" when it cannot be had), and the time now.
  virtual std::string ComputerName() = 0;
  virtual UtcTime GetSystemTime() = 0;
  // Takes the machine-wide lock that one run of vorsk holds at a time, whoever runs it, waiting
  // up to `timeoutMs` for another run to release it; the lock of a run that was cut short passes
  // to the next. Failed: the lock cannot be had at all (the platform's error as last error).
  virtual RunLock AcquireRunLock(std::uint32_t timeoutMs) = 0;
  virtual void ReleaseRunLock() = 0;
  // Whether a message box of this process can be seen and answered: its window station is the
  // visible one (not a service's, nor the platform's own session's).
  virtual bool HasInteractiveDesktop() = 0;

  // Local memory and the thread's last error.
  virtual void* LocalAlloc(std::uint32_t flags, std::size_t bytes) = 0;
  virtual void* LocalFree(void* memory) = 0;
  virtual std::uint32_t GetLastError() = 0;

  // A modal message box; no caption shows the platform's default one.
  virtual int MessageBoxA(WindowHandle owner, const std::string& text,
                          const std::optional<std::string>& caption, std::uint32_t type) = 0;

  // Buffered standard output, flushed when the process ends.
  virtual void WriteStandardOutput(const std::string& text) = 0;
  // Standard error, written at once.
  virtual void WriteStandardError(const std::string& text) = 0;
  // Whether the run has a log; WriteLog writes one line of it, in UTF-8, as it is: the host adds
  // its time and line end.
  virtual bool HasLog() = 0;
  virtual void WriteLog(const std::string& utf8Line) = 0;

  // The platform's own keys and files, as a listed tree's rules ask after them.
  // - ExpandEnvironmentText: the text with each %NAME% of the process's environment replaced by
  //   its value, as the platform expands a REG_EXPAND_SZ (a name it does not know stays).
  // - CanTellProtectedKeys: whether the platform answers which registry keys its resource
  //   protection keeps (Windows Vista and later; looked up at run time).
  // - IsProtectedKey: whether it keeps the key at `path` below HKEY_LOCAL_MACHINE, the
  //   registry's own name (SOFTWARE\WOW6432Node\... for the 32-bit view, taken as it is); false
  //   where it cannot tell.
  virtual std::u16string ExpandEnvironmentText(const std::u16string& text) = 0;
  virtual bool CanTellProtectedKeys() = 0;
  virtual bool IsProtectedKey(const std::u16string& path) = 0;

  // Which lock the run holds, once AcquireRunLock answered Acquired.
  virtual RunLockKind HeldRunLock() = 0;
};

}  // namespace vorsk
