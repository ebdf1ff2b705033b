// Device ID comparisons. The platform treats device IDs without regard to letter case, and one
// device reports its IDs in different case on different platform versions, so the comparisons
// fold ASCII letters (and nothing else: no locale).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vorsk {

// Whole IDs, equal letter case aside.
bool SameDeviceId(std::string_view a, std::string_view b);

// True when prefix has at least one character and id begins with it, letter case aside.
bool HasIdPrefix(std::string_view prefix, std::string_view id);

// Why a prefix of the script matches too much to be used: one that names no vendor would take
// every device of its bus (keyboards, mice, disks, the machine's own bridges). Each bus's IDs
// name a vendor in a form of their own, and a prefix must reach it (letter case aside):
//   USB, HID        VID_ and four hex digits (USB\VID_0000)
//   PCI             VEN_, four hex digits, &DEV_ and four hex digits: a vendor's whole chipset
//                   is never one scanner (PCI\VEN_8086&DEV_1C2D)
//   SCSI, USBSTOR,  the device type, when the prefix begins with one, and the vendor field's
//   IDE             eight characters (USBSTOR\DiskVendor__; SCSI\Disk names every disk)
//   ACPI            a plug-and-play or ACPI ID whole (ACPI\PNP0A03, ACPI\MSFT0101), or
//                   VEN_<vendor>&DEV_ and four hex digits
//   SWD             the enumerator, a backslash and four characters (SWD\MMDEVAPI names every
//                   audio endpoint)
//   any other bus   four characters after its backslash (ROOT\ names every device the platform
//                   enumerates itself)
// A prefix without a backslash names a whole bus. Nothing for a prefix that may be used, and for
// an empty one (which matches nothing).
std::optional<std::string> IdPrefixRefusal(std::string_view prefix);

}  // namespace vorsk
