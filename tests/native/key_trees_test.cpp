// Registry tree removal: depth-first order, what is skipped, and that nothing is created.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cleanup/key_trees.h"
#include "cleanup/platform_keys.h"
#include "cleanup/removing.h"
#include "cleanup/stages.h"
#include "removal/run.h"
#include "tests/native/machine.h"
#include "text/text.h"

namespace vorsk {
namespace {

using test::kScriptPath;

// A single-byte code page: no byte begins a double-byte character.
const auto kNoLeadBytes = [](std::uint8_t) { return false; };

class KeyTreesTest : public ::testing::Test {
 protected:
  void Delete(const std::string& path) { DeleteKeyTree(host, path); }
  void RunScript(const std::string& keySection, const std::string& devNo = "1") {
    host.AddFile(kScriptPath, keySection);
    RemovingActions act(host, report, false);
    RemoveKeyTrees(host, report, kScriptPath, devNo, act);
  }
  void TearDown() override {
    EXPECT_EQ(host.OpenHandleCount(), 0u);
    EXPECT_TRUE(host.faults.empty());
  }

  test::FakeHost host;
  RunReport report{host, kNoOwner};
};

TEST_F(KeyTreesTest, DeletesDepthFirstInEnumerationOrder) {
  host.AddKey("SOFTWARE\\Vendor\\Key\\A\\A1");
  host.AddKey("SOFTWARE\\Vendor\\Key\\B");
  host.SetString("SOFTWARE\\Vendor\\Key\\A", "Setting", "1");
  host.AddKey("SOFTWARE\\Vendor\\Other");

  Delete("SOFTWARE\\Vendor\\Key");

  EXPECT_EQ(host.JournalOf("deleted-key"),
            (std::vector<std::string>{"SOFTWARE\\Vendor\\Key\\A\\A1", "SOFTWARE\\Vendor\\Key\\A",
                                      "SOFTWARE\\Vendor\\Key\\B", "SOFTWARE\\Vendor\\Key"}));
  EXPECT_EQ(host.RegistrySnapshot(),
            (std::vector<std::string>{"SOFTWARE", "SOFTWARE\\Vendor", "SOFTWARE\\Vendor\\Other"}));
}

TEST_F(KeyTreesTest, KeyWithoutSubkeysIsDeleted) {
  host.AddKey("SOFTWARE\\Vendor\\Key");
  RunScript("[1KEY]\r\nNum=1\r\nNum1=SOFTWARE\\Vendor\\Key\r\n");
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Key"));
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor"));
  EXPECT_EQ(host.log.back(), "tree SOFTWARE\\Vendor\\Key: deleted, 1 key");
}

// A listed key that does not exist, or whose parent does not, leaves the registry exactly as
// it was: nothing is created.
TEST_F(KeyTreesTest, MissingKeysAreSkippedAndNothingIsCreated) {
  host.AddKey("SOFTWARE\\Vendor");
  const auto before = host.RegistrySnapshot();

  RunScript("[1KEY]\r\nNum=2\r\nNum1=SOFTWARE\\Vendor\\Missing\r\nNum2=SOFTWARE\\Gone\\Deeper\r\n");

  EXPECT_EQ(host.RegistrySnapshot(), before);
  EXPECT_TRUE(host.JournalOf("delete-key").empty());
}

// A listed path with fewer than two non-empty components names a whole branch of the machine;
// one that is, or holds, a key of the platform's own wrecks Windows. Neither is ever deleted,
// however it is spelt.
TEST_F(KeyTreesTest, TopLevelAndPlatformKeysAreNeverDeleted) {
  host.AddKey("SOFTWARE\\Vendor");
  host.AddKey("SYSTEM");
  host.AddKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  host.AddKey("SYSTEM\\CurrentControlSet\\Services\\usbscan");
  const auto before = host.RegistrySnapshot();

  RunScript(
      "[1KEY]\r\nNum=8\r\nNum1=SOFTWARE\r\nNum2=SYSTEM\\\r\nNum3=\\SOFTWARE\\\\\r\n"
      "Num4=\\\\\r\nNum5=Vendor\r\nNum6=software\\\\microsoft\\\r\n"
      "Num7=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\r\n"
      "Num8=SYSTEM\\CurrentControlSet\\Services\r\n");

  EXPECT_EQ(host.RegistrySnapshot(), before);
  EXPECT_EQ(ListedTreePath("SOFTWARE\\", kNoLeadBytes), "SOFTWARE");
  EXPECT_EQ(ListedTreePath("SOFTWARE\\\\Vendor\\\\", kNoLeadBytes), "SOFTWARE\\Vendor");
  for (const char* refused : {"SOFTWARE", "SYSTEM", "\\SYSTEM", "\\"}) {
    EXPECT_EQ(TreeRefusal(ListedTreePath(refused, kNoLeadBytes), kNoLeadBytes), "a top-level key")
        << refused;
  }
}

// In a double-byte code page a character's second byte is no separator, however it looks: a
// listed name ending in 乗 (81 5C in code page 936) keeps its last byte, and 乗SOFTWARE is one
// top-level key. Read byte by byte, the same text has other keys.
TEST_F(KeyTreesTest, ListedPathsTakeDoubleByteCharactersWhole) {
  const auto gbk = [](std::uint8_t byte) { return byte >= 0x81 && byte <= 0xFE; };
  const struct {
    const char* listed;
    const char* inGbk;
    const char* inSingleBytes;
  } cases[] = {
      {"SOFTWARE\\Vendor\\\x81\x5c", "SOFTWARE\\Vendor\\\x81\x5c", "SOFTWARE\\Vendor\\\x81"},
      {"SOFTWARE\\\\\x81\x5c\\\\", "SOFTWARE\\\x81\x5c", "SOFTWARE\\\x81"},
      {"\x81\x5c\\Vendor\\", "\x81\x5c\\Vendor", "\x81\\Vendor"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ListedTreePath(c.listed, gbk), c.inGbk) << c.listed;
    EXPECT_EQ(ListedTreePath(c.listed, kNoLeadBytes), c.inSingleBytes) << c.listed;
  }
  EXPECT_EQ(TreeRefusal("\x81\x5cSOFTWARE", gbk), "a top-level key");
  EXPECT_EQ(TreeRefusal("\x81\x5cSOFTWARE", kNoLeadBytes), std::nullopt);
}

// The platform's own keys, and those that hold them, in any letter case, in either registry view
// and in any control set; a vendor's keys below them stay its own.
TEST_F(KeyTreesTest, PlatformKeyTable) {
  for (const char* platform :
       {"SOFTWARE\\Microsoft",
        "software\\MICROSOFT\\windows",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        "SOFTWARE\\Microsoft\\Windows NT",
        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
        "SOFTWARE\\Classes",
        "SOFTWARE\\Policies",
        "SOFTWARE\\WOW6432Node",
        "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies",
        "SYSTEM\\Select",
        "SYSTEM\\Setup",
        "SYSTEM\\MountedDevices",
        "SYSTEM\\DriverDatabase",
        "SYSTEM\\CurrentControlSet",
        "SYSTEM\\ControlSet001",
        "SYSTEM\\controlset999\\Control",
        "SYSTEM\\ControlSet002\\Control\\Class",
        "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}",
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
        "SYSTEM\\CurrentControlSet\\Enum",
        "SYSTEM\\CurrentControlSet\\Services",
        "SYSTEM\\ControlSet003\\Hardware Profiles",
        "SOFTWARE\\Classes\\CLSID",
        "SOFTWARE\\Classes\\CLSID\\",
        "SOFTWARE\\Classes\\\\CLSID",
        "\\SOFTWARE\\Classes\\CLSID",
        "\\SOFTWARE\\Microsoft",
        "software\\classes\\interface",
        "SOFTWARE\\Classes\\TypeLib",
        "SOFTWARE\\Classes\\AppID",
        "SOFTWARE\\Classes\\Wow6432Node",
        "SOFTWARE\\Classes\\Wow6432Node\\CLSID",
        "SOFTWARE\\WOW6432Node\\Classes\\CLSID",
        "SOFTWARE\\WOW6432Node\\Classes\\Wow6432Node\\Interface",
        "SOFTWARE\\Classes\\Installer",
        "SOFTWARE\\Classes\\MIME",
        "SOFTWARE\\Classes\\PROTOCOLS",
        "SOFTWARE\\Classes\\Media Type",
        "SOFTWARE\\Classes\\*",
        "SOFTWARE\\Classes\\Directory",
        "SOFTWARE\\Classes\\Drive",
        "SOFTWARE\\Classes\\Folder",
        "SOFTWARE\\Classes\\AllFilesystemObjects",
        "SOFTWARE\\Classes\\SystemFileAssociations",
        "SOFTWARE\\Classes\\Unknown",
        "SOFTWARE\\Classes\\Applications",
        "SOFTWARE\\Classes\\DesktopBackground",
        "SOFTWARE\\Classes\\CompressedFolder",
        "SOFTWARE\\Classes\\exefile",
        "SOFTWARE\\Classes\\dllfile",
        "SOFTWARE\\Classes\\batfile",
        "SOFTWARE\\Classes\\cmdfile",
        "SOFTWARE\\Classes\\comfile",
        "SOFTWARE\\Classes\\inffile",
        "SOFTWARE\\Classes\\regfile",
        "SOFTWARE\\Classes\\lnkfile",
        "SOFTWARE\\Classes\\Component Categories",
        "SOFTWARE\\Classes\\FileType",
        "SYSTEM\\CurrentControlSet\\Control\\Lsa",
        "SYSTEM\\ControlSet002\\Control\\Session Manager",
        "SYSTEM\\CurrentControlSet\\Control\\Print\\",
        "SYSTEM\\controlset001\\control\\SafeBoot"}) {
    EXPECT_TRUE(TreeRefusal(platform, kNoLeadBytes)) << platform;
  }
  for (const char* vendors :
       {"SOFTWARE\\Vendor",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{product}",
        "SYSTEM\\CurrentControlSet\\Services\\usbscan",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\x",
        "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0007",
        "SYSTEM\\ControlSet1\\Control",
        "SYSTEM\\ControlSet0001\\Services",
        "SYSTEM\\Vendor",
        "SOFTWARE\\Microsoftware",
        "SOFTWARE\\WOW6432Node\\Vendor",
        "SOFTWARE\\Classes\\CLSID\\{0A1B2C3D-0000-0000-0000-000000000001}",
        "SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{0A1B2C3D-0000-0000-0000-000000000001}",
        "SOFTWARE\\Classes\\Vendor.Scanner.1",
        "SOFTWARE\\Classes\\.vscan",
        "SOFTWARE\\Classes\\Wow6432Node\\Vendor.Scanner",
        "SOFTWARE\\Classes\\TypeLib\\{0A1B2C3D-0000-0000-0000-000000000002}",
        "SOFTWARE\\Classes\\CLSIDs",
        "SOFTWARE\\Classes\\**",
        "SYSTEM\\CurrentControlSet\\Control\\Lsa\\VendorPackage",
        "SYSTEM\\CurrentControlSet\\Services\\VendorScan"}) {
    EXPECT_FALSE(TreeRefusal(vendors, kNoLeadBytes)) << vendors;
  }
}

std::string Dword(std::uint32_t value) {
  return std::string{static_cast<char>(value), 0, 0, 0};
}

// One level deeper: a listed path is judged as the key it reaches (a separator at its end left
// out), the platform's containers below SOFTWARE\\Classes and the keys directly below Control are
// refused, and so is a service that starts at boot or with the system or whose image the
// platform protects, and a tree that holds a key the platform's resource protection keeps; the
// vendors' keys beside them still go.
TEST_F(KeyTreesTest, PlatformKeysOneLevelDeeper) {
  const std::string services = "SYSTEM\\CurrentControlSet\\Services\\";
  const std::string platformKey = ": refused, a key of the platform's own, or one that holds one";
  struct Case {
    std::string listed;
    std::function<void(test::FakeHost&)> machine;
    std::string logged;
    std::vector<std::string> kept;  // besides the listed key itself, when it is refused
  };
  const std::vector<Case> cases = {
      {"SOFTWARE\\Classes\\CLSID\\",
       [](test::FakeHost& m) { m.AddKey("SOFTWARE\\Classes\\CLSID\\{0A1B}\\InprocServer32"); },
       "tree SOFTWARE\\Classes\\CLSID" + platformKey,
       {"SOFTWARE\\Classes\\CLSID\\{0A1B}\\InprocServer32"}},
      {"SOFTWARE\\Classes\\Wow6432Node",
       [](test::FakeHost& m) { m.AddKey("SOFTWARE\\Classes\\Wow6432Node\\CLSID"); },
       "tree SOFTWARE\\Classes\\Wow6432Node" + platformKey,
       {"SOFTWARE\\Classes\\Wow6432Node\\CLSID"}},
      {"SYSTEM\\CurrentControlSet\\Control\\Lsa",
       [](test::FakeHost& m) { m.AddKey("SYSTEM\\CurrentControlSet\\Control\\Lsa\\Kerberos"); },
       "tree SYSTEM\\CurrentControlSet\\Control\\Lsa" + platformKey,
       {"SYSTEM\\CurrentControlSet\\Control\\Lsa\\Kerberos"}},
      {services + "Tcpip\\",
       [&](test::FakeHost& m) {
         m.SetValue(services + "Tcpip", "Start", Dword(1), kRegDword);
         m.AddKey(services + "Tcpip\\Parameters");
       },
       "tree " + services +
           "Tcpip: refused, a service that starts with the system (Start 1), or a key inside one",
       {services + "Tcpip\\Parameters"}},
      {services + "Tcpip\\Parameters",
       [&](test::FakeHost& m) {
         m.SetValue(services + "Tcpip", "Start", Dword(1), kRegDword);
         m.AddKey(services + "Tcpip\\Parameters\\Interfaces");
       },
       "tree " + services +
           "Tcpip\\Parameters: refused, a service that starts with the system (Start 1), or a key "
           "inside one",
       {services + "Tcpip\\Parameters\\Interfaces"}},
      {services + "disk",
       [&](test::FakeHost& m) { m.SetValue(services + "disk", "Start", Dword(0), kRegDword); },
       "tree " + services +
           "disk: refused, a service that starts at boot (Start 0), or a key inside one",
       {}},
      {services + "Schedule",
       [&](test::FakeHost& m) {
         m.SetValue(services + "Schedule", "Start", Dword(2), kRegDword);
         m.SetValue(services + "Schedule", "ImagePath",
                    "%SystemRoot%\\system32\\svchost.exe -k netsvcs" + std::string(1, '\0'),
                    kRegExpandSz);
         m.protectedFiles.insert("C:\\WINDOWS\\system32\\svchost.exe");
       },
       "tree " + services +
           "Schedule: refused, a service whose image C:\\WINDOWS\\system32\\svchost.exe the "
           "platform protects, or a key inside one",
       {}},
      {services + "usbscan",
       [&](test::FakeHost& m) {
         m.SetValue(services + "usbscan", "Start", Dword(3), kRegDword);
         m.protectedFiles.insert("C:\\WINDOWS\\System32\\drivers\\usbscan.sys");
       },
       "tree " + services +
           "usbscan: refused, a service whose image C:\\WINDOWS\\System32\\drivers\\usbscan.sys "
           "the platform protects, or a key inside one",
       {}},
      {"SOFTWARE\\Vendor\\Scanner",
       [](test::FakeHost& m) {
         m.AddKey("SOFTWARE\\Vendor\\Scanner\\Settings");
         m.AddKey("SOFTWARE\\Vendor\\Scanner\\Shared\\Deep");
         m.keyProtectionKnown = true;
         m.protectedKeys.insert("SOFTWARE\\Vendor\\Scanner\\Shared\\Deep");
       },
       "tree SOFTWARE\\Vendor\\Scanner: refused, the platform's resource protection keeps "
       "SOFTWARE\\Vendor\\Scanner\\Shared\\Deep",
       {"SOFTWARE\\Vendor\\Scanner\\Settings"}},
      {"SOFTWARE\\Vendor\\Locked",
       [](test::FakeHost& m) {
         // A key inside that cannot be opened is still asked after by its name.
         m.AddKey("SOFTWARE\\Vendor\\Locked\\Shared").openFailure = kErrorAccessDenied;
         m.keyProtectionKnown = true;
         m.protectedKeys.insert("SOFTWARE\\Vendor\\Locked\\Shared");
       },
       "tree SOFTWARE\\Vendor\\Locked: refused, the platform's resource protection keeps "
       "SOFTWARE\\Vendor\\Locked\\Shared",
       {}},
      {"SOFTWARE\\Vendor\\Shared",
       [](test::FakeHost& m) {
         m.AddKey("SOFTWARE\\Vendor\\Shared");
         m.keyProtectionKnown = true;
         m.protectedKeys.insert("software\\vendor\\shared");
       },
       "tree SOFTWARE\\Vendor\\Shared: refused, the platform's resource protection keeps "
       "SOFTWARE\\Vendor\\Shared",
       {}},
      {services + "VendorLocked",
       [&](test::FakeHost& m) {
         m.AddKey(services + "VendorLocked").valueFailures["Start"] = kErrorAccessDenied;
       },
       "tree " + services +
           "VendorLocked: refused, a service whose start cannot be read (error 00000005), or a key "
           "inside one",
       {}},
      {services + "VendorHidden",
       [&](test::FakeHost& m) {
         m.SetValue(services + "VendorHidden", "Start", Dword(3), kRegDword);
         m.FindKey(services + "VendorHidden")->valueFailures["ImagePath"] = kErrorAccessDenied;
       },
       "tree " + services +
           "VendorHidden: refused, a service whose image cannot be read (error 00000005), or a "
           "key inside one",
       {}},
      // The vendors' keys beside them.
      {"SOFTWARE\\Classes\\CLSID\\{0A1B}",
       [](test::FakeHost& m) { m.AddKey("SOFTWARE\\Classes\\CLSID\\{0A1B}\\InprocServer32"); },
       "tree SOFTWARE\\Classes\\CLSID\\{0A1B}: deleted, 2 keys",
       {"SOFTWARE\\Classes\\CLSID"}},
      {"SOFTWARE\\Classes\\Vendor.Scanner.1",
       [](test::FakeHost& m) { m.AddKey("SOFTWARE\\Classes\\Vendor.Scanner.1\\CLSID"); },
       "tree SOFTWARE\\Classes\\Vendor.Scanner.1: deleted, 2 keys",
       {"SOFTWARE\\Classes"}},
      {services + "VendorScan",
       [&](test::FakeHost& m) {
         m.SetValue(services + "VendorScan", "Start", Dword(3), kRegDword);
         m.SetValue(services + "VendorScan", "ImagePath",
                    "System32\\drivers\\vscan.sys" + std::string(1, '\0'), kRegExpandSz);
         m.protectedFiles.insert("C:\\WINDOWS\\System32\\drivers\\usbscan.sys");
       },
       "tree " + services + "VendorScan: deleted, 1 key",
       {services + "usbscan"}},
      {services + "VendorSvc",
       [&](test::FakeHost& m) {
         m.SetValue(services + "VendorSvc", "Start", Dword(2), kRegDword);
         m.SetValue(services + "VendorSvc", "ImagePath",
                    "\"C:\\Program Files\\Vendor\\svc.exe\" -k netsvcs" + std::string(1, '\0'),
                    kRegSz);
         m.AddKey(services + "VendorSvc\\Parameters");
         m.protectedFiles.insert("C:\\Program");
       },
       "tree " + services + "VendorSvc: deleted, 2 keys",
       {services + "usbscan"}},
      {"SYSTEM\\VendorSoft\\Services\\VendorBoot",
       [&](test::FakeHost& m) {
         // Services of no control set: a vendor's keys, whatever their values say.
         m.SetValue("SYSTEM\\VendorSoft\\Services\\VendorBoot", "Start", Dword(0), kRegDword);
       },
       "tree SYSTEM\\VendorSoft\\Services\\VendorBoot: deleted, 1 key",
       {"SYSTEM\\VendorSoft\\Services"}},
      {services + "VendorOddStart",
       [&](test::FakeHost& m) {
         // Four bytes of zeros, but no number: the platform starts no service by them.
         m.SetValue(services + "VendorOddStart", "Start", Dword(0), kRegBinary);
       },
       "tree " + services + "VendorOddStart: deleted, 1 key",
       {services + "usbscan"}},
      {"SOFTWARE\\Vendor\\Scanner",
       [](test::FakeHost& m) {
         m.AddKey("SOFTWARE\\Vendor\\Scanner\\Settings");
         m.keyProtectionKnown = true;
         m.protectedKeys.insert("SOFTWARE\\Vendor");
       },
       "tree SOFTWARE\\Vendor\\Scanner: deleted, 2 keys",
       {"SOFTWARE\\Vendor"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listed);
    test::FakeHost machine;
    machine.AddKey(services + "usbscan");
    c.machine(machine);
    const bool refused = c.logged.find(": refused, ") != std::string::npos;
    std::vector<std::string> kept = c.kept;
    if (refused) {
      kept.push_back(ListedTreePath(c.listed, kNoLeadBytes));
    }
    machine.AddFile(kScriptPath, "[1KEY]\r\nNum=1\r\nNum1=" + c.listed + "\r\n");
    RunReport report(machine, kNoOwner);
    RemovingActions act(machine, report, false);
    RemoveKeyTrees(machine, report, kScriptPath, "1", act);

    EXPECT_EQ(machine.log.back(), c.logged);
    EXPECT_EQ(report.Status(), 0);
    EXPECT_EQ(machine.JournalOf("deleted-key").empty(), refused);
    for (const std::string& key : kept) {
      EXPECT_TRUE(machine.KeyExists(key)) << key;
    }
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
    EXPECT_TRUE(machine.faults.empty());
  }
}

// The files a service's image path may name, as the platform reads one: below the Windows folder
// for "\SystemRoot\" and a path without a drive, without "\??\", up to its closing quote, or up
// to any blank when it has none.
TEST(ImagePathTest, EachFileTheImagePathMayName) {
  const std::u16string windows = u"C:\\WINDOWS";
  const struct {
    std::u16string imagePath;
    std::vector<std::u16string> files;
  } cases[] = {
      {u"\\SystemRoot\\System32\\drivers\\tcpip.sys",
       {u"C:\\WINDOWS\\System32\\drivers\\tcpip.sys"}},
      {u"\\systemroot\\x.sys", {u"C:\\WINDOWS\\x.sys"}},
      {u"System32\\drivers\\usbscan.sys", {u"C:\\WINDOWS\\System32\\drivers\\usbscan.sys"}},
      {u"\\??\\C:\\Program Files\\v.sys", {u"C:\\Program", u"C:\\Program Files\\v.sys"}},
      {u"\"C:\\Program Files\\Vendor\\svc.exe\" -k x", {u"C:\\Program Files\\Vendor\\svc.exe"}},
      {u"  \"C:\\a b.exe", {u"C:\\a b.exe"}},
      {u"C:\\WINDOWS\\system32\\svchost.exe -k netsvcs",
       {u"C:\\WINDOWS\\system32\\svchost.exe", u"C:\\WINDOWS\\system32\\svchost.exe -k",
        u"C:\\WINDOWS\\system32\\svchost.exe -k netsvcs"}},
      {u"\\Device\\x.sys", {u"\\Device\\x.sys"}},
      {u"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ImagePathFiles(c.imagePath, windows), c.files) << Utf8FromUtf16(c.imagePath);
  }
}

// A symbolic link inside a listed tree goes itself; what it points to, outside the tree, stays
// whole.
TEST_F(KeyTreesTest, LinksInsideATreeAreDeletedNeverFollowed) {
  host.AddKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  host.SetString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "C:\\");
  host.AddKey("SOFTWARE\\Vendor\\Scanner\\Settings");
  host.AddLink("SOFTWARE\\Vendor\\Scanner\\Settings\\Link", "SOFTWARE\\Microsoft\\Windows");
  host.AddLink("SOFTWARE\\Vendor\\Scanner\\Dangling", "SOFTWARE\\Nowhere");
  const auto before = host.RegistrySnapshot();

  RunScript("[1KEY]\r\nNum=1\r\nNum1=SOFTWARE\\Vendor\\Scanner\r\n");

  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Scanner"));
  std::vector<std::string> expected;
  for (const std::string& line : before) {
    if (line.rfind("SOFTWARE\\Vendor\\Scanner", 0) != 0) {
      expected.push_back(line);
    }
  }
  EXPECT_EQ(host.RegistrySnapshot(), expected);
}

// A link on the listed path, wherever it is, refuses the path, and neither the link nor what it
// points to goes; only the platform's own links at fixed places are followed, and the key they
// lead to is judged by its own name.
TEST_F(KeyTreesTest, LinksOnTheListedPath) {
  struct Case {
    std::string what;
    std::vector<std::pair<std::string, std::string>> links;  // link, target
    std::vector<std::string> keys;
    std::string listed;
    std::string logged;
    std::vector<std::string> gone;
    std::vector<std::string> kept;
    std::function<void(test::FakeHost&)> tweak = [](test::FakeHost&) {};
  };
  const std::string service = "SYSTEM\\ControlSet001\\Services\\usbscan";
  const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string linkOnPath = ": refused, a symbolic link on its path (";
  const std::string clsid = "SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{0A1B}";
  const std::vector<Case> cases = {
      {"the first component",
       {{"Vendor", "SYSTEM\\ControlSet001\\Services"}},
       {service},
       "Vendor\\usbscan",
       "tree Vendor\\usbscan" + linkOnPath + "Vendor)",
       {},
       {service, "Vendor"}},
      {"a middle component",
       {{"SOFTWARE\\Vendor\\Shortcut", "SYSTEM\\ControlSet001\\Services"}},
       {service},
       "SOFTWARE\\Vendor\\Shortcut\\usbscan",
       "tree SOFTWARE\\Vendor\\Shortcut\\usbscan" + linkOnPath + "SOFTWARE\\Vendor\\Shortcut)",
       {},
       {service, "SOFTWARE\\Vendor\\Shortcut"}},
      {"the last component",
       {{"SOFTWARE\\Vendor\\Scanner", run}},
       {run},
       "SOFTWARE\\Vendor\\Scanner",
       "tree SOFTWARE\\Vendor\\Scanner" + linkOnPath + "SOFTWARE\\Vendor\\Scanner)",
       {},
       {run, "SOFTWARE\\Vendor\\Scanner"}},
      {"a link named as the platform's, elsewhere",
       {{"SOFTWARE\\Vendor\\CurrentControlSet", "SYSTEM\\ControlSet001"}},
       {service},
       "SOFTWARE\\Vendor\\CurrentControlSet\\Services\\usbscan",
       "tree SOFTWARE\\Vendor\\CurrentControlSet\\Services\\usbscan" + linkOnPath +
           "SOFTWARE\\Vendor\\CurrentControlSet)",
       {},
       {service}},
      {"a link deeper below WOW6432Node",
       {{"SOFTWARE\\WOW6432Node\\Vendor\\Scanner", run}},
       {run},
       "SOFTWARE\\WOW6432Node\\Vendor\\Scanner",
       "tree SOFTWARE\\WOW6432Node\\Vendor\\Scanner" + linkOnPath +
           "SOFTWARE\\WOW6432Node\\Vendor\\Scanner)",
       {},
       {run}},
      {"CurrentControlSet as a link",
       {{"SYSTEM\\CurrentControlSet", "SYSTEM\\ControlSet001"}},
       {"SYSTEM\\ControlSet001\\Services\\VendorSvc\\Parameters"},
       "SYSTEM\\CurrentControlSet\\Services\\VendorSvc",
       "tree SYSTEM\\CurrentControlSet\\Services\\VendorSvc: deleted, 2 keys",
       {"SYSTEM\\ControlSet001\\Services\\VendorSvc"},
       {"SYSTEM\\ControlSet001\\Services", "SYSTEM\\CurrentControlSet"}},
      {"CurrentControlSet as a key",
       {},
       {"SYSTEM\\CurrentControlSet\\Services\\VendorSvc"},
       "SYSTEM\\CurrentControlSet\\Services\\VendorSvc",
       "tree SYSTEM\\CurrentControlSet\\Services\\VendorSvc: deleted, 1 key",
       {"SYSTEM\\CurrentControlSet\\Services\\VendorSvc"},
       {"SYSTEM\\CurrentControlSet\\Services"}},
      {"a key the 32-bit view shares",
       {{"SOFTWARE\\WOW6432Node\\Classes", "SOFTWARE\\Classes\\Wow6432Node"}},
       {clsid + "\\InprocServer32"},
       "SOFTWARE\\WOW6432Node\\Classes\\CLSID\\{0A1B}",
       "tree SOFTWARE\\WOW6432Node\\Classes\\CLSID\\{0A1B}: deleted, 2 keys",
       {clsid},
       {"SOFTWARE\\Classes\\Wow6432Node\\CLSID", "SOFTWARE\\WOW6432Node\\Classes"}},
      {"a shared key's link that leads elsewhere than the platform puts it",
       {{"SOFTWARE\\WOW6432Node\\Classes", "SYSTEM\\ControlSet001"}},
       {service},
       "SOFTWARE\\WOW6432Node\\Classes\\Services\\usbscan",
       "tree SOFTWARE\\WOW6432Node\\Classes\\Services\\usbscan" + linkOnPath +
           "SOFTWARE\\WOW6432Node\\Classes)",
       {},
       {service}},
      {"CurrentControlSet's link to a key that is no control set",
       {{"SYSTEM\\CurrentControlSet", "SOFTWARE\\Microsoft\\Windows"}},
       {run + "\\Vendor"},
       "SYSTEM\\CurrentControlSet\\CurrentVersion\\Run\\Vendor",
       "tree SYSTEM\\CurrentControlSet\\CurrentVersion\\Run\\Vendor" + linkOnPath +
           "SYSTEM\\CurrentControlSet)",
       {},
       {run + "\\Vendor"}},
      {"CurrentControlSet's link to a key named like a control set, but not numbered as one",
       {{"SYSTEM\\CurrentControlSet", "SYSTEM\\ControlSet1"}},
       {"SYSTEM\\ControlSet1\\Vendor\\Scanner"},
       "SYSTEM\\CurrentControlSet\\Vendor\\Scanner",
       "tree SYSTEM\\CurrentControlSet\\Vendor\\Scanner" + linkOnPath +
           "SYSTEM\\CurrentControlSet)",
       {},
       {"SYSTEM\\ControlSet1\\Vendor\\Scanner"}},
      {"CurrentControlSet's link to a control set that reaches a key of the platform",
       {{"SYSTEM\\CurrentControlSet", "SYSTEM\\ControlSet002"}},
       {"SYSTEM\\ControlSet002\\Services\\VendorSvc"},
       "SYSTEM\\CurrentControlSet\\Services",
       "tree SYSTEM\\CurrentControlSet\\Services: refused, a key of the platform's own, or one "
       "that holds one",
       {},
       {"SYSTEM\\ControlSet002\\Services\\VendorSvc"}},
      {"a key directly below WOW6432Node that the 32-bit view does not share",
       {{"SOFTWARE\\WOW6432Node\\AccTest", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"}},
       {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OtherProduct"},
       "SOFTWARE\\WOW6432Node\\AccTest\\Uninstall\\OtherProduct",
       "tree SOFTWARE\\WOW6432Node\\AccTest\\Uninstall\\OtherProduct" + linkOnPath +
           "SOFTWARE\\WOW6432Node\\AccTest)",
       {},
       {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OtherProduct"}},
      {"a key the 32-bit view shares, to the 64-bit view's key of its name",
       {{"SOFTWARE\\WOW6432Node\\Policies", "SOFTWARE\\Policies"}},
       {"SOFTWARE\\Policies\\Vendor\\Scanner\\Lamp"},
       "SOFTWARE\\WOW6432Node\\Policies\\Vendor\\Scanner",
       "tree SOFTWARE\\WOW6432Node\\Policies\\Vendor\\Scanner: deleted, 2 keys",
       {"SOFTWARE\\Policies\\Vendor\\Scanner"},
       {"SOFTWARE\\Policies\\Vendor", "SOFTWARE\\WOW6432Node\\Policies"}},
      {"a key the 32-bit view shares, to another key of the 64-bit view",
       {{"SOFTWARE\\WOW6432Node\\Policies", "SOFTWARE\\Vendor"}},
       {"SOFTWARE\\Vendor\\Scanner"},
       "SOFTWARE\\WOW6432Node\\Policies\\Scanner",
       "tree SOFTWARE\\WOW6432Node\\Policies\\Scanner" + linkOnPath +
           "SOFTWARE\\WOW6432Node\\Policies)",
       {},
       {"SOFTWARE\\Vendor\\Scanner"}},
      {"the 32-bit classes' AppID, shared with the 64-bit view",
       {{"SOFTWARE\\WOW6432Node\\Classes", "SOFTWARE\\Classes\\Wow6432Node"},
        {"SOFTWARE\\Classes\\Wow6432Node\\AppID", "SOFTWARE\\Classes\\AppID"}},
       {"SOFTWARE\\Classes\\AppID\\{0A1B}"},
       "SOFTWARE\\WOW6432Node\\Classes\\AppID\\{0A1B}",
       "tree SOFTWARE\\WOW6432Node\\Classes\\AppID\\{0A1B}: deleted, 1 key",
       {"SOFTWARE\\Classes\\AppID\\{0A1B}"},
       {"SOFTWARE\\Classes\\AppID"}},
      {"a shared classes key that leads elsewhere",
       {{"SOFTWARE\\Classes\\Wow6432Node\\TypeLib", "SOFTWARE\\Vendor"}},
       {"SOFTWARE\\Vendor\\{0A1B}"},
       "SOFTWARE\\Classes\\Wow6432Node\\TypeLib\\{0A1B}",
       "tree SOFTWARE\\Classes\\Wow6432Node\\TypeLib\\{0A1B}" + linkOnPath +
           "SOFTWARE\\Classes\\Wow6432Node\\TypeLib)",
       {},
       {"SOFTWARE\\Vendor\\{0A1B}"}},
      {"the 32-bit classes' link to 64-bit classes' key other than their 32-bit view",
       {{"SOFTWARE\\WOW6432Node\\Classes", "SOFTWARE\\Classes\\CLSID"}},
       {"SOFTWARE\\Classes\\CLSID\\{0A1B}"},
       "SOFTWARE\\WOW6432Node\\Classes\\{0A1B}",
       "tree SOFTWARE\\WOW6432Node\\Classes\\{0A1B}" + linkOnPath +
           "SOFTWARE\\WOW6432Node\\Classes)",
       {},
       {"SOFTWARE\\Classes\\CLSID\\{0A1B}"}},
      {"a shared classes key that leads to another classes key",
       {{"SOFTWARE\\Classes\\Wow6432Node\\AppID", "SOFTWARE\\Classes\\CLSID"}},
       {"SOFTWARE\\Classes\\CLSID\\{0A1B}"},
       "SOFTWARE\\Classes\\Wow6432Node\\AppID\\{0A1B}",
       "tree SOFTWARE\\Classes\\Wow6432Node\\AppID\\{0A1B}" + linkOnPath +
           "SOFTWARE\\Classes\\Wow6432Node\\AppID)",
       {},
       {"SOFTWARE\\Classes\\CLSID\\{0A1B}"}},
      {"a key of the 32-bit classes that the platform does not share",
       {{"SOFTWARE\\Classes\\Wow6432Node\\CLSID", "SOFTWARE\\Classes\\CLSID"}},
       {"SOFTWARE\\Classes\\CLSID\\{0A1B}"},
       "SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{0A1B}",
       "tree SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{0A1B}" + linkOnPath +
           "SOFTWARE\\Classes\\Wow6432Node\\CLSID)",
       {},
       {"SOFTWARE\\Classes\\CLSID\\{0A1B}"}},
      {"a link whose value is named in another letter case",
       {{"SOFTWARE\\Vendor\\Scanner", run}},
       {run},
       "SOFTWARE\\Vendor\\Scanner",
       "tree SOFTWARE\\Vendor\\Scanner" + linkOnPath + "SOFTWARE\\Vendor\\Scanner)",
       {},
       {run, "SOFTWARE\\Vendor\\Scanner"},
       [](test::FakeHost& m) {
         m.FindKey("SOFTWARE\\Vendor\\Scanner")->linkValueName = "symboliclinkvalue";
       }},
      {"a link whose own name cannot be read",
       {{"SOFTWARE\\Vendor\\Scanner", "SOFTWARE\\Vendor\\Camera"}},
       {"SOFTWARE\\Vendor\\Camera\\Settings"},
       "SOFTWARE\\Vendor\\Scanner\\Settings",
       "tree SOFTWARE\\Vendor\\Scanner\\Settings" + linkOnPath + "SOFTWARE\\Vendor\\Scanner)",
       {},
       {"SOFTWARE\\Vendor\\Camera\\Settings", "SOFTWARE\\Vendor\\Scanner"},
       [](test::FakeHost& m) {
         m.FindKey("SOFTWARE\\Vendor\\Scanner")->nameFailure = kErrorAccessDenied;
       }},
      {"a listed link whose own name cannot be read",
       {{"SOFTWARE\\Vendor\\Scanner", "SOFTWARE\\Vendor\\Camera"}},
       {"SOFTWARE\\Vendor\\Camera\\Settings"},
       "SOFTWARE\\Vendor\\Scanner",
       "tree SOFTWARE\\Vendor\\Scanner" + linkOnPath + "SOFTWARE\\Vendor\\Scanner)",
       {},
       {"SOFTWARE\\Vendor\\Camera\\Settings", "SOFTWARE\\Vendor\\Scanner"},
       [](test::FakeHost& m) {
         m.FindKey("SOFTWARE\\Vendor\\Scanner")->nameFailure = kErrorAccessDenied;
       }},
      {"a listed link that leads nowhere",
       {{"SOFTWARE\\Vendor\\Scanner", "SOFTWARE\\Vendor\\Nowhere"}},
       {},
       "SOFTWARE\\Vendor\\Scanner",
       "tree SOFTWARE\\Vendor\\Scanner" + linkOnPath + "SOFTWARE\\Vendor\\Scanner)",
       {},
       {"SOFTWARE\\Vendor\\Scanner"}},
      {"a key that holds a link's value, and is no link",
       {},
       {"SOFTWARE\\Vendor\\Scanner\\Settings"},
       "SOFTWARE\\Vendor\\Scanner",
       "tree SOFTWARE\\Vendor\\Scanner: deleted, 2 keys",
       {"SOFTWARE\\Vendor\\Scanner"},
       {"SOFTWARE\\Vendor", run},
       [&](test::FakeHost& m) {
         m.SetValue("SOFTWARE\\Vendor\\Scanner", "SymbolicLinkValue", std::string("\\\0R\0", 4),
                    kRegLink);
         m.AddKey(run);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::FakeHost machine;
    for (const std::string& key : c.keys) {
      machine.AddKey(key);
    }
    for (const auto& [link, target] : c.links) {
      machine.AddLink(link, target);
    }
    c.tweak(machine);
    machine.AddFile(kScriptPath, "[1KEY]\r\nNum=1\r\nNum1=" + c.listed + "\r\n");

    RunReport report(machine, kNoOwner);
    RemovingActions act(machine, report, false);
    RemoveKeyTrees(machine, report, kScriptPath, "1", act);

    EXPECT_EQ(machine.log.back(), c.logged);
    EXPECT_EQ(report.Status(), 0);
    for (const std::string& key : c.gone) {
      EXPECT_FALSE(machine.KeyExists(key)) << key;
    }
    for (const std::string& key : c.kept) {
      EXPECT_TRUE(machine.KeyExists(key)) << key;
    }
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
    EXPECT_TRUE(machine.faults.empty());
  }
}

TEST_F(KeyTreesTest, TrailingSeparatorsAreDroppedBeforeTheDescent) {
  host.AddKey("SOFTWARE\\Vendor\\Key\\Sub");

  RunScript("[1KEY]\r\nNum=1\r\nNum1=SOFTWARE\\Vendor\\Key\\\\\r\n");

  EXPECT_EQ(host.JournalOf("delete-key"),
            (std::vector<std::string>{"SOFTWARE\\Vendor\\Key\\Sub", "SOFTWARE\\Vendor\\Key"}));
}

TEST_F(KeyTreesTest, CountAndNumberedEntries) {
  struct Case {
    std::string section;
    std::vector<std::string> reads;
    std::vector<std::string> deleted;
  };
  const std::string keys =
      "Num1=SOFTWARE\\V\\K1\r\nNum3=SOFTWARE\\V\\K3\r\nNum5=SOFTWARE\\V\\K5\r\n";
  const std::vector<Case> cases = {
      {"[1KEY]\r\nNum=0\r\n" + keys, {"1KEY/Num"}, {}},
      {"[1KEY]\r\nNum=-3\r\n" + keys, {"1KEY/Num"}, {}},
      {"[1KEY]\r\nNum=3\r\n" + keys,
       {"1KEY/Num", "1KEY/Num1", "1KEY/Num2", "1KEY/Num3"},
       {"SOFTWARE\\V\\K1", "SOFTWARE\\V\\K3"}},
      {"[1KEY]\r\n" + keys,
       {"1KEY/Num", "1KEY/Num1", "1KEY/Num2", "1KEY/Num3", "1KEY/Num4", "1KEY/Num5"},
       {"SOFTWARE\\V\\K1", "SOFTWARE\\V\\K3", "SOFTWARE\\V\\K5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    test::FakeHost machine;
    for (const char* key : {"SOFTWARE\\V\\K1", "SOFTWARE\\V\\K3", "SOFTWARE\\V\\K5"}) {
      machine.AddKey(key);
    }
    machine.AddFile(kScriptPath, c.section);

    RunReport report(machine, kNoOwner);
    RemovingActions act(machine, report, false);
    RemoveKeyTrees(machine, report, kScriptPath, "1", act);

    EXPECT_EQ(machine.JournalOf("profile"), c.reads);
    EXPECT_EQ(machine.JournalOf("deleted-key"), c.deleted);
  }
}

// A count beyond what any script lists is held to 1000 entries, so the stage ends.
TEST_F(KeyTreesTest, HugeCountsListAThousandTreesAtMost) {
  host.AddKey("SOFTWARE\\V\\K1000");
  host.AddKey("SOFTWARE\\V\\K1001");
  for (const std::string count : {"2147483647", "0x7fffffff", "1001"}) {
    SCOPED_TRACE(count);
    host.journal.clear();
    host.files.erase(kScriptPath);
    RunScript("[1KEY]\r\nNum=" + count +
              "\r\nNum1000=SOFTWARE\\V\\K1000\r\nNum1001=SOFTWARE\\V\\K1001\r\n");

    const auto reads = host.JournalOf("profile");
    ASSERT_EQ(reads.size(), 1001u);
    EXPECT_EQ(reads.back(), "1KEY/Num1000");
  }
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\V\\K1000"));
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\V\\K1001"));
}

// A subkey that cannot be deleted keeps its parent; the siblings and the next listed tree still
// go.
TEST_F(KeyTreesTest, UndeletableSubkeyKeepsItsParentOnly) {
  host.AddKey("SOFTWARE\\V\\K1\\A");
  host.AddKey("SOFTWARE\\V\\K1\\B").deleteFailure = kErrorAccessDenied;
  host.AddKey("SOFTWARE\\V\\K1\\C");
  host.AddKey("SOFTWARE\\V\\K2\\D");

  RunScript("[1KEY]\r\nNum=2\r\nNum1=SOFTWARE\\V\\K1\r\nNum2=SOFTWARE\\V\\K2\r\n");

  EXPECT_EQ(host.RegistrySnapshot(),
            (std::vector<std::string>{"SOFTWARE", "SOFTWARE\\V", "SOFTWARE\\V\\K1",
                                      "SOFTWARE\\V\\K1\\B"}));
  EXPECT_TRUE(host.messageBoxes.empty());
}

// A subkey that may not be opened for deletion is still opened to read: what is below it goes, and
// it stays with its parent. One that cannot be opened at all keeps what is below it. Either way the
// tree is left, and the run ends with 3.
TEST_F(KeyTreesTest, SubkeyThatRefusesOpeningForDeletionIsLeft) {
  const struct {
    const char* what;
    void (*refuse)(test::FakeHost::Key&);
    std::vector<std::string> kept;
    const char* logged;
  } cases[] = {
      {"refuses opening for deletion",
       [](test::FakeHost::Key& key) { key.deleteFailure = kErrorAccessDenied; },
       {"SOFTWARE", "SOFTWARE\\V", "SOFTWARE\\V\\K1", "SOFTWARE\\V\\K1\\B"},
       "tree SOFTWARE\\V\\K1: left, 3 keys deleted"},
      {"refuses every opening",
       [](test::FakeHost::Key& key) { key.openFailure = kErrorAccessDenied; },
       {"SOFTWARE", "SOFTWARE\\V", "SOFTWARE\\V\\K1", "SOFTWARE\\V\\K1\\B",
        "SOFTWARE\\V\\K1\\B\\Below"},
       "tree SOFTWARE\\V\\K1: left, 2 keys deleted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::FakeHost machine;
    machine.AddKey("SOFTWARE\\V\\K1\\A");
    machine.AddKey("SOFTWARE\\V\\K1\\B\\Below");
    machine.AddKey("SOFTWARE\\V\\K1\\C");
    machine.AddKey("SOFTWARE\\V\\K2\\D");
    c.refuse(*machine.FindKey("SOFTWARE\\V\\K1\\B"));
    machine.AddFile(kScriptPath,
                    "[CurrentDev]\r\nDevNo=1\r\n[1KEY]\r\nNum=2\r\n"
                    "Num1=SOFTWARE\\V\\K1\r\nNum2=SOFTWARE\\V\\K2\r\n");

    EXPECT_EQ(PerformRemoval(machine, kNoOwner), kExitLeft);

    EXPECT_EQ(machine.RegistrySnapshot(), c.kept);
    EXPECT_NE(std::find(machine.log.begin(), machine.log.end(), c.logged), machine.log.end());
    EXPECT_TRUE(machine.messageBoxes.empty());
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
    EXPECT_TRUE(machine.faults.empty());
  }
}

// A level whose names cannot all be read, or whose subkeys cannot be counted, keeps everything at
// and below it.
TEST_F(KeyTreesTest, LevelThatCannotBeListedIsKept) {
  host.AddKey("SOFTWARE\\V\\K\\Listed\\Deep");
  host.AddKey("SOFTWARE\\V\\K\\Uncounted\\Deep");
  host.AddKey("SOFTWARE\\V\\K\\Zebra");
  host.AddKey("SOFTWARE\\V\\K\\Listed\\Other");
  host.FindKey("SOFTWARE\\V\\K\\Listed")->enumFailures[1] = kErrorAccessDenied;
  host.FindKey("SOFTWARE\\V\\K\\Uncounted")->queryInfoFailure = kErrorAccessDenied;

  Delete("SOFTWARE\\V\\K");

  EXPECT_EQ(host.JournalOf("deleted-key"), std::vector<std::string>{"SOFTWARE\\V\\K\\Zebra"});
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\V\\K\\Listed\\Deep"));
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\V\\K\\Uncounted\\Deep"));
}

TEST_F(KeyTreesTest, WideTreesAreDeletedWhole) {
  for (int i = 0; i < 1500; ++i) {
    host.AddKey("SOFTWARE\\V\\Wide\\" + std::to_string(i) + "\\Leaf");
  }
  host.AddKey("SOFTWARE\\V\\Wide\\" + std::string(255, 'n'));

  Delete("SOFTWARE\\V\\Wide");

  EXPECT_FALSE(host.KeyExists("SOFTWARE\\V\\Wide"));
  EXPECT_EQ(host.JournalOf("deleted-key").size(), 3002u);
}

// The path grows past 259 characters during the descent and is never cut.
TEST_F(KeyTreesTest, DeepTreesAreDeletedWithWholePaths) {
  std::string path = "SOFTWARE\\V\\Deep";
  for (int level = 0; level < 40; ++level) {
    path += "\\level" + std::to_string(level);
  }
  ASSERT_GT(path.size(), 259u);
  host.AddKey(path);

  Delete("SOFTWARE\\V\\Deep");

  const auto deleted = host.JournalOf("deleted-key");
  ASSERT_EQ(deleted.size(), 41u);
  EXPECT_EQ(deleted.front(), path);
  EXPECT_EQ(host.RegistrySnapshot(), (std::vector<std::string>{"SOFTWARE", "SOFTWARE\\V"}));
}

}  // namespace
}  // namespace vorsk
