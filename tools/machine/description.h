// A machine description: the state a test stages before vorsk runs, in a small text format.
//
//   # comment
//   file C:\windows\Inf\oem7.inf | readonly
//   file C:\windows\Inf\oem7.pnf | hidden | system | size 4096
//   driver image 0003 | MatchingDeviceId=usb\vid_0000&pid_2206 | InfPath=oem7.inf
//   package scanpkg | image 0005 | MatchingDeviceId=usb\vid_0000&pid_2206
//   device USB\VID_0000&PID_2206\1 | USB\Vid_0000&Pid_2206&Rev_0100 | USB\Vid_0000&Pid_2206
//   key SOFTWARE\Vendor\Scanner\Settings | Color=1 | @=default | Depth=dword:00000018
//   key SOFTWARE\Vendor\Scanner\Lamp | Curve=hex:01,02,ff | Paths=hex(7):61,00,00,00,00,00
//   key64 SOFTWARE\Vendor\Scanner | Color=1
//   link SOFTWARE\Vendor\Scanner\Shortcut | SOFTWARE\Vendor\Camera
//   keys SOFTWARE\Vendor\Scanner\Cache | 2000
//   script
//   [RemoveInf]
//   Image0=usb\vid_0000&pid_2206
//   end script
//
// The description is UTF-8 text. Fields are separated by " | ". A driver entry lives below the
// still-image ("image") or USB ("usb") device setup class key of the running control set; its
// values are written like a key's. A value is <name>=<data>, its name ending at the first "="
// ("@": the key's default value): a string (REG_SZ) of the data's text, or, as the registry
// editor's files write data, "dword:<8 hex digits>" (REG_DWORD), "hex:<bytes>" (REG_BINARY) or
// "hex(<type in hex>):<bytes>" (that type: 0 REG_NONE, 2 REG_EXPAND_SZ, 7 REG_MULTI_SZ,
// b REG_QWORD, any other), its bytes two hex digits each, separated by commas (none: empty data),
// written as they are. Key and value names and string data may hold characters outside the code
// page: the registry receives them in UTF-16, file names are staged as they are, the script is
// written in the machine's ANSI code page (as a vendor's is) and the files' lines as written. A
// "key" is written as a 32-bit program writes it (on 64-bit Windows, in the 32-bit registry view),
// a "key64" in the 64-bit view (on 32-bit Windows the same). A device is an instance ID followed by
// its hardware IDs (none: no hardware-ID property). A package is a driver installed the way a
// vendor's setup installs it: a package folder <name> with the INF <name>.inf (class Image, no
// catalog) handed to the platform, which keeps it in its driver store and publishes its INF; then
// its driver entry, named and valued as a driver line's, with InfPath set to the published INF.
// The lines between "script" and "end script" are
// the removal script, written to <Windows>\Setup417\Remove417.ini; without them there is no script.
// Lines of other kinds (a test's expectations) are kept for the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorsk::machine {

struct FileEntry {
  std::string path;
  bool readOnly = false;
  bool hidden = false;
  bool system = false;
  // "size <n>": n bytes of every value, in an order of the file's own, instead of one line of
  // text, so that a copy made in text mode or of another file shows.
  std::optional<unsigned long> size = std::nullopt;
};

// A registry value as the description gives it.
struct NamedValue {
  std::string name;        // UTF-8; empty: the key's default value
  std::uint32_t type = 1;  // REG_SZ
  std::string data;        // a string's UTF-8 text, or the value's own bytes (`bytes`)
  bool bytes = false;      // data holds the bytes to write, as they are
};

struct DriverEntry {
  std::string classKey;  // the class key's path below HKEY_LOCAL_MACHINE
  std::string subkey;
  std::vector<NamedValue> values;
};

// A driver package and the driver entry that names its published INF.
struct PackageEntry {
  std::string name;  // letters, digits, "_", "-" and any character outside ASCII: the folder's
                     // and its INF's name
  DriverEntry driver;
};

struct DeviceEntry {
  std::string instanceId;
  std::vector<std::string> hardwareIds;
};

struct KeyEntry {
  std::string path;  // below HKEY_LOCAL_MACHINE
  std::vector<NamedValue> values;
  bool view64 = false;  // in the 64-bit registry view ("key64"), where a 64-bit program keeps it
};

// A symbolic link key to another key, both below HKEY_LOCAL_MACHINE as a 32-bit program sees them.
struct LinkEntry {
  std::string path;
  std::string target;
};

// Many keys at once: <count> subkeys K0, K1, ... of the key, each with one value.
struct KeyRange {
  std::string path;
  unsigned count = 0;
};

struct Description {
  std::vector<FileEntry> files;
  std::vector<DriverEntry> drivers;
  std::vector<PackageEntry> packages;
  std::vector<DeviceEntry> devices;
  std::vector<KeyEntry> keys;
  std::vector<LinkEntry> links;
  std::vector<KeyRange> keyRanges;
  std::optional<std::string> script;
  std::vector<std::string> otherLines;  // lines of other kinds, as written
};

// Parses a description; on a malformed line returns nothing and says why in `error`.
std::optional<Description> ParseDescription(const std::string& text, std::string& error);

// The fields of a line after its kind, split at " | ".
std::vector<std::string> SplitFields(const std::string& rest);

// A hardware-ID property's bytes: each ID with its terminating zero, then the empty text.
std::string HardwareIdList(const std::vector<std::string>& ids);

}  // namespace vorsk::machine
