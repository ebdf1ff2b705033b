// The real host services, under Wine: what the removal core relies on from each of them.
#include <cwchar>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include "companion/removal_by_id.h"
#include "host/handles.h"
#include "host/win32/companion_check.h"
#include "host/win32/native_files.h"
#include "host/win32/program_runner.h"
#include "host/win32/run_lock.h"
#include "host/win32/translate.h"
#include "host/win32/win32_handles.h"
#include "host/win32/win32_host.h"
#include "tests/win32/win32_fixtures.h"

namespace vorsk {
namespace {

using test::ScratchFolder;
using test::ScratchKey;

class ProfileReaderTest : public ::testing::TestWithParam<const char*> {
 protected:
  // One script text, written with the line end of the parameter.
  std::string WriteScript() {
    const std::string eol = GetParam();
    return folder.Write("Remove417.ini", "[RemoveInf]" + eol + "Image0=usb\\vid_0000&pid_0000" +
                                             eol + "  Image1 =  \"usb\\vid_0000&pid_0001\"  " +
                                             eol + "[1KEY]" + eol + "Num=3" + eol + "Bad=x12" +
                                             eol + "Neg=-4" + eol);
  }
  ScratchFolder folder;
  Win32Host host;
};

TEST_P(ProfileReaderTest, CutsTextToOneLessThanTheSizeAndDefaultsWhenAbsent) {
  const std::string path = WriteScript();
  EXPECT_EQ(host.GetPrivateProfileStringA("RemoveInf", "Image0", "", 35, path),
            "usb\\vid_0000&pid_0000");
  EXPECT_EQ(host.GetPrivateProfileStringA("RemoveInf", "Image0", "", 4, path), "usb");
  // Blanks around names and values are trimmed, one pair of quotes stripped.
  EXPECT_EQ(host.GetPrivateProfileStringA("RemoveInf", "Image1", "", 35, path),
            "usb\\vid_0000&pid_0001");
  EXPECT_EQ(host.GetPrivateProfileStringA("RemoveInf", "USB0", "", 35, path), "");
  EXPECT_EQ(host.GetPrivateProfileStringA("CurrentDev", "DevNo", "", 260, path), "");
  EXPECT_EQ(host.GetPrivateProfileStringA("RemoveInf", "Image0", "", 35, folder.Path("absent.ini")),
            "");
}

TEST_P(ProfileReaderTest, MatchesSectionAndEntryNamesInAnyLetterCase) {
  const std::string path = WriteScript();
  EXPECT_EQ(host.GetPrivateProfileStringA("removeinf", "IMAGE0", "", 35, path),
            "usb\\vid_0000&pid_0000");
  EXPECT_EQ(host.GetPrivateProfileIntA("1key", "NUM", 5, path), 3);
}

TEST_P(ProfileReaderTest, ReadsIntegersWithTheirDefault) {
  const std::string path = WriteScript();
  EXPECT_EQ(host.GetPrivateProfileIntA("1KEY", "Num", 5, path), 3);
  EXPECT_EQ(host.GetPrivateProfileIntA("1KEY", "Absent", 5, path), 5);
  EXPECT_EQ(host.GetPrivateProfileIntA("2KEY", "Num", 5, path), 5);
  EXPECT_EQ(host.GetPrivateProfileIntA("1KEY", "Bad", 5, path), 0);
  EXPECT_EQ(host.GetPrivateProfileIntA("1KEY", "Neg", 5, path), -4);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, ProfileReaderTest, ::testing::Values("\r\n", "\n"));

TEST(WindowsDirectoryTest, ReturnsTheDirectoryOrTheSizeNeeded) {
  Win32Host host;
  std::string directory;
  const std::uint32_t length = host.GetSystemWindowsDirectoryA(directory, 260);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(directory.size(), length);
  EXPECT_NE(directory.back(), '\\');
  // The system's folder, the one every user shares.
  char system[MAX_PATH] = {};
  ASSERT_GT(::GetSystemWindowsDirectoryA(system, MAX_PATH), 0u);
  EXPECT_EQ(directory, system);

  std::string untouched = "sentinel";
  EXPECT_EQ(host.GetSystemWindowsDirectoryA(untouched, 2), length + 1);
  EXPECT_EQ(untouched, "sentinel");
}

TEST(FileTest, SharedReadOpenFailsWhileAnotherHandleWrites) {
  ScratchFolder folder;
  Win32Host host;
  const std::string path = folder.Write("Remove417.ini", "[CurrentDev]\r\nDevNo=1\r\n");

  {
    unique_hfile script(host, host.CreateFileA(path, kGenericRead, kFileShareRead, kOpenExisting,
                                               kFileAttributeNormal));
    EXPECT_TRUE(script.is_valid());
  }
  win32::unique_hfile writer(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer.is_valid());
  unique_hfile script(host, host.CreateFileA(path, kGenericRead, kFileShareRead, kOpenExisting,
                                             kFileAttributeNormal));
  EXPECT_FALSE(script.is_valid());
  EXPECT_EQ(host.GetLastError(), kErrorSharingViolation);
}

TEST(FileTest, ArchiveAttributeClearsReadOnlySoTheFileCanBeDeleted) {
  ScratchFolder folder;
  Win32Host host;
  const std::string path = folder.Write("oem7.inf", "[Version]\r\n");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_FALSE(host.DeleteFileA(path));
  EXPECT_TRUE(host.SetFileAttributesA(path, kFileAttributeArchive));
  EXPECT_EQ(::GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
  EXPECT_TRUE(host.DeleteFileA(path));
  EXPECT_FALSE(host.DeleteFileA(path));
  EXPECT_EQ(host.GetLastError(), kErrorFileNotFound);
}

// Protected, its entries inherited by files and folders, full control for SYSTEM and the
// Administrators group, and for the account that runs this process when there are three.
void ExpectAdministratorsOnly(PSECURITY_DESCRIPTOR descriptor, DWORD entries) {
  ASSERT_NE(descriptor, nullptr);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl != nullptr);
  ASSERT_EQ(dacl->AceCount, entries);
  std::vector<bool> granted;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, index, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    ASSERT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(allowed->Mask & FILE_ALL_ACCESS, DWORD{FILE_ALL_ACCESS});
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if (index == 0) {
      EXPECT_TRUE(::IsWellKnownSid(sid, WinLocalSystemSid));
    } else if (index == 1) {
      EXPECT_TRUE(::IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
    } else {
      HANDLE raw = nullptr;
      ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw));
      win32::unique_handle token(raw);
      std::vector<BYTE> user(512);
      DWORD size = 0;
      ASSERT_TRUE(::GetTokenInformation(token.get(), TokenUser, user.data(), 512, &size));
      EXPECT_TRUE(::EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid));
    }
  }
}

// The backup's files, named relative to folders held open: a folder named outside the code page,
// made for administrators only (its access list read back), nothing ever replaced, each copied
// piece handed over as it is copied; while a folder is held, nobody moves it; a link is never
// opened as a folder.
TEST(HeldFolderTest, MakesWritesAndCopiesRelativeToHeldFoldersAndNeverReplaces) {
  ScratchFolder scratch;
  Win32Host host;
  const std::u16string root = host.AnsiToWide(scratch.path());
  const auto wide = [](const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
  };
  const std::u16string name = u"\u5907\u4EFD \u00FC";
  unique_hfolder drive(host);
  ASSERT_EQ(host.OpenFolderNoFollow(kNoFolder, root.substr(0, 3), drive.put()), kErrorSuccess);
  unique_hfolder parent(host);
  ASSERT_EQ(host.OpenFolderNoFollow(kNoFolder, root, parent.put()), kErrorSuccess);
  unique_hfolder folder(host);
  ASSERT_EQ(
      host.CreateFolderIn(parent.get(), name, Host::FolderAccess::AdministratorsOnly, folder.put()),
      kErrorSuccess);
  unique_hfolder again(host);
  EXPECT_EQ(host.CreateFolderIn(parent.get(), name, Host::FolderAccess::Inherited, again.put()),
            kErrorAlreadyExists);
  unique_hfolder inner(host);
  EXPECT_EQ(host.CreateFolderIn(folder.get(), u"files", Host::FolderAccess::Inherited, inner.put()),
            kErrorSuccess);

  EXPECT_EQ(host.WriteFileIn(folder.get(), u"\u540D.txt", "made\r\n", false), kErrorSuccess);
  EXPECT_EQ(host.WriteFileIn(folder.get(), u"\u540D.txt", "saved\r\n", true), kErrorSuccess);
  EXPECT_EQ(host.WriteFileIn(folder.get(), u"\u540D.txt", "again", false), kErrorFileExists);
  std::string pieces;
  EXPECT_EQ(host.CopyFileIn(folder.get(), u"\u540D.txt", folder.get(), u"files\\copy",
                            [&](std::string_view piece) { pieces += piece; }),
            kErrorSuccess);
  EXPECT_EQ(pieces, "made\r\nsaved\r\n");
  EXPECT_EQ(host.CopyFileIn(kNoFolder, root + u"\\" + name + u"\\\u540D.txt", folder.get(),
                            u"files\\copy", [](std::string_view) {}),
            kErrorFileExists);
  std::string content;
  EXPECT_EQ(host.ReadFileIn(folder.get(), u"files\\copy", content, 64), kErrorSuccess);
  EXPECT_EQ(content, "made\r\nsaved\r\n");
  EXPECT_EQ(host.ReadFileIn(folder.get(), u"files\\copy", content, 4), kErrorMoreData);

  // Held without sharing deletion: another process's move of the folder, or of its parent's
  // folder held the same way, fails.
  const std::u16string path = root + u"\\" + name;
  EXPECT_FALSE(::MoveFileW(wide(path), wide(root + u"\\moved")));
  EXPECT_EQ(::GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  SecurityFacts security;
  EXPECT_EQ(host.ReadFolderSecurity(folder.get(), security), kErrorSuccess);
  EXPECT_FALSE(security.owner.empty());
  EXPECT_FALSE(security.nullList);

  // A file is no folder.
  unique_hfolder notAFolder(host);
  EXPECT_EQ(host.OpenFolderNoFollow(folder.get(), u"\u540D.txt", notAFolder.put()),
            kErrorDirectory);

  // Wine 8 keeps no access list on a file or folder (it shows one made of the Unix mode), so the
  // folder's own is checked where the platform keeps it, and the one it is made with always.
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoW(wide(path), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &descriptor),
            DWORD{ERROR_SUCCESS});
  win32::unique_hlocal owned(descriptor);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
  if ((control & SE_DACL_PROTECTED) != 0) {
    ExpectAdministratorsOnly(descriptor, 2);
  }
  ExpectAdministratorsOnly(win32::AdministratorsOnlyFolderDescriptor(false).get(), 2);
  // On a share, also the account that made it (here, the user that runs the tests).
  ExpectAdministratorsOnly(win32::AdministratorsOnlyFolderDescriptor(true).get(), 3);

  inner.reset();
  folder.reset();
  ::DeleteFileW(wide(path + u"\\\u540D.txt"));
  ::DeleteFileW(wide(path + u"\\files\\copy"));
  EXPECT_TRUE(::RemoveDirectoryW(wide(path + u"\\files")));
  EXPECT_TRUE(::RemoveDirectoryW(wide(path)));
}

// A folder's entries as the platform lists them, and a file's bytes whole: what the search of the
// driver store reads.
TEST(FolderTest, ListsEntriesWithoutTheDotsAndReadsFilesWholeWithinTheirLimits) {
  ScratchFolder scratch;
  Win32Host host;
  const std::u16string root = host.AnsiToWide(scratch.path());
  const std::u16string package = root + u"\\pkg";
  const std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
  scratch.Write("pkg\\a.inf", inf);
  ASSERT_TRUE(::CreateDirectoryA(scratch.Path("pkg\\sub").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(scratch.Path("empty").c_str(), nullptr));
  const std::u16string wideName = package + u"\\\u5907.cat";
  ASSERT_EQ(host.WriteFileBytes(wideName, "cat", false), kErrorSuccess);

  // Each listing starts from one stale entry, which only a success replaces.
  const auto list = [&](const std::u16string& folder, std::size_t limit,
                        std::vector<FolderEntry>& entries) {
    entries.assign(1, FolderEntry{u"stale", 0, 0});
    return host.ListFolder(folder, entries, limit);
  };
  std::vector<FolderEntry> entries;
  for (const std::u16string& missing : {root + u"\\absent", root + u"\\absent\\deeper"}) {
    const Status status = list(missing, 10, entries);
    EXPECT_TRUE(status == kErrorFileNotFound || status == kErrorPathNotFound) << status;
    EXPECT_EQ(entries.size(), 1u);
  }
  EXPECT_NE(list(package + u"\\a.inf", 10, entries), kErrorSuccess);
  EXPECT_EQ(list(root + u"\\empty", 10, entries), kErrorSuccess);
  EXPECT_TRUE(entries.empty());

  for (const std::u16string& folder : {package, package + u"\\"}) {
    ASSERT_EQ(list(folder, 3, entries), kErrorSuccess);
    std::map<std::u16string, FolderEntry> byName;
    for (const FolderEntry& entry : entries) {
      byName[entry.name] = entry;
    }
    ASSERT_EQ(byName.size(), 3u);
    ASSERT_EQ(byName.count(u"a.inf") + byName.count(u"sub") + byName.count(u"\u5907.cat"), 3u);
    EXPECT_EQ(byName[u"a.inf"].size, inf.size());
    EXPECT_EQ(byName[u"a.inf"].attributes & kFileAttributeDirectory, 0u);
    EXPECT_EQ(byName[u"\u5907.cat"].size, 3u);
    EXPECT_NE(byName[u"sub"].attributes & kFileAttributeDirectory, 0u);
  }
  EXPECT_EQ(list(package, 2, entries), kErrorMoreData);
  EXPECT_EQ(entries.size(), 1u);

  // A file looked at gives what the listing gives of it; a missing one its error, nothing set.
  FolderEntry facts{u"kept", 0, 7};
  ASSERT_EQ(host.LookAtFile(package + u"\\a.inf", facts), kErrorSuccess);
  EXPECT_EQ(facts.size, inf.size());
  EXPECT_EQ(facts.attributes & kFileAttributeDirectory, 0u);
  EXPECT_EQ(facts.name, u"kept");
  ASSERT_EQ(host.LookAtFile(package + u"\\sub", facts), kErrorSuccess);
  EXPECT_NE(facts.attributes & kFileAttributeDirectory, 0u);
  facts = FolderEntry{u"kept", 0, 7};
  EXPECT_EQ(host.LookAtFile(package + u"\\absent.inf", facts), kErrorFileNotFound);
  EXPECT_EQ(facts.size, 7u);

  // Read whole at its size, refused one byte short; read while another process writes it.
  std::string bytes = "stale";
  EXPECT_EQ(host.ReadFileBytes(package + u"\\a.inf", bytes, inf.size() - 1), kErrorMoreData);
  EXPECT_EQ(bytes, "stale");
  win32::unique_hfile writer(::CreateFileA(scratch.Path("pkg\\a.inf").c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.is_valid());
  EXPECT_EQ(host.ReadFileBytes(package + u"\\a.inf", bytes, inf.size()), kErrorSuccess);
  EXPECT_EQ(bytes, inf);
  writer.reset();
  EXPECT_EQ(host.ReadFileBytes(wideName, bytes, 100), kErrorSuccess);
  EXPECT_EQ(bytes, "cat");
  const std::string large(300000, 'x');
  scratch.Write("large.bin", large);
  EXPECT_EQ(host.ReadFileBytes(root + u"\\large.bin", bytes, large.size()), kErrorSuccess);
  EXPECT_EQ(bytes, large);
  scratch.Write("empty.inf", "");
  EXPECT_EQ(host.ReadFileBytes(root + u"\\empty.inf", bytes, 0), kErrorSuccess);
  EXPECT_TRUE(bytes.empty());
  bytes = "stale";
  EXPECT_EQ(host.ReadFileBytes(root + u"\\absent.inf", bytes, 100), kErrorFileNotFound);
  EXPECT_NE(host.ReadFileBytes(package, bytes, 100), kErrorSuccess);
  EXPECT_EQ(bytes, "stale");

  ::DeleteFileW(reinterpret_cast<const wchar_t*>(wideName.c_str()));
}

// The platform's calls for driver packages, as Wine 8 has them: the uninstall deletes the INF of
// the INF folder (only that, and only when forced); the driver store's query is there and fails,
// as a stub; the file protection protects nothing, neither file nor key.
TEST(DriverPackageTest, WineDeletesOnlyTheForcedInfAndKnowsNoStoreOrProtection) {
  Win32Host host;
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring infFolder = std::wstring(windows) + L"\\inf\\";
  const std::string name = "oem" + std::to_string(9000 + ::GetCurrentProcessId() % 1000);
  const std::wstring inf = infFolder + std::wstring(name.begin(), name.end()) + L".inf";
  const std::wstring pnf = infFolder + std::wstring(name.begin(), name.end()) + L".pnf";
  // Both go at the end, whatever the test came to.
  struct Leftovers {
    std::vector<std::wstring> paths;
    ~Leftovers() {
      for (const std::wstring& path : paths) {
        ::DeleteFileW(path.c_str());
      }
    }
  } leftovers{{inf, pnf}};
  for (const std::wstring& path : {inf, pnf}) {
    win32::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.is_valid());
  }
  const auto exists = [](const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  };

  // The call is reached (its own error, not that of a missing call) and gives nothing.
  ::SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(host.DriverStoreInfPath(std::u16string(inf.begin(), inf.end())), std::nullopt);
  EXPECT_EQ(host.GetLastError(), DWORD{ERROR_CALL_NOT_IMPLEMENTED});

  wchar_t system[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  const std::wstring kernel = std::wstring(system) + L"\\kernel32.dll";
  ::SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(host.IsProtectedFile(std::u16string(kernel.begin(), kernel.end())));
  EXPECT_EQ(host.GetLastError(), kErrorFileNotFound);
  // The resource protection's query of a key is there, and keeps none.
  EXPECT_TRUE(host.CanTellProtectedKeys());
  EXPECT_FALSE(host.IsProtectedKey(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion"));
  // The environment's variables, expanded as the platform expands a service's image path.
  EXPECT_EQ(host.ExpandEnvironmentText(u"%SystemRoot%\\system32\\x.exe %NoSuchVorskName%"),
            std::u16string(windows, windows + std::wcslen(windows)) +
                u"\\system32\\x.exe %NoSuchVorskName%");

  EXPECT_TRUE(host.SetupUninstallOEMInfA(name + ".inf", 0));
  EXPECT_TRUE(exists(inf));
  EXPECT_TRUE(host.SetupUninstallOEMInfA(name + ".inf", kSuoiForceDelete));
  EXPECT_FALSE(exists(inf));
  EXPECT_TRUE(exists(pnf));
  EXPECT_FALSE(host.SetupUninstallOEMInfA(name + ".inf", kSuoiForceDelete));
  EXPECT_EQ(host.GetLastError(), kErrorFileNotFound);
}

class RegistryTest : public ::testing::Test {
 protected:
  ScratchKey scratch;
  Win32Host host;
};

TEST_F(RegistryTest, EnumerationEndsWithNoMoreItemsAndRefusesShortBuffers) {
  scratch.Create("Beta");
  scratch.Create("alpha");
  scratch.Create(std::string(20, 'n'));
  unique_hkey key(host);
  ASSERT_EQ(host.RegOpenKeyExA(kLocalMachine, scratch.path(), kKeyRead, key.put()), kErrorSuccess);

  std::vector<std::string> names;
  std::string name;
  std::uint32_t index = 0;
  for (; host.RegEnumKeyExA(key.get(), index, name, 256) == kErrorSuccess; ++index) {
    names.push_back(name);
  }
  EXPECT_EQ(host.RegEnumKeyExA(key.get(), index, name, 256), kErrorNoMoreItems);
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", std::string(20, 'n')}));

  // A name needs its length plus a terminating zero.
  std::string sentinel = "sentinel";
  EXPECT_EQ(host.RegEnumKeyExA(key.get(), 2, sentinel, 20), kErrorMoreData);
  EXPECT_EQ(sentinel, "sentinel");
  EXPECT_EQ(host.RegEnumKeyExA(key.get(), 2, sentinel, 21), kErrorSuccess);
  EXPECT_EQ(sentinel, std::string(20, 'n'));

  std::uint32_t count = 0;
  EXPECT_EQ(host.RegQueryInfoKeyA(key.get(), count), kErrorSuccess);
  EXPECT_EQ(count, 3u);
}

TEST_F(RegistryTest, ValuesComeBackAsStoredAndFailWhenLargerThanTheBuffer) {
  // String values come back through the ANSI reader with their terminating zero.
  scratch.SetBinary("", "Exact", std::string(255, 'x') + '\0', REG_SZ);
  scratch.SetBinary("", "Large", std::string(256, 'x') + '\0', REG_SZ);
  scratch.SetBinary("", "Unterminated", "usb\\vid", REG_BINARY);
  unique_hkey key(host);
  ASSERT_EQ(host.RegOpenKeyExA(kLocalMachine, scratch.path(), kKeyRead, key.put()), kErrorSuccess);

  std::string data = "sentinel";
  EXPECT_EQ(host.RegQueryValueExA(key.get(), "Large", data, 256), kErrorMoreData);
  EXPECT_EQ(data, "sentinel");
  EXPECT_EQ(host.RegQueryValueExA(key.get(), "Missing", data, 256), kErrorFileNotFound);
  EXPECT_EQ(host.RegQueryValueExA(key.get(), "Exact", data, 256), kErrorSuccess);
  EXPECT_EQ(data, std::string(255, 'x') + '\0');
  EXPECT_EQ(host.RegQueryValueExA(key.get(), "Unterminated", data, 256), kErrorSuccess);
  EXPECT_EQ(data, "usb\\vid");
}

// The wide-character readers give every value exactly, however long its name and data, small and
// large in turn (the reader's buffers grow and serve again), and names outside the code page.
TEST_F(RegistryTest, WideReadersGiveEveryValueAsStored) {
  const std::string large(100000, '\x5a');
  scratch.SetBinary("", "Small", std::string("\x01\x02", 2), REG_BINARY);
  scratch.SetBinary("", std::string(300, 'n'), large, REG_BINARY);
  const std::wstring path(scratch.path().begin(), scratch.path().end());
  // String data without its terminating zero: exactly these bytes. The value call counts in a
  // zero that the caller left just past its data, so what follows the data here is not one.
  {
    win32::unique_hkey raw;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, raw.put()),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(raw.get(), L"Odd", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>("a\0\0\0b\0XX"), 6),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), L"\u041a\u043b\u044e\u0447",
                              REG_DWORD, "\x2a\0\0\0", 4),
            ERROR_SUCCESS);
  scratch.Create("\u00e9t\u00e9");
  unique_hkey key(host);
  ASSERT_EQ(host.RegOpenKeyExA(kLocalMachine, scratch.path(), kKeyRead, key.put()), kErrorSuccess);

  std::map<std::u16string, std::pair<std::uint32_t, std::string>> values;
  std::uint32_t index = 0;
  for (;; ++index) {
    std::u16string name;
    std::uint32_t type = 0;
    std::string data;
    const Status status = host.RegEnumValueW(key.get(), index, name, type, data);
    if (status != kErrorSuccess) {
      EXPECT_EQ(status, kErrorNoMoreItems);
      break;
    }
    values[name] = {type, data};
  }
  EXPECT_EQ(index, 4u);
  EXPECT_EQ(values[u"Small"], std::make_pair(kRegBinary, std::string("\x01\x02", 2)));
  EXPECT_EQ(values[std::u16string(300, u'n')], std::make_pair(kRegBinary, large));
  EXPECT_EQ(values[u"Odd"], std::make_pair(kRegSz, std::string("a\0\0\0b\0", 6)));
  EXPECT_EQ(values[u"\u041a\u043b\u044e\u0447"],
            std::make_pair(kRegDword, std::string("\x2a\0\0\0", 4)));

  std::u16string subkey;
  ASSERT_EQ(host.EnumSubkeyNameW(key.get(), 0, subkey), kErrorSuccess);
  EXPECT_EQ(subkey, host.AnsiToWide("\u00e9t\u00e9"));
}

TEST_F(RegistryTest, OpeningNeverCreatesAndDeletionNeedsAnEmptyKey) {
  scratch.Create("Parent\\Child");
  unique_hkey key(host);
  EXPECT_EQ(
      host.RegOpenKeyExA(kLocalMachine, scratch.path() + "\\Missing\\Deeper", kKeyRead, key.put()),
      kErrorFileNotFound);
  EXPECT_FALSE(scratch.Exists("Missing"));
  // A trailing separator names the same key.
  EXPECT_EQ(host.RegOpenKeyExA(kLocalMachine, scratch.path() + "\\Parent\\", kKeyRead, key.put()),
            kErrorSuccess);
  key.reset();

  EXPECT_NE(host.RegDeleteKeyA(kLocalMachine, scratch.path() + "\\Parent"), kErrorSuccess);
  EXPECT_TRUE(scratch.Exists("Parent\\Child"));
  EXPECT_EQ(host.RegDeleteKeyA(kLocalMachine, scratch.path() + "\\Parent\\Child"), kErrorSuccess);
  EXPECT_EQ(host.RegDeleteKeyA(kLocalMachine, scratch.path() + "\\Parent"), kErrorSuccess);
  EXPECT_FALSE(scratch.Exists("Parent"));
}

TEST(DeviceSetupTest, WalksEveryInstanceAndRemovesItWithTheClassInstaller) {
  test::ScratchDevices scratch;
  const std::string withIds = scratch.Create({"USB\\Vid_0000&Pid_0000&Rev_0100", "USB\\Vid_0000"});
  const std::string withoutIds = scratch.Create({});
  Win32Host host;

  unique_hdevinfo set(host, host.SetupDiGetClassDevsA(kDigcfAllClasses));
  ASSERT_TRUE(set.is_valid());
  DeviceInfoRecord record;
  record.cbSize = sizeof(record);
  EXPECT_EQ(record.cbSize, sizeof(void*) == 8 ? 32u : 28u);

  bool sawWithIds = false;
  bool sawWithoutIds = false;
  std::uint32_t index = 0;
  for (; host.SetupDiEnumDeviceInfo(set.get(), index, record); ++index) {
    const std::string instance = test::InstanceIdOf(set.get(), record);
    std::uint32_t required = 0;
    EXPECT_FALSE(host.SetupDiGetDeviceRegistryPropertyA(set.get(), record, kSpdrpHardwareId,
                                                        nullptr, 0, &required));
    if (instance == withoutIds) {
      sawWithoutIds = true;
      EXPECT_EQ(host.GetLastError(), kErrorInvalidData);
    }
    if (instance != withIds) {
      continue;
    }
    sawWithIds = true;
    const std::string expected("USB\\Vid_0000&Pid_0000&Rev_0100\0USB\\Vid_0000\0\0", 45);
    ASSERT_EQ(required, expected.size());
    unique_hlocal buffer(host, host.LocalAlloc(kLptr, required));
    ASSERT_TRUE(buffer.is_valid());
    ASSERT_TRUE(host.SetupDiGetDeviceRegistryPropertyA(set.get(), record, kSpdrpHardwareId,
                                                       buffer.get(), required, &required));
    EXPECT_EQ(std::string(static_cast<const char*>(buffer.get()), required), expected);

    EXPECT_TRUE(host.SetupDiCallClassInstaller(kDifRemove, set.get(), record));
  }
  EXPECT_EQ(host.GetLastError(), kErrorNoMoreItems);
  EXPECT_TRUE(sawWithIds);
  EXPECT_TRUE(sawWithoutIds);
  set.reset();

  EXPECT_FALSE(test::InstanceExists(withIds));
  EXPECT_TRUE(test::InstanceExists(withoutIds));
}

// The sentinels are pointers on the platform, of the process's width: each is translated by name.
TEST(HandleTranslationTest, SentinelsBecomeThePlatformsOwnValuesAndBack) {
  EXPECT_EQ(win32::ToPlatform(kLocalMachine), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(win32::FromPlatform(HKEY_LOCAL_MACHINE), kLocalMachine);
  EXPECT_EQ(win32::ToPlatform(kInvalidFile), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win32::FileFromPlatform(INVALID_HANDLE_VALUE), kInvalidFile);
  EXPECT_EQ(win32::ToPlatform(kInvalidDevInfoSet), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win32::SetFromPlatform(INVALID_HANDLE_VALUE), kInvalidDevInfoSet);

  Win32Host host;
  ScratchFolder folder;
  EXPECT_EQ(host.CreateFileA(folder.Path("absent.ini"), kGenericRead, kFileShareRead, kOpenExisting,
                             kFileAttributeNormal),
            kInvalidFile);
  // Without a class and without "all classes" the service refuses the set.
  EXPECT_EQ(host.SetupDiGetClassDevsA(0), kInvalidDevInfoSet);
  unique_hkey software(host);
  EXPECT_EQ(host.RegOpenKeyExA(kLocalMachine, "SOFTWARE", kKeyRead, software.put()), kErrorSuccess);
  EXPECT_TRUE(software.is_valid());
}

// A cleanup after a failed call leaves the call's last error for the caller to read.
TEST(HandleTranslationTest, ClosingKeepsTheLastErrorOfTheCallBefore) {
  Win32Host host;
  ScratchFolder folder;
  const std::string path = folder.Write("present.ini", "");
  unique_hkey key(host);
  ASSERT_EQ(host.RegOpenKeyExA(kLocalMachine, "SOFTWARE", kKeyRead, key.put()), kErrorSuccess);
  unique_hfile file(host, host.CreateFileA(path, kGenericRead, kFileShareRead, kOpenExisting,
                                           kFileAttributeNormal));
  unique_hdevinfo set(host, host.SetupDiGetClassDevsA(kDigcfAllClasses));
  unique_hlocal memory(host, host.LocalAlloc(kLptr, 16));
  win32::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(key && file && set && memory && event);

  EXPECT_FALSE(host.DeleteFileA(folder.Path("absent.inf")));
  key.reset();
  file.reset();
  set.reset();
  memory.reset();
  event.reset();
  EXPECT_EQ(host.GetLastError(), kErrorFileNotFound);
}

// A link key opened without following shows no subkeys, and goes itself when deleted through its
// handle; what it points to stays whole.
TEST_F(RegistryTest, LinksAreOpenedAndDeletedThemselves) {
  scratch.Create("Target\\Sub");
  scratch.Create("Tree");
  std::wstring linkPath(scratch.path().begin(), scratch.path().end());
  linkPath += L"\\Tree\\Link";
  win32::unique_hkey link;
  ASSERT_EQ(
      ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, linkPath.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, link.put(), nullptr),
      ERROR_SUCCESS);
  // The registry's own path of the target: a 32-bit program's SOFTWARE on 64-bit Windows is
  // SOFTWARE\\WOW6432Node.
  BOOL wow64 = FALSE;
  ::IsWow64Process(::GetCurrentProcess(), &wow64);
  std::string target = scratch.path() + "\\Target";
  if (wow64) {
    target.insert(9, "WOW6432Node\\");
  }
  const std::wstring value = L"\\Registry\\Machine\\" + std::wstring(target.begin(), target.end());
  ASSERT_EQ(::RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() * sizeof(wchar_t))),
            ERROR_SUCCESS);
  link.reset();
  ASSERT_TRUE(scratch.Exists("Tree\\Link\\Sub"));  // followed the usual way

  unique_hkey tree(host);
  ASSERT_EQ(host.RegOpenKeyExA(kLocalMachine, scratch.path() + "\\Tree", kKeyRead, tree.put()),
            kErrorSuccess);
  // The registry names each key it opened by its own path below HKEY_LOCAL_MACHINE: the link
  // itself, or the key it leads to.
  const auto keyPath = [&](RegKey key) {
    std::u16string path;
    EXPECT_EQ(host.RegQueryKeyPath(key, path), kErrorSuccess);
    return std::string(path.begin(), path.end());
  };
  std::string ownPath = scratch.path() + "\\Tree\\Link";
  if (wow64) {
    ownPath.insert(9, "WOW6432Node\\");
  }
  unique_hkey followed(host);
  ASSERT_EQ(host.RegOpenKeyExA(tree.get(), "Link", kKeyRead, followed.put()), kErrorSuccess);
  EXPECT_EQ(::_stricmp(keyPath(followed.get()).c_str(), target.c_str()), 0)
      << keyPath(followed.get());
  unique_hkey own(host);
  ASSERT_EQ(host.RegOpenKeyNoFollowA(tree.get(), "Link", kKeyRead | kDelete, own.put()),
            kErrorSuccess);
  EXPECT_EQ(::_stricmp(keyPath(own.get()).c_str(), ownPath.c_str()), 0) << keyPath(own.get());
  std::uint32_t count = 99;
  EXPECT_EQ(host.RegQueryInfoKeyA(own.get(), count), kErrorSuccess);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(host.RegDeleteKeyOfHandle(own.get()), kErrorSuccess);
  own.reset();
  EXPECT_FALSE(scratch.Exists("Tree\\Link"));
  EXPECT_TRUE(scratch.Exists("Target\\Sub"));

  // A key with a subkey does not go through its handle.
  unique_hkey parent(host);
  ASSERT_EQ(host.RegOpenKeyNoFollowA(kLocalMachine, scratch.path() + "\\Target", kKeyRead | kDelete,
                                     parent.put()),
            kErrorSuccess);
  EXPECT_NE(host.RegDeleteKeyOfHandle(parent.get()), kErrorSuccess);
  EXPECT_TRUE(scratch.Exists("Target\\Sub"));
}

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The string form of each SID that the DACL of the file at `path` grants something to.
std::vector<std::string> GrantedSids(const std::string& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::vector<std::string> sids;
  if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return {"(unreadable)"};
  }
  const win32::unique_hlocal owned(descriptor);
  for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    LPSTR text = nullptr;
    if (::GetAce(dacl, index, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        ::ConvertSidToStringSidA(&ace->SidStart, &text)) {
      sids.push_back(text);
      ::LocalFree(text);
    }
  }
  return sids;
}

std::string RunningUserSid() {
  win32::unique_handle token;
  BYTE buffer[256] = {};
  DWORD size = 0;
  LPSTR text = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
      !::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size) ||
      !::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    return "(unknown)";
  }
  std::string sid = text;
  ::LocalFree(text);
  return sid;
}

// The log: a new one is made with rights for SYSTEM, the administrators and the running user
// alone, an existing plain one is appended to, and a second name of another file is refused with
// nothing written to that file. (Wine keeps no DACL but the Unix rights it maps it to: what it
// reads back is whom those grant, which must not be everyone.)
TEST(LogTest, OpensOnlyAFileOfItsOwnAndMakesANewOneForTheAdministrators) {
  ScratchFolder folder;
  const std::string other = folder.Write("other.txt", "kept\r\n");
  const std::string twice = folder.Path("second-name.log");
  ASSERT_TRUE(::CreateHardLinkA(twice.c_str(), other.c_str(), nullptr));
  const std::string existing = folder.Write("existing.log", "before\r\n");
  const std::string fresh = folder.Path("fresh.log");
  struct Case {
    std::string path;
    std::string refusal;
    std::string textBefore;
  } const cases[] = {
      {fresh, "", ""},
      {existing, "", "before\r\n"},
      {twice, "is refused: it has 2 names (hard links)", "kept\r\n"},
      {folder.Path("no such folder\\a.log"), "cannot be opened (error 00000003)", ""},
  };
  for (const Case& c : cases) {
    Win32Host host;
    EXPECT_EQ(host.OpenLog(std::wstring(c.path.begin(), c.path.end())), c.refusal) << c.path;
    host.WriteLog("one line \xC3\xBC");
    const std::string text = FileText(c.path);
    if (c.refusal.empty()) {
      EXPECT_EQ(text.substr(0, c.textBefore.size()), c.textBefore) << c.path;
      EXPECT_EQ(text.substr(text.size() - 14), " one line \xC3\xBC\r\n") << c.path;
    } else {
      EXPECT_EQ(text, c.textBefore) << c.path;
    }
  }
  const std::set<std::string> allowed = {"S-1-5-18", "S-1-5-32-544", RunningUserSid()};
  const std::vector<std::string> granted = GrantedSids(fresh);
  EXPECT_FALSE(granted.empty());
  for (const std::string& sid : granted) {
    EXPECT_EQ(allowed.count(sid), 1u) << sid;
  }
}

// A new log is made relative to the handle of its folder and shared, once trusted, with every
// other run that appends to it (a second run that waits for the first writes its lines too). A
// new log that is then refused goes again through the handle it was made with, whatever its name.
TEST(LogTest, ANewLogIsSharedWithTheNextRunAndOneRefusedGoesThroughItsHandle) {
  ScratchFolder folder;
  const std::string fresh = folder.Path("shared.log");
  const std::wstring path(fresh.begin(), fresh.end());
  Win32Host first;
  Win32Host second;
  ASSERT_EQ(first.OpenLog(path), "");
  ASSERT_EQ(second.OpenLog(path), "");
  first.WriteLog("first");
  second.WriteLog("second");
  const std::string text = FileText(fresh);
  EXPECT_NE(text.find(" first\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" second\r\n"), std::string::npos) << text;

  const std::wstring scratch(folder.path().begin(), folder.path().end());
  win32::unique_hfile parent(::CreateFileW(scratch.c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(parent);
  win32::unique_hfile made;
  ASSERT_EQ(win32::CreateRelative(parent.get(), u"refused.log", win32::NativeCreate::MakeLog,
                                  nullptr, made),
            kErrorSuccess);
  const std::string refused = folder.Path("refused.log");
  EXPECT_FALSE(::MoveFileA(refused.c_str(), folder.Path("renamed.log").c_str()));
  EXPECT_EQ(win32::DeleteThroughHandle(made.get()), kErrorSuccess);
  made.reset();
  EXPECT_EQ(::GetFileAttributesA(refused.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The run lock: held by one, another waits and, in time, gives up; once released, it is had.
TEST(RunLockTest, OneHolderAtATime) {
  Win32Host first;
  ASSERT_EQ(first.AcquireRunLock(0), RunLock::Acquired);
  // Wine makes no private namespace: the global name's lock is the one held.
  EXPECT_EQ(first.HeldRunLock(), RunLockKind::Global);
  RunLock other = RunLock::Failed;
  std::thread([&] {
    Win32Host second;
    other = second.AcquireRunLock(200);
  }).join();
  EXPECT_EQ(other, RunLock::TimedOut);
  first.ReleaseRunLock();
  std::thread([&] {
    Win32Host second;
    other = second.AcquireRunLock(0);
    second.ReleaseRunLock();
  }).join();
  EXPECT_EQ(other, RunLock::Acquired);
}

// The lock that vorsk makes: owned by the Administrators group, granted to SYSTEM and the
// Administrators alone (read back from the lock itself: Wine does not enforce it).
TEST(RunLockTest, BelongsToTheAdministratorsAndGrantsNobodyElse) {
  Win32Host host;
  ASSERT_EQ(host.AcquireRunLock(0), RunLock::Acquired);
  const win32::unique_handle lock(::OpenMutexW(READ_CONTROL, FALSE, win32::kRunLockName));
  ASSERT_TRUE(lock);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetSecurityInfo(lock.get(), SE_KERNEL_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const win32::unique_hlocal owned(descriptor);
  LPSTR text = nullptr;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(
      descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
      nullptr));
  const std::string sddl = text;
  ::LocalFree(text);
  host.ReleaseRunLock();
  EXPECT_EQ(sddl, "O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)");
}

// A lock of that name that another account made first, held by it: no lock, and no wait for it.
TEST(RunLockTest, AnotherAccountsLockIsNoLock) {
  const wchar_t* const squatters[] = {
      nullptr,                                 // the platform's default rights
      L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)",  // a user's, open to everyone
  };
  for (const wchar_t* rights : squatters) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (rights != nullptr) {
      ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(rights, SDDL_REVISION_1,
                                                                         &descriptor, nullptr));
    }
    const win32::unique_hlocal owned(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    const win32::unique_handle squatted(
        ::CreateMutexW(rights != nullptr ? &attributes : nullptr, TRUE, win32::kRunLockName));
    ASSERT_TRUE(squatted);
    RunLock taken = RunLock::Acquired;
    std::thread([&] {
      Win32Host host;
      taken = host.AcquireRunLock(200);
    }).join();
    EXPECT_EQ(taken, RunLock::Squatted) << (rights != nullptr ? "a user's" : "default rights");
    ::ReleaseMutex(squatted.get());
  }
}

// A run whose account is no administrator (the group for denying only, as in a filtered token)
// takes no lock.
TEST(RunLockTest, ARunThatIsNoAdministratorTakesNone) {
  BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
  DWORD size = sizeof(administrators);
  ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
  win32::unique_handle process;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, process.put()));
  SID_AND_ATTRIBUTES disabled = {administrators, 0};
  win32::unique_handle restricted;
  ASSERT_TRUE(::CreateRestrictedToken(process.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr,
                                      restricted.put()));
  RunLock taken = RunLock::Acquired;
  std::thread([&] {
    if (::ImpersonateLoggedOnUser(restricted.get())) {
      Win32Host host;
      taken = host.AcquireRunLock(0);
      ::RevertToSelf();
    }
  }).join();
  EXPECT_EQ(taken, RunLock::NotAdministrator);
}

// Whether a named event comes to exist (or to be gone) within ten seconds: it exists while the
// probe that holds it runs.
bool EventComesTo(const std::wstring& name, bool exist) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    const win32::unique_handle event(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
    if (static_cast<bool>(event) == exist) {
      return true;
    }
    ::Sleep(50);
  }
  return false;
}

// The probe beside the tests, as the one program built with them that the host may start.
const std::wstring kProbe = L"beside_probe.exe";
void KnowTheProbe(Win32Host& host) {
  host.SetBuiltCompanions(
      {{"beside_probe.exe", win32::ImageDigestOfFile(win32::OwnFolder() + L"\\" + kProbe)}});
}

// The companion's arguments reach the program as they were written, escaped, whatever quotes,
// blanks and backslashes the IDs hold; its standard output and status come back.
TEST(ProgramBesideTest, ReturnsTheOutputAndStatusOfTheProgramFromItsOwnFolder) {
  Win32Host host;
  KnowTheProbe(host);
  const std::vector<std::string> instanceIds = {"USB\\VID_0000&PID_2206\\5&2B1C3A7&0&1",
                                                "ROOT\\A\"B", "C\\\\\"D E", "E\\", "F\\\\"};
  const std::vector<CompanionTask> tasks = RemovalTasks(instanceIds);
  ASSERT_EQ(tasks.size(), 1u);

  const ProgramRun run =
      host.RunProgramBeside("beside_probe.exe", "print 3 " + TaskArguments(tasks[0]), 60000);

  ASSERT_EQ(run.start, ProgramRun::Start::Ran);
  EXPECT_EQ(run.exitCode, 3u);
  std::string expected = "/remove\r\n";
  for (const std::string& instanceId : instanceIds) {
    expected += PercentEscaped(instanceId) + "\r\n";
  }
  EXPECT_EQ(run.output, expected);
}

// A program started for a session is handed each task on its standard input and answers it on its
// standard output, as often as it is given one; its end comes once its input ends.
TEST(ProgramSessionTest, EachTaskIsAnsweredInTurnAndTheEndComesWithTheInputsEnd) {
  Win32Host host;
  KnowTheProbe(host);
  ProgramSession session = kNoSession;
  ASSERT_EQ(host.StartProgramBeside("beside_probe.exe", "answer 7", &session).start,
            ProgramRun::Start::Ran);

  for (const std::string task : {"first", "second"}) {
    const ProgramAnswer answer = host.HandProgramTask(session, task + "\r\n", 60000, AnswersTask);
    EXPECT_TRUE(answer.answered) << task;
    EXPECT_FALSE(answer.ended) << task;
    EXPECT_EQ(answer.output, "got " + task + "\r\ndone 0\r\n") << task;
  }
  EXPECT_EQ(host.EndProgramSession(session, 60000), 7u);
}

// A program that ends at its task, or that does not answer in time (it is then ended with its
// job), ends the session: what it wrote comes back with its status.
TEST(ProgramSessionTest, AProgramThatEndsOrRunsOutOfTimeEndsTheSession) {
  Win32Host host;
  KnowTheProbe(host);
  const struct {
    const char* task;
    std::uint32_t timeoutMs;
    std::string output;
    std::uint32_t exitCode;
  } cases[] = {
      {"end 5", 60000, "ending\r\n", 5},
      {"hang", 500, "", kErrorTimeout},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.task);
    ProgramSession session = kNoSession;
    ASSERT_EQ(host.StartProgramBeside("beside_probe.exe", "answer 7", &session).start,
              ProgramRun::Start::Ran);
    const DWORD start = ::GetTickCount();

    const ProgramAnswer answer =
        host.HandProgramTask(session, std::string(c.task) + "\n", c.timeoutMs, AnswersTask);

    EXPECT_LT(::GetTickCount() - start, 20000u);
    EXPECT_FALSE(answer.answered);
    EXPECT_TRUE(answer.ended);
    EXPECT_EQ(answer.exitCode, c.exitCode);
    EXPECT_EQ(answer.output, c.output);
    EXPECT_EQ(host.EndProgramSession(session, 0), c.exitCode);
  }
}

// Never the search path or the current folder: a program that is only there is missing.
TEST(ProgramBesideTest, AProgramOnlyInTheCurrentFolderIsMissing) {
  Win32Host host;
  ScratchFolder folder;
  const std::wstring probe = win32::OwnFolder() + L"\\beside_probe.exe";
  const std::wstring elsewhere(folder.path().begin(), folder.path().end());
  ASSERT_TRUE(::CopyFileW(probe.c_str(), (elsewhere + L"\\elsewhere.exe").c_str(), FALSE));
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(elsewhere.c_str()));

  const ProgramRun run = host.RunProgramBeside("elsewhere.exe", "print 0", 60000);

  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(run.start, ProgramRun::Start::Missing);
  EXPECT_EQ(run.error, kErrorFileNotFound);
  EXPECT_EQ(run.output, "");
}

// A file of the program's name that is not the one built never runs, nor does a program that was
// not built with this one: either is a companion other than vorsk.exe's.
TEST(ProgramBesideTest, AFileThatIsNotTheOneBuiltNeverRuns) {
  const std::string probe = win32::ImageDigestOfFile(win32::OwnFolder() + L"\\" + kProbe);
  ASSERT_EQ(probe.size(), 64u);
  std::string other = probe;
  other[0] = other[0] == '0' ? '1' : '0';
  const std::vector<win32::BuiltCompanions> lists = {
      {{"beside_probe.exe", other}},
      {{"vorsk64.exe", probe}},
      {},
  };
  for (const win32::BuiltCompanions& companions : lists) {
    Win32Host host;
    host.SetBuiltCompanions(companions);
    const ProgramRun run = host.RunProgramBeside("beside_probe.exe", "print 3 ran", 60000);
    EXPECT_EQ(run.start, ProgramRun::Start::Different);
    EXPECT_EQ(run.error, win32::kErrorInvalidImageHash);
    EXPECT_EQ(run.output, "");
  }
}

// The companion checked is held open, sharing reading alone, so that nobody may write, rename or
// delete it until it has been started; a file that another holds open for writing is not even
// read, and an absent one is missing.
TEST(ProgramBesideTest, TheCheckedCompanionIsHeldAgainstChanges) {
  ScratchFolder folder;
  const std::wstring scratch(folder.path().begin(), folder.path().end());
  const std::wstring copy = scratch + L"\\companion.exe";
  ASSERT_TRUE(::CopyFileW((win32::OwnFolder() + L"\\" + kProbe).c_str(), copy.c_str(), FALSE));
  const std::string digest = win32::ImageDigestOfFile(copy);

  {
    const win32::CompanionCheck check = win32::OpenBuiltCompanion(copy, digest);
    ASSERT_EQ(check.outcome, win32::CompanionCheck::Outcome::Checked);
    ASSERT_TRUE(check.held);
    const win32::unique_hfile writer(::CreateFileW(
        copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::MoveFileW(copy.c_str(), (scratch + L"\\moved.exe").c_str()));
    EXPECT_FALSE(::DeleteFileW(copy.c_str()));
    EXPECT_EQ(win32::ImageDigestOfFile(copy), digest);
  }
  {
    const win32::unique_hfile writer(::CreateFileW(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                   nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    const win32::CompanionCheck check = win32::OpenBuiltCompanion(copy, digest);
    EXPECT_EQ(check.outcome, win32::CompanionCheck::Outcome::Unopened);
    EXPECT_EQ(check.error, static_cast<Status>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(check.held);
  }
  const win32::CompanionCheck absent = win32::OpenBuiltCompanion(scratch + L"\\absent.exe", digest);
  EXPECT_EQ(absent.outcome, win32::CompanionCheck::Outcome::Missing);
}

// A program that runs longer than it is given is ended, with its job, and ends "timed out".
TEST(ProgramBesideTest, AProgramThatRunsOutOfTimeIsEnded) {
  Win32Host host;
  KnowTheProbe(host);
  const std::string name = "vorsk-test-late-" + std::to_string(::GetCurrentProcessId());
  const DWORD start = ::GetTickCount();

  const ProgramRun run = host.RunProgramBeside("beside_probe.exe", "wait " + name, 500);

  EXPECT_LT(::GetTickCount() - start, 20000u);
  EXPECT_EQ(run.start, ProgramRun::Start::Ran);
  EXPECT_EQ(run.exitCode, kErrorTimeout);
  EXPECT_TRUE(EventComesTo(std::wstring(name.begin(), name.end()), false));
}

// The program inherits the ends of its pipes and no other handle, even one that this process made
// inheritable.
TEST(ProgramBesideTest, TheProgramInheritsItsOutputAlone) {
  Win32Host host;
  KnowTheProbe(host);
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  const win32::unique_handle event(::CreateEventW(&inheritable, TRUE, TRUE, nullptr));
  ASSERT_TRUE(event);

  const std::string arguments =
      "inherits " + std::to_string(reinterpret_cast<std::uintptr_t>(event.get()));

  const ProgramRun run = host.RunProgramBeside("beside_probe.exe", arguments, 60000);

  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output, "not inherited\r\n");
  // Nor does a program started for a session, which inherits its standard input besides.
  ProgramSession session = kNoSession;
  ASSERT_EQ(host.StartProgramBeside("beside_probe.exe", arguments, &session).start,
            ProgramRun::Start::Ran);
  EXPECT_EQ(host.HandProgramTask(session, "\n", 60000, AnswersTask).output, "not inherited\r\n");
  EXPECT_EQ(host.EndProgramSession(session, 60000), 0u);
}

// The job: a program that ends, for whatever reason, takes the program it started with it.
TEST(ProgramBesideTest, TheProgramEndsWhenTheOneThatStartedItIsCutShort) {
  const std::wstring name = L"vorsk-test-beside-" + std::to_wstring(::GetCurrentProcessId());
  std::wstring commandLine = L"\"" + win32::OwnFolder() + L"\\run_beside.exe\" " + name;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &started));
  win32::unique_handle process(started.hProcess);
  win32::unique_handle thread(started.hThread);
  ASSERT_TRUE(EventComesTo(name, true));

  ASSERT_TRUE(::TerminateProcess(process.get(), 9));
  ::WaitForSingleObject(process.get(), 10000);

  EXPECT_TRUE(EventComesTo(name, false));
}

}  // namespace
}  // namespace vorsk
