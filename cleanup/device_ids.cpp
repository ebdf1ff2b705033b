#include "cleanup/device_ids.h"

#include <algorithm>
#include <array>

#include "text/text.h"

namespace vorsk {

bool SameDeviceId(std::string_view a, std::string_view b) {
  return EqualAsciiFolded(a, b);
}

bool HasIdPrefix(std::string_view prefix, std::string_view id) {
  return !prefix.empty() && StartsWithAsciiFolded(id, prefix);
}

namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether `text` at `at` holds `field` (letter case aside) and then `digits` hex digits.
bool HasHexField(std::string_view text, std::size_t at, std::string_view field,
                 std::size_t digits) {
  if (text.size() < at + field.size() + digits ||
      !EqualAsciiFolded(text.substr(at, field.size()), field)) {
    return false;
  }
  const std::string_view number = text.substr(at + field.size(), digits);
  return std::all_of(number.begin(), number.end(), IsHex);
}

// The device types that begin a storage bus's IDs (SCSI\<type><vendor><product><revision>, and
// USBSTOR and IDE the same way), as the platform documents them.
constexpr std::array<std::string_view, 17> kStorageTypes = {
    "Disk",      "Sequential", "Printer",    "Processor", "Worm",   "CdRom",
    "Scanner",   "Optical",    "Changer",    "Net",       "ASCIT8", "Array",
    "Enclosure", "RBC",        "CardReader", "Bridge",    "Other"};

// The characters of a storage ID's vendor field: eight, blanks written as '_'.
constexpr std::size_t kStorageVendorLength = 8;

// Whether the part of a storage bus's ID after its backslash reaches past the vendor field: the
// device type (when it begins with one) and eight characters more.
bool NamesStorageVendor(std::string_view device) {
  std::size_t type = 0;
  for (const std::string_view name : kStorageTypes) {
    if (name.size() > type && StartsWithAsciiFolded(device, name)) {
      type = name.size();
    }
  }
  return device.size() >= type + kStorageVendorLength;
}

// Whether the part of an ACPI ID after its backslash names one device: VEN_<vendor>&DEV_ and four
// hex digits, or a plug-and-play ID whole (three letters and four hex digits, PNP0A03) or an ACPI
// ID whole (four characters and four hex digits, MSFT0101).
bool NamesAcpiDevice(std::string_view device) {
  if (StartsWithAsciiFolded(device, "VEN_")) {
    const std::size_t dev = device.find('&');
    return dev != std::string_view::npos && dev > 4 && HasHexField(device, dev, "&DEV_", 4);
  }
  const bool pnp = device.size() >= 7 &&
                   std::all_of(device.begin(), device.begin() + 3, IsLetter) &&
                   std::all_of(device.begin() + 3, device.begin() + 7, IsHex);
  const bool acpi =
      device.size() >= 8 && std::all_of(device.begin() + 4, device.begin() + 8, IsHex);
  return pnp || acpi;
}

// The characters at least that a bus without a vendor field in its IDs needs after its
// backslash.
constexpr std::size_t kDeviceNameLength = 4;

}  // namespace

std::optional<std::string> IdPrefixRefusal(std::string_view prefix) {
  if (prefix.empty()) {
    return std::nullopt;
  }
  const std::size_t separator = prefix.find('\\');
  if (separator == std::string_view::npos) {
    return "it names a whole bus, no vendor";
  }
  const std::string_view bus = prefix.substr(0, separator);
  const std::string_view device = prefix.substr(separator + 1);
  if (EqualAsciiFolded(bus, "USB") || EqualAsciiFolded(bus, "HID")) {
    if (!HasHexField(device, 0, "VID_", 4)) {
      return "it names no vendor (" + std::string(bus) + "\\VID_ and four hex digits at least)";
    }
    return std::nullopt;
  }
  if (EqualAsciiFolded(bus, "PCI")) {
    // A vendor's whole chipset (its bridges, its controllers) is never one scanner.
    if (!HasHexField(device, 0, "VEN_", 4) || !HasHexField(device, 8, "&DEV_", 4)) {
      return "it names no device of a vendor (PCI\\VEN_, four hex digits, &DEV_ and four hex "
             "digits at least)";
    }
    return std::nullopt;
  }
  if (EqualAsciiFolded(bus, "SCSI") || EqualAsciiFolded(bus, "USBSTOR") ||
      EqualAsciiFolded(bus, "IDE")) {
    if (!NamesStorageVendor(device)) {
      return "it names no vendor (the device type and the vendor's eight characters at least)";
    }
    return std::nullopt;
  }
  if (EqualAsciiFolded(bus, "ACPI")) {
    if (!NamesAcpiDevice(device)) {
      return "it names no device (a plug-and-play or ACPI ID whole, or VEN_ and &DEV_ with four "
             "hex digits, at least)";
    }
    return std::nullopt;
  }
  if (EqualAsciiFolded(bus, "SWD")) {
    // A software device's ID names its enumerator first (SWD\MMDEVAPI\...): the device follows.
    const std::size_t name = device.find('\\');
    if (name == std::string_view::npos || device.size() - name - 1 < kDeviceNameLength) {
      return "it names no device (SWD\\, the enumerator, a backslash and four characters at "
             "least)";
    }
    return std::nullopt;
  }
  if (device.size() < kDeviceNameLength) {
    return "it names no vendor (four characters at least after the bus)";
  }
  return std::nullopt;
}

}  // namespace vorsk
