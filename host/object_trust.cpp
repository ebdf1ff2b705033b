#include "host/object_trust.h"

#include <string_view>

namespace vorsk {

namespace {

constexpr std::string_view kSystem = "S-1-5-18";
constexpr std::string_view kAdministrators = "S-1-5-32-544";
constexpr std::string_view kTrustedInstaller =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr std::string_view kCreatorOwner = "S-1-3-0";
constexpr std::string_view kCreatorGroup = "S-1-3-1";
constexpr std::string_view kOwnerRights = "S-1-3-4";

// What the rights let an account do, as the reason says it.
std::string WhatRightsAllow(std::uint32_t granted) {
  std::string what;
  const auto add = [&](std::uint32_t bits, const char* text) {
    if ((granted & bits) != 0) {
      what += (what.empty() ? "" : ", ") + std::string(text);
    }
  };
  add(kDelete, "delete or rename it");
  add(kWriteDac | kWriteOwner, "change its access list or owner");
  add(kFileDeleteChild, "delete or rename what it holds");
  add(kKeySetValue | kKeyCreateSubKey | kKeyCreateLink | kGenericWrite, "write in it");
  return what;
}

// The rights of `rights` that an entry's mask grants: generic all grants every one.
std::uint32_t Granted(std::uint32_t mask, std::uint32_t rights) {
  return (mask & kGenericAll) != 0 ? rights : mask & rights;
}

}  // namespace

bool IsAdministrativeAccount(const std::string& sid, const std::string& runningUser) {
  return sid == kSystem || sid == kAdministrators || sid == kTrustedInstaller ||
         (!runningUser.empty() && sid == runningUser);
}

std::optional<std::string> OthersMayChange(const SecurityFacts& security, std::uint32_t rights,
                                           const std::string& runningUser) {
  if (security.nullList) {
    return "it has no access list: everyone may " + WhatRightsAllow(rights);
  }
  bool ownerRightsListed = false;
  for (const AccessEntry& entry : security.entries) {
    // What an entry made for what is created inside says nothing of the object itself.
    if (!entry.allows || entry.inheritOnly || entry.sid == kCreatorOwner ||
        entry.sid == kCreatorGroup) {
      continue;
    }
    if (entry.sid == kOwnerRights) {
      ownerRightsListed = true;
      const std::uint32_t granted = Granted(entry.mask, rights);
      if (granted != 0 && !IsAdministrativeAccount(security.owner, runningUser)) {
        return "its owner " + security.owner + " may " + WhatRightsAllow(granted);
      }
      continue;
    }
    const std::uint32_t granted = Granted(entry.mask, rights);
    if (granted != 0 && !IsAdministrativeAccount(entry.sid, runningUser)) {
      return entry.sid + " may " + WhatRightsAllow(granted);
    }
  }
  if (!ownerRightsListed && (rights & kWriteDac) != 0 &&
      !IsAdministrativeAccount(security.owner, runningUser)) {
    return "its owner " + (security.owner.empty() ? std::string("(none)") : security.owner) +
           " may change its access list or owner";
  }
  return std::nullopt;
}

}  // namespace vorsk
