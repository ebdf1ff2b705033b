// Whether a folder or a key that vorsk keeps something in belongs to the administrators alone: the
// rule, apart from the platform calls that read an object's owner and access list, so that it is
// the same everywhere and tested anywhere. vorsk runs as SYSTEM or as an administrator; a folder
// that another account may delete, rename or give itself rights on could be swapped for one of
// that account's own between the moment vorsk looks at it and the moment an administrator runs
// what vorsk left there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/host.h"

namespace vorsk {

// SYSTEM, the Administrators group and the platform's installer account (TrustedInstaller): the
// accounts that may change what vorsk keeps. The account that runs vorsk counts with them: its
// rights are the run's own.
bool IsAdministrativeAccount(const std::string& sid, const std::string& runningUser);

// What another account may do to an object that matters: to a folder, delete or rename it
// (DELETE) or change its access list or owner (WRITE_DAC, WRITE_OWNER); to the folder that holds
// it, delete or rename what it holds (FILE_DELETE_CHILD); to a key, the same and write its values
// or make keys in it (generic write counts there).
inline constexpr std::uint32_t kFolderChangeRights = kDelete | kWriteDac | kWriteOwner;
inline constexpr std::uint32_t kParentChangeRights = kFileDeleteChild;
inline constexpr std::uint32_t kKeyChangeRights = kDelete | kWriteDac | kWriteOwner | kKeySetValue |
                                                  kKeyCreateSubKey | kKeyCreateLink | kGenericWrite;

// Why an account other than the administrative ones may do one of `rights` to the object whose
// owner and access list are `security` ("S-1-5-11 may delete or rename it"); nothing when none
// may. Every entry that grants counts, whatever denies: an entry that denies may be for a group
// whose members the rule cannot know, so it never clears another. An owner may always change the
// access list, unless an entry for the owner's rights (OWNER RIGHTS) says what it may do instead.
// An object without an access list lets everyone do everything.
std::optional<std::string> OthersMayChange(const SecurityFacts& security, std::uint32_t rights,
                                           const std::string& runningUser);

}  // namespace vorsk
