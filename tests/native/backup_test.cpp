// The backup of a run: its folder, what it keeps of each item before the item goes, that an item
// whose save fails stays on the machine, and that nobody but the administrators can swap what it
// made.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup/backup.h"
#include "backup/backup_record.h"
#include "backup/reg_file.h"
#include "cleanup/removing.h"
#include "cleanup/saving.h"
#include "cleanup/stages.h"
#include "digest/sha256.h"
#include "removal/run.h"
#include "tests/native/machine.h"
#include "text/text.h"

namespace vorsk {
namespace {

using test::kInf;
using test::kScriptPath;

constexpr char kBackups[] = "D:\\backups\\scanners";
constexpr char kRunFolder[] = "D:\\backups\\scanners\\SCANPC-20261208T054312Z";
constexpr char kRecord[] = "SOFTWARE\\vorsk\\Backups";
constexpr char kOtherUser[] = "S-1-5-21-1-2-3-1001";
constexpr char kAuthenticatedUsers[] = "S-1-5-11";

// The typical road: a driver entry with its two files, one instance, a listed tree beside one
// that is not listed.
void StageMachine(test::FakeHost& host) {
  test::AddDriverEntry(host, kImageClassKey, "0003", "usb\\vid_0000&pid_2206", "oem7.inf");
  host.AddFile(kInf + "oem7.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n",
               kFileAttributeReadOnly | kFileAttributeHidden);
  host.AddFile(kInf + "oem7.pnf", std::string("PNF\0\x01\x02", 6));
  host.AddDevice("USB\\VID_0000&PID_2206\\5&2B1C3A7&0&1",
                 {"USB\\Vid_0000&Pid_2206&Rev_0100", "USB\\Vid_0000&Pid_2206"});
  host.SetString("SOFTWARE\\Vendor\\Scanner", "Path", "C:\\Scan \"x\"");
  host.SetValue("SOFTWARE\\Vendor\\Scanner\\Settings", "Color", std::string("\x01\0\0\0", 4),
                kRegDword);
  host.AddKey("SOFTWARE\\Vendor\\Camera");
  host.AddFile(kScriptPath,
               "[RemoveInf]\nImage0=usb\\vid_0000&pid_2206\n[CurrentDev]\nDevNo=1\n"
               "[1PIDVID]\nNum1=USB\\Vid_0000&Pid_2206\n"
               "[1KEY]\nNum=1\nNum1=SOFTWARE\\Vendor\\Scanner\n");
  host.directories.insert("D:\\backups");
  host.AddPrograms();
}

bool Logged(const test::FakeHost& host, const std::string& line) {
  return std::find(host.log.begin(), host.log.end(), line) != host.log.end();
}

RunOptions WithBackup(const std::string& folder) {
  RunOptions options;
  options.quiet = true;
  options.backupFolder = folder;
  return options;
}

// Nothing of the machine's driver, instances or trees is gone.
void ExpectNothingDeleted(test::FakeHost& host, const std::vector<std::string>& registryBefore) {
  EXPECT_TRUE(host.FileExists(kInf + "oem7.inf"));
  EXPECT_TRUE(host.FileExists(kInf + "oem7.pnf"));
  EXPECT_FALSE(host.devices[0].removed);
  EXPECT_EQ(host.RegistrySnapshot(), registryBefore);
}

class BackupTest : public ::testing::Test {
 protected:
  BackupTest() { StageMachine(host); }

  int Run() { return PerformRemoval(host, kNoOwner, WithBackup(kBackups)); }

  std::string Saved(const std::string& name) {
    const auto file = host.files.find(std::string(kRunFolder) + "\\" + name);
    return file == host.files.end() ? "(none)" : file->second.content;
  }

  test::FakeHost host;
};

TEST_F(BackupTest, EachItemIsSavedBeforeItGoesUnderNamesOfItsOwnWithItsDigest) {
  EXPECT_EQ(Run(), kExitCompleted);

  EXPECT_FALSE(host.FileExists(kInf + "oem7.inf"));
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
  EXPECT_TRUE(host.devices[0].removed);
  // The files byte for byte under names the backup picks; the script and the programs beside
  // them, and restore.cmd, which runs that vorsk.exe on its own folder and nothing else.
  const std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
  EXPECT_EQ(Saved("files\\1"), inf);
  EXPECT_EQ(Saved("files\\2"), std::string("PNF\0\x01\x02", 6));
  EXPECT_EQ(Saved("Remove417.ini"), host.files[kScriptPath].content);
  EXPECT_EQ(Saved("vorsk.exe"), "MZ vorsk.exe");
  EXPECT_EQ(Saved("vorsk64.exe"), "MZ vorsk64.exe");
  const std::string restore = Saved("restore.cmd");
  EXPECT_NE(restore.find("\"%~dp0vorsk.exe\" /restore:\"%~dp0.\" /anycomputer\r\n"),
            std::string::npos)
      << restore;
  EXPECT_TRUE(
      std::all_of(restore.begin(), restore.end(), [](char c) { return c > 0 && c < 0x7F; }));
  // Nothing was deleted before its copy was made.
  const std::vector<std::string> journal = host.journal;
  const auto at = [&](const std::string& line) {
    return std::find(journal.begin(), journal.end(), line) - journal.begin();
  };
  EXPECT_LT(at("copy-file " + kInf + "oem7.inf to " + kRunFolder + "\\files\\1"),
            at("deleted-file " + kInf + "oem7.inf"));

  // The tree in the registry editor's format, every key and value of it.
  const std::u16string text = RegFileHeader() +
                              u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner]\r\n\"Path\"=\"C:"
                              u"\\\\Scan \\\"x\\\"\"\r\n\r\n"
                              u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner\\Settings]\r\n"
                              u"\"Color\"=dword:00000001\r\n\r\n";
  EXPECT_EQ(Saved("registry.reg"), RegFileBytes(text));

  // The manifest names each real name with the digest of its saved copy, and ends.
  const std::string manifest = Saved("manifest.txt");
  for (const std::string& line : std::vector<std::string>{
           "made: 2026-12-08 05:43:12 UTC\r\n", "machine: SCANPC\r\n",
           "folder: SCANPC-20261208T054312Z\r\n",
           "script: " + kScriptPath + ", copied as Remove417.ini\r\n",
           "sha256 " + Sha256Text("MZ vorsk.exe") + " vorsk.exe\r\n",
           "sha256 " + Sha256Text(restore) + " restore.cmd\r\n",
           "file " + kInf + "oem7.inf: saved as files\\1, attributes read-only, hidden, sha256 " +
               Sha256Text(inf) + "\r\n",
           "file " + kInf + "oem7.pnf: saved as files\\2, attributes none, sha256 " +
               Sha256Text(std::string("PNF\0\x01\x02", 6)) + "\r\n",
           std::string("instance USB\\VID_0000&PID_2206\\5&2B1C3A7&0&1: class "
                       "{00000000-0000-0000-0000-000000000000}, hardware IDs "
                       "USB\\Vid_0000&Pid_2206&Rev_0100; USB\\Vid_0000&Pid_2206"),
           "tree SOFTWARE\\Vendor\\Scanner: saved in registry.reg, 2 keys, 2 values\r\n",
           "sha256 " + Sha256Text(RegFileBytes(text)) + " registry.reg\r\nend\r\n"}) {
    EXPECT_NE(manifest.find(line), std::string::npos) << line << "\nin\n" << manifest;
  }
  // Its digest is recorded on the machine, under the folder's name, where only administrators
  // may write.
  std::string why;
  EXPECT_EQ(MatchBackupRecord(host, "SCANPC-20261208T054312Z", Sha256Text(manifest), why),
            RecordMatch::Matches)
      << why;
  EXPECT_TRUE(host.FindKey("SOFTWARE\\vorsk")->security);
  EXPECT_EQ(host.OpenHandleCount(), 0u);
  EXPECT_TRUE(host.faults.empty());
}

// On 64-bit Windows the trees come from the 32-bit view, as the manifest says; the instances
// that the companion removes are recorded by the program that walked them.
TEST_F(BackupTest, UnderWow64TheManifestSaysTheTreesAreOfThe32BitView) {
  host.wow64 = true;
  host.companion = test::FakeHost::Companion::Works;

  EXPECT_EQ(Run(), kExitCompleted);

  EXPECT_TRUE(host.devices[0].removed);
  EXPECT_NE(Saved("manifest.txt").find("instance USB\\VID_0000&PID_2206\\5&2B1C3A7&0&1: class"),
            std::string::npos);
  EXPECT_NE(Saved("manifest.txt").find("32-bit registry view"), std::string::npos);
}

// A failed save keeps its item, says why, and the run ends with status 3; the other items go.
// The manifest fails only once the backup has begun: from then on nothing goes.
TEST(BackupFailureTest, AnItemWhoseSaveFailsStays) {
  struct Case {
    const char* failingWrite;  // below the run's folder
    bool infStays;
    bool instanceStays;
    bool treeStays;
    std::string logLine;
  };
  const Case cases[] = {
      {"files\\1", true, false, false,
       "file " + kInf + "oem7.inf: left, it cannot be saved in the backup (error 00000005)"},
      {"registry.reg", false, false, true,
       "tree SOFTWARE\\Vendor\\Scanner: left, registry.reg cannot be written"},
      {"manifest.txt", true, true, true,
       "instance USB\\VID_0000&PID_2206\\5&2B1C3A7&0&1: left, it cannot be recorded in the "
       "backup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failingWrite);
    test::FakeHost host;
    StageMachine(host);
    RunReport report(host, kNoOwner, /*quiet=*/true);
    Backup backup(host, report);
    backup.Begin(kBackups, kScriptPath);
    ASSERT_EQ(backup.Folder(), kRunFolder);
    host.failingWrites.insert(std::string(kRunFolder) + "\\" + c.failingWrite);
    RemovingActions removal(host, report, false);
    SavingActions saving(backup, removal);

    RemoveDriverFiles(host, report, kScriptPath, saving);
    RemoveDevices(host, report, kScriptPath, "1", saving);
    RemoveKeyTrees(host, report, kScriptPath, "1", saving);
    backup.End();

    EXPECT_EQ(report.Status(), kExitLeft);
    EXPECT_EQ(host.FileExists(kInf + "oem7.inf"), c.infStays);
    EXPECT_EQ(!host.devices[0].removed, c.instanceStays);
    EXPECT_EQ(host.KeyExists("SOFTWARE\\Vendor\\Scanner\\Settings"), c.treeStays);
    EXPECT_TRUE(Logged(host, c.logLine)) << c.logLine;
    EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor\\Camera"));
    EXPECT_TRUE(host.faults.empty());
  }
}

// A backup folder that cannot be made, or whose path leads through a link, deletes nothing at
// all; so does one whose program cannot be kept in it.
TEST(BackupFolderTest, WithoutItsFolderARunDeletesNothing) {
  for (const std::string& failing :
       {std::string(kBackups), std::string(kRunFolder), std::string("link D:\\backups"),
        std::string(kRunFolder) + "\\vorsk.exe", std::string("relative")}) {
    SCOPED_TRACE(failing);
    test::FakeHost host;
    StageMachine(host);
    std::string parent = kBackups;
    if (failing.rfind("link ", 0) == 0) {
      host.reparsePoints.insert(failing.substr(5));
    } else if (failing == "relative") {
      parent = "backups\\scanners";
    } else {
      host.failingWrites.insert(failing);
    }
    const auto registryBefore = host.RegistrySnapshot();

    EXPECT_EQ(PerformRemoval(host, kNoOwner, WithBackup(parent)), kExitLeft);

    ExpectNothingDeleted(host, registryBefore);
    EXPECT_TRUE(
        Logged(host, "tree SOFTWARE\\Vendor\\Scanner: left, there is no backup to save it in"));
    if (failing == kRunFolder) {
      EXPECT_TRUE(Logged(host, std::string("backup: the folder ") + kRunFolder +
                                   " cannot be made (error 00000005)"));
    }
    if (failing.rfind("link ", 0) == 0) {
      EXPECT_TRUE(Logged(host,
                         "backup: D:\\backups is a link to another place: no backup is made "
                         "through one"));
      EXPECT_EQ(host.directories.count(kBackups), 0u);
    }
    EXPECT_EQ(host.OpenHandleCount(), 0u);
  }
}

// A folder already on the path is judged by who may change it: another account that may delete
// or rename it, change its list or owner, or delete what its parent holds, refuses the backup
// (nothing is deleted). What only reads, what is made for what is inside, and the administrative
// accounts (the one running vorsk among them) do not.
TEST(BackupFolderTest, AFolderOnThePathIsJudgedByWhoMayChangeIt) {
  struct Case {
    const char* what;
    const char* folder;  // whose list it is
    SecurityFacts security;
    bool refused;
  };
  const auto list = [](const std::string& owner, std::vector<AccessEntry> entries) {
    SecurityFacts facts;
    facts.owner = owner;
    facts.entries = std::move(entries);
    return facts;
  };
  const std::string admins = "S-1-5-32-544";
  const AccessEntry full{true, false, 0x1F01FF, "S-1-5-32-544"};
  const std::vector<Case> cases = {
      {"users may modify it (delete)", "D:\\backups",
       list(admins, {full, {true, false, 0x1301BF, kAuthenticatedUsers}}), true},
      {"a user may change its list", "D:\\backups",
       list(admins, {full, {true, false, kWriteDac, kOtherUser}}), true},
      {"a user may take its ownership", "D:\\backups",
       list(admins, {full, {true, false, kWriteOwner, kOtherUser}}), true},
      {"generic all for everyone", "D:\\backups",
       list(admins, {full, {true, false, kGenericAll, "S-1-1-0"}}), true},
      {"a user owns it", "D:\\backups", list(kOtherUser, {full}), true},
      {"no access list at all", "D:\\backups", SecurityFacts{admins, true, {}}, true},
      {"the drive lets users delete what it holds", "D:\\",
       list(admins, {full, {true, false, kFileDeleteChild, kAuthenticatedUsers}}), true},
      {"the backup's own folder lets a user delete the run's", kBackups,
       list(admins, {full, {true, false, kFileDeleteChild, kOtherUser}}), true},
      {"its parent lets a user delete its folders", "D:\\backups",
       list(admins, {full, {true, false, kFileDeleteChild, kOtherUser}}), true},
      {"a user's rights over it as its owner", "D:\\backups",
       list(kOtherUser, {full, {true, false, kWriteDac, "S-1-3-4"}}), true},
      {"users may read and add files", "D:\\backups",
       list(admins, {full, {true, false, 0x1200A9 | 0x6, "S-1-5-32-545"}}), false},
      {"users' rights on what is made inside", "D:\\backups",
       list(admins, {full, {true, true, 0x1F01FF, kAuthenticatedUsers}}), false},
      {"a denying entry", "D:\\backups", list(admins, {full, {false, false, kDelete, kOtherUser}}),
       false},
      {"SYSTEM, the installer and the running account", "D:\\backups",
       list("S-1-5-18", {{true, false, 0x1F01FF, "S-1-5-18"},
                         {true, false, 0x1F01FF,
                          "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"},
                         {true, false, 0x1F01FF, "S-1-5-21-1-2-3-500"}}),
       false},
      {"owner rights that only read, for a user's folder", "D:\\backups",
       list(kOtherUser, {full, {true, false, 0x1200A9, "S-1-3-4"}}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::FakeHost host;
    StageMachine(host);
    host.folderSecurity[c.folder] = c.security;
    if (std::string(c.folder).size() > 3) {
      host.directories.insert(c.folder);  // there before the run
    }
    const auto registryBefore = host.RegistrySnapshot();

    const int status = PerformRemoval(host, kNoOwner, WithBackup(kBackups));

    if (c.refused) {
      EXPECT_EQ(status, kExitLeft);
      ExpectNothingDeleted(host, registryBefore);
      EXPECT_EQ(host.directories.count(kRunFolder), 0u);
      EXPECT_TRUE(std::any_of(host.log.begin(), host.log.end(), [](const std::string& line) {
        return line.find(" is refused: ") != std::string::npos;
      }));
    } else {
      EXPECT_EQ(status, kExitCompleted);
      EXPECT_TRUE(host.FileExists(std::string(kRunFolder) + "\\registry.reg"));
    }
    EXPECT_EQ(host.OpenHandleCount(), 0u);
  }
}

// The folders a run makes locally are the administrators' alone, the run's own and the ones on the
// way; on a share only the run's own is made protected (for the account that made it too), and
// the share's folders above it are the share's, not judged.
TEST(BackupFolderTest, WhoMayWriteWhatTheRunMakes) {
  using Access = Host::FolderAccess;
  {
    test::FakeHost host;
    StageMachine(host);
    EXPECT_EQ(PerformRemoval(host, kNoOwner, WithBackup(kBackups)), kExitCompleted);
    EXPECT_EQ(host.folderAccess[kBackups], Access::AdministratorsOnly);
    EXPECT_EQ(host.folderAccess[kRunFolder], Access::AdministratorsOnly);
    EXPECT_EQ(host.folderAccess[std::string(kRunFolder) + "\\files"], Access::Inherited);
  }
  test::FakeHost host;
  StageMachine(host);
  const std::string share = "\\\\server\\share";
  host.directories.insert(share);
  host.folderSecurity[share] = SecurityFacts{kOtherUser, true, {}};
  EXPECT_EQ(PerformRemoval(host, kNoOwner, WithBackup(share + "\\scanners")), kExitCompleted);
  EXPECT_EQ(host.folderAccess[share + "\\scanners"], Access::Inherited);
  EXPECT_EQ(host.folderAccess[share + "\\scanners\\SCANPC-20261208T054312Z"],
            Access::AdministratorsAndMaker);
}

// The run holds its folder and every folder on the way for the whole run: another process that
// tries to move any of them (to put a folder of its own in the run folder's place) fails at every
// moment, and everything is written in the run's own folder.
TEST_F(BackupTest, NobodyMovesTheFoldersWhileTheRunLasts) {
  int tries = 0;
  int moved = 0;
  host.duringWrites = [&](test::FakeHost& machine) {
    for (const char* folder : {"D:\\backups", kBackups, kRunFolder}) {
      ++tries;
      moved += machine.MoveFolder(folder, std::string(folder) + ".old") ? 1 : 0;
    }
  };

  EXPECT_EQ(Run(), kExitCompleted);

  EXPECT_GT(tries, 9);
  EXPECT_EQ(moved, 0);
  EXPECT_TRUE(host.FileExists(std::string(kRunFolder) + "\\manifest.txt"));
  // Once the run has ended, its folders may move (and a restore finds them wherever they are).
  host.duringWrites = nullptr;
  EXPECT_TRUE(host.MoveFolder(kBackups, std::string(kBackups) + ".old"));
}

// A folder named outside the code page, as the command line gives it (in UTF-8), is made and
// written whole; standard error, in the code page, shows what it can of a name it cannot hold.
TEST(BackupFolderTest, AFolderNamedOutsideTheCodePageIsMadeWhole) {
  const std::string parent = "D:\\acc\\\xE5\xA4\x87\xE4\xBB\xBD \xC3\xBC";  // 备份 ü
  const std::string runFolder = parent + "\\SCANPC-20261208T054312Z";
  test::FakeHost host;
  StageMachine(host);

  EXPECT_EQ(PerformRemoval(host, kNoOwner, WithBackup(parent)), kExitCompleted);

  EXPECT_FALSE(host.FileExists(kInf + "oem7.inf"));
  EXPECT_TRUE(host.FileExists(runFolder + "\\files\\1"));
  EXPECT_TRUE(host.FileExists(runFolder + "\\registry.reg"));
  EXPECT_TRUE(Logged(host, "backup " + runFolder));

  test::FakeHost blocked;
  StageMachine(blocked);
  blocked.failingWrites.insert(runFolder);
  EXPECT_EQ(PerformRemoval(blocked, kNoOwner, WithBackup(parent)), kExitLeft);
  EXPECT_TRUE(blocked.FileExists(kInf + "oem7.inf"));
  EXPECT_EQ(blocked.standardError,
            "No backup can be made in D:\\acc\\?? \xFC: nothing was deleted.\n");
}

// Names outside ASCII are encoded once, in UTF-8, in the log and throughout the manifest: those
// of the script (code page) and those read through the wide calls alike, a failure's reason too.
TEST_F(BackupTest, NamesOutsideAsciiAreEncodedOnce) {
  // The fake's code page is Latin-1: \xE4 is a, \xDC is U.
  host.files[kScriptPath].content +=
      "Num2=SOFTWARE\\Vendor\\Sc\xE4nner\nNum3=SOFTWARE\\Vendor\\Kamera\xE4\n";
  host.files[kScriptPath].content.replace(host.files[kScriptPath].content.find("Num=1"), 5,
                                          "Num=3");
  host.AddLink("SOFTWARE\\Vendor\\Sc\xE4nner\\\xDC", "SOFTWARE\\Vendor\\Camera");
  host.SetString("SOFTWARE\\Vendor\\Kamera\xE4\\\xDC", "Name", "x");
  host.FindKey("SOFTWARE\\Vendor\\Kamera\xE4\\\xDC")->openFailure = kErrorAccessDenied;

  EXPECT_EQ(Run(), kExitLeft);

  EXPECT_TRUE(Logged(host,
                     "tree SOFTWARE\\Vendor\\Kamera\xC3\xA4: left, it cannot be saved in the "
                     "backup: HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Kamera\xC3\xA4\\\xC3\x9C "
                     "cannot be opened (error 00000005)"));
  EXPECT_TRUE(Logged(host, "tree SOFTWARE\\Vendor\\Sc\xC3\xA4nner: saved in the backup, 1 key"));
  const std::string manifest = Saved("manifest.txt");
  EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8(manifest)), manifest) << "not UTF-8 throughout";
  for (const std::string& line :
       {std::string("tree SOFTWARE\\Vendor\\Sc\xC3\xA4nner: saved in registry.reg, 1 key"),
        std::string("  link HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Sc\xC3\xA4nner\\\xC3\x9C -> ")}) {
    EXPECT_NE(manifest.find(line), std::string::npos) << line << "\nin\n" << manifest;
  }
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor\\Kamera\xE4"));
}

// Each run has a folder of its own: a name that is taken gets the next number, and nothing
// already there is written over.
TEST_F(BackupTest, EachRunMakesAFolderOfItsOwn) {
  EXPECT_EQ(BackupFolderName("PC-7", UtcTime{2027, 1, 2, 3, 4, 5}), "PC-7-20270102T030405Z");
  host.directories.insert(kBackups);
  host.directories.insert(kRunFolder);
  host.directories.insert(std::string(kRunFolder) + "-2");
  host.AddFile(std::string(kRunFolder) + "\\manifest.txt", "another machine's");

  EXPECT_EQ(Run(), kExitCompleted);

  EXPECT_EQ(host.files[std::string(kRunFolder) + "\\manifest.txt"].content, "another machine's");
  EXPECT_TRUE(host.FileExists(std::string(kRunFolder) + "-3\\registry.reg"));
  EXPECT_TRUE(Logged(host, std::string("backup ") + kRunFolder + "-3"));
  EXPECT_NE(host.files[std::string(kRunFolder) + "-3\\manifest.txt"].content.find(
                "folder: SCANPC-20261208T054312Z-3\r\n"),
            std::string::npos);
}

// The last numbered name, -99, is still made; with it taken too, the run makes no folder and
// deletes nothing.
TEST(BackupFolderTest, TheNinetyNinthNameIsTheLast) {
  for (const int lastTaken : {98, 99}) {
    SCOPED_TRACE(lastTaken);
    test::FakeHost host;
    StageMachine(host);
    host.directories.insert(kBackups);
    host.directories.insert(kRunFolder);
    for (int taken = 2; taken <= lastTaken; ++taken) {
      host.directories.insert(std::string(kRunFolder) + "-" + std::to_string(taken));
    }
    const auto registryBefore = host.RegistrySnapshot();
    auto folders = host.directories;

    const int status = PerformRemoval(host, kNoOwner, WithBackup(kBackups));

    const std::string ninetyNinth = std::string(kRunFolder) + "-99";
    if (lastTaken == 98) {
      EXPECT_EQ(status, kExitCompleted);
      // The run's folder, and the folder of the saved files within it.
      folders.insert(ninetyNinth);
      folders.insert(ninetyNinth + "\\files");
      EXPECT_EQ(host.directories, folders);
      EXPECT_TRUE(host.FileExists(ninetyNinth + "\\registry.reg"));
      EXPECT_FALSE(host.FileExists(kInf + "oem7.inf"));
    } else {
      EXPECT_EQ(status, kExitLeft);
      EXPECT_EQ(std::count(host.log.begin(), host.log.end(),
                           std::string("backup: SCANPC-20261208T054312Z and its 98 numbered names "
                                       "are all taken in ") +
                               kBackups),
                1);
      EXPECT_EQ(host.directories, folders);
      ExpectNothingDeleted(host, registryBefore);
    }
  }
}

// A drive's root, with its separator or without, holds the run's folder as any folder does.
TEST(BackupRootTest, ADrivesRootHoldsTheRunsFolder) {
  for (const std::string root : {"C:\\", "C:"}) {
    SCOPED_TRACE(root);
    test::FakeHost host;
    StageMachine(host);
    EXPECT_EQ(PerformRemoval(host, kNoOwner, WithBackup(root)), kExitCompleted);
    EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
    EXPECT_TRUE(host.FileExists("C:\\SCANPC-20261208T054312Z\\registry.reg"));
    EXPECT_NE(std::find(host.log.begin(), host.log.end(), "backup C:\\SCANPC-20261208T054312Z"),
              host.log.end());
    EXPECT_TRUE(host.faults.empty());
  }
}

// A link inside a tree is recorded with its target and neither written nor followed; a key that
// merely holds a value of the name a link keeps its target in is an ordinary key, saved whole with
// its subkeys; string data without its terminating zero is noted, and written with one.
TEST_F(BackupTest, WhatTheFormatCannotCarryIsInTheManifest) {
  host.SetValue("SOFTWARE\\Vendor\\Scanner", "Bare", std::string("a\0b", 3), kRegSz);
  host.AddLink("SOFTWARE\\Vendor\\Scanner\\Shortcut", "SOFTWARE\\Vendor\\Camera");
  host.SetString("SOFTWARE\\Vendor\\Camera", "Model", "Keep");
  const std::string target = Utf16LeBytes(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\Camera");
  host.SetValue("SOFTWARE\\Vendor\\Scanner\\Lookalike", "SymbolicLinkValue", target, kRegLink);
  host.SetString("SOFTWARE\\Vendor\\Scanner\\Lookalike\\Inner", "Kept", "yes");
  // A link whose value the registry lists in another letter case is a link all the same.
  host.AddLink("SOFTWARE\\Vendor\\Scanner\\Lower", "SOFTWARE\\Vendor\\Camera");
  host.FindKey("SOFTWARE\\Vendor\\Scanner\\Lower")->linkValueName = "symboliclinkvalue";

  EXPECT_EQ(Run(), kExitCompleted);

  EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor\\Camera"));
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
  const std::string manifest = Saved("manifest.txt");
  EXPECT_NE(manifest.find("  link HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner\\Shortcut -> "
                          "\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\Camera: recorded here, not in "
                          "registry.reg"),
            std::string::npos)
      << manifest;
  EXPECT_NE(manifest.find("  link HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner\\Lower -> "
                          "\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\Camera: recorded here"),
            std::string::npos)
      << manifest;
  EXPECT_EQ(manifest.find("Lookalike -> "), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("  value HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner \"Bare\": string "
                          "data without its terminating zero, restored with one"),
            std::string::npos)
      << manifest;
  const std::string reg = Saved("registry.reg");
  EXPECT_EQ(reg.find(Utf16LeBytes(u"Shortcut")), std::string::npos);
  EXPECT_EQ(reg.find(Utf16LeBytes(u"Lower")), std::string::npos);
  EXPECT_EQ(reg.find(Utf16LeBytes(u"Model")), std::string::npos);
  EXPECT_NE(reg.find(Utf16LeBytes(u"\"Bare\"=hex(1):61,00,00,00,62,00,00,00\r\n")),
            std::string::npos);
  EXPECT_NE(
      reg.find(Utf16LeBytes(u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner\\Lookalike\\Inner]"
                            u"\r\n\"Kept\"=\"yes\"")),
      std::string::npos);
}

}  // namespace
}  // namespace vorsk
