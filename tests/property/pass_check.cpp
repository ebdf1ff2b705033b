#include "tests/property/pass_check.h"

#include "text/text.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "removal/run.h"

namespace vorsk::test {

namespace {

const WindowHandle kFrame{0x5150};

constexpr char kImageClass[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
constexpr char kUsbClass[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{36FC9E60-C465-11CF-8056-444553540000}";

// Sizes the rules give: buffers of the script's entries, of the driver scan, and the most trees
// a script lists.
constexpr std::uint32_t kIdEntrySize = 35;
constexpr std::uint32_t kTextEntrySize = 260;
constexpr std::size_t kLongestSection = 259;
constexpr std::size_t kLongestScriptPath = 259;
constexpr std::size_t kLongestDriverText = 255;
constexpr std::size_t kLargestValue = 256;
constexpr std::int32_t kTreesByDefault = 5;
constexpr std::int32_t kMostTrees = 1000;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool SameLettersAside(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) {
      return false;
    }
  }
  return true;
}

bool BeginsWith(std::string_view id, std::string_view prefix) {
  return !prefix.empty() && id.size() >= prefix.size() &&
         SameLettersAside(id.substr(0, prefix.size()), prefix);
}

// Whether `text` begins with `pattern`, letter case aside, where 'h' in the pattern is any hex
// digit, 'L' any letter and '?' any character.
bool BeginsLike(std::string_view text, std::string_view pattern) {
  if (text.size() < pattern.size()) {
    return false;
  }
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool fits = pattern[i] == 'h'   ? std::isxdigit(c) != 0
                      : pattern[i] == 'L' ? std::isalpha(c) != 0
                      : pattern[i] == '?' ? true
                                          : Lower(text[i]) == Lower(pattern[i]);
    if (!fits) {
      return false;
    }
  }
  return true;
}

// A prefix as the run uses it: one that does not reach the vendor in its bus's own form is refused
// and matches nothing. The forms, as patterns: USB and HID, VID_ and four hex digits; PCI, VEN_,
// four hex digits, &DEV_ and four hex digits; SCSI, USBSTOR and IDE, the device type when it
// begins with one and eight characters; ACPI, a plug-and-play or ACPI ID whole, or VEN_..&DEV_ and
// four hex digits; SWD, its enumerator, a backslash and four characters; any other bus, four
// characters after its backslash.
std::string UsedPrefix(const std::string& prefix) {
  const std::size_t slash = prefix.find('\\');
  if (slash == std::string::npos) {
    return std::string();
  }
  const std::string bus = prefix.substr(0, slash);
  const std::string_view device = std::string_view(prefix).substr(slash + 1);
  bool used = device.size() >= 4;
  if (SameLettersAside(bus, "usb") || SameLettersAside(bus, "hid")) {
    used = BeginsLike(device, "VID_hhhh");
  } else if (SameLettersAside(bus, "pci")) {
    used = BeginsLike(device, "VEN_hhhh&DEV_hhhh");
  } else if (SameLettersAside(bus, "scsi") || SameLettersAside(bus, "usbstor") ||
             SameLettersAside(bus, "ide")) {
    std::size_t type = 0;
    for (const char* name : {"Disk", "Sequential", "Printer", "Processor", "Worm", "CdRom",
                             "Scanner", "Optical", "Changer", "Net", "ASCIT8", "Array",
                             "Enclosure", "RBC", "CardReader", "Bridge", "Other"}) {
      if (BeginsLike(device, name)) {
        type = std::max(type, std::string_view(name).size());
      }
    }
    used = device.size() >= type + 8;
  } else if (SameLettersAside(bus, "acpi")) {
    const std::size_t amp = device.find('&');
    used = BeginsLike(device, "VEN_")
               ? amp != std::string_view::npos && amp > 4 &&
                     BeginsLike(device.substr(amp), "&DEV_hhhh")
               : BeginsLike(device, "LLLhhhh") || BeginsLike(device, "????hhhh");
  } else if (SameLettersAside(bus, "swd")) {
    const std::size_t second = device.find('\\');
    used = second != std::string_view::npos && device.size() - second - 1 >= 4;
  }
  return used ? prefix : std::string();
}

// Registry data read as text: up to the first zero or the end.
std::string TextOf(const std::string& data) {
  const std::size_t zero = data.find('\0');
  return zero == std::string::npos ? data : data.substr(0, zero);
}

// An InfPath that names a file in the INF directory itself: no folder, drive or character that
// no file name holds, no name the platform would change by dropping a last dot or blank, and no
// device's name (with or without an extension).
bool NamesAnInfFile(const std::string& name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') {
    return false;
  }
  static const std::string kForbidden = "\\/:<>\"|?*";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 1 && byte <= 31) || kForbidden.find(c) != std::string::npos) {
      return false;
    }
  }
  std::string stem = name.substr(0, name.find('.'));
  stem.erase(stem.find_last_not_of(' ') + 1);
  std::transform(stem.begin(), stem.end(), stem.begin(), Lower);
  static const std::set<std::string> kDevices = {
      "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4", "com5", "com6", "com7",
      "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
  return kDevices.count(stem) == 0;
}

std::string PrecompiledName(const std::string& infName) {
  const std::size_t dot = infName.rfind('.');
  if (dot == std::string::npos) {
    return infName + ".pnf";
  }
  return infName.substr(0, dot) + ".pnf";
}

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts(1);
  for (const char c : path) {
    if (c == '\\') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// The tree a listed path names, or nothing when it names none that may go: trailing separators
// dropped, then at least two non-empty components.
// The platform's own keys: a listed path that is one, or holds one, is never deleted.
bool IsPlatformKeyOrHolder(const std::vector<std::string>& parts) {
  static const std::vector<std::string> kSoftware = {
      "microsoft",
      "microsoft\\windows",
      "microsoft\\windows\\currentversion",
      "microsoft\\windows\\currentversion\\uninstall",
      "microsoft\\windows\\currentversion\\run",
      "microsoft\\windows\\currentversion\\runonce",
      "microsoft\\windows\\currentversion\\app paths",
      "microsoft\\windows\\currentversion\\explorer",
      "microsoft\\windows\\currentversion\\policies",
      "microsoft\\windows nt\\currentversion",
      "classes",
      "policies"};
  static const std::vector<std::string> kSet = {
      "",     "control",  "control\\class",   "control\\class\\{}", "control\\session manager",
      "enum", "services", "hardware profiles"};
  std::vector<std::string> table = {"software\\wow6432node", "system\\select", "system\\setup",
                                    "system\\mounteddevices", "system\\driverdatabase"};
  for (const std::string& key : kSoftware) {
    table.push_back("software\\" + key);
    table.push_back("software\\wow6432node\\" + key);
  }
  for (const std::string& key : kSet) {
    table.push_back("system\\<set>" + (key.empty() ? "" : "\\" + key));
  }
  std::vector<std::string> lower;
  for (const std::string& part : parts) {
    std::string folded = part;
    std::transform(folded.begin(), folded.end(), folded.begin(), Lower);
    lower.push_back(folded);
  }
  for (const std::string& key : table) {
    const std::vector<std::string> keyParts = Components(key);
    if (lower.size() > keyParts.size()) {
      continue;
    }
    bool holds = true;
    for (std::size_t i = 0; i < lower.size() && holds; ++i) {
      const std::string& want = keyParts[i];
      const std::string& have = lower[i];
      if (want == "<set>") {
        holds = have == "currentcontrolset" ||
                (have.size() == 13 && have.compare(0, 10, "controlset") == 0 &&
                 std::all_of(have.begin() + 10, have.end(),
                             [](char c) { return c >= '0' && c <= '9'; }));
      } else if (want == "{}") {
        holds = have.size() >= 2 && have.front() == '{' && have.back() == '}';
      } else {
        holds = have == want;
      }
    }
    if (holds) {
      return true;
    }
  }
  return false;
}

// The tree a listed path names, or nothing when it names none that may go: separators collapsed
// as the registry collapses them, then at least two components, and no key of the platform's.
std::optional<std::string> TreeRoot(const std::string& listed) {
  std::string path;
  for (const char c : listed) {
    if (c != '\\' || path.empty() || path.back() != '\\') {
      path += c;
    }
  }
  while (path.size() > 1 && path.back() == '\\') {
    path.pop_back();
  }
  std::vector<std::string> parts = Components(path);
  const auto named = std::count_if(parts.begin(), parts.end(),
                                   [](const std::string& part) { return !part.empty(); });
  if (named < 2 || IsPlatformKeyOrHolder(parts)) {
    return std::nullopt;
  }
  return path;
}

bool AtOrBelow(const std::string& path, const std::string& root) {
  return path.size() >= root.size() &&
         SameLettersAside(std::string_view(path).substr(0, root.size()), root) &&
         (path.size() == root.size() || path[root.size()] == '\\');
}

bool AtOrBelowAny(const std::string& path, const std::vector<std::string>& roots) {
  return std::any_of(roots.begin(), roots.end(),
                     [&](const std::string& root) { return AtOrBelow(path, root); });
}

std::string Printable(std::string_view text, std::size_t limit = 300) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : text.substr(0, limit)) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7f) {
      out += "\\x";
      out += kDigits[b >> 4];
      out += kDigits[b & 15];
    } else {
      out += c;
    }
  }
  if (text.size() > limit) {
    out += "...(" + std::to_string(text.size()) + " bytes)";
  }
  return out;
}

std::string Describe(const MessageBoxRecord& box) {
  return "[" + std::to_string(static_cast<std::uintptr_t>(box.owner)) + "] \"" +
         Printable(box.text) + "\" caption " +
         (box.caption ? "\"" + Printable(*box.caption) + "\"" : std::string("(default)")) +
         " type " + std::to_string(box.type);
}

bool SameBox(const MessageBoxRecord& a, const MessageBoxRecord& b) {
  return a.owner == b.owner && a.text == b.text && a.caption == b.caption && a.type == b.type;
}

MessageBoxRecord UndeletableFileBox(const std::string& path) {
  return {kNoOwner, "File: " + path + " is read only,can't be deleted!", std::nullopt, kMbOk};
}

void AllKeyPaths(const FakeHost::Key& key, const std::string& path, std::set<std::string>& out) {
  for (const auto& [name, subkey] : key.subkeys) {
    const std::string subPath = path.empty() ? name : path + "\\" + name;
    out.insert(subPath);
    AllKeyPaths(*subkey, subPath, out);
  }
}

// What the rules let the run do on this machine.
struct Prediction {
  bool scriptFound = false;
  std::vector<MessageBoxRecord> boxes;
  std::string output;
  std::string prefix1;
  std::string prefix2;
  std::vector<std::string> removals;  // instance IDs, in the order of the walk
  bool left = false;                  // something the script names is left
  // The listed trees that are there before the run. Which of their keys a fault keeps depends on
  // the order of the deletions (a tree listed first can take the key whose listing would fail):
  // the status is checked against the trees that are still there after the run.
  std::vector<std::string> existingRoots;
  bool restartNeeded = false;
  std::set<std::string, NoCaseLess> allowedFiles;
  std::map<std::string, FakeHost::File, NoCaseLess> filesAfter;
  std::vector<std::string> roots;       // the trees the script lists
  std::vector<std::string> mustVanish;  // keys nothing keeps: below a listed tree, no fault
  std::vector<std::string> mustStay;    // keys at or below a level that cannot be listed
  // What a run that lists finds there: the files of each driver entry, present or absent, the
  // matching instances in the order of the walk, and the keys of each listed tree that is there.
  bool somethingThere = false;
  std::set<std::string, NoCaseLess> presentFiles;
  std::set<std::string, NoCaseLess> absentFiles;
  std::vector<std::string> matched;
  std::map<std::string, std::uint32_t> treeKeys;
  // The published INFs whose packages the store holds before the run, as a listing names them,
  // and the driver database's keys that an uninstall takes with its package.
  std::set<std::string, NoCaseLess> heldPackages;
  std::vector<std::string> databaseKeysGone;
};

class Predictor {
 public:
  explicit Predictor(FakeHost& host) : host_(host) {}

  Prediction Predict() {
    const bool noDirectory =
        host_.windowsDirectoryFails || host_.windowsDirectory.size() >= kTextEntrySize;
    scriptPath_ =
        (noDirectory ? std::string() : host_.windowsDirectory) + "\\Setup417\\Remove417.ini";
    const auto script = host_.files.find(scriptPath_);
    p_.scriptFound = !noDirectory && scriptPath_.size() <= kLongestScriptPath &&
                     script != host_.files.end() && !script->second.heldOpenForWriting;
    p_.filesAfter = host_.files;
    if (!p_.scriptFound) {
      p_.boxes.push_back({kFrame, "Can't locate at file remove417.ini,uninstall failed!",
                          std::string(), kMbIconInformation});
      return p_;
    }
    PredictFiles();
    const std::string devNo = Read("CurrentDev", "DevNo", kTextEntrySize);
    PredictDevices(devNo);
    PredictTrees(devNo);
    return p_;
  }

 private:
  std::string Read(const std::string& section, const std::string& entry, std::uint32_t size) {
    if (section.size() > kLongestSection) {
      return std::string();  // no section of that name can be named
    }
    return host_.GetPrivateProfileStringA(section, entry, std::string(), size, scriptPath_);
  }

  // The InfPath of the first driver entry of the class key whose MatchingDeviceId is `id`, when
  // the scan gets to it and it names a file in the INF directory.
  std::optional<std::string> InfNameFor(const char* classKey, const std::string& id) {
    if (id.empty()) {
      return std::nullopt;  // an empty ID names no driver
    }
    const FakeHost::Key* key = host_.FindKey(classKey);
    if (key == nullptr || key->openFailure || key->queryInfoFailure) {
      return std::nullopt;
    }
    std::uint32_t index = 0;
    for (const auto& [name, entry] : key->subkeys) {
      const auto failure = key->enumFailures.find(index++);
      if (failure != key->enumFailures.end()) {
        if (failure->second == kErrorNoMoreItems) {
          return std::nullopt;
        }
        continue;
      }
      if (name.size() > kLongestDriverText || entry->openFailure) {
        continue;
      }
      const auto matching = entry->values.find("MatchingDeviceId");
      if (matching == entry->values.end() || matching->second.data.size() > kLargestValue ||
          !SameLettersAside(TextOf(matching->second.data), id)) {
        continue;
      }
      const auto infPath = entry->values.find("InfPath");
      if (infPath == entry->values.end() || infPath->second.data.size() > kLargestValue) {
        return std::nullopt;
      }
      const std::string infName = TextOf(infPath->second.data);
      if (!NamesAnInfFile(infName)) {
        return std::nullopt;
      }
      return infName;
    }
    return std::nullopt;
  }

  void PredictFiles() {
    const bool haveDirectory =
        !host_.windowsDirectoryFails && host_.windowsDirectory.size() <= kLongestDriverText;
    const std::pair<const char*, const char*> lookups[] = {
        {"Image0", kImageClass}, {"Image1", kImageClass}, {"USB0", kUsbClass}};
    for (const auto& [entry, classKey] : lookups) {
      const std::string id = Read("RemoveInf", entry, kIdEntrySize);
      const std::optional<std::string> infName = InfNameFor(classKey, id);
      if (!infName) {
        continue;
      }
      if (!haveDirectory) {
        // Whether the files are there cannot be told: they count as left.
        p_.boxes.push_back(UndeletableFileBox(*infName));
        p_.left = true;
        p_.somethingThere = true;
        continue;
      }
      const std::string directory = host_.windowsDirectory + "\\Inf\\";
      const std::string infPath = directory + *infName;
      const std::string pnfPath = directory + PrecompiledName(*infName);
      p_.allowedFiles.insert(infPath);
      p_.allowedFiles.insert(pnfPath);
      if (infPath.size() <= kLongestDriverText && pnfPath.size() <= kLongestDriverText) {
        PredictDriver(*infName, infPath, pnfPath);
        continue;
      }
      for (const std::string& path : {infPath, pnfPath}) {
        if (path.size() <= kLongestDriverText) {
          const bool present = host_.files.count(path) != 0;
          (present ? p_.presentFiles : p_.absentFiles).insert(path);
          p_.somethingThere = p_.somethingThere || present;
          PredictFile(path);
        } else {
          p_.boxes.push_back(UndeletableFileBox(path));
        }
      }
    }
  }

  // One file deleted as the rules delete it: its read-only flag cleared, a box when it is not
  // there or cannot be deleted.
  void PredictFile(const std::string& path) {
    const auto file = p_.filesAfter.find(path);
    if (file == p_.filesAfter.end()) {
      p_.boxes.push_back(UndeletableFileBox(path));
      return;
    }
    file->second.attributes = kFileAttributeArchive;
    if (file->second.deleteDenied) {
      p_.boxes.push_back(UndeletableFileBox(path));
      p_.left = true;
      return;
    }
    p_.filesAfter.erase(file);
  }

  enum class Hold { NoStore, None, Held, CannotTell };

  // What the store holds for a published INF, read before the run: the package the platform
  // names (where it can), or one whose INF has the published bytes; for an INF that is gone, the
  // package the driver database names, whose INF is then put back to uninstall it.
  // `asFound`: the machine as it was before the run, as a listing finds it.
  Hold HoldOf(const std::string& infName, const std::string& infPath,
              const std::map<std::string, FakeHost::File, NoCaseLess>& files, bool asFound,
              std::string& putBack) {
    const std::string store = host_.windowsDirectory + "\\System32\\DriverStore\\FileRepository";
    if (host_.directories.count(store) == 0) {
      return Hold::NoStore;
    }
    const auto inf = files.find(infPath);
    if (inf == files.end()) {
      const std::string key = "DRIVERS\\DriverDatabase\\DriverInfFiles\\" + infName;
      const FakeHost::Key* entry =
          !asFound && AtOrBelowAny(key, p_.databaseKeysGone) ? nullptr : host_.FindKey(key);
      if (host_.FindKey("DRIVERS\\DriverDatabase") == nullptr) {
        return Hold::CannotTell;
      }
      if (entry == nullptr) {
        return Hold::None;
      }
      const auto active = entry->values.find("Active");
      const std::string folder = active == entry->values.end() ? "" : TextOf(active->second.data);
      const std::size_t dot = folder.find(".inf_");
      const std::string storeInf = store + "\\" + folder + "\\" + folder.substr(0, dot + 4);
      if (dot == std::string::npos || dot == 0 || files.count(storeInf) == 0) {
        return Hold::CannotTell;
      }
      putBack = storeInf;
      return Hold::Held;
    }
    for (const FakeHost::Package& package : host_.packages) {
      if (host_.storeLocationKnown && !package.storeFolder.empty() &&
          (asFound || !Uninstalled(package)) && SameLettersAside(package.publishedInf, infName)) {
        return Hold::Held;
      }
    }
    // Only a folder named for the INF it holds ("<name>.inf_..." holding <name>.inf) is a
    // package's; more than one of the published bytes cannot be told apart.
    int found = 0;
    for (const auto& [path, file] : files) {
      const std::size_t slash = path.rfind('\\');
      const std::string folder = path.substr(0, slash);
      const std::string folderName = folder.substr(std::min(folder.size(), store.size() + 1));
      const std::string name = path.substr(slash + 1);
      if (slash > store.size() + 1 &&
          SameLettersAside(path.substr(0, store.size() + 1), store + "\\") &&
          folder.find('\\', store.size() + 1) == std::string::npos &&
          host_.reparsePoints.count(folder) == 0 && name.size() > 4 &&
          SameLettersAside(name.substr(name.size() - 4), ".inf") &&
          SameLettersAside(folderName.substr(0, name.size() + 1), name + "_") &&
          file.content == inf->second.content) {
        ++found;
      }
    }
    return found > 1 ? Hold::CannotTell : found == 1 ? Hold::Held : Hold::None;
  }

  // What asking the platform to uninstall the package comes to: its status, or nothing when the
  // companion cannot be asked or gives no report. The companion's box is told once per run.
  std::optional<Status> PredictUninstall(const std::string& infName, bool& uninstalled) {
    uninstalled = false;
    Status status = kErrorSuccess;
    const auto package =
        std::find_if(host_.packages.begin(), host_.packages.end(),
                     [&](const auto& p) { return SameLettersAside(p.publishedInf, infName); });
    if (host_.uninstallFailure) {
      status = *host_.uninstallFailure;
    } else if (package == host_.packages.end() || package->platformOwn) {
      status = kErrorNotAnInstalledOemInf;
    }
    if (!host_.wow64) {
      uninstalled = status == kErrorSuccess;
      return status;
    }
    using Companion = FakeHost::Companion;
    const bool runs = host_.companion == Companion::Works || host_.companion == Companion::CutShort;
    uninstalled = runs && status == kErrorSuccess;
    return CompanionTask(1) == 1 ? std::optional<Status>(status) : std::nullopt;
  }

  // One task of `items` report lines handed to the companion, which serves the whole run: how
  // many of them it reports. One cut short ends after its last report (before its first when it
  // has none) and is started again for the next task; the user is told once that it failed.
  std::size_t CompanionTask(std::size_t items) {
    using Companion = FakeHost::Companion;
    if (host_.companion == Companion::Works) {
      return items;
    }
    if (host_.companion != Companion::CutShort) {
      TellCompanionFailed();
      return 0;
    }
    std::size_t& left = sessionReportsLeft_;
    if (!sessionRunning_) {
      sessionRunning_ = true;
      left = host_.companionReportsBeforeCut;
    }
    const std::size_t reported = std::min(items, left);
    left -= reported;
    if (left == 0) {
      sessionRunning_ = false;  // cut short before the task's end
      TellCompanionFailed();
    }
    return reported;
  }

  void TellCompanionFailed() {
    if (!companionTold_) {
      companionTold_ = true;
      p_.boxes.push_back({kFrame, "Can't run file vorsk64.exe,devices not removed!", std::string(),
                          kMbIconInformation});
    }
  }

  // Takes the package of `infName` off the model's machine, as the platform's uninstall does.
  void UninstallInModel(const std::string& infName, const std::string& infPath,
                        const std::string& pnfPath) {
    p_.filesAfter.erase(infPath);
    p_.filesAfter.erase(pnfPath);
    for (const FakeHost::Package& package : host_.packages) {
      if (!SameLettersAside(package.publishedInf, infName) || Uninstalled(package)) {
        continue;
      }
      uninstalled_.insert(&package);
      p_.filesAfter.erase(package.catalog);
      for (auto file = p_.filesAfter.begin(); file != p_.filesAfter.end();) {
        file = !package.storeFolder.empty() && file->first.size() > package.storeFolder.size() &&
                       SameLettersAside(file->first.substr(0, package.storeFolder.size() + 1),
                                        package.storeFolder + "\\")
                   ? p_.filesAfter.erase(file)
                   : std::next(file);
      }
    }
    p_.databaseKeysGone.push_back("DRIVERS\\DriverDatabase\\DriverInfFiles\\" + infName);
  }

  bool Uninstalled(const FakeHost::Package& package) const {
    return uninstalled_.count(&package) != 0;
  }

  // The driver's package first, then its files. A listing finds the machine as it is; a run,
  // as the lookups before this one left it.
  void PredictDriver(const std::string& infName, const std::string& infPath,
                     const std::string& pnfPath) {
    std::string unused;
    const bool listedPresent = host_.files.count(infPath) != 0;
    const bool listedPnf = host_.files.count(pnfPath) != 0;
    (listedPresent ? p_.presentFiles : p_.absentFiles).insert(infPath);
    (listedPnf ? p_.presentFiles : p_.absentFiles).insert(pnfPath);
    const Hold listed = HoldOf(infName, infPath, host_.files, true, unused);
    if (listed == Hold::Held) {
      p_.heldPackages.insert(infName);
      p_.somethingThere = true;
    }
    // A package that cannot be told from the INF that is there counts as there.
    p_.somethingThere = p_.somethingThere || (listed == Hold::CannotTell && listedPresent);
    p_.somethingThere = p_.somethingThere || listedPresent || listedPnf;
    const bool infPresent = p_.filesAfter.count(infPath) != 0;
    const bool pnfPresent = p_.filesAfter.count(pnfPath) != 0;
    std::string putBack;
    const Hold hold = HoldOf(infName, infPath, p_.filesAfter, false, putBack);
    if (infPresent && hold == Hold::CannotTell) {
      p_.left = true;  // nothing of the driver goes
      return;
    }
    if (!infPresent && putBack.empty()) {
      PredictFile(infPath);
      PredictFile(pnfPath);
      return;
    }
    if (!putBack.empty() && (host_.failingWrites.count(infPath) != 0 ||
                             host_.directories.count(host_.windowsDirectory + "\\Inf") == 0)) {
      p_.left = true;
      return;
    }
    bool uninstalled = false;
    const std::optional<Status> status = PredictUninstall(infName, uninstalled);
    if (!status) {
      // Nothing reported: the package and its files are left, whatever the companion did.
      if (uninstalled) {
        UninstallInModel(infName, infPath, pnfPath);
      }
      p_.left = true;
      return;
    }
    if (uninstalled) {
      UninstallInModel(infName, infPath, pnfPath);
      // What the uninstall took goes without a box (the INF put back for it among them); a file
      // that was not there keeps its box.
      for (const auto& [path, present] :
           {std::pair{infPath, infPresent || !putBack.empty()}, {pnfPath, pnfPresent}}) {
        if (!present) {
          p_.boxes.push_back(UndeletableFileBox(path));
        }
      }
      return;
    }
    if (hold == Hold::Held && *status != kErrorNotAnInstalledOemInf) {
      p_.left = true;
      return;
    }
    if (hold == Hold::Held) {
      return;  // the platform's own package: refused, not left
    }
    for (const std::string& path : {infPath, pnfPath}) {
      if (host_.protectedFiles.count(path) == 0) {
        PredictFile(path);
      }
    }
  }

  void PredictDevices(const std::string& devNo) {
    const std::string section = devNo + "PIDVID";
    p_.prefix1 = UsedPrefix(Read(section, "Num1", kTextEntrySize));
    p_.prefix2 = UsedPrefix(Read(section, "Num2", kTextEntrySize));
    if (host_.classDevsFail) {
      return;
    }
    int failuresLeft = host_.allocationFailures;
    std::vector<const FakeHost::Device*> matched;
    for (const FakeHost::Device& device : host_.devices) {
      if (!device.hardwareIds) {
        continue;
      }
      const std::string& ids = *device.hardwareIds;
      const std::size_t size = device.reportedSize.value_or(ids.size());
      if (size == 0) {
        continue;
      }
      // The failures injected fall on the first allocations; each is reported, and after three
      // the instance is given up and left.
      int attempts = 0;
      while (failuresLeft > 0 && attempts < 3) {
        --failuresLeft;
        ++attempts;
        p_.boxes.push_back({kNoOwner, "error", std::string(), kMbOk});
      }
      if (attempts == 3) {
        p_.left = true;
        p_.somethingThere = true;
        continue;
      }
      // A buffer smaller than the list is not filled at all.
      std::string buffer(size, '\0');
      if (size >= ids.size()) {
        buffer.replace(0, ids.size(), ids);
      }
      std::size_t offset = 0;
      while (offset < size) {
        std::size_t end = buffer.find('\0', offset);
        if (end == std::string::npos) {
          end = size;
        }
        if (end == offset) {
          break;
        }
        const std::string id = buffer.substr(offset, end - offset);
        p_.output += "Compare device ID: [" + id + "]\n";
        if (BeginsWith(id, p_.prefix1) || BeginsWith(id, p_.prefix2)) {
          matched.push_back(&device);
          break;
        }
        offset = end + 1;
      }
    }
    for (const FakeHost::Device* device : matched) {
      p_.matched.push_back(device->instanceIdUnreadable ? "(its instance ID cannot be read)"
                                                        : device->instanceId);
      p_.somethingThere = true;
    }
    if (!host_.wow64) {
      // Each matching instance is removed during the walk.
      for (const FakeHost::Device* device : matched) {
        p_.removals.push_back(device->instanceId);
        NoteRemoval(*device, true);
      }
      return;
    }
    PredictHandOver(matched);
  }

  void NoteRemoval(const FakeHost::Device& device, bool reported) {
    if (device.refusesRemoval || !reported) {
      p_.left = true;
    } else if (device.needsRestart) {
      p_.restartNeeded = true;
    }
  }

  // On 64-bit Windows the instances whose IDs can be read go to the companion after the walk; it
  // removes them in the order of the walk. What it does not report removed (or absent) is left,
  // and a companion that does not finish its work is told once, by a box of the frame.
  void PredictHandOver(const std::vector<const FakeHost::Device*>& matched) {
    std::vector<const FakeHost::Device*> handed;
    for (const FakeHost::Device* device : matched) {
      if (device->instanceIdUnreadable) {
        p_.left = true;
      } else {
        handed.push_back(device);
      }
    }
    if (handed.empty()) {
      return;
    }
    using Companion = FakeHost::Companion;
    const bool removes =
        host_.companion == Companion::Works || host_.companion == Companion::CutShort;
    const std::size_t reported = CompanionTask(handed.size());
    for (std::size_t i = 0; i < handed.size(); ++i) {
      if (removes) {
        p_.removals.push_back(handed[i]->instanceId);
      }
      NoteRemoval(*handed[i], i < reported);
    }
  }

  void PredictTrees(const std::string& devNo) {
    const std::string section = devNo + "KEY";
    std::int32_t count = kTreesByDefault;
    if (section.size() <= kLongestSection) {
      count = host_.GetPrivateProfileIntA(section, "Num", kTreesByDefault, scriptPath_);
    }
    count = std::min(count, kMostTrees);
    for (std::int32_t i = 1; i <= count; ++i) {
      const std::string listed = Read(section, "Num" + std::to_string(i), kTextEntrySize);
      if (const auto root = TreeRoot(listed)) {
        p_.roots.push_back(*root);
      }
    }
    std::vector<std::string> existingRoots;  // the listed trees that are there before the run
    for (const std::string& root : p_.roots) {
      const FakeHost::Key* key = &host_.registry;
      const std::vector<std::string> parts = Components(root);
      bool blocked = false;  // a key on the way cannot be opened
      for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part.empty() || part.size() > 255) {
          key = nullptr;  // not a path the registry opens
          break;
        }
        const auto found = key->subkeys.find(part);
        key = found == key->subkeys.end() ? nullptr : found->second.get();
        if (key == nullptr) {
          break;
        }
        if (key->openFailure && i + 1 < parts.size()) {
          // The path is opened key by key: whether the listed key lies beyond a key that cannot
          // be opened cannot be told, so the tree counts as there, and left.
          blocked = true;
          break;
        }
        if (key->linkTarget) {
          key = nullptr;  // a link on the path refuses it
          break;
        }
      }
      if (blocked) {
        existingRoots.push_back(root);
        p_.treeKeys[root] = 1;
        p_.somethingThere = true;
        p_.left = true;
      } else if (key != nullptr) {
        CollectMustVanish(*key, root, true);
        existingRoots.push_back(root);
        p_.treeKeys[root] = key->openFailure ? 1 : 1 + KeysBelow(*key);
        p_.somethingThere = true;
      }
    }
    p_.existingRoots = existingRoots;
  }

  // Adds the keys at and below `path` that must be gone after the run: every key whose whole
  // subtree is free of faults, when every key between the listed one and it can be listed.
  // Returns whether the subtree at `key` is free of faults.
  bool CollectMustVanish(const FakeHost::Key& key, const std::string& path, bool reached) {
    const bool listable = Listable(key);
    if (reached && !Listable(key) && !AnyRootBelow(path)) {
      // A level that cannot be opened, counted or listed keeps everything at and below it, as
      // long as no other listed tree lies inside it.
      AllKeys(key, path, p_.mustStay);
      reached = false;
    }
    bool clean = listable && !key.deleteFailure;
    for (const auto& [name, subkey] : key.subkeys) {
      clean = CollectMustVanish(*subkey, path + "\\" + name, reached && listable) && clean;
    }
    if (reached && clean) {
      p_.mustVanish.push_back(path);
    }
    return clean;
  }

  // The keys a listing counts below a key: each subkey whose name can be read, with those below
  // it when it can be opened; none below a key whose subkeys cannot be counted.
  static std::uint32_t KeysBelow(const FakeHost::Key& key) {
    if (key.queryInfoFailure) {
      return 0;
    }
    std::uint32_t count = 0;
    std::uint32_t index = 0;
    for (const auto& [name, subkey] : key.subkeys) {
      if (key.enumFailures.count(index++) != 0) {
        continue;
      }
      count += 1 + (subkey->openFailure ? 0 : KeysBelow(*subkey));
    }
    return count;
  }

  // Whether the descent can list the level: it opens, its subkeys can be counted, and each name
  // below the count can be read.
  static bool Listable(const FakeHost::Key& key) {
    return !key.openFailure && !key.queryInfoFailure &&
           (key.enumFailures.empty() || key.enumFailures.begin()->first >= key.subkeys.size());
  }

  bool AnyRootBelow(const std::string& path) const {
    return std::any_of(p_.roots.begin(), p_.roots.end(), [&](const std::string& root) {
      return root.size() > path.size() && AtOrBelow(root, path);
    });
  }

  static void AllKeys(const FakeHost::Key& key, const std::string& path,
                      std::vector<std::string>& out) {
    out.push_back(path);
    for (const auto& [name, subkey] : key.subkeys) {
      AllKeys(*subkey, path + "\\" + name, out);
    }
  }

  FakeHost& host_;
  std::string scriptPath_;
  Prediction p_;
  bool companionTold_ = false;
  std::set<const FakeHost::Package*> uninstalled_;
  // The companion's session: whether one runs, and the report lines it has left before it is cut
  // short.
  bool sessionRunning_ = false;
  std::size_t sessionReportsLeft_ = 0;
};

void CheckBoxes(const FakeHost& host, const Prediction& p, std::vector<std::string>& violations) {
  const std::size_t common = std::min(host.messageBoxes.size(), p.boxes.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (!SameBox(host.messageBoxes[i], p.boxes[i])) {
      violations.push_back("message box " + std::to_string(i + 1) + " is " +
                           Describe(host.messageBoxes[i]) + ", expected " + Describe(p.boxes[i]));
      return;
    }
  }
  for (std::size_t i = common; i < host.messageBoxes.size(); ++i) {
    violations.push_back("message box the rules do not allow: " + Describe(host.messageBoxes[i]));
  }
  for (std::size_t i = common; i < p.boxes.size(); ++i) {
    violations.push_back("message box missing: " + Describe(p.boxes[i]));
  }
}

void CheckOutput(const FakeHost& host, const Prediction& p, std::vector<std::string>& violations) {
  if (host.standardOutput == p.output) {
    return;
  }
  const auto mismatch = std::mismatch(host.standardOutput.begin(), host.standardOutput.end(),
                                      p.output.begin(), p.output.end());
  const std::size_t at = static_cast<std::size_t>(mismatch.first - host.standardOutput.begin());
  const std::size_t lineStart = host.standardOutput.rfind('\n', at == 0 ? 0 : at - 1);
  const std::size_t from = lineStart == std::string::npos || at == 0 ? 0 : lineStart + 1;
  violations.push_back("standard output differs at byte " + std::to_string(at) + ": \"" +
                       Printable(std::string_view(host.standardOutput).substr(from), 120) +
                       "\", expected \"" + Printable(std::string_view(p.output).substr(from), 120) +
                       "\"");
}

void CheckDevices(const FakeHost& host, const std::vector<FakeHost::Device>& before,
                  const Prediction& p, std::vector<std::string>& violations) {
  const std::vector<std::string> removals = host.JournalOf("remove-device");
  for (const std::string& instance : removals) {
    const auto device = std::find_if(before.begin(), before.end(),
                                     [&](const auto& d) { return d.instanceId == instance; });
    bool matches = false;
    if (device != before.end() && device->hardwareIds) {
      const std::string& list = *device->hardwareIds;
      for (std::size_t at = 0; at < list.size() && !matches;) {
        std::size_t end = list.find('\0', at);
        end = end == std::string::npos ? list.size() : end;
        const std::string id = list.substr(at, end - at);
        matches = BeginsWith(id, p.prefix1) || BeginsWith(id, p.prefix2);
        at = end + 1;
      }
    }
    if (!matches) {
      violations.push_back("removed " + instance +
                           ", which has no hardware ID beginning with a listed prefix");
    }
  }
  if (removals != p.removals) {
    std::string got;
    std::string expected;
    for (const std::string& r : removals) {
      got += " " + r;
    }
    for (const std::string& r : p.removals) {
      expected += " " + r;
    }
    violations.push_back("instances removed:" + got + "; expected:" + expected);
  }
  for (std::size_t i = 0; i < host.devices.size() && i < before.size(); ++i) {
    const bool asked =
        std::find(p.removals.begin(), p.removals.end(), before[i].instanceId) != p.removals.end();
    if (host.devices[i].removed != (asked && !before[i].refusesRemoval)) {
      violations.push_back("instance " + before[i].instanceId + " is " +
                           (host.devices[i].removed ? "removed" : "still there"));
    }
  }
}

void CheckFiles(const FakeHost& host, const Prediction& p, std::vector<std::string>& violations) {
  for (const std::string& path : host.JournalOf("delete-file")) {
    if (p.allowedFiles.count(path) == 0) {
      violations.push_back("deletion of a file the script does not name: " + Printable(path));
    }
  }
  for (const auto& [path, file] : host.files) {
    const auto expected = p.filesAfter.find(path);
    if (expected == p.filesAfter.end()) {
      violations.push_back("file " + Printable(path) + " should be gone");
    } else if (expected->second.content != file.content ||
               expected->second.attributes != file.attributes) {
      violations.push_back("file " + Printable(path) + " was changed");
    }
  }
  for (const auto& [path, file] : p.filesAfter) {
    if (host.files.count(path) == 0) {
      violations.push_back("file " + Printable(path) + " was deleted");
    }
  }
}

void CheckRegistry(FakeHost& host, const std::vector<std::string>& snapshotBefore,
                   const std::set<std::string>& keysBefore, const Prediction& p,
                   std::vector<std::string>& violations, std::size_t& kept) {
  const std::multiset<std::string> before(snapshotBefore.begin(), snapshotBefore.end());
  std::multiset<std::string> unmatched = before;
  for (const std::string& line : host.RegistrySnapshot()) {
    const auto it = unmatched.find(line);
    if (it == unmatched.end()) {
      violations.push_back("registry key or value created or changed: " + Printable(line));
    } else {
      unmatched.erase(it);
    }
  }
  std::set<std::string> keysAfter;
  AllKeyPaths(host.registry, std::string(), keysAfter);
  for (const std::string& key : keysBefore) {
    if (keysAfter.count(key) == 0 && !AtOrBelowAny(key, p.roots) &&
        !AtOrBelowAny(key, p.databaseKeysGone)) {
      violations.push_back("key gone that no listed tree holds: " + Printable(key));
    }
  }
  for (const std::string& key : host.JournalOf("delete-key")) {
    if (!AtOrBelowAny(key, p.roots) && !AtOrBelowAny(key, p.databaseKeysGone)) {
      violations.push_back("deletion asked for a key no listed tree holds: " + Printable(key));
    }
  }
  for (const std::string& key : p.mustVanish) {
    if (host.FindKey(key) != nullptr) {
      violations.push_back("key of a listed tree, with no fault, still there: " + Printable(key));
    }
  }
  for (const std::string& key : p.mustStay) {
    if (host.FindKey(key) == nullptr) {
      violations.push_back("key below a level that cannot be listed is gone: " + Printable(key));
    }
  }
  for (const std::string& key : keysAfter) {
    if (AtOrBelowAny(key, p.roots)) {
      ++kept;
    }
  }
}

}  // namespace

std::vector<std::string> RunPassAndCheck(FakeHost& host, PassTally* tally) {
  const std::vector<std::string> snapshotBefore = host.RegistrySnapshot();
  std::set<std::string> keysBefore;
  AllKeyPaths(host.registry, std::string(), keysBefore);
  const std::vector<FakeHost::Device> devicesBefore = host.devices;
  const std::vector<FakeHost::Package> packagesBefore = host.packages;
  const auto filesBefore = host.files;
  const Prediction p = Predictor(host).Predict();
  host.journal.clear();  // the prediction read the script too

  const int status = PerformRemoval(host, kFrame);

  std::vector<std::string> violations;
  const bool treeLeft = std::any_of(p.existingRoots.begin(), p.existingRoots.end(),
                                    [&](const std::string& root) { return host.FindKey(root); });
  const bool left = p.left || treeLeft;
  const int expectedStatus = !p.scriptFound ? 2 : left ? 3 : p.restartNeeded ? 3010 : 0;
  if (status != expectedStatus) {
    std::string log;
    for (const std::string& line : host.log) {
      log += "\n    " + Printable(line, 400);
    }
    violations.push_back("exit status " + std::to_string(status) + ", expected " +
                         std::to_string(expectedStatus) + "; the run's log:" + log);
  }
  if (!p.scriptFound) {
    for (const char* kind : {"profile", "delete-file", "delete-key", "device-set"}) {
      if (!host.JournalOf(kind).empty()) {
        violations.push_back(std::string("without a script the run still did: ") + kind);
      }
    }
  }
  CheckBoxes(host, p, violations);
  CheckOutput(host, p, violations);
  CheckDevices(host, devicesBefore, p, violations);
  CheckFiles(host, p, violations);
  // Whatever the model says, no driver whose published INF was there ends with its files gone
  // and its package still in the store. (One that an earlier removal left without its INF is
  // put back and uninstalled where the driver database tells its package; where nothing can
  // tell, its PNF goes as before.)
  for (const FakeHost::Package& package : packagesBefore) {
    if (package.storeFolder.empty()) {
      continue;  // no store: the files are all there is
    }
    const std::string inf = host.windowsDirectory + "\\Inf\\" + package.publishedInf;
    const bool stays = std::any_of(host.packages.begin(), host.packages.end(), [&](const auto& q) {
      return q.publishedInf == package.publishedInf;
    });
    for (const std::string& path : {inf, inf.substr(0, inf.rfind('.')) + ".pnf"}) {
      if (stays && p.allowedFiles.count(inf) != 0 && filesBefore.count(inf) != 0 &&
          filesBefore.count(path) != 0 && !host.FileExists(path)) {
        violations.push_back("file " + Printable(path) + " gone, its package still in the store");
      }
    }
  }
  std::size_t kept = 0;
  CheckRegistry(host, snapshotBefore, keysBefore, p, violations, kept);
  if (host.OpenHandleCount() != 0) {
    violations.push_back(std::to_string(host.OpenHandleCount()) +
                         " handles, sets or buffers still open");
  }
  for (const std::string& fault : host.faults) {
    violations.push_back("misuse of the host services: " + fault);
  }

  if (tally != nullptr) {
    ++tally->runs;
    tally->missingScript += p.scriptFound ? 0 : 1;
    tally->filesDeleted += host.JournalOf("deleted-file").size();
    tally->fileReports += static_cast<std::size_t>(std::count_if(
        host.messageBoxes.begin(), host.messageBoxes.end(),
        [](const MessageBoxRecord& box) { return box.text.compare(0, 6, "File: ") == 0; }));
    tally->devicesRemoved += static_cast<std::size_t>(std::count_if(
        host.devices.begin(), host.devices.end(), [](const auto& d) { return d.removed; }));
    tally->allocationReports += static_cast<std::size_t>(
        std::count_if(host.messageBoxes.begin(), host.messageBoxes.end(),
                      [](const MessageBoxRecord& box) { return box.text == "error"; }));
    tally->traceLines += static_cast<std::size_t>(
        std::count(host.standardOutput.begin(), host.standardOutput.end(), '\n'));
    tally->keysDeleted += host.JournalOf("deleted-key").size();
    tally->keysKept += kept;
    tally->companionStarts += host.JournalOf("start").size();
    for (const std::string& key : host.JournalOf("deleted-key")) {
      tally->linksDeleted += key.compare(key.rfind('\\') + 1, 4, "Link") == 0 ? 1 : 0;
    }
    tally->treesRefused += static_cast<std::size_t>(
        std::count_if(host.log.begin(), host.log.end(), [](const std::string& line) {
          return line.rfind("tree ", 0) == 0 &&
                 line.find(": refused, a key of the platform") != std::string::npos;
        }));
    tally->packagesUninstalled += host.JournalOf("uninstalled-package").size();
    tally->packagesKept += static_cast<std::size_t>(
        std::count_if(host.log.begin(), host.log.end(), [](const std::string& line) {
          return line.rfind("package ", 0) == 0 && (line.find(": left") != std::string::npos ||
                                                    line.find(": refused") != std::string::npos);
        }));
    tally->runsWithSomethingLeft += status == 3 ? 1 : 0;
    tally->runsNeedingRestart += status == 3010 ? 1 : 0;
  }
  return violations;
}

std::vector<std::string> RunListAndCheck(FakeHost& host) {
  const std::vector<std::string> snapshotBefore = host.RegistrySnapshot();
  const auto filesBefore = host.files;
  const Prediction p = Predictor(host).Predict();
  host.journal.clear();
  RunOptions options;
  options.list = true;

  const int status = PerformRemoval(host, kFrame, options);

  std::vector<std::string> violations;
  const int expectedStatus = !p.scriptFound ? 2 : p.somethingThere ? 3 : 0;
  if (status != expectedStatus) {
    violations.push_back("listing status " + std::to_string(status) + ", expected " +
                         std::to_string(expectedStatus));
  }
  for (const char* kind : {"delete-file", "delete-key", "remove-device", "start", "alloc-failed"}) {
    if (kind != std::string("alloc-failed") && !host.JournalOf(kind).empty()) {
      violations.push_back(std::string("the listing changed the machine: ") + kind);
    }
  }
  if (host.RegistrySnapshot() != snapshotBefore || host.files.size() != filesBefore.size()) {
    violations.push_back("the listing changed the registry or the files");
  }
  if (!host.messageBoxes.empty()) {
    violations.push_back("the listing showed a box: " + Describe(host.messageBoxes[0]));
  }
  // The listing's lines against the model: files, instances, trees.
  std::set<std::string, NoCaseLess> present;
  std::set<std::string, NoCaseLess> absent;
  std::vector<std::string> instances;
  std::map<std::string, std::uint32_t> trees;
  std::set<std::string, NoCaseLess> held;
  constexpr std::size_t npos = std::string::npos;
  std::size_t begin = 0;
  const std::string& out = host.standardOutput;
  while (begin < out.size()) {
    const std::size_t end = out.find('\n', begin);
    const std::string line = out.substr(begin, end - begin);
    begin = end == std::string::npos ? out.size() : end + 1;
    const auto ends = [&](const std::string& tail) {
      return line.size() >= tail.size() &&
             line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (line.rfind("Compare device ID: ", 0) == 0) {
      violations.push_back("the listing traced: " + Printable(line));
    } else if (line.rfind("  file ", 0) == 0 && ends(": present")) {
      present.insert(line.substr(7, line.size() - 7 - 9));
    } else if (line.rfind("  file ", 0) == 0 && ends(": absent")) {
      absent.insert(line.substr(7, line.size() - 7 - 8));
    } else if (line.rfind("  package ", 0) == 0 && line.find(": held by the platform") != npos) {
      held.insert(line.substr(10, line.find(": held by the platform") - 10));
    } else if (line.rfind("instance ", 0) == 0) {
      instances.push_back(line.substr(9, line.find(" (matching ") - 9));
    } else if (line.rfind("tree ", 0) == 0 && (ends(" keys") || ends(" key"))) {
      const std::size_t colon = line.rfind(": ");
      const std::string count = line.substr(colon + 2, line.find(' ', colon + 2) - colon - 2);
      if (count.find_first_not_of("0123456789") == std::string::npos) {
        trees[line.substr(5, colon - 5)] = static_cast<std::uint32_t>(std::stoul(count));
      }
    }
  }
  // The listing writes each control byte of a name as \xNN: the model's names, as listed.
  std::set<std::string, NoCaseLess> expectedPresent;
  std::set<std::string, NoCaseLess> expectedAbsent;
  std::vector<std::string> expectedInstances;
  std::map<std::string, std::uint32_t> expectedTrees;
  for (const std::string& file : p.presentFiles) {
    expectedPresent.insert(EscapeControls(file));
  }
  for (const std::string& file : p.absentFiles) {
    expectedAbsent.insert(EscapeControls(file));
  }
  for (const std::string& instance : p.matched) {
    expectedInstances.push_back(EscapeControls(instance));
  }
  for (const auto& [root, keys] : p.treeKeys) {
    expectedTrees[EscapeControls(root)] = keys;
  }
  if (present != expectedPresent || absent != expectedAbsent) {
    std::string got;
    for (const std::string& file : present) {
      got += " +" + Printable(file, 80);
    }
    for (const std::string& file : absent) {
      got += " -" + Printable(file, 80);
    }
    std::string expected;
    for (const std::string& file : p.presentFiles) {
      expected += " +" + Printable(file, 80);
    }
    for (const std::string& file : p.absentFiles) {
      expected += " -" + Printable(file, 80);
    }
    violations.push_back("the listing's files:" + got + "; expected:" + expected);
  }
  std::set<std::string, NoCaseLess> expectedHeld;
  for (const std::string& infName : p.heldPackages) {
    expectedHeld.insert(EscapeControls(infName));
  }
  if (held != expectedHeld) {
    violations.push_back("the listing's packages held by the platform differ from the model's");
  }
  if (instances != expectedInstances) {
    violations.push_back("the listing's instances differ from the model's matching ones");
  }
  if (trees != expectedTrees) {
    std::string got;
    for (const auto& [root, keys] : trees) {
      got += " " + Printable(root, 60) + "=" + std::to_string(keys);
    }
    std::string expected;
    for (const auto& [root, keys] : p.treeKeys) {
      expected += " " + Printable(root, 60) + "=" + std::to_string(keys);
    }
    violations.push_back("the listing's trees:" + got + "; expected:" + expected);
  }
  if (host.OpenHandleCount() != 0) {
    violations.push_back("the listing left handles open");
  }
  for (const std::string& fault : host.faults) {
    violations.push_back("misuse of the host services: " + fault);
  }
  return violations;
}

namespace {

// Keys with their injected faults and their values, one line each, up to 400 lines.
void DescribeKeys(const FakeHost::Key& key, const std::string& path, std::string& out,
                  std::size_t& lines) {
  for (const auto& [name, subkey] : key.subkeys) {
    if (++lines > 400) {
      if (lines == 401) {
        out += "  ...\n";
      }
      return;
    }
    const std::string subPath = path.empty() ? name : path + "\\" + name;
    out += "  " + Printable(subPath);
    if (subkey->openFailure) {
      out += " [open fails]";
    }
    if (subkey->queryInfoFailure) {
      out += " [count fails]";
    }
    for (const auto& [index, status] : subkey->enumFailures) {
      out += " [name " + std::to_string(index) + " fails " + std::to_string(status) + "]";
    }
    if (subkey->deleteFailure) {
      out += " [delete fails]";
    }
    for (const auto& [valueName, value] : subkey->values) {
      out += " " + Printable(valueName) + "=" + std::to_string(value.type) + ":\"" +
             Printable(value.data, 80) + "\"";
    }
    out += "\n";
    DescribeKeys(*subkey, subPath, out, lines);
  }
}

}  // namespace

std::string DescribeCase(const FakeHost& host) {
  std::string out = "Windows directory: " +
                    (host.windowsDirectoryFails ? std::string("(query fails)")
                                                : Printable(host.windowsDirectory)) +
                    "\n";
  out += "files:\n";
  for (const auto& [path, file] : host.files) {
    out += "  " + Printable(path) + " attributes " + std::to_string(file.attributes) +
           (file.deleteDenied ? " delete-denied" : "") +
           (file.heldOpenForWriting ? " held-open" : "") + "\n";
    if (path.size() > 4 && SameLettersAside(path.substr(path.size() - 4), ".ini")) {
      out += "    " + Printable(file.content, 4000) + "\n";
    }
  }
  out += "registry:\n";
  std::size_t lines = 0;
  DescribeKeys(host.registry, std::string(), out, lines);
  out += "device instances:\n";
  for (const FakeHost::Device& device : host.devices) {
    out += "  " + device.instanceId + " ids " +
           (device.hardwareIds ? "\"" + Printable(*device.hardwareIds) + "\"" : "(none)") +
           (device.reportedSize ? " reported " + std::to_string(*device.reportedSize) : "") +
           (device.present ? "" : " not present") + (device.refusesRemoval ? " refuses" : "") +
           "\n";
  }
  if (host.allocationFailures > 0) {
    out += "allocations failing: " + std::to_string(host.allocationFailures) + "\n";
  }
  if (host.classDevsFail) {
    out += "the device set cannot be had\n";
  }
  for (const FakeHost::Package& package : host.packages) {
    out += "package " + Printable(package.publishedInf) + " in " +
           (package.storeFolder.empty() ? "(no store)" : Printable(package.storeFolder)) +
           (package.platformOwn ? " platform's own" : "") +
           (package.usedByDevice ? " in use" : "") + "\n";
  }
  out += std::string("store: ") +
         (host.storeLocationKnown ? "named by the platform" : "not named") +
         (host.uninstallRefusedInWow64 ? ", refused in WOW64" : "") +
         (host.uninstallFailure ? ", uninstall fails " + ErrorText(*host.uninstallFailure) : "") +
         (host.wow64 ? ", WOW64" : "") + "\n";
  for (const std::string& path : host.protectedFiles) {
    out += "protected " + Printable(path) + "\n";
  }
  return out;
}

}  // namespace vorsk::test
