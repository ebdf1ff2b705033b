// The framework's own rules, without windows: the command line's tail and its parsing, command
// routing through chained message maps, and the recent-file list in the per-user settings and on
// the menu.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/framework.h"

namespace {

// ---------------------------------------------------------------------------------------------
// The command line after the program's name.

struct TailCase {
  const wchar_t* commandLine;
  const wchar_t* tail;
};

class CommandTailTest : public ::testing::TestWithParam<TailCase> {};

TEST_P(CommandTailTest, SkipsTheProgramNameAndTheBlanksAndControlCharactersAfterIt) {
  std::wstring commandLine = GetParam().commandLine;
  EXPECT_EQ(std::wstring(framework::CommandTail(commandLine.data())), GetParam().tail);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, CommandTailTest,
    ::testing::Values(TailCase{L"vorsk.exe", L""}, TailCase{L"vorsk.exe scan.vsk", L"scan.vsk"},
                      TailCase{L"\"C:\\Program Files\\vorsk.exe\" scan.vsk", L"scan.vsk"},
                      // Quotes may open in the middle of the name.
                      TailCase{L"C:\\\"Program Files\"\\vorsk.exe /p a", L"/p a"},
                      // Tabs and control characters up to 32 go; the rest stays as it is.
                      TailCase{L"vorsk.exe \t\x01\x1f  a  b ", L"a  b "},
                      TailCase{L"vorsk.exe \x3000x", L"\x3000x"}, TailCase{L"\"vorsk.exe\"", L""},
                      TailCase{L"", L""}));

// ---------------------------------------------------------------------------------------------
// Parsing the parameters.

struct ParseCase {
  std::vector<std::wstring> arguments;
  int command;
  const wchar_t* file;
};

class ParseCommandLineTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLineTest, SetsTheShellCommandAndFile) {
  CCommandLineInfo info;
  framework::ParseCommandArguments(info, GetParam().arguments);
  EXPECT_EQ(info.m_nShellCommand, GetParam().command);
  EXPECT_EQ(info.m_strFileName, GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, ParseCommandLineTest,
    ::testing::Values(ParseCase{{}, CCommandLineInfo::FileNew, L""},
                      ParseCase{{L"scan.vsk"}, CCommandLineInfo::FileOpen, L"scan.vsk"},
                      // Only the first name is the file.
                      ParseCase{{L"a.vsk", L"b.vsk"}, CCommandLineInfo::FileOpen, L"a.vsk"},
                      ParseCase{{L"/p", L"a.vsk"}, CCommandLineInfo::FilePrint, L"a.vsk"},
                      ParseCase{{L"-pt", L"a.vsk", L"Printer", L"driver", L"port"},
                                CCommandLineInfo::FilePrintTo,
                                L"a.vsk"},
                      ParseCase{{L"/Unregister"}, CCommandLineInfo::AppUnregister, L""},
                      ParseCase{{L"/UNREGSERVER"}, CCommandLineInfo::AppUnregister, L""},
                      // Any other switch is ignored: the command stays what the file makes it.
                      ParseCase{{L"/dde"}, CCommandLineInfo::FileNew, L""},
                      ParseCase{{L"/Embedding", L"a.vsk"}, CCommandLineInfo::FileOpen, L"a.vsk"},
                      ParseCase{{L"/unknown"}, CCommandLineInfo::FileNew, L""}));

// ---------------------------------------------------------------------------------------------
// Command routing through chained maps.

class Base : public CCmdTarget {
 public:
  std::vector<std::string> calls;
  void One() { calls.push_back("Base::One"); }
  void Two() { calls.push_back("Base::Two"); }
  void Range(UINT id) { calls.push_back("Base::Range " + std::to_string(id)); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Base, CCmdTarget)
ON_COMMAND(1, &Base::One)
ON_COMMAND(2, &Base::Two)
ON_COMMAND_RANGE(10, 12, &Base::Range)
END_MESSAGE_MAP()

class Derived : public Base {
 public:
  void Two() { calls.push_back("Derived::Two"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Derived, Base)
ON_COMMAND(2, &Derived::Two)
ON_COMMAND(11, &Derived::Two)
END_MESSAGE_MAP()

TEST(MessageMapTest, ADerivedMapComesFirstAndUnlistedCommandsGoToTheBase) {
  Derived target;
  EXPECT_TRUE(target.OnCmdMsg(2));
  EXPECT_TRUE(target.OnCmdMsg(1));
  EXPECT_TRUE(target.OnCmdMsg(11));
  EXPECT_TRUE(target.OnCmdMsg(12));
  EXPECT_FALSE(target.OnCmdMsg(3));
  EXPECT_FALSE(target.OnCmdMsg(13));
  const std::vector<std::string> calls = {"Derived::Two", "Base::One", "Derived::Two",
                                          "Base::Range 12"};
  EXPECT_EQ(target.calls, calls);
  EXPECT_TRUE(target.HasCommandHandler(10));
  EXPECT_FALSE(target.HasCommandHandler(9));
}

// ---------------------------------------------------------------------------------------------
// The recent-file list.

class SettingsApp : public CWinApp {
 public:
  SettingsApp() : CWinApp(L"FrameworkTest") {}
  using CWinApp::LoadStdProfileSettings;
  using CWinApp::SaveStdProfileSettings;
  using CWinApp::SetRegistryKey;
};

SettingsApp g_app;

constexpr wchar_t kRegistryKey[] = L"VorskTest";
constexpr wchar_t kListKey[] = L"Software\\VorskTest\\FrameworkTest\\Recent File List";

class RecentFileListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VorskTest");
    g_app.SetRegistryKey(kRegistryKey);
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VorskTest"); }

  std::wstring Entry(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, kListKey, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
      return L"<none>";
    }
    return value;
  }
};

TEST_F(RecentFileListTest, KeepsTheNewestFirstWithoutDuplicatesUpToItsSize) {
  g_app.LoadStdProfileSettings(4);
  CRecentFileList& list = *g_app.m_pRecentFileList;
  EXPECT_TRUE(list.Names().empty());
  for (const wchar_t* path :
       {L"C:\\a.vsk", L"C:\\b.vsk", L"C:\\c.vsk", L"C:\\d.vsk", L"C:\\e.vsk", L"c:\\C.VSK"}) {
    g_app.AddToRecentFileList(path);
  }
  const std::vector<std::wstring> names = {L"c:\\C.VSK", L"C:\\e.vsk", L"C:\\d.vsk", L"C:\\b.vsk"};
  EXPECT_EQ(list.Names(), names);
}

TEST_F(RecentFileListTest, IsWrittenToAndReadBackFromTheSettings) {
  g_app.LoadStdProfileSettings(4);
  g_app.AddToRecentFileList(L"C:\\one.vsk");
  g_app.AddToRecentFileList(L"C:\\two.vsk");
  g_app.SaveStdProfileSettings();
  EXPECT_EQ(Entry(L"File1"), L"C:\\two.vsk");
  EXPECT_EQ(Entry(L"File2"), L"C:\\one.vsk");
  EXPECT_EQ(Entry(L"File3"), L"<none>");

  g_app.LoadStdProfileSettings(4);
  const std::vector<std::wstring> names = {L"C:\\two.vsk", L"C:\\one.vsk"};
  EXPECT_EQ(g_app.m_pRecentFileList->Names(), names);
}

TEST_F(RecentFileListTest, TakesThePlaceHoldersPlaceOnTheMenu) {
  g_app.LoadStdProfileSettings(4);
  framework::unique_hmenu popup(::CreatePopupMenu());
  HMENU menu = popup.get();
  ::AppendMenuW(menu, MF_STRING, ID_FILE_NEW, L"new");
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING | MF_GRAYED, ID_FILE_MRU_FILE1, L"recent");
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, ID_APP_EXIT, L"exit");

  // An empty list leaves the place holder.
  g_app.m_pRecentFileList->UpdateMenu(menu);
  EXPECT_EQ(::GetMenuItemCount(menu), 5);

  g_app.AddToRecentFileList(L"C:\\one.vsk");
  g_app.AddToRecentFileList(L"C:\\two.vsk");
  g_app.m_pRecentFileList->UpdateMenu(menu);
  // Shown twice, the list replaces its own items.
  g_app.m_pRecentFileList->UpdateMenu(menu);
  std::vector<std::wstring> items;
  std::vector<UINT> ids;
  for (int index = 0; index < ::GetMenuItemCount(menu); ++index) {
    wchar_t text[MAX_PATH] = {};
    ::GetMenuStringW(menu, static_cast<UINT>(index), text, MAX_PATH, MF_BYPOSITION);
    items.push_back(text);
    ids.push_back(::GetMenuItemID(menu, index));
  }
  EXPECT_EQ(items, (std::vector<std::wstring>{L"new", L"", L"&1 C:\\two.vsk", L"&2 C:\\one.vsk",
                                              L"", L"exit"}));
  EXPECT_EQ(ids, (std::vector<UINT>{ID_FILE_NEW, 0, ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE2, 0,
                                    ID_APP_EXIT}));
}

}  // namespace
