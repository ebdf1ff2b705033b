// The rule of which log files a run writes to: the facts the host finds of an opened file in, the
// reason it is refused (or none) out.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "host/log_trust.h"

namespace vorsk {
namespace {

const std::u16string kWindows = u"C:\\WINDOWS";

struct Case {
  const char* what;
  bool reparsePoint;
  std::uint32_t links;
  std::u16string asked;
  std::u16string final;
  FileOwner owner;
  bool wow64;
  std::optional<std::string> refusal;
};

TEST(LogTrustTest, RefusesALogThatIsNotTheFileAskedForOrBelongsToAnotherAccount) {
  const std::optional<std::string> kTrusted;
  const std::string kOther = "it is another file (a link on its path)";
  const std::string kOwner = "it belongs to another account";
  const Case cases[] = {
      {"a plain file of the administrators", false, 1, u"C:\\WINDOWS\\LOGS\\VORSK.LOG",
       u"\\\\?\\C:\\WINDOWS\\LOGS\\VORSK.LOG", FileOwner::Administrators, false, kTrusted},
      {"of SYSTEM", false, 1, u"C:\\A.LOG", u"\\\\?\\C:\\A.LOG", FileOwner::System, false,
       kTrusted},
      {"of the running user", false, 1, u"C:\\A.LOG", u"\\\\?\\C:\\A.LOG", FileOwner::RunningUser,
       false, kTrusted},
      {"asked for with its literal prefix", false, 1, u"\\\\?\\C:\\A.LOG", u"\\\\?\\C:\\A.LOG",
       FileOwner::System, false, kTrusted},
      {"a reparse point", true, 1, u"C:\\A.LOG", u"\\\\?\\C:\\A.LOG", FileOwner::System, false,
       "it is a reparse point (a link)"},
      {"a second name of another file", false, 2, u"C:\\A.LOG", u"\\\\?\\C:\\A.LOG",
       FileOwner::System, false, "it has 2 names (hard links)"},
      {"a link to another file", false, 1, u"C:\\TEMP\\A.LOG", u"\\\\?\\C:\\WINDOWS\\WIN.INI",
       FileOwner::Administrators, false, kOther},
      {"below a linked folder", false, 1, u"C:\\TEMP\\L\\A.LOG",
       u"\\\\?\\C:\\WINDOWS\\SYSTEM32\\A.LOG", FileOwner::Administrators, false, kOther},
      {"a name that only begins like the file", false, 1, u"C:\\A.LOG", u"\\\\?\\C:\\A.LOG2",
       FileOwner::System, false, kOther},
      {"System32 of a 32-bit program on 64-bit Windows", false, 1, u"C:\\WINDOWS\\SYSTEM32\\A.LOG",
       u"\\\\?\\C:\\WINDOWS\\SYSWOW64\\A.LOG", FileOwner::System, true, kTrusted},
      {"a System32 folder WOW64 does not redirect", false, 1,
       u"C:\\WINDOWS\\SYSTEM32\\LOGFILES\\A.LOG", u"\\\\?\\C:\\WINDOWS\\SYSTEM32\\LOGFILES\\A.LOG",
       FileOwner::System, true, kTrusted},
      {"Sysnative of a 32-bit program", false, 1, u"C:\\WINDOWS\\SYSNATIVE\\A.LOG",
       u"\\\\?\\C:\\WINDOWS\\SYSTEM32\\A.LOG", FileOwner::System, true, kTrusted},
      {"System32 redirected without WOW64", false, 1, u"C:\\WINDOWS\\SYSTEM32\\A.LOG",
       u"\\\\?\\C:\\WINDOWS\\SYSWOW64\\A.LOG", FileOwner::System, false, kOther},
      {"a folder that only begins like System32", false, 1, u"C:\\WINDOWS\\SYSTEM32X\\A.LOG",
       u"\\\\?\\C:\\WINDOWS\\SYSWOW64X\\A.LOG", FileOwner::System, true, kOther},
      {"of another user", false, 1, u"C:\\A.LOG", u"\\\\?\\C:\\A.LOG", FileOwner::Other, false,
       kOwner},
      {"whose owner cannot be read", false, 1, u"C:\\A.LOG", u"\\\\?\\C:\\A.LOG",
       FileOwner::Unknown, false, "its owner cannot be read"},
      {"of the machine's account on a share", false, 1, u"\\\\SERVER\\LOGS\\A.LOG",
       u"\\\\?\\UNC\\SERVER\\LOGS\\A.LOG", FileOwner::MachineAccount, false, kTrusted},
      {"of the machine's account on a local disk", false, 1, u"C:\\A.LOG", u"\\\\?\\C:\\A.LOG",
       FileOwner::MachineAccount, false, kOwner},
      {"a share's file through another share", false, 1, u"\\\\SERVER\\LOGS\\A.LOG",
       u"\\\\?\\UNC\\OTHER\\LOGS\\A.LOG", FileOwner::System, false, kOther},
  };
  for (const Case& c : cases) {
    LogFileFacts facts;
    facts.reparsePoint = c.reparsePoint;
    facts.links = c.links;
    facts.asked = c.asked;
    facts.final = c.final;
    facts.owner = c.owner;
    facts.wow64 = c.wow64;
    facts.windowsDirectory = kWindows;
    EXPECT_EQ(LogRefusal(facts), c.refusal) << c.what;
  }
}

}  // namespace
}  // namespace vorsk
