#include "tests/property/machine_gen.h"

#include <algorithm>

#include <string>
#include <vector>

namespace vorsk::test {

namespace {

constexpr char kImageClass[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
constexpr char kUsbClass[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{36FC9E60-C465-11CF-8056-444553540000}";
// The same classes in a control set that is not the running one: their entries name files of
// drivers that are not this machine's any more.
constexpr char kStaleImageClass[] =
    "SYSTEM\\ControlSet001\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
constexpr char kStaleUsbClass[] =
    "SYSTEM\\ControlSet001\\Control\\Class\\{36FC9E60-C465-11CF-8056-444553540000}";

constexpr Status kEnumStatuses[] = {kErrorNoMoreItems, kErrorAccessDenied, kErrorMoreData,
                                    kErrorKeyDeleted};

std::string Repeat(char c, std::size_t count) {
  return std::string(count, c);
}

// The twin that a scan over the whole path would derive: the last '.' anywhere in it. Only used
// to put a decoy where such a derivation would land.
std::string WholePathTwin(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  return dot == std::string::npos || dot == 0 ? path : path.substr(0, dot + 1) + "pnf";
}

class CaseGenerator {
 public:
  CaseGenerator(Choices& choices, FakeHost& host) : c_(choices), host_(host) {}

  void Generate() {
    WindowsDirectory();
    Vocabulary();
    StandingMachine();
    DriverStore();
    DriverEntries(kImageClass);
    DriverEntries(kUsbClass);
    if (c_.OneIn(4)) {
      DriverEntries(kStaleImageClass);
      DriverEntries(kStaleUsbClass);
    }
    Devices();
    KeyTrees();
    Script();
  }

 private:
  // Letters as given, flipped one by one, or all in capitals.
  std::string AnyCase(const std::string& text) {
    const std::uint32_t mode = c_.Below(3);
    std::string out = text;
    for (char& ch : out) {
      const bool lower = ch >= 'a' && ch <= 'z';
      const bool upper = ch >= 'A' && ch <= 'Z';
      if (!lower && !upper) {
        continue;
      }
      bool flip = false;
      if (mode == 1) {
        flip = c_.OneIn(2);
      } else if (mode == 2) {
        flip = lower;
      }
      if (flip) {
        ch = static_cast<char>(ch ^ 0x20);
      }
    }
    return out;
  }

  // Arbitrary bytes; without zeros unless allowed, and without line ends when they go into a
  // line of the script.
  std::string Junk(std::uint32_t maxLength, bool zeros = false, bool lineEnds = true) {
    const std::uint32_t length = c_.Below(maxLength + 1);
    std::string out;
    for (std::uint32_t i = 0; i < length; ++i) {
      char ch = c_.Byte();
      if ((ch == '\0' && !zeros) || ((ch == '\r' || ch == '\n') && !lineEnds)) {
        ch = '~';
      }
      out += ch;
    }
    return out;
  }

  std::string Hex(int digits) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < digits; ++i) {
      out += kDigits[c_.Below(16)];
    }
    return out;
  }

  // A registry key name: 1 to 255 characters, no separator, no zero.
  std::string KeyName() {
    static const char* const kNames[] = {"Settings", "Driver", "0000", "Parameters", "Enum",
                                         "Scanner",  "Vendor", "..",   ".",          "a b"};
    switch (c_.Below(10)) {
      case 0:
      case 1:
        return kNames[c_.Below(10)];
      case 2:
        return Repeat('N', 255);  // the registry's limit of a name
      case 3: {
        std::string name = Junk(40, false, false);
        for (char& ch : name) {
          if (ch == '\\') {
            ch = '_';
          }
        }
        return name.empty() ? "j" : name;
      }
      case 4:
        return Repeat('m', c_.Between(200, 255));
      default:
        return "K" + Hex(static_cast<int>(c_.Between(1, 6)));
    }
  }

  void WindowsDirectory() {
    switch (c_.Below(20)) {
      case 15:
        host_.windowsDirectory = "C:\\WIN.NT";
        break;
      case 16:
        host_.windowsDirectory = "C:\\";
        break;
      case 17:
        // Long enough to push the script path, the INF paths or both past their limits.
        host_.windowsDirectory = "C:\\" + Repeat('W', c_.Between(200, 256));
        break;
      case 18:
        host_.windowsDirectoryFails = true;
        break;
      case 19:
        host_.windowsDirectory = "D:\\Windows.Dir x";
        break;
      default:
        host_.windowsDirectory = "C:\\WINDOWS";
        break;
    }
    windows_ = host_.windowsDirectoryFails ? std::string() : host_.windowsDirectory;
  }

  void Vocabulary() {
    const std::uint32_t ids = c_.Between(1, 4);
    for (std::uint32_t i = 0; i < ids; ++i) {
      const std::string vid = Hex(4);
      const std::string pid = Hex(4);
      std::string id = "usb\\vid_" + vid + "&pid_" + pid;
      switch (c_.Below(4)) {
        case 1:
          id += "&mi_0" + Hex(1);
          break;
        case 2:
          id += "&rev_" + Hex(8);
          id.resize(34, '0');  // exactly what a script entry can hold
          break;
        case 3:
          id += "&rev_" + Hex(14);  // 40 characters: a script entry keeps 34 of them
          break;
        default:
          break;
      }
      deviceIds_.push_back(id);
    }
    if (c_.OneIn(4)) {
      // Every letter, and the characters just outside the letters' ranges, which never fold.
      deviceIds_.push_back(c_.OneIn(2) ? "usb\\vid_abcdefghijklm&pid_nopqrstuvwxyz"
                                       : "usb\\vid_@[`{&pid_az");
    }
    const std::uint32_t prefixes = c_.Between(1, 3);
    for (std::uint32_t i = 0; i < prefixes; ++i) {
      const std::string vid = Hex(4);
      const std::string pid = Hex(4);
      prefixes_.push_back("USB\\Vid_" + vid + "&Pid_" + pid);
    }
    if (c_.OneIn(4)) {
      prefixes_.push_back(c_.OneIn(2) ? "USB\\VID_ABCDEFGHIJKLM&PID_NOPQRSTUVWXYZ"
                                      : "USB\\VID_`{@[");
    }
  }

  // Keys and files that no script names and that must outlive every run.
  void StandingMachine() {
    host_.AddKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    host_.SetString("SYSTEM\\CurrentControlSet\\Services\\usbscan", "Start", "3");
    host_.AddKey("HARDWARE\\DESCRIPTION");
    host_.AddKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{Product}\\Icons");
    host_.AddFile(windows_ + "\\Inf\\usb.inf", "[Version]");
    host_.AddFile(windows_ + "\\Inf\\usb.pnf");
    host_.AddFile(windows_ + "\\system32\\drivers\\usbscan.sys");
    host_.AddFile(windows_ + ".pnf");
    host_.AddFile("C:\\evil.inf");
  }

  std::string DeviceIdText() {
    const std::string& id = deviceIds_[c_.Below(static_cast<std::uint32_t>(deviceIds_.size()))];
    switch (c_.Below(8)) {
      case 5:
        return std::string();
      case 6:
        return Junk(40, true);
      case 7:
        return AnyCase(id.substr(0, 34));
      default:
        return AnyCase(id);
    }
  }

  // A value holding `text`, in every type and shape the registry can hand back; nothing for a
  // missing value.
  std::optional<FakeHost::Value> ValueHolding(const std::string& text) {
    FakeHost::Value value;
    switch (c_.Below(16)) {
      case 7:
        return std::nullopt;
      case 8:
        value.data = text;  // not zero-terminated
        break;
      case 9: {
        const std::string tail = Junk(12, true);
        value.data = text + '\0' + tail;
        break;
      }
      case 10:
        value.type = kRegBinary;
        value.data = text + '\0';
        break;
      case 11: {
        value.type = kRegDword;
        for (int i = 0; i < 4; ++i) {
          value.data += c_.Byte();
        }
        break;
      }
      case 12:
        value.type = kRegMultiSz;
        value.data = text + '\0' + "second" + '\0' + '\0';
        break;
      case 13: {
        // More than the 256 bytes a scan reads.
        const std::uint32_t pad = c_.Between(257, 600);
        value.data = text + Repeat('x', pad) + '\0';
        break;
      }
      case 14:
        // Exactly 256 bytes and no zero among them.
        value.data = text + Repeat('y', 256);
        value.data.resize(256);
        for (char& ch : value.data) {
          if (ch == '\0') {
            ch = 'y';
          }
        }
        break;
      case 15:
        break;  // present, no bytes at all
      default:
        value.data = text + '\0';
        break;
    }
    return value;
  }

  // An InfPath text: plain names of every shape, and names that reach outside the INF directory.
  std::string InfName() {
    const std::string number = std::to_string(c_.Below(100));
    switch (c_.Below(28)) {
      case 26: {
        // A device's name, with or without an extension, in any letter case.
        static const char* const kDevices[] = {"CON",  "prn",  "Aux",  "NUL",  "COM1",
                                               "com9", "LPT1", "lpt9", "COM0", "LPT10"};
        std::string name = AnyCase(kDevices[c_.Below(10)]);
        if (c_.OneIn(2)) {
          name += c_.OneIn(2) ? ".inf" : " .pnf";
        }
        return name;
      }
      case 27:
        return "oem" + number + (c_.OneIn(2) ? "<>.inf" : "|?.inf");
      case 8:
        return "a.b" + number + ".inf";
      case 9:
        return "name" + number + ".x";
      case 10:
        return "oem" + number;
      case 11:
        return ".inf";
      case 12:
        return "x" + number + ".";
      case 13:
        return ".";
      case 14:
        return "..";
      case 15:
        return std::string();
      case 16:
        return "..\\oem" + number + ".inf";
      case 17:
        return c_.OneIn(2) ? "sub\\x.inf" : "sub/x.inf";
      case 18:
        return c_.OneIn(2) ? "C:evil.inf" : "C:\\evil.inf";
      case 19:
        // Around the boundary of a 255-character path (a path of 256 is reported, never cut).
        return Repeat('n', windows_.size() + 5 + 4 < 255
                               ? 255 - windows_.size() - 5 - 4 + c_.Below(4) - 1
                               : c_.Between(200, 251)) +
               ".inf";
      case 20: {
        static const char* const kDots[] = {"...", ".. ", " ..", ". ."};
        return kDots[c_.Below(4)];
      }
      case 21:
        return Junk(24);
      case 22:
        return c_.OneIn(2) ? "oem 7.inf" : "%s%n.inf";
      case 23:
        return "\\\\server\\share\\x.inf";
      case 24:
        return "..\\..\\evil.inf";
      case 25:
        return AnyCase("OEM" + number + ".INF");
      default:
        return "oem" + number + ".inf";
    }
  }

  // The INF file an entry names, its twin, and the decoys where a derivation that went wrong
  // would land; each there or not, read-only or protected.
  void InfFiles(const std::string& infName) {
    const std::string inf = windows_ + "\\Inf\\" + infName;
    const std::size_t dot = infName.rfind('.');
    const std::string twin =
        windows_ + "\\Inf\\" +
        (dot == std::string::npos ? infName + ".pnf" : infName.substr(0, dot + 1) + "pnf");
    for (const std::string& path : {inf, twin, WholePathTwin(inf)}) {
      if (c_.OneIn(4)) {
        continue;
      }
      std::uint32_t attributes = kFileAttributeArchive;
      if (c_.OneIn(4)) {
        attributes = kFileAttributeReadOnly;
      }
      host_.AddFile(path, "inf of " + infName, attributes);
      if (c_.OneIn(10)) {
        host_.files[path].deleteDenied = true;
      }
    }
  }

  // The driver store of Windows Vista and later, or none as on older Windows and Wine 8; what the
  // platform can tell of it, and how its uninstall fails for everyone.
  void DriverStore() {
    if (windows_.empty() || !c_.OneIn(2)) {
      return;
    }
    host_.AddDriverStore();
    host_.directories.insert(windows_ + "\\Inf");
    host_.storeLocationKnown = c_.OneIn(2);
    host_.uninstallRefusedInWow64 = c_.OneIn(2);
    if (c_.OneIn(2)) {
      host_.AddKey("DRIVERS\\DriverDatabase\\DriverPackages");
    }
    if (c_.OneIn(12)) {
      host_.uninstallFailure = c_.OneIn(2) ? kErrorAccessDenied : kErrorInfInUseByDevices;
    }
    // The platform's own package of the standing machine's usb.inf.
    FakeHost::Package& own =
        host_.AddPackage("usb.inf", "usb.inf_x86_" + Hex(8), "[Version]", false);
    own.platformOwn = true;
    if (c_.OneIn(4)) {
      host_.protectedFiles.insert(windows_ + "\\Inf\\usb.inf");
    }
  }

  // The package an InfPath publishes, if any: staged in the store with the published bytes (or,
  // after an earlier removal, only there and in the driver database), the platform's own, in use,
  // or one that older Windows keeps without a store; or protected files that no package holds.
  void Package(const std::string& infName) {
    // One published INF names one package.
    const bool named =
        std::any_of(host_.packages.begin(), host_.packages.end(),
                    [&](const auto& p) { return EqualNoCase(p.publishedInf, infName); });
    if (windows_.empty() || named || c_.OneIn(3)) {
      return;
    }
    const std::string inf = windows_ + "\\Inf\\" + infName;
    const auto published = host_.files.find(inf);
    const std::string content = published != host_.files.end() ? published->second.content : "inf";
    const std::string folder = "pkg" + Hex(4) + ".inf_x86_" + Hex(8);
    FakeHost::Package* package = nullptr;
    if (host_.directories.count(windows_ + "\\System32\\DriverStore\\FileRepository") != 0) {
      package = &host_.AddPackage(infName, folder, content, false);
      if (c_.OneIn(3) && host_.FindKey("DRIVERS\\DriverDatabase") != nullptr) {
        host_.AddDatabaseEntry(infName, c_.OneIn(6) ? "junk" : folder);
      }
    } else {
      host_.packages.push_back({infName, std::string(), std::string(), std::string()});
      package = &host_.packages.back();
    }
    package->platformOwn = c_.OneIn(8);
    package->usedByDevice = c_.OneIn(4);
    if (c_.OneIn(8)) {
      host_.protectedFiles.insert(inf);
    }
  }

  void DriverEntries(const char* classKey) {
    switch (c_.Below(16)) {
      case 13:
        return;  // no such class on this machine
      case 14:
        host_.AddKey(classKey).openFailure = kErrorAccessDenied;
        break;
      case 15:
        host_.AddKey(classKey).queryInfoFailure = kErrorAccessDenied;
        break;
      default:
        host_.AddKey(classKey);
        break;
    }
    const std::uint32_t count = c_.OneIn(80) ? c_.Between(100, 300) : c_.Below(7);
    for (std::uint32_t i = 0; i < count; ++i) {
      std::string name = std::to_string(i);
      name.insert(0, name.size() < 4 ? 4 - name.size() : 0, '0');
      if (c_.OneIn(6)) {
        name = KeyName();
      }
      const std::string path = std::string(classKey) + "\\" + name;
      FakeHost::Key& entry = host_.AddKey(path);
      if (c_.OneIn(16)) {
        entry.openFailure = kErrorAccessDenied;
      }
      const std::string matchingId = DeviceIdText();
      if (const auto value = ValueHolding(matchingId)) {
        entry.values["MatchingDeviceId"] = *value;
      }
      const std::string infName = InfName();
      if (const auto value = ValueHolding(infName)) {
        entry.values["InfPath"] = *value;
      }
      InfFiles(infName);
      Package(infName);
    }
    if (c_.OneIn(6)) {
      const std::uint32_t index = c_.Below(count + 2);
      host_.FindKey(classKey)->enumFailures[index] = kEnumStatuses[c_.Below(4)];
    }
  }

  std::string HardwareId() {
    const std::string& prefix = prefixes_[c_.Below(static_cast<std::uint32_t>(prefixes_.size()))];
    static const char* const kSuffixes[] = {"", "&REV_0100", "&MI_00", "&Rev_0001&MI_01"};
    switch (c_.Below(8)) {
      case 4:
        return prefix.substr(0, c_.Below(static_cast<std::uint32_t>(prefix.size())));
      case 5:
        return "USB\\Class_07";
      case 6:
        return Junk(30);
      case 7:
        return "ROOT\\LEGACY_X";
      default: {
        const std::string id = AnyCase(prefix);
        return id + kSuffixes[c_.Below(4)];
      }
    }
  }

  // A hardware-ID list as the property's bytes: well formed, empty, unterminated, very long.
  std::optional<std::string> HardwareIdList() {
    std::string list;
    switch (c_.Below(12)) {
      case 5:
        return std::nullopt;  // no hardware IDs at all
      case 6:
        return std::string();
      case 7:
        return std::string(1, '\0');
      case 8: {
        // The last ID lacks its terminating zero.
        const std::uint32_t count = c_.Between(1, 3);
        for (std::uint32_t i = 0; i < count; ++i) {
          if (i > 0) {
            list += '\0';
          }
          list += HardwareId();
        }
        return list;
      }
      case 9: {
        // Terminated IDs but no empty text after them.
        const std::uint32_t count = c_.Between(1, 3);
        for (std::uint32_t i = 0; i < count; ++i) {
          list += HardwareId();
          list += '\0';
        }
        return list;
      }
      case 10: {
        list = HardwareId();
        list += Repeat('x', c_.Between(1000, 5000));
        if (c_.OneIn(2)) {
          list += std::string(2, '\0');
        }
        return list;
      }
      case 11: {
        const std::uint32_t count = c_.Between(20, 60);
        for (std::uint32_t i = 0; i < count; ++i) {
          list += HardwareId();
          list += '\0';
        }
        list += '\0';
        return list;
      }
      default: {
        const std::uint32_t count = c_.Between(1, 3);
        for (std::uint32_t i = 0; i < count; ++i) {
          list += HardwareId();
          list += '\0';
        }
        list += '\0';
        return list;
      }
    }
  }

  void Devices() {
    const std::uint32_t count = c_.OneIn(30) ? c_.Between(30, 60) : c_.Below(7);
    for (std::uint32_t i = 0; i < count; ++i) {
      FakeHost::Device device;
      device.instanceId = "ROOT\\IMAGE\\" + std::to_string(1000 + i);
      device.hardwareIds = HardwareIdList();
      device.present = !c_.OneIn(3);
      device.refusesRemoval = c_.OneIn(8);
      device.needsRestart = c_.OneIn(8);
      device.instanceIdUnreadable = c_.OneIn(20);
      if (c_.OneIn(8) && device.hardwareIds) {
        // A size query that disagrees with the list; always a size the platform could allocate.
        const auto size = static_cast<std::uint32_t>(device.hardwareIds->size());
        switch (c_.Below(4)) {
          case 0:
            device.reportedSize = 0;
            break;
          case 1:
            device.reportedSize = c_.Below(size + 1);
            break;
          case 2:
            device.reportedSize = size + c_.Between(1, 4096);
            break;
          default:
            device.reportedSize = size + 1;
            break;
        }
      }
      host_.devices.push_back(device);
    }
    if (c_.OneIn(10)) {
      host_.allocationFailures = static_cast<int>(c_.Between(1, 5));
    }
    host_.classDevsFail = c_.OneIn(30);
    Companion();
  }

  // On 64-bit Windows the matching instances go to the companion beside the program, which may
  // be missing, fail to start, refuse its command line, or be cut short after a few reports.
  void Companion() {
    host_.wow64 = c_.OneIn(3);
    switch (c_.Below(8)) {
      case 0:
        host_.companion = FakeHost::Companion::Missing;
        break;
      case 1:
        host_.companion = FakeHost::Companion::FailsToStart;
        break;
      case 2:
        host_.companion = FakeHost::Companion::RefusesCommandLine;
        break;
      case 3:
        host_.companion = FakeHost::Companion::CutShort;
        host_.companionReportsBeforeCut = c_.Below(3);
        break;
      default:
        host_.companion = FakeHost::Companion::Works;
        break;
    }
  }

  void Faults(FakeHost::Key& key) {
    switch (c_.Below(40)) {
      case 1:
        key.openFailure = kErrorAccessDenied;
        break;
      case 2:
        key.queryInfoFailure = kErrorAccessDenied;
        break;
      case 3: {
        const std::uint32_t index = c_.Below(static_cast<std::uint32_t>(key.subkeys.size()) + 1);
        key.enumFailures[index] = kEnumStatuses[c_.Below(4)];
        break;
      }
      case 4:
        key.deleteFailure = kErrorAccessDenied;
        break;
      default:
        break;
    }
  }

  void Tree(const std::string& path, std::uint32_t depth) {
    host_.AddKey(path);
    nodes_.push_back(path);
    if (c_.OneIn(6)) {
      // A symbolic link inside the tree, to a key outside it (the platform's, another vendor's,
      // or none at all): the link goes, never what it points to.
      static const char* const kTargets[] = {"SOFTWARE\\Microsoft\\Windows",
                                             "SYSTEM\\CurrentControlSet\\Services\\usbscan",
                                             "SOFTWARE\\Nowhere", "HARDWARE"};
      const std::string target = roots_.size() > 1 && c_.OneIn(3)
                                     ? roots_[c_.Below(static_cast<std::uint32_t>(roots_.size()))]
                                     : kTargets[c_.Below(4)];
      host_.AddLink(path + "\\Link" + std::to_string(c_.Below(10)), target);
    }
    if (c_.OneIn(3)) {
      const std::string setting = Junk(16, true);
      host_.SetValue(path, "Setting", setting);
    }
    if (depth > 0) {
      const std::uint32_t children = c_.Below(4);
      for (std::uint32_t i = 0; i < children; ++i) {
        const std::string name = KeyName();
        Tree(path + "\\" + name, depth - 1);
      }
    }
    Faults(*host_.FindKey(path));
  }

  void KeyTrees() {
    const std::uint32_t count = c_.Between(1, 4);
    for (std::uint32_t r = 0; r < count; ++r) {
      const std::string vendor = "Vendor" + std::to_string(c_.Below(3));
      const std::string product = KeyName();
      const std::string root = "SOFTWARE\\" + vendor + "\\" + product;
      roots_.push_back(root);
      switch (c_.Below(12)) {
        case 9:
          if (c_.OneIn(20)) {
            // Wider than a fixed table of a thousand names.
            const std::uint32_t width = c_.Between(1001, 1100);
            for (std::uint32_t i = 0; i < width; ++i) {
              host_.AddKey(root + "\\" + std::to_string(i));
            }
            nodes_.push_back(root);
            Faults(*host_.FindKey(root));
            break;
          }
          Tree(root, 2);
          break;
        case 10: {
          // Deep, with long names: the path grows far beyond 259 characters.
          std::string path = root;
          const std::uint32_t depth = c_.Between(3, 40);
          const bool longNames = c_.OneIn(2);
          for (std::uint32_t level = 0; level < depth; ++level) {
            path += "\\" + (longNames ? Repeat('d', 255) : "level" + std::to_string(level));
          }
          host_.AddKey(path);
          for (std::size_t end = path.size(); end > root.size(); end = path.rfind('\\', end - 1)) {
            nodes_.push_back(path.substr(0, end));
          }
          nodes_.push_back(root);
          break;
        }
        case 11:
          if (c_.OneIn(24)) {
            // As deep as the registry allows.
            std::string path = root;
            const std::uint32_t depth = c_.Between(300, 510);
            for (std::uint32_t level = 0; level < depth; ++level) {
              path += "\\L";
            }
            host_.AddKey(path);
            nodes_.push_back(path);
            break;
          }
          Tree(root, 3);
          break;
        default:
          Tree(root, c_.Below(4));
          break;
      }
    }
  }

  // A path for the script's key section: listed trees in any case and with trailing separators,
  // keys inside them, vendor keys, top-level keys, missing keys, malformed and overlong paths.
  std::string ListedPath() {
    const std::string& root = roots_[c_.Below(static_cast<std::uint32_t>(roots_.size()))];
    switch (c_.Below(18)) {
      case 6:
        return AnyCase(
            nodes_.empty() ? root : nodes_[c_.Below(static_cast<std::uint32_t>(nodes_.size()))]);
      case 7:
        return root.substr(0, root.rfind('\\'));  // the vendor key: two components
      case 8: {
        static const char* const kTop[] = {"SOFTWARE", "SYSTEM\\",   "\\SOFTWARE\\",
                                           "\\\\",     "HARDWARE\\", "SOFTWARE\\\\",
                                           "\\",       "software"};
        return kTop[c_.Below(8)];
      }
      case 9:
        return "SOFTWARE\\Missing" + std::to_string(c_.Below(3)) + "\\Deeper";
      case 10:
        return "\\" + root;
      case 11: {
        std::string doubled = root;
        doubled.insert(doubled.find('\\'), "\\");
        return doubled;
      }
      case 12:
        // Names one past the registry's limit, or far beyond: no such key can be there.
        return root + "\\" + Repeat('L', c_.OneIn(2) ? 256 : 300);
      case 13:
        return Junk(60);
      case 14: {
        // The platform's own keys and those that hold them, spelt in any way the registry reads,
        // and a vendor's keys below them, which may go.
        static const char* const kPlatform[] = {
            "SOFTWARE\\Microsoft",
            "SYSTEM\\ControlSet001\\Control",
            "software\\\\microsoft\\windows\\",
            "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion",
            "SYSTEM\\CurrentControlSet\\Services",
            "SYSTEM\\CurrentControlSet\\Services\\usbscan",
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{Product}",
            "SYSTEM\\ControlSet002\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}",
            "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"
            "\\0003",
            "SYSTEM"};
        return AnyCase(kPlatform[c_.Below(10)]);
      }
      case 15:
        return root + "\\.";
      default: {
        std::string path = AnyCase(root);
        if (c_.OneIn(4)) {
          path += c_.OneIn(2) ? "\\" : "\\\\";
        }
        return path;
      }
    }
  }

  std::string MaybeQuoted(const std::string& value) {
    if (c_.OneIn(10)) {
      return "\"" + value + "\"";
    }
    if (c_.OneIn(10)) {
      return "  " + value + " ";
    }
    return value;
  }

  void Entry(const std::string& name, const std::string& value) {
    const std::string entry = AnyCase(name);
    const std::string text = MaybeQuoted(value);
    Line(entry + "=" + text);
  }

  void Section(const std::string& name) {
    const std::string section = AnyCase(name);
    Line(c_.OneIn(10) ? "[ " + section + " ]" : "[" + section + "]");
  }

  void Line(const std::string& text) {
    script_ += text;
    script_ += lineEnd_;
    if (c_.OneIn(12)) {
      static const char* const kNoise[] = {"; a comment", "[", "=", "Num", "", "[]"};
      script_ += kNoise[c_.Below(6)];
      script_ += lineEnd_;
    }
  }

  std::string DevNo() {
    switch (c_.Below(12)) {
      case 4:
        return std::string();
      case 5:
        return Repeat('D', c_.Between(240, 300));
      case 6:
        return Junk(12, false, false);
      case 7:
        return " 2 ";
      case 8:
        return "-1";
      case 9:
        return "0x1";
      case 10:
        return "Dev";
      default:
        return std::to_string(c_.Below(21));
    }
  }

  std::string PrefixText() {
    const std::string& prefix = prefixes_[c_.Below(static_cast<std::uint32_t>(prefixes_.size()))];
    switch (c_.Below(10)) {
      case 5:
        return std::string();
      case 6:
        return prefix.substr(0, c_.Between(1, static_cast<std::uint32_t>(prefix.size())));
      case 7:
        return Repeat('P', 300);
      case 8:
        return Junk(20, false, false);
      default:
        return AnyCase(prefix);
    }
  }

  std::string CountText(std::uint32_t listed) {
    switch (c_.Below(12)) {
      case 6:
        return "0";
      case 7:
        return "-" + std::to_string(c_.Between(1, 2147483647));
      case 8: {
        // Each of these lists a thousand trees, read one by one: rare, as they are slow.
        static const char* const kHuge[] = {"2147483647", "99999999999", "4294967295", "2147483648",
                                            "1000"};
        if (c_.OneIn(5)) {
          return kHuge[c_.Below(5)];
        }
        return std::to_string(c_.Between(13, 40));
      }
      case 9:
        return c_.OneIn(2) ? "abc" : "x5";
      case 10:
        return "0x" + Hex(2);
      case 11:
        return std::to_string(c_.Between(1, 12));
      default:
        return std::to_string(listed);
    }
  }

  void Script() {
    static const char* const kLineEnds[] = {"\r\n", "\n", "\r"};
    lineEnd_ = kLineEnds[c_.Below(3)];
    if (c_.OneIn(40)) {
      script_ = Junk(600);
    } else {
      if (!c_.OneIn(8)) {
        Section("RemoveInf");
        std::string previous;
        for (const char* entry : {"Image0", "Image1", "USB0"}) {
          if (c_.OneIn(5)) {
            continue;
          }
          std::string id = DeviceIdText();
          if (c_.OneIn(6)) {
            id = previous;  // two lookups for the same driver entry
          } else if (c_.OneIn(10)) {
            const std::string tail = Junk(12, false, false);
            id += tail;  // longer than an entry can hold
          }
          previous = id;
          Entry(entry, id);
        }
        if (c_.OneIn(3)) {
          Entry("Image", "2");
          Entry("USB", "1");
        }
      }
      std::string devNo = DevNo();
      if (!c_.OneIn(8)) {
        Section("CurrentDev");
        Entry("DevNo", devNo);
      } else {
        devNo.clear();
      }
      if (devNo == " 2 ") {
        devNo = "2";  // as the reader gives it back
      }
      if (c_.OneIn(10)) {
        devNo = std::to_string(c_.Below(3));  // sections of another device
      }
      if (!c_.OneIn(8)) {
        Section(devNo + "PIDVID");
        if (!c_.OneIn(5)) {
          Entry("Num1", PrefixText());
        }
        if (!c_.OneIn(5)) {
          Entry("Num2", PrefixText());
        }
        if (c_.OneIn(3)) {
          Entry("DevNum", "1");
        }
      }
      if (!c_.OneIn(8)) {
        Section(devNo + "KEY");
        const std::uint32_t listed = c_.Below(9);
        if (!c_.OneIn(6)) {
          Entry("Num", CountText(listed));
        }
        for (std::uint32_t i = 1; i <= listed; ++i) {
          if (c_.OneIn(8)) {
            continue;  // a gap in the numbered list
          }
          Entry("Num" + std::to_string(i), ListedPath());
        }
      }
    }
    const std::string path = windows_ + "\\Setup417\\Remove417.ini";
    switch (c_.Below(24)) {
      case 22:
        break;  // no script
      case 23:
        host_.AddFile(path, script_);
        host_.files[path].heldOpenForWriting = true;
        break;
      default:
        host_.AddFile(AnyCase(path), script_);
        break;
    }
  }

  Choices& c_;
  FakeHost& host_;
  std::string windows_;
  std::vector<std::string> deviceIds_;
  std::vector<std::string> prefixes_;
  std::vector<std::string> roots_;
  std::vector<std::string> nodes_;
  std::string script_;
  std::string lineEnd_;
};

}  // namespace

void GenerateCase(Choices& choices, FakeHost& host) {
  CaseGenerator(choices, host).Generate();
}

}  // namespace vorsk::test
