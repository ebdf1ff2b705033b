#include "cleanup/device_ids.h"

#include "text/text.h"

namespace vorsk {

bool SameDeviceId(std::string_view a, std::string_view b) {
  return EqualAsciiFolded(a, b);
}

bool HasIdPrefix(std::string_view prefix, std::string_view id) {
  return !prefix.empty() && StartsWithAsciiFolded(id, prefix);
}

std::optional<std::string> IdPrefixRefusal(std::string_view prefix) {
  if (prefix.empty()) {
    return std::nullopt;
  }
  constexpr std::string_view kUsbVendor = "USB\\VID_";
  constexpr std::size_t kVendorDigits = 4;
  const std::size_t separator = prefix.find('\\');
  if (separator == std::string_view::npos) {
    return "it names a whole bus, no vendor";
  }
  if (EqualAsciiFolded(prefix.substr(0, separator), "USB")) {
    if (prefix.size() < kUsbVendor.size() + kVendorDigits ||
        !StartsWithAsciiFolded(prefix, kUsbVendor)) {
      return "it names no vendor (USB\\VID_ and four hex digits at least)";
    }
    for (const char c : prefix.substr(kUsbVendor.size(), kVendorDigits)) {
      const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      if (!hex) {
        return "it names no vendor (USB\\VID_ and four hex digits at least)";
      }
    }
    return std::nullopt;
  }
  if (prefix.size() - separator - 1 < kVendorDigits) {
    return "it names no vendor (four characters at least after the bus)";
  }
  return std::nullopt;
}

}  // namespace vorsk
