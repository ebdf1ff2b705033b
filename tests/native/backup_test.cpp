// The backup of a run: its folder, what it keeps of each item before the item goes, and that an
// item whose save fails stays on the machine.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup/backup.h"
#include "backup/reg_file.h"
#include "cleanup/removing.h"
#include "cleanup/saving.h"
#include "cleanup/stages.h"
#include "removal/run.h"
#include "tests/native/machine.h"
#include "text/text.h"

namespace vorsk {
namespace {

using test::kInf;
using test::kScriptPath;

constexpr char kBackups[] = "D:\\backups\\scanners";
constexpr char kRunFolder[] = "D:\\backups\\scanners\\SCANPC-20261208T054312Z";

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
}

class BackupTest : public ::testing::Test {
 protected:
  BackupTest() { StageMachine(host); }

  int Run() {
    RunOptions options;
    options.quiet = true;
    options.backupFolder = kBackups;
    return PerformRemoval(host, kNoOwner, options);
  }

  std::string Saved(const std::string& name) {
    const auto file = host.files.find(std::string(kRunFolder) + "\\" + name);
    return file == host.files.end() ? "(none)" : file->second.content;
  }

  bool LogHas(const std::string& text) const {
    return std::any_of(host.log.begin(), host.log.end(),
                       [&](const std::string& line) { return line == text; });
  }

  test::FakeHost host;
};

TEST_F(BackupTest, EachItemIsSavedBeforeItGoesAndTheRestoreCommandPutsItBack) {
  EXPECT_EQ(Run(), kExitCompleted);

  EXPECT_FALSE(host.FileExists(kInf + "oem7.inf"));
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
  EXPECT_TRUE(host.devices[0].removed);
  // The parent folder was made, the run's own folder in it; the files byte for byte, attributes
  // kept, and the script beside them.
  EXPECT_TRUE(host.directories.count(kBackups));
  EXPECT_EQ(Saved("files\\oem7.inf"), "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
  EXPECT_EQ(host.files[std::string(kRunFolder) + "\\files\\oem7.inf"].attributes,
            kFileAttributeReadOnly | kFileAttributeHidden);
  EXPECT_EQ(Saved("files\\oem7.pnf"), std::string("PNF\0\x01\x02", 6));
  EXPECT_EQ(Saved("Remove417.ini"), host.files[kScriptPath].content);
  // Nothing was deleted before its copy was made.
  const std::vector<std::string> journal = host.journal;
  const auto at = [&](const std::string& line) {
    return std::find(journal.begin(), journal.end(), line) - journal.begin();
  };
  EXPECT_LT(at("copy-file " + kInf + "oem7.inf to " + kRunFolder + "\\files\\oem7.inf"),
            at("deleted-file " + kInf + "oem7.inf"));

  // The tree in the registry editor's format, every key and value of it.
  const std::u16string text = RegFileHeader() +
                              u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner]\r\n\"Path\"=\"C:"
                              u"\\\\Scan \\\"x\\\"\"\r\n\r\n"
                              u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner\\Settings]\r\n"
                              u"\"Color\"=dword:00000001\r\n\r\n";
  EXPECT_EQ(Saved("registry.reg"), RegFileBytes(text));

  const std::string manifest = Saved("manifest.txt");
  for (const std::string& line : std::vector<std::string>{
           "made: 2026-12-08 05:43:12 UTC\r\n", "machine: SCANPC\r\n",
           "script: " + kScriptPath + ", copied as Remove417.ini\r\n",
           "file " + kInf + "oem7.inf: saved as files\\oem7.inf, attributes read-only, hidden\r\n",
           "file " + kInf + "oem7.pnf: saved as files\\oem7.pnf, attributes none\r\n",
           std::string("instance USB\\VID_0000&PID_2206\\5&2B1C3A7&0&1: class "
                       "{00000000-0000-0000-0000-000000000000}, hardware IDs "
                       "USB\\Vid_0000&Pid_2206&Rev_0100; USB\\Vid_0000&Pid_2206"),
           std::string(
               "tree SOFTWARE\\Vendor\\Scanner: saved in registry.reg, 2 keys, 2 values\r\n")}) {
    EXPECT_NE(manifest.find(line), std::string::npos) << line << "\nin\n" << manifest;
  }

  const std::string restore = Saved("restore.cmd");
  for (const std::string& line : std::vector<std::string>{
           // The code page first, the user's back at the end, the computer checked.
           std::string("@echo off\r\nsetlocal EnableExtensions DisableDelayedExpansion\r\n"),
           std::string("\"%SystemRoot%\\System32\\chcp.com\" 1252 >nul 2>&1\r\n"),
           std::string(
               "if /i not \"%~1\"==\"/anycomputer\" if /i not \"%COMPUTERNAME%\"==\"SCANPC\" "),
           // Only into an empty place, or over the same bytes.
           "for %%f in (\"" + kInf + "oem7.inf\") do set \"vorsk_attr=%%~af\"\r\n",
           "if \"%vorsk_state%\"==\"put\" copy \"%~dp0files\\oem7.inf\" \"" + kInf +
               "oem7.inf\" >nul 2>&1\r\nif \"%vorsk_state%\"==\"put\" if errorlevel 1 set "
               "\"vorsk_state=failed\"\r\n",
           "if \"%vorsk_state%\"==\"other\" echo NOT restored: file " + kInf +
               "oem7.inf: another file is in its place\r\n",
           // Then exactly the saved flags, one at a time and all together.
           "\"%SystemRoot%\\System32\\attrib.exe\" +h \"" + kInf +
               "oem7.inf\" >nul 2>&1\r\n\"%SystemRoot%\\System32\\attrib.exe\" +r +h \"" + kInf +
               "oem7.inf\" >nul 2>&1\r\n)\r\n",
           std::string("\"%SystemRoot%\\System32\\reg.exe\" import \"%~dp0registry.reg\" >nul "
                       "2>&1\r\nif errorlevel 1 "),
           std::string("if defined vorsk_page \"%SystemRoot%\\System32\\chcp.com\" %vorsk_page% "
                       ">nul 2>&1\r\nexit /b %failed%\r\n")}) {
    EXPECT_NE(restore.find(line), std::string::npos) << line << "\nin\n" << restore;
  }
  // Every program by its full path: none found through the current folder or PATH.
  for (const char* bare : {"\nattrib ", "\nreg ", "\nchcp ", "\nfc "}) {
    EXPECT_EQ(restore.find(bare), std::string::npos) << bare;
  }
  // Nothing but ASCII before the code page is set.
  const std::string head = restore.substr(0, restore.find("chcp.com\" 1252"));
  EXPECT_TRUE(std::all_of(head.begin(), head.end(), [](char c) { return c > 0 && c < 0x7F; }));
  EXPECT_EQ(restore.find("/reg:32"), std::string::npos);
  EXPECT_EQ(host.OpenHandleCount(), 0u);
  EXPECT_TRUE(host.faults.empty());
}

// On 64-bit Windows the trees come from the 32-bit view, and go back into it; the instances
// that the companion removes are recorded by the program that walked them.
TEST_F(BackupTest, UnderWow64TheTreesGoBackIntoTheViewTheyCameFrom) {
  host.wow64 = true;
  host.companion = test::FakeHost::Companion::Works;

  EXPECT_EQ(Run(), kExitCompleted);

  EXPECT_TRUE(host.devices[0].removed);
  EXPECT_NE(Saved("restore.cmd").find("reg.exe\" import \"%~dp0registry.reg\" /reg:32 >nul"),
            std::string::npos);
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
      {"files\\oem7.inf", true, false, false,
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

    EXPECT_EQ(report.Status(), kExitLeft);
    EXPECT_EQ(host.FileExists(kInf + "oem7.inf"), c.infStays);
    EXPECT_EQ(!host.devices[0].removed, c.instanceStays);
    EXPECT_EQ(host.KeyExists("SOFTWARE\\Vendor\\Scanner\\Settings"), c.treeStays);
    EXPECT_NE(std::find(host.log.begin(), host.log.end(), c.logLine), host.log.end()) << c.logLine;
    EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor\\Camera"));
    EXPECT_EQ(host.OpenHandleCount(), 0u);
  }
}

// A backup folder that cannot be made deletes nothing at all: neither when its parent cannot be
// made, nor when the run's own folder cannot be (a name taken is another matter: see below).
// A folder on the way that is a link (a junction to the system folder, say) is never passed
// through: nothing is made beyond it.
TEST(BackupFolderTest, WithoutItsFolderARunDeletesNothing) {
  for (const std::string& failing :
       {std::string(kBackups), std::string(kRunFolder), std::string("link D:\\backups")}) {
    SCOPED_TRACE(failing);
    test::FakeHost host;
    StageMachine(host);
    if (failing.rfind("link ", 0) == 0) {
      host.reparsePoints.insert(failing.substr(5));
    } else {
      host.failingWrites.insert(failing);
    }
    const auto registryBefore = host.RegistrySnapshot();

    EXPECT_EQ(PerformRemoval(host, kNoOwner, RunOptions{true, false, kBackups}), kExitLeft);

    EXPECT_TRUE(host.FileExists(kInf + "oem7.inf"));
    EXPECT_TRUE(host.FileExists(kInf + "oem7.pnf"));
    EXPECT_FALSE(host.devices[0].removed);
    EXPECT_EQ(host.RegistrySnapshot(), registryBefore);
    EXPECT_EQ(host.standardError,
              std::string("No backup can be made in ") + kBackups + ": nothing was deleted.\n");
    const auto logged = [&](const std::string& line) {
      return std::find(host.log.begin(), host.log.end(), line) != host.log.end();
    };
    EXPECT_TRUE(logged("tree SOFTWARE\\Vendor\\Scanner: left, there is no backup to save it in"));
    if (failing == kRunFolder) {
      EXPECT_TRUE(logged(std::string("backup: the folder ") + kRunFolder +
                         " cannot be made (error 00000005)"));
    }
    if (failing.rfind("link ", 0) == 0) {
      EXPECT_TRUE(
          logged("backup: D:\\backups is a link to another place: no backup is made "
                 "through one"));
      EXPECT_EQ(host.directories.count(kBackups), 0u);
    }
  }
}

// The run's folder gets rights of its own (administrators only, inherited by its files); the
// folders on the way, made for it, keep their parents'.
TEST_F(BackupTest, TheRunFolderBelongsToAdministrators) {
  EXPECT_EQ(Run(), kExitCompleted);

  using Access = Host::FolderAccess;
  EXPECT_EQ(host.folderAccess[kBackups], Access::Inherited);
  EXPECT_EQ(host.folderAccess[kRunFolder], Access::AdministratorsOnly);
  EXPECT_EQ(host.folderAccess[std::string(kRunFolder) + "\\files"], Access::Inherited);
}

// A folder named outside the code page, as the command line gives it (in UTF-8), is made and
// written whole; standard error, in the code page, shows what it can of a name it cannot hold.
TEST(BackupFolderTest, AFolderNamedOutsideTheCodePageIsMadeWhole) {
  const std::string parent = "D:\\acc\\\xE5\xA4\x87\xE4\xBB\xBD \xC3\xBC";  // 备份 ü
  const std::string runFolder = parent + "\\SCANPC-20261208T054312Z";
  test::FakeHost host;
  StageMachine(host);

  EXPECT_EQ(PerformRemoval(host, kNoOwner, RunOptions{true, false, parent}), kExitCompleted);

  EXPECT_FALSE(host.FileExists(kInf + "oem7.inf"));
  EXPECT_TRUE(host.FileExists(runFolder + "\\files\\oem7.inf"));
  EXPECT_TRUE(host.FileExists(runFolder + "\\registry.reg"));
  EXPECT_NE(std::find(host.log.begin(), host.log.end(), "backup " + runFolder), host.log.end());

  test::FakeHost blocked;
  StageMachine(blocked);
  blocked.failingWrites.insert(runFolder);
  EXPECT_EQ(PerformRemoval(blocked, kNoOwner, RunOptions{true, false, parent}), kExitLeft);
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

  EXPECT_TRUE(
      LogHas("tree SOFTWARE\\Vendor\\Kamera\xC3\xA4: left, it cannot be saved in the "
             "backup: HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Kamera\xC3\xA4\\\xC3\x9C "
             "cannot be opened (error 00000005)"));
  EXPECT_TRUE(LogHas("tree SOFTWARE\\Vendor\\Sc\xC3\xA4nner: saved in the backup, 1 key"));
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
  EXPECT_TRUE(LogHas(std::string("backup ") + kRunFolder + "-3"));
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

    const int status = PerformRemoval(host, kNoOwner, RunOptions{true, false, kBackups});

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
      EXPECT_TRUE(host.FileExists(kInf + "oem7.inf"));
      EXPECT_TRUE(host.FileExists(kInf + "oem7.pnf"));
      EXPECT_FALSE(host.devices[0].removed);
      EXPECT_EQ(host.RegistrySnapshot(), registryBefore);
    }
  }
}

// A link inside a tree is recorded with its target and neither written nor followed; string data
// without its terminating zero is noted, and written with one.
TEST_F(BackupTest, WhatTheFormatCannotCarryIsInTheManifest) {
  host.SetValue("SOFTWARE\\Vendor\\Scanner", "Bare", std::string("a\0b", 3), kRegSz);
  host.AddLink("SOFTWARE\\Vendor\\Scanner\\Shortcut", "SOFTWARE\\Vendor\\Camera");
  host.SetString("SOFTWARE\\Vendor\\Camera", "Model", "Keep");

  EXPECT_EQ(Run(), kExitCompleted);

  EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor\\Camera"));
  const std::string manifest = Saved("manifest.txt");
  EXPECT_NE(manifest.find("  link HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner\\Shortcut -> "
                          "\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\Camera: recorded here, not in "
                          "registry.reg"),
            std::string::npos)
      << manifest;
  EXPECT_NE(manifest.find("  value HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner \"Bare\": string "
                          "data without its terminating zero, restored with one"),
            std::string::npos)
      << manifest;
  const std::string reg = Saved("registry.reg");
  EXPECT_EQ(reg.find(Utf16LeBytes(u"Shortcut")), std::string::npos);
  EXPECT_EQ(reg.find(Utf16LeBytes(u"Model")), std::string::npos);
  EXPECT_NE(reg.find(Utf16LeBytes(u"\"Bare\"=hex(1):61,00,00,00,62,00,00,00\r\n")),
            std::string::npos);
}

// A double-byte character of code page 936 is written whole: its trail byte ('^' in 乛, bytes 81
// 5E; '|'; '\\') is no character of its own, and escaping it would swallow the escape or split
// the character. Elsewhere the same bytes are separate characters.
TEST(BackupTextTest, CommandFilesTakeTextAsWritten) {
  const LeadByteTest none = [](unsigned char) { return false; };
  const LeadByteTest gbk = [](unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; };
  struct Case {
    const char* text;
    const LeadByteTest* isLead;
    const char* quoted;
    const char* escaped;
  };
  const Case cases[] = {
      {"C:\\100% (x)&y|<>^\"", &none, "\"C:\\100%% (x)&y|<>^\"\"", "C:\\100%% ^(x^)^&y^|^<^>^^^\""},
      {"a\x81^b|\x81|\x81\\%&", &gbk, "\"a\x81^b|\x81|\x81\\%%&\"", "a\x81^b^|\x81|\x81\\%%^&"},
      {"a\x81^b|\x81|\x81\\%&", &none, "\"a\x81^b|\x81|\x81\\%%&\"", "a\x81^^b^|\x81^|\x81\\%%^&"},
      // A lead byte that ends the text stands alone.
      {"x\x81", &gbk, "\"x\x81\"", "x\x81"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CommandQuoted(c.text, *c.isLead), c.quoted);
    EXPECT_EQ(CommandText(c.text, *c.isLead), c.escaped);
  }
}

}  // namespace
}  // namespace vorsk
