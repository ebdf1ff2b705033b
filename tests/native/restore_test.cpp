// Putting a backup back, /restore: what it trusts, what it checks, where it writes and where it
// never does, and what it says.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup/backup.h"
#include "backup/manifest.h"
#include "digest/sha256.h"
#include "host/handles.h"
#include "removal/run.h"
#include "report/exit_status.h"
#include "restore/restore.h"
#include "tests/native/machine.h"

namespace vorsk {
namespace {

using test::FakeHost;
using test::kInf;
using test::kScriptPath;

constexpr char kRun[] = "D:\\backups\\SCANPC-20261208T054312Z";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kInfText[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";

// A machine with the driver's two files, a listed tree of every kind of value below a vendor key
// and a service reached through the running control set, and one instance.
void StageMachine(FakeHost& host) {
  // The running control set is a link to the first, as the platform keeps it.
  host.AddLink("SYSTEM\\CurrentControlSet", "SYSTEM\\ControlSet001");
  std::string classKey(kImageClassKey);
  classKey.replace(classKey.find("CurrentControlSet"), 17, "ControlSet001");
  test::AddDriverEntry(host, classKey, "0003", "usb\\vid_0000&pid_2206", "oem7.inf");
  host.AddFile(kInf + "oem7.inf", kInfText, kFileAttributeReadOnly | kFileAttributeHidden);
  host.AddFile(kInf + "oem7.pnf", std::string("PNF\0\x01", 5));
  host.AddDevice("USB\\VID_0000&PID_2206\\1", {"USB\\Vid_0000&Pid_2206"});
  host.SetString("SOFTWARE\\Vendor\\Scanner", "Path", "C:\\Scan & 100% (x)");
  host.SetValue("SOFTWARE\\Vendor\\Scanner\\Settings", "Color", std::string("\x01\0\0\0", 4),
                kRegDword);
  host.SetValue("SOFTWARE\\Vendor\\Scanner\\Settings", "Blob", std::string("\0\xff", 2),
                kRegBinary);
  host.SetValue("SOFTWARE\\Vendor\\Scanner\\Settings", "List", std::string("a\0b\0\0", 5),
                kRegMultiSz);
  host.SetValue("SOFTWARE\\Vendor\\Scanner\\Settings", "Big", std::string(8, '\x07'), kRegQword);
  host.AddKey("SOFTWARE\\Vendor\\Scanner\\Empty");
  host.SetString("SYSTEM\\ControlSet001\\Services\\VendorScan", "ImagePath", "vscan.sys");
  host.SetString(kRunKey, "Other", "C:\\other.exe");
  host.AddFile(kScriptPath,
               "[RemoveInf]\nImage0=usb\\vid_0000&pid_2206\n[CurrentDev]\nDevNo=1\n"
               "[1PIDVID]\nNum1=USB\\Vid_0000&Pid_2206\n"
               "[1KEY]\nNum=2\nNum1=SOFTWARE\\Vendor\\Scanner\n"
               "Num2=SYSTEM\\CurrentControlSet\\Services\\VendorScan\n");
  host.directories.insert("C:\\WINDOWS\\Inf");
  host.directories.insert("D:\\backups");
  host.AddPrograms();
}

// The machine's files and registry, as a restore must give them back: a file's bytes and its
// read-only, hidden and system flags (the platform sets the archive flag of any file it writes).
struct Picture {
  std::vector<std::string> registry;
  std::vector<std::string> infFolder;
};

Picture PictureOf(const FakeHost& host) {
  Picture picture;
  for (const std::string& line : host.RegistrySnapshot()) {
    if (line.rfind("SOFTWARE\\vorsk", 0) != 0) {  // the backups' record, which stays
      picture.registry.push_back(line);
    }
  }
  for (const auto& [path, file] : host.files) {
    if (path.rfind(kInf, 0) == 0) {
      picture.infFolder.push_back(path + " " + file.content + " " +
                                  std::to_string(file.attributes & 7));
    }
  }
  return picture;
}

RestoreOptions Restoring(bool list = false, bool anyComputer = false) {
  RestoreOptions options;
  options.folder = kRun;
  options.list = list;
  options.anyComputer = anyComputer;
  return options;
}

class RestoreTest : public ::testing::Test {
 protected:
  RestoreTest() {
    StageMachine(host);
    before = PictureOf(host);
    RunOptions options;
    options.quiet = true;
    options.backupFolder = "D:\\backups";
    EXPECT_EQ(PerformRemoval(host, kNoOwner, options), kExitCompleted);
    EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
    EXPECT_FALSE(host.KeyExists("SYSTEM\\ControlSet001\\Services\\VendorScan"));
    host.standardOutput.clear();
    host.log.clear();
  }

  int Restore(bool list = false, bool anyComputer = false) {
    host.standardOutput.clear();
    return PerformRestore(host, kNoOwner, Restoring(list, anyComputer));
  }

  bool Said(const std::string& line) const {
    return host.standardOutput.find(line + "\n") != std::string::npos;
  }

  std::string& Saved(const std::string& name) {
    return host.files[std::string(kRun) + "\\" + name].content;
  }

  FakeHost host;
  Picture before;
};

// The round trip: every file, every value type and name back as it was; a second restore, and a
// listing, find everything there and change nothing.
TEST_F(RestoreTest, PutsBackExactlyWhatTheRunTookAndThenFindsItThere) {
  const Picture removed = PictureOf(host);
  EXPECT_EQ(Restore(true), kExitLeft);
  EXPECT_TRUE(Said("tree SOFTWARE\\Vendor\\Scanner: would be restored, 3 keys, 5 values"));
  EXPECT_TRUE(Said("file " + kInf + "oem7.inf: would be restored"));
  EXPECT_EQ(PictureOf(host).registry, removed.registry);
  EXPECT_EQ(PictureOf(host).infFolder, removed.infFolder);

  EXPECT_EQ(Restore(), kExitCompleted);

  EXPECT_TRUE(Said("backup " + std::string(kRun) +
                   ": trusted, its manifest is the one recorded on this computer"));
  EXPECT_TRUE(Said("file " + kInf + "oem7.inf: restored"));
  EXPECT_TRUE(
      Said("tree SYSTEM\\CurrentControlSet\\Services\\VendorScan: restored, 1 key, 1 value"));
  EXPECT_TRUE(
      Said("instances: not put back by a restore: plugging the device in again "
           "reinstalls them (manifest.txt lists them)"));
  EXPECT_EQ(PictureOf(host).registry, before.registry);
  EXPECT_EQ(PictureOf(host).infFolder, before.infFolder);

  for (const bool list : {false, true}) {
    EXPECT_EQ(Restore(list), kExitCompleted);
    EXPECT_TRUE(Said("tree SOFTWARE\\Vendor\\Scanner: there"));
    EXPECT_TRUE(Said("file " + kInf + "oem7.pnf: there"));
    EXPECT_EQ(PictureOf(host).registry, before.registry);
  }
  EXPECT_EQ(host.OpenHandleCount(), 0u);
  EXPECT_TRUE(host.faults.empty());
}

// A backup is trusted when its manifest is the one this computer recorded; otherwise it is
// refused (status 1, nothing restored) unless the person vouches for it with /anycomputer. A
// record that another account could have written proves nothing.
TEST_F(RestoreTest, OnlyARecordedManifestIsTrustedWithoutAPersonVouching) {
  struct Case {
    const char* what;
    std::function<void(FakeHost&, std::string& manifest)> change;
    std::string refusal;
  };
  const std::string recordKey = "SOFTWARE\\vorsk\\Backups";
  const std::vector<Case> cases = {
      {"a manifest changed",
       [](FakeHost&, std::string& m) { m.replace(m.find("SCANPC"), 6, "SCANPD"); },
       "the manifest is not the one recorded for SCANPC-20261208T054312Z on this computer"},
      {"made on another computer (no record)",
       [&](FakeHost& h, std::string&) { h.FindKey(recordKey)->values.clear(); },
       "no backup named SCANPC-20261208T054312Z is recorded on this computer"},
      {"a record that users may write",
       [&](FakeHost& h, std::string&) {
         SecurityFacts open;
         open.owner = "S-1-5-32-544";
         open.entries = {{true, false, kKeySetValue, "S-1-5-32-545"}};
         h.FindKey(recordKey)->security = open;
       },
       "SOFTWARE\\vorsk\\Backups could be written by another account (S-1-5-32-545 may write "
       "in it)"},
      {"a record key that is a link",
       [&](FakeHost& h, std::string&) {
         h.registry.subkeys["SOFTWARE"]->subkeys.erase("vorsk");
         h.AddLink("SOFTWARE\\vorsk", "SOFTWARE\\Vendor");
       },
       "SOFTWARE\\vorsk is a symbolic link"},
  };
  const Picture removed = PictureOf(host);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost copy;
    StageMachine(copy);
    RunOptions options;
    options.quiet = true;
    options.backupFolder = "D:\\backups";
    ASSERT_EQ(PerformRemoval(copy, kNoOwner, options), kExitCompleted);
    c.change(copy, copy.files[std::string(kRun) + "\\manifest.txt"].content);
    const Picture taken = PictureOf(copy);

    EXPECT_EQ(PerformRestore(copy, kNoOwner, Restoring()), kExitNothingRun);
    EXPECT_EQ(copy.standardError, "The backup " + std::string(kRun) + " is refused: " + c.refusal +
                                      "; give /anycomputer to restore it if you vouch for the "
                                      "folder\n");
    EXPECT_EQ(PictureOf(copy).registry, taken.registry);

    EXPECT_EQ(PerformRestore(copy, kNoOwner, Restoring(false, true)), kExitCompleted);
    EXPECT_NE(copy.standardOutput.find("backup " + std::string(kRun) +
                                       ": vouched for with /anycomputer (" + c.refusal + ")"),
              std::string::npos);
    EXPECT_EQ(PictureOf(copy).registry, before.registry);
  }
  EXPECT_EQ(PictureOf(host).registry, removed.registry);
}

// Each saved file is checked against the manifest's digest as it is read: one that differs is
// named and not used, the rest go back (status 3).
TEST_F(RestoreTest, ASavedFileThatDiffersIsNamedAndNotUsed) {
  Saved("files\\1") += "planted";
  Saved("registry.reg") += std::string("\0\0", 2);

  EXPECT_EQ(Restore(), kExitLeft);

  EXPECT_TRUE(Said("file " + kInf +
                   "oem7.inf: NOT restored, its saved copy files\\1 is not the one the manifest "
                   "describes"));
  EXPECT_TRUE(
      Said("the registry trees: NOT restored, its saved copy registry.reg is not the one "
           "the manifest describes"));
  EXPECT_FALSE(host.FileExists(kInf + "oem7.inf"));
  EXPECT_TRUE(host.FileExists(kInf + "oem7.pnf"));
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
}

// A manifest vouched for whose file line lost its digest: that file is not used; the rest goes.
TEST_F(RestoreTest, AFileWithoutItsDigestIsNotUsed) {
  std::string& manifest = Saved("manifest.txt");
  const std::size_t line = manifest.find("file " + kInf + "oem7.inf");
  const std::size_t digest = manifest.find(", sha256 ", line);
  manifest.erase(digest, manifest.find("\r\n", digest) - digest);

  EXPECT_EQ(Restore(false, true), kExitLeft);

  EXPECT_TRUE(Said("file " + kInf +
                   "oem7.inf: NOT restored, the manifest gives its saved copy files\\1 no digest"));
  EXPECT_TRUE(Said("file " + kInf + "oem7.pnf: restored"));
}

// A tree that came back changed (the same keys and value names, other data) is there only once
// its values are the saved ones: the restore writes them again.
TEST_F(RestoreTest, ATreeIsThereOnlyWithItsSavedData) {
  ASSERT_EQ(Restore(), kExitCompleted);
  host.SetString("SOFTWARE\\Vendor\\Scanner", "Path", "C:\\elsewhere");
  host.SetValue("SOFTWARE\\Vendor\\Scanner\\Settings", "Color", std::string("\x02\0\0\0", 4),
                kRegDword);

  EXPECT_EQ(Restore(), kExitCompleted);

  EXPECT_TRUE(Said("tree SOFTWARE\\Vendor\\Scanner: restored, 3 keys, 5 values"));
  EXPECT_EQ(PictureOf(host).registry, before.registry);
}

// A link made in a tree's place between the removal and the restore, on its path, at its root or
// inside it, keeps that tree out (status 3): nothing is ever written through a link, wherever it
// leads (here, the Run key).
TEST_F(RestoreTest, NothingIsWrittenThroughALink) {
  struct Case {
    const char* link;
    std::string said;
  };
  const Case cases[] = {
      {"SOFTWARE\\Vendor",
       "tree SOFTWARE\\Vendor\\Scanner: NOT restored, a symbolic link on its path "
       "(SOFTWARE\\Vendor): nothing is written through one"},
      {"SOFTWARE\\Vendor\\Scanner",
       "tree SOFTWARE\\Vendor\\Scanner: NOT restored, a symbolic link on its path "
       "(SOFTWARE\\Vendor\\Scanner): nothing is written through one"},
      {"SOFTWARE\\Vendor\\Scanner\\Settings",
       "tree SOFTWARE\\Vendor\\Scanner: NOT restored, a symbolic link inside it "
       "(SOFTWARE\\Vendor\\Scanner\\Settings): nothing is written through one"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    FakeHost copy;
    StageMachine(copy);
    RunOptions options;
    options.quiet = true;
    options.backupFolder = "D:\\backups";
    ASSERT_EQ(PerformRemoval(copy, kNoOwner, options), kExitCompleted);
    copy.AddLink(c.link, kRunKey);
    const std::vector<std::string> runKey = [&] {
      std::vector<std::string> lines;
      for (const auto& [name, value] : copy.FindKey(kRunKey)->values) {
        lines.push_back(name + "=" + value.data);
      }
      return lines;
    }();

    EXPECT_EQ(PerformRestore(copy, kNoOwner, Restoring()), kExitLeft);

    EXPECT_NE(copy.standardOutput.find(c.said + "\n"), std::string::npos) << copy.standardOutput;
    EXPECT_EQ(copy.FindKey(kRunKey)->values.size(), runKey.size());
    EXPECT_TRUE(copy.FindKey(kRunKey)->subkeys.empty());
    // The other tree goes back.
    EXPECT_TRUE(copy.KeyExists("SYSTEM\\ControlSet001\\Services\\VendorScan"));
    EXPECT_EQ(PerformRestore(copy, kNoOwner, Restoring(true)), kExitLeft);
  }
}

// A file goes back only where its place is empty, or holds the same bytes (then it gets exactly
// its saved flags); never over another file or a folder, and only into this computer's INF
// folder, whatever a manifest says.
TEST_F(RestoreTest, AFileGoesBackOnlyIntoAnEmptyPlace) {
  host.AddFile(kInf + "oem7.inf", "another driver's");
  host.AddFile(kInf + "oem7.pnf", std::string("PNF\0\x01", 5),
               kFileAttributeReadOnly | kFileAttributeArchive);

  EXPECT_EQ(Restore(), kExitLeft);

  EXPECT_TRUE(Said("file " + kInf + "oem7.inf: NOT restored, another file is in its place"));
  EXPECT_TRUE(Said("file " + kInf + "oem7.pnf: restored, its attributes"));
  EXPECT_EQ(host.files[kInf + "oem7.inf"].content, "another driver's");
  EXPECT_EQ(host.files[kInf + "oem7.pnf"].attributes, kFileAttributeArchive);

  host.files.erase(kInf + "oem7.inf");
  host.directories.insert(kInf + "oem7.inf");
  EXPECT_EQ(Restore(), kExitLeft);
  EXPECT_TRUE(Said("file " + kInf + "oem7.inf: NOT restored, a folder is in its place"));

  // A manifest vouched for that names another folder puts nothing there.
  std::string& manifest = Saved("manifest.txt");
  manifest.replace(manifest.find("file " + kInf + "oem7.inf"), 5 + kInf.size() + 8,
                   "file C:\\WINDOWS\\System32\\evil.dll");
  EXPECT_EQ(Restore(false, true), kExitLeft);
  EXPECT_TRUE(
      Said("file C:\\WINDOWS\\System32\\evil.dll: NOT restored, it is no file of this "
           "computer's INF folder"));
  EXPECT_FALSE(host.FileExists("C:\\WINDOWS\\System32\\evil.dll"));
}

// What the removal's rules refuse (a key of the platform's own) does not limit what goes back: a
// restore puts back what a backup took, here the Run key itself, saved by hand.
TEST(RestoreTreeTest, APlatformKeyGoesBackAsSaved) {
  FakeHost host;
  StageMachine(host);
  RunReport report(host, kNoOwner, true);
  {
    Backup backup(host, report);
    backup.Begin("D:\\backups", kScriptPath);
    unique_hkey run(host);
    ASSERT_EQ(host.RegOpenKeyNoFollowA(kLocalMachine, kRunKey, kKeyRead, run.put()), kErrorSuccess);
    ASSERT_TRUE(backup.SaveTree(run.get(), kRunKey));
    backup.End();
  }
  host.FindKey(kRunKey)->values.clear();

  EXPECT_EQ(PerformRestore(host, kNoOwner, Restoring()), kExitCompleted);

  EXPECT_EQ(host.FindKey(kRunKey)->values.at("Other").data, std::string("C:\\other.exe") + '\0');
  EXPECT_EQ(host.OpenHandleCount(), 0u);
}

// A driver package comes back through the platform's own call, from a folder of the run's own
// put together from the saved, checked bytes; the platform publishes it under a name of its
// choosing, which the restore names. On 64-bit Windows the companion adds it.
TEST(RestorePackageTest, ThePlatformPublishesThePackageAgain) {
  for (const bool wow64 : {false, true}) {
    SCOPED_TRACE(wow64 ? "64-bit Windows" : "32-bit Windows");
    FakeHost host;
    StageMachine(host);
    host.files.erase(kInf + "oem7.inf");
    host.files.erase(kInf + "oem7.pnf");
    host.AddPackage("oem7.inf", "vorskscan.inf_x86_1", kInfText);
    host.directories.insert("C:\\WINDOWS\\Temp");
    host.wow64 = wow64;
    host.companion = FakeHost::Companion::Works;
    RunOptions options;
    options.quiet = true;
    options.backupFolder = "D:\\backups";
    ASSERT_EQ(PerformRemoval(host, kNoOwner, options), kExitCompleted);
    ASSERT_TRUE(host.packages.empty());
    host.AddFile(kInf + "oem0.inf", "another package's");

    EXPECT_EQ(PerformRestore(host, kNoOwner, Restoring()), kExitCompleted);

    EXPECT_NE(host.standardOutput.find("package oem7.inf: restored, published as oem1.inf\n"),
              std::string::npos)
        << host.standardOutput;
    ASSERT_EQ(host.packages.size(), 1u);
    EXPECT_EQ(host.files[host.packages[0].storeInf].content, kInfText);
    EXPECT_EQ(host.files[kInf + "oem1.inf"].content, kInfText);
    // On 64-bit Windows one task of the companion (the removal's came first).
    const std::vector<std::string> tasks = host.JournalOf("task");
    ASSERT_EQ(tasks.size(), wow64 ? 3u : 0u);
    if (wow64) {
      EXPECT_EQ(tasks[2].rfind("add C:\\WINDOWS\\Temp\\vorsk-restore-", 0), 0u) << tasks[2];
      EXPECT_EQ(host.JournalOf("end").size(), 2u);
    }
    // The folder it was added from is gone, and nothing of the run's is left open.
    EXPECT_EQ(std::count_if(host.directories.begin(), host.directories.end(),
                            [](const std::string& d) {
                              return d.find("vorsk-restore") != std::string::npos;
                            }),
              0);
    EXPECT_EQ(host.OpenHandleCount(), 0u);

    host.standardOutput.clear();
    EXPECT_EQ(PerformRestore(host, kNoOwner, Restoring()), kExitCompleted);
    EXPECT_NE(host.standardOutput.find("package oem7.inf: there, published as oem1.inf\n"),
              std::string::npos);
  }
}

// A store file that differs from the manifest keeps the package out: nothing is added.
TEST(RestorePackageTest, APackageIsAddedOnlyFromCheckedBytes) {
  FakeHost host;
  StageMachine(host);
  host.files.erase(kInf + "oem7.inf");
  host.files.erase(kInf + "oem7.pnf");
  host.AddPackage("oem7.inf", "vorskscan.inf_x86_1", kInfText);
  host.directories.insert("C:\\WINDOWS\\Temp");
  RunOptions options;
  options.quiet = true;
  options.backupFolder = "D:\\backups";
  ASSERT_EQ(PerformRemoval(host, kNoOwner, options), kExitCompleted);
  host.files[std::string(kRun) + "\\files\\store\\1\\1"].content = "MZ planted";

  EXPECT_EQ(PerformRestore(host, kNoOwner, Restoring()), kExitLeft);

  EXPECT_NE(host.standardOutput.find("package oem7.inf: NOT restored, its saved copy "
                                     "files\\store\\1\\1 is not the one the manifest describes\n"),
            std::string::npos)
      << host.standardOutput;
  EXPECT_TRUE(host.packages.empty());
  EXPECT_TRUE(host.JournalOf("copy-oem-inf").empty());
}

// A backup that cannot be read is refused with the reason, and the restore takes the run lock.
TEST(RestoreRefusalTest, WhatIsNoBackupIsRefused) {
  FakeHost host;
  StageMachine(host);
  EXPECT_EQ(PerformRestore(host, kNoOwner, Restoring()), kExitNothingRun);
  EXPECT_EQ(host.standardError, "The backup " + std::string(kRun) +
                                    " is refused: its folder cannot be opened (error 00000002)\n");

  host.directories.insert(kRun);
  for (const auto& [text, why] :
       {std::pair{std::string("not a manifest"), "it is no manifest of a backup of vorsk"},
        std::pair{
            std::string("vorsk backup\r\nfile C:\\x: saved as ..\\..\\x, attributes none\r\n"),
            "its line 2 cannot be read"},
        std::pair{std::string("vorsk backup\r\nend\r\nfile C:\\x: saved as files\\1, attributes "
                              "none\r\n"),
                  "its line 3 cannot be read"}}) {
    host.AddFile(std::string(kRun) + "\\manifest.txt", text);
    host.standardError.clear();
    EXPECT_EQ(PerformRestore(host, kNoOwner, Restoring(false, true)), kExitNothingRun);
    EXPECT_EQ(host.standardError, "The backup " + std::string(kRun) +
                                      " is refused: its manifest.txt cannot be read: " + why +
                                      "\n");
  }
  host.runLock = RunLock::TimedOut;
  EXPECT_EQ(PerformRestore(host, kNoOwner, Restoring()), kExitAnotherRun);
  EXPECT_EQ(host.OpenHandleCount(), 0u);
}

// An earlier vorsk's backup (no folder line, no digests, files under their real names) restores
// when the person vouches for it.
TEST(RestoreRefusalTest, AnEarlierBackupRestoresWhenVouchedFor) {
  FakeHost host;
  StageMachine(host);
  host.files.erase(kInf + "oem7.inf");
  host.directories.insert(kRun);
  host.directories.insert(std::string(kRun) + "\\files");
  host.AddFile(std::string(kRun) + "\\files\\oem7.inf", kInfText);
  host.AddFile(std::string(kRun) + "\\manifest.txt",
               "vorsk backup\r\nmade: 2026-12-01 05:43:12 UTC\r\nmachine: SCANPC\r\nsaved:\r\n"
               "file " +
                   kInf + "oem7.inf: saved as files\\oem7.inf, attributes read-only\r\n");

  EXPECT_EQ(PerformRestore(host, kNoOwner, Restoring()), kExitNothingRun);
  EXPECT_EQ(PerformRestore(host, kNoOwner, Restoring(false, true)), kExitCompleted);

  EXPECT_EQ(host.files[kInf + "oem7.inf"].content, kInfText);
  EXPECT_EQ(host.files[kInf + "oem7.inf"].attributes & 7, kFileAttributeReadOnly);
  EXPECT_NE(host.standardOutput.find("vouched for with /anycomputer (an earlier vorsk made it, "
                                     "without a record)"),
            std::string::npos);
}

}  // namespace
}  // namespace vorsk
