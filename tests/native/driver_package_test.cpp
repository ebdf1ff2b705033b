// The driver's package: what the platform holds for the published INF decides what goes, first the
// package through the platform's uninstall, then whatever of the two files is still there.
#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "companion/protocol.h"
#include "digest/sha256.h"
#include "removal/run.h"
#include "report/exit_status.h"
#include "tests/native/machine.h"

namespace vorsk {
namespace {

using test::FakeHost;
using test::kInf;
using test::kScriptPath;

constexpr char kFolder[] = "vorskscan.inf_x86_1a2b3c4d";
constexpr char kContent[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
const std::string kStore = "C:\\WINDOWS\\System32\\DriverStore\\FileRepository\\";

// The typical road with a driver that a vendor's setup installed: its package staged in the
// store (its INF, its driver, its catalog) and published as oem7.inf with its PNF.
void StageMachine(FakeHost& host) {
  test::AddDriverEntry(host, kImageClassKey, "0003", "usb\\vid_0000&pid_2206", "oem7.inf");
  host.AddDevice("USB\\VID_0000&PID_2206\\5&2B1C3A7&0&1",
                 {"USB\\Vid_0000&Pid_2206&Rev_0100", "USB\\Vid_0000&Pid_2206"});
  host.AddFile(kScriptPath,
               "[RemoveInf]\nImage0=usb\\vid_0000&pid_2206\n[CurrentDev]\nDevNo=1\n"
               "[1PIDVID]\nNum1=USB\\Vid_0000&Pid_2206\n");
  host.directories.insert("C:\\WINDOWS\\Inf");
  host.directories.insert("D:\\backups");
  host.AddPrograms();
}

bool Logged(const FakeHost& host, const std::string& text) {
  return std::any_of(host.log.begin(), host.log.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

struct Road {
  const char* name;
  std::function<void(FakeHost&)> stage;
  int status;
  bool packageGone;  // its store folder and catalog were there, and are gone
  bool infGone;
  bool pnfGone;
  std::string logged;
  std::size_t boxes;
};

// Each way the platform may hold the package, on 32-bit Windows (the run calls the platform) and
// under WOW64 (the companion does, and only it).
TEST(DriverPackageTest, WhatThePlatformHoldsDecidesWhatGoes) {
  const auto staged = [](FakeHost& host) { host.AddPackage("oem7.inf", kFolder, kContent); };
  const auto handCopied = [](FakeHost& host) {
    host.AddDriverStore();
    host.AddFile(kInf + "oem7.inf", kContent);
    host.AddFile(kInf + "oem7.pnf", "PNF");
  };
  const Road roads[] = {
      {"the platform names its store folder",
       [&](FakeHost& host) {
         staged(host);
         host.storeLocationKnown = true;
       },
       kExitCompleted, true, true, true,
       "\\DriverStore\\FileRepository\\" + std::string(kFolder) +
           " (the platform names its store folder)",
       0},
      {"its INF in the store is the published one", staged, kExitCompleted, true, true, true,
       "file C:\\WINDOWS\\Inf\\oem7.pnf: deleted with its package", 0},
      {"in use by a device: the force flag takes it all the same",
       [&](FakeHost& host) {
         staged(host);
         host.packages.back().usedByDevice = true;
       },
       kExitCompleted, true, true, true, "package oem7.inf: uninstalled", 0},
      {"an uninstall that answers success but keeps a held file of the store is left",
       [&](FakeHost& host) {
         staged(host);
         host.packages.back().fileHeldOpen = true;
       },
       kExitLeft, false, true, true, "is still there", 0},
      {"an uninstall that fails keeps the package and both files",
       [&](FakeHost& host) {
         staged(host);
         host.uninstallFailure = kErrorAccessDenied;
       },
       kExitLeft, false, false, false, "package oem7.inf: left (error 00000005)", 0},
      {"the platform's own package is refused, not left",
       [&](FakeHost& host) {
         staged(host);
         host.packages.back().platformOwn = true;
       },
       kExitCompleted, false, false, false, "package oem7.inf: refused, the platform's own driver",
       0},
      {"a hand-copied INF, which no package holds, goes as a file", handCopied, kExitCompleted,
       false, true, true, "package oem7.inf: not uninstalled (error e000023c), the files go alone",
       0},
      {"a file the platform protects is never deleted",
       [&](FakeHost& host) {
         handCopied(host);
         host.protectedFiles.insert(kInf + "oem7.inf");
       },
       kExitCompleted, false, false, true,
       "file C:\\WINDOWS\\Inf\\oem7.inf: refused, the platform protects it", 0},
      {"without a store, the platform's uninstall takes the files",
       [](FakeHost& host) {
         host.AddFile(kInf + "oem7.inf", kContent);
         host.AddFile(kInf + "oem7.pnf", "PNF");
         host.packages.push_back({"oem7.inf", "", "", ""});
       },
       kExitCompleted, false, true, true, "package oem7.inf: no driver store on this machine", 0},
      {"half-removed: the database names the package, whose INF is put back to uninstall it",
       [&](FakeHost& host) {
         host.AddPackage("oem7.inf", kFolder, kContent, false);
         host.AddFile(kInf + "oem7.pnf", "PNF");
         host.AddDatabaseEntry("oem7.inf", kFolder);
       },
       kExitCompleted, true, true, true, "file C:\\WINDOWS\\Inf\\oem7.inf: put back from the store",
       0},
      {"half-removed: the INF put back goes with its package, as the uninstall took it",
       [&](FakeHost& host) {
         host.AddPackage("oem7.inf", kFolder, kContent, false);
         host.AddDatabaseEntry("oem7.inf", kFolder);
       },
       kExitCompleted, true, true, true,
       "file C:\\WINDOWS\\Inf\\oem7.inf: deleted with its package", 1},
      {"half-removed, the uninstall fails: the INF put back goes again, the package stays",
       [&](FakeHost& host) {
         host.AddPackage("oem7.inf", kFolder, kContent, false);
         host.AddFile(kInf + "oem7.pnf", "PNF");
         host.AddDatabaseEntry("oem7.inf", kFolder);
         host.uninstallFailure = kErrorAccessDenied;
       },
       kExitLeft, false, true, false, "package oem7.inf: left (error 00000005)", 0},
      {"another folder named for the INF it holds, of the published bytes: cannot tell which",
       [&](FakeHost& host) {
         staged(host);
         host.directories.insert(kStore + "aaadecoy.inf_1");
         host.AddFile(kStore + "aaadecoy.inf_1\\aaadecoy.inf", kContent);
       },
       kExitLeft, false, false, false, "package oem7.inf: cannot tell: 2 folders hold its INF", 0},
      {"a folder named for another INF is never the package, whatever it holds",
       [&](FakeHost& host) {
         staged(host);
         host.directories.insert(kStore + "aaadecoy.inf_1");
         host.AddFile(kStore + "aaadecoy.inf_1\\vorskscan.inf", kContent);
         host.directories.insert(kStore + "aaaother");
         host.AddFile(kStore + "aaaother\\aaaother.inf", kContent);
       },
       kExitCompleted, true, true, true,
       "\\FileRepository\\vorskscan.inf_x86_1a2b3c4d (its INF in the store is the published one)",
       0},
      {"the store's other packages, their INFs smaller or larger, are not it; a larger is not read",
       [&](FakeHost& host) {
         staged(host);
         host.AddPackage("oem8.inf", "aaasmall.inf_1", "[Version]\r\n", false);
         host.AddPackage("oem9.inf", "zzzlarge.inf_1",
                         std::string(kContent) + std::string(1 << 20, ';'), false);
       },
       kExitCompleted, true, true, true, "(its INF in the store is the published one)", 0},
      {"an INF of the store that is a link, or a name that is no INF's, is never read",
       [&](FakeHost& host) {
         staged(host);
         host.directories.insert(kStore + "aaalinked.inf_1");
         host.AddFile(kStore + "aaalinked.inf_1\\aaalinked.inf", kContent,
                      kFileAttributeArchive | kFileAttributeReparsePoint);
         host.directories.insert(kStore + ".inf_1");
         host.AddFile(kStore + ".inf_1\\.inf", kContent);
       },
       kExitCompleted, true, true, true, "(its INF in the store is the published one)", 0},
      {"a link among the store's folders is never followed",
       [&](FakeHost& host) {
         staged(host);
         host.directories.insert(kStore + "aaalink.inf_1");
         host.reparsePoints.insert(kStore + "aaalink.inf_1");
         host.AddFile(kStore + "aaalink.inf_1\\aaalink.inf", kContent);
       },
       kExitCompleted, true, true, true, "(its INF in the store is the published one)", 0},
      {"a store that cannot be read: cannot tell, nothing goes",
       [&](FakeHost& host) {
         staged(host);
         host.deniedPaths.insert(kStore.substr(0, kStore.size() - 1));
       },
       kExitLeft, false, false, false,
       "package oem7.inf: cannot tell: the driver store cannot be read (error 00000005)", 0},
      {"a published INF that cannot be read: cannot tell, nothing goes",
       [&](FakeHost& host) {
         staged(host);
         host.deniedPaths.insert(kInf + "oem7.inf");
       },
       kExitLeft, false, false, false,
       "package oem7.inf: cannot tell: the INF cannot be read (error 00000005)", 0},
      {"an INF of the store that cannot be read: cannot tell, nothing goes",
       [&](FakeHost& host) {
         staged(host);
         host.directories.insert(kStore + "aaalocked.inf_1");
         host.AddFile(kStore + "aaalocked.inf_1\\aaalocked.inf", "x");
         host.deniedPaths.insert(kStore + "aaalocked.inf_1\\aaalocked.inf");
       },
       kExitLeft, false, false, false,
       "aaalocked.inf_1\\aaalocked.inf cannot be read (error 00000005)", 0},
      {"an uninstall that fails without a reason is a failure",
       [&](FakeHost& host) {
         staged(host);
         host.uninstallFailure = kErrorSuccess;
       },
       kExitLeft, false, false, false, "package oem7.inf: left (error 0000000d)", 0},
      {"half-removed where nothing names the package: cannot tell, the files as before",
       [&](FakeHost& host) {
         host.AddPackage("oem7.inf", kFolder, kContent, false);
         host.AddFile(kInf + "oem7.pnf", "PNF");
       },
       kExitCompleted, false, true, true,
       "package oem7.inf: cannot tell: the INF is gone and no driver database names its package",
       1},
  };
  for (const bool wow64 : {false, true}) {
    for (const Road& road : roads) {
      FakeHost host;
      StageMachine(host);
      road.stage(host);
      host.wow64 = wow64;
      host.companion = FakeHost::Companion::Works;
      // The documented refusal of a 32-bit caller: under WOW64 only the companion may ask.
      host.uninstallRefusedInWow64 = true;
      const std::string driver = kStore + kFolder + "\\scanner.sys";
      const std::string catalog =
          "C:\\WINDOWS\\System32\\CatRoot\\" + std::string(kFolder) + ".cat";
      const bool packageThere = host.FileExists(driver) && host.FileExists(catalog);
      const std::string what = std::string(road.name) + (wow64 ? ", under WOW64" : "");

      EXPECT_EQ(PerformRemoval(host, kNoOwner), road.status) << what;

      EXPECT_EQ(packageThere && !host.FileExists(driver) && !host.FileExists(catalog),
                road.packageGone)
          << what;
      EXPECT_EQ(!host.FileExists(kInf + "oem7.inf"), road.infGone) << what;
      EXPECT_EQ(!host.FileExists(kInf + "oem7.pnf"), road.pnfGone) << what;
      EXPECT_TRUE(Logged(host, road.logged)) << what;
      // A 32-bit process on 64-bit Windows reaches the 64-bit store through Sysnative.
      EXPECT_FALSE(wow64 && Logged(host, "store folder C:\\WINDOWS\\System32\\")) << what;
      EXPECT_EQ(host.messageBoxes.size(), road.boxes) << what;
      // One companion for the run, whatever it is asked.
      EXPECT_EQ(host.JournalOf("start").size(), wow64 ? 1u : 0u) << what;
      // No INF of the store of another size than the published one is read.
      EXPECT_LT(host.bytesRead, std::size_t{1} << 20) << what;
      for (const std::string& read : host.JournalOf("read-file")) {
        EXPECT_EQ(read.find("aaasmall"), std::string::npos) << what;
      }
      EXPECT_EQ(host.OpenHandleCount(), 0u) << what;
      EXPECT_TRUE(host.faults.empty()) << what;
    }
  }
}

// A file that the running account may not even look at may be there: it is never said absent.
// With its package it is left; without one, a deletion that fails leaves it.
TEST(DriverPackageTest, AFileThatCannotBeLookedAtIsLeftNotAbsent) {
  for (const bool packaged : {true, false}) {
    FakeHost host;
    StageMachine(host);
    if (packaged) {
      host.AddPackage("oem7.inf", kFolder, kContent);
      host.deniedPaths.insert(kInf + "oem7.inf");
    } else {
      host.AddFile(kInf + "oem7.inf", kContent);
      host.AddFile(kInf + "oem7.pnf", "PNF");
      host.files[kInf + "oem7.pnf"].deleteDenied = true;
      host.deniedPaths.insert(kInf + "oem7.pnf");
    }

    EXPECT_EQ(PerformRemoval(host, kNoOwner), kExitLeft) << packaged;

    EXPECT_TRUE(Logged(host, packaged ? "file C:\\WINDOWS\\Inf\\oem7.inf: left with its package"
                                      : "file C:\\WINDOWS\\Inf\\oem7.pnf: left (error 00000005)"))
        << packaged;
    EXPECT_FALSE(Logged(host, "absent")) << packaged;
  }
}

// Under WOW64 a companion that cannot run leaves the package, its files and the instances, and is
// told once for the run; a name outside ASCII reaches it whole, and its package goes.
TEST(DriverPackageTest, WithoutTheCompanionThePackageAndItsFilesStay) {
  for (const bool runs : {false, true}) {
    FakeHost host;
    StageMachine(host);
    const std::string name = runs ? "oem7 \xE9t\xE9%.inf" : "oem7.inf";
    host.FindKey(std::string(kImageClassKey) + "\\0003")->values.erase("InfPath");
    host.SetString(std::string(kImageClassKey) + "\\0003", "InfPath", name);
    host.AddPackage(name, kFolder, kContent);
    host.wow64 = true;
    host.uninstallRefusedInWow64 = true;
    host.companion = runs ? FakeHost::Companion::Works : FakeHost::Companion::Missing;

    EXPECT_EQ(PerformRemoval(host, kNoOwner), runs ? kExitCompleted : kExitLeft) << name;

    EXPECT_EQ(host.FileExists(kInf + name), !runs) << name;
    EXPECT_EQ(host.FileExists(kStore + kFolder + "\\scanner.sys"), !runs) << name;
    EXPECT_EQ(host.messageBoxes.size(), runs ? 0u : 1u) << name;
    EXPECT_EQ(host.devices[0].removed, runs);
    if (runs) {
      EXPECT_EQ(host.JournalOf("task")[0], "uninstall oem7%20%C3%A9t%C3%A9%25.inf");
      EXPECT_TRUE(Logged(
          host, "file C:\\WINDOWS\\Inf\\oem7 \xC3\xA9t\xC3\xA9%.pnf: deleted with its package"));
    } else {
      EXPECT_TRUE(host.JournalOf("uninstall-oem-inf").empty());
      EXPECT_TRUE(Logged(host, "file C:\\WINDOWS\\Inf\\oem7.pnf: left with its package"));
    }
  }
}

// /list names the package and where it is, and changes nothing. A package the platform holds is
// there, even when nothing else of the driver is (no file, no device); so is one that cannot be
// told from its INF. An INF gone with nothing to name its package is not.
TEST(DriverPackageTest, TheListingCountsAHeldPackageAlone) {
  const struct {
    const char* name;
    std::function<void(FakeHost&)> stage;
    int status;
    std::string listed;
  } cases[] = {
      {"half-removed: the database names the package",
       [](FakeHost& host) {
         host.AddPackage("oem7.inf", kFolder, kContent, false);
         host.AddDatabaseEntry("oem7.inf", kFolder);
       },
       kExitLeft,
       "  package oem7.inf: held by the platform, store folder " + kStore + kFolder +
           " (the driver database names it)\n  file C:\\WINDOWS\\Inf\\oem7.inf: absent\n"
           "  file C:\\WINDOWS\\Inf\\oem7.pnf: absent\n"},
      {"two folders hold its INF",
       [](FakeHost& host) {
         host.AddPackage("oem7.inf", kFolder, kContent);
         host.AddPackage("oem9.inf", "aaadecoy.inf_1", kContent, false);
         host.files.erase(kInf + "oem7.pnf");
       },
       kExitLeft,
       "  package oem7.inf: cannot tell: 2 folders hold its INF\n"
       "  file C:\\WINDOWS\\Inf\\oem7.inf: present\n"},
      {"a published INF that cannot be looked at",
       [](FakeHost& host) {
         host.AddPackage("oem7.inf", kFolder, kContent);
         host.files.erase(kInf + "oem7.pnf");
         host.deniedPaths.insert(kInf + "oem7.inf");
       },
       kExitLeft,
       "  package oem7.inf: cannot tell: the INF cannot be read (error 00000005)\n"
       "  file C:\\WINDOWS\\Inf\\oem7.inf: cannot tell (error 00000005)\n"},
      {"the INF gone and its database entry cannot be read",
       [](FakeHost& host) {
         host.AddPackage("oem7.inf", kFolder, kContent, false);
         host.AddDatabaseEntry("oem7.inf", kFolder);
         host.FindKey("DRIVERS\\DriverDatabase\\DriverInfFiles\\oem7.inf")->openFailure =
             kErrorAccessDenied;
       },
       kExitCompleted,
       "  package oem7.inf: cannot tell: the driver database cannot be read (error 00000005)\n"},
      {"the INF gone and nothing names its package",
       [](FakeHost& host) { host.AddPackage("oem7.inf", kFolder, kContent, false); },
       kExitCompleted,
       "  package oem7.inf: cannot tell: the INF is gone and no driver database names its "
       "package\n  file C:\\WINDOWS\\Inf\\oem7.inf: absent\n"},
  };
  for (const auto& c : cases) {
    FakeHost host;
    StageMachine(host);
    host.devices.clear();
    c.stage(host);
    const std::vector<std::string> files = [&] {
      std::vector<std::string> paths;
      for (const auto& [path, file] : host.files) {
        paths.push_back(path);
      }
      return paths;
    }();
    RunOptions options;
    options.list = true;

    EXPECT_EQ(PerformRemoval(host, kNoOwner, options), c.status) << c.name;

    EXPECT_NE(host.standardOutput.find(c.listed), std::string::npos) << c.name << "\n"
                                                                     << host.standardOutput;
    EXPECT_TRUE(host.JournalOf("uninstall-oem-inf").empty()) << c.name;
    EXPECT_EQ(host.files.size(), files.size()) << c.name;
  }
}

// A backup keeps the package's store folder whole before it goes, each file under a name of its
// own with its real name and digest in the manifest, the package's INF marked; a store folder that
// cannot be saved keeps the whole driver.
TEST(DriverPackageTest, TheBackupKeepsTheStoreFolderOrNothingGoes) {
  for (const bool saveable : {true, false}) {
    FakeHost host;
    StageMachine(host);
    host.AddPackage("oem7.inf", kFolder, kContent);
    host.directories.insert(kStore + kFolder + "\\amd64");
    const std::string driver("MZ\0\x90", 4);
    host.AddFile(kStore + kFolder + "\\amd64\\scanner64.sys", driver);
    const std::string run = "D:\\backups\\SCANPC-20261208T054312Z";
    if (!saveable) {
      host.failingWrites.insert(run + "\\files\\store\\1\\2");
    }
    RunOptions options;
    options.quiet = true;
    options.backupFolder = "D:\\backups";

    EXPECT_EQ(PerformRemoval(host, kNoOwner, options), saveable ? kExitCompleted : kExitLeft);

    if (!saveable) {
      EXPECT_TRUE(host.FileExists(kStore + kFolder + "\\amd64\\scanner64.sys"));
      EXPECT_TRUE(host.FileExists(kInf + "oem7.inf"));
      EXPECT_TRUE(host.FileExists(kInf + "oem7.pnf"));
      EXPECT_TRUE(host.JournalOf("uninstall-oem-inf").empty());
      EXPECT_TRUE(Logged(host, "package oem7.inf: left, its store folder cannot be saved"));
      continue;
    }
    EXPECT_FALSE(host.FileExists(kStore + kFolder + "\\amd64\\scanner64.sys"));
    const std::string manifest = host.files[run + "\\manifest.txt"].content;
    // The folder's files in the order the platform lists them (the in-memory machine lists
    // folders first).
    std::string saved;
    for (const auto& [number, name, content] :
         {std::tuple{"1", "amd64\\scanner64.sys", driver},
          std::tuple{"2", "scanner.sys", std::string("MZ driver of ") + kFolder},
          std::tuple{"3", "vorskscan.inf (its INF)", std::string(kContent)}}) {
      const std::string file = std::string("files\\store\\1\\") + number;
      EXPECT_EQ(host.files[run + "\\" + file].content, content) << file;
      const std::string plain = std::string(name).substr(0, std::string(name).find(" ("));
      const std::string line =
          "  store file " + file +
          (std::string(name).find("(its INF)") != std::string::npos ? " (its INF): " + plain
                                                                    : ": " + plain) +
          ", sha256 " + Sha256Text(content) + "\r\n";
      EXPECT_NE(manifest.find(line), std::string::npos) << line << "\nin\n" << manifest;
    }
    EXPECT_NE(manifest.find("package oem7.inf: held by the platform; its store folder " + kStore +
                            kFolder + " saved whole as files\\store\\1, 3 files\r\n"),
              std::string::npos)
        << manifest;
    // The published INF is kept for the record only: the package publishes itself anew.
    EXPECT_NE(manifest.find("  published file " + kInf + "oem7.inf: saved as files\\1"),
              std::string::npos)
        << manifest;
    EXPECT_EQ(manifest.find("\r\nfile " + kInf + "oem7.inf"), std::string::npos) << manifest;
  }
}

// With a backup, a package that cannot be saved whole keeps the whole driver: a link inside its
// folder or on the store's path leads out of the store. One that cannot be told is neither saved
// nor removed.
TEST(DriverPackageTest, APackageThatCannotBeSavedWholeKeepsTheDriver) {
  const struct {
    const char* name;
    std::function<void(FakeHost&)> stage;
    std::string logged;
  } cases[] = {
      {"a link inside the package's folder",
       [](FakeHost& host) {
         host.directories.insert(kStore + kFolder + "\\elsewhere");
         host.reparsePoints.insert(kStore + kFolder + "\\elsewhere");
         host.AddFile(kStore + kFolder + "\\elsewhere\\other.sys", "MZ");
       },
       "package oem7.inf: left, its store folder cannot be saved in the backup (error 000000a1)"},
      {"a link on the store's path",
       [](FakeHost& host) { host.reparsePoints.insert("C:\\WINDOWS\\System32\\DriverStore"); },
       "package oem7.inf: left, its store folder cannot be saved whole, a link on its path "
       "(C:\\WINDOWS\\System32\\DriverStore)"},
      {"the package's folder a link",
       [](FakeHost& host) {
         host.storeLocationKnown = true;
         host.reparsePoints.insert(kStore + kFolder);
       },
       "a link on its path (" + kStore + kFolder + ")"},
      {"two folders hold its INF",
       [](FakeHost& host) { host.AddPackage("oem9.inf", "aaadecoy.inf_1", kContent, false); },
       "package oem7.inf: left, what the platform holds for it cannot be told"},
  };
  for (const auto& c : cases) {
    FakeHost host;
    StageMachine(host);
    host.AddPackage("oem7.inf", kFolder, kContent);
    c.stage(host);
    RunOptions options;
    options.quiet = true;
    options.backupFolder = "D:\\backups";

    EXPECT_EQ(PerformRemoval(host, kNoOwner, options), kExitLeft) << c.name;

    EXPECT_TRUE(Logged(host, c.logged)) << c.name;
    EXPECT_TRUE(host.FileExists(kStore + kFolder + "\\scanner.sys")) << c.name;
    EXPECT_TRUE(host.FileExists(kInf + "oem7.inf")) << c.name;
    EXPECT_TRUE(host.FileExists(kInf + "oem7.pnf")) << c.name;
    EXPECT_TRUE(host.JournalOf("uninstall-oem-inf").empty()) << c.name;
    const std::string manifest =
        host.files["D:\\backups\\SCANPC-20261208T054312Z\\manifest.txt"].content;
    EXPECT_EQ(manifest.find("package oem7.inf"), std::string::npos) << c.name;
    EXPECT_EQ(manifest.find("oem7.inf: saved"), std::string::npos) << c.name;
    EXPECT_TRUE(host.devices[0].removed) << c.name;  // the rest of the run goes on
  }
}

// A driver database that names a package by anything but a plain folder name of the store, or
// names a link, names no package: nothing is put back from elsewhere.
TEST(DriverPackageTest, TheDatabaseNamesOnlyAPlainFolderOfTheStore) {
  for (const std::string& active :
       {std::string("..\\outside.inf_1"), std::string("sub\\vorskscan.inf_1"),
        std::string("vorskscan.inf_1")}) {
    FakeHost host;
    StageMachine(host);
    host.AddPackage("oem7.inf", "vorskscan.inf_1", kContent, false);
    host.AddDatabaseEntry("oem7.inf", active);
    host.directories.insert("C:\\WINDOWS\\System32\\DriverStore\\outside.inf_1");
    host.AddFile("C:\\WINDOWS\\System32\\DriverStore\\outside.inf_1\\outside.inf", "planted");
    if (active == "vorskscan.inf_1") {
      host.reparsePoints.insert(kStore + active);
    }

    PerformRemoval(host, kNoOwner);

    EXPECT_TRUE(host.JournalOf("copy-file").empty()) << active;
    EXPECT_FALSE(host.FileExists(kInf + "oem7.inf")) << active;
    EXPECT_TRUE(host.JournalOf("uninstall-oem-inf").empty()) << active;
    EXPECT_TRUE(Logged(host, active == "vorskscan.inf_1"
                                 ? "package oem7.inf: cannot tell: the driver database names "
                                   "package vorskscan.inf_1, a link"
                                 : "package oem7.inf: cannot tell: the driver database names no "
                                   "package folder for it"))
        << active;
  }
}

}  // namespace
}  // namespace vorsk
