// The resources of the built program, read back with the platform's own loaders and compared with
// the shell's tables: menu, accelerators, toolbar and its bitmap, icons, strings, the about box's
// template, the version and the manifest; all in Chinese (PRC) but the manifest.
//
// Run with the program's path: resources_tests <vorsk.exe>.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <winver.h>
// clang-format on

#include "framework/handles.h"
#include "framework/ids.h"
#include "res/resource.h"

namespace {

const wchar_t* g_program = nullptr;
constexpr WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

void FreeLoadedModule(HMODULE module) noexcept {
  ::FreeLibrary(module);
}

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loaded_.reset(::LoadLibraryExW(g_program, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(loaded_) << "cannot load the program's resources";
    module_ = loaded_.get();
  }

  // A resource's bytes, in the language it has.
  std::vector<BYTE> Bytes(LPCWSTR type, LPCWSTR name) const {
    HRSRC found = ::FindResourceW(module_, name, type);
    if (found == nullptr) {
      return {};
    }
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module_, found)));
    return std::vector<BYTE>(data, data + ::SizeofResource(module_, found));
  }

  std::wstring String(UINT id) const {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(module_, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
  }

  vorsk::unique_any<vorsk::win32::nullable_traits<HMODULE, FreeLoadedModule>> loaded_;
  HMODULE module_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Menu 128.

struct MenuItem {
  std::wstring text;  // empty for a separator
  UINT id;
  bool grayed;
};

struct Popup {
  std::wstring text;
  std::vector<MenuItem> items;
};

const MenuItem kSeparator = {L"", 0, false};

const std::vector<Popup> kMenu = {
    {L"文件(&F)",
     {{L"新建(&N)\tCtrl+N", ID_FILE_NEW, false},
      {L"打开(&O)...\tCtrl+O", ID_FILE_OPEN, false},
      {L"保存(&S)\tCtrl+S", ID_FILE_SAVE, false},
      {L"另存为(&A)...", ID_FILE_SAVE_AS, false},
      kSeparator,
      {L"打印(&P)...\tCtrl+P", ID_FILE_PRINT, false},
      {L"打印预览(&V)", ID_FILE_PRINT_PREVIEW, false},
      {L"打印设置(&R)...", ID_FILE_PRINT_SETUP, false},
      kSeparator,
      {L"最近文件", ID_FILE_MRU_FILE1, true},
      kSeparator,
      {L"退出(&X)", ID_APP_EXIT, false}}},
    {L"编辑(&E)",
     {{L"撤消(&U)\tCtrl+Z", ID_EDIT_UNDO, false},
      kSeparator,
      {L"剪切(&T)\tCtrl+X", ID_EDIT_CUT, false},
      {L"复制(&C)\tCtrl+C", ID_EDIT_COPY, false},
      {L"粘贴(&P)\tCtrl+V", ID_EDIT_PASTE, false}}},
    {L"查看(&V)",
     {{L"工具栏(&T)", ID_VIEW_TOOLBAR, false}, {L"状态栏(&S)", ID_VIEW_STATUS_BAR, false}}},
    {L"帮助(&H)", {{L"关于 vorsk(&A)...", ID_APP_ABOUT, false}}},
};

struct ItemInfo {
  std::wstring text;
  UINT id = 0;
  UINT type = 0;
  UINT state = 0;
  HMENU submenu = nullptr;
};

ItemInfo ReadItem(HMENU menu, UINT position) {
  wchar_t text[128] = {};
  MENUITEMINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
  info.dwTypeData = text;
  info.cch = 128;
  EXPECT_TRUE(::GetMenuItemInfoW(menu, position, TRUE, &info));
  return ItemInfo{text, info.wID, info.fType, info.fState, info.hSubMenu};
}

TEST_F(ResourcesTest, MenuHasEveryItemWithItsCommandSeparatorsAndGreyedRecentFiles) {
  framework::unique_hmenu loaded(::LoadMenuW(module_, MAKEINTRESOURCEW(IDR_MAINFRAME)));
  ASSERT_TRUE(loaded);
  HMENU menu = loaded.get();
  ASSERT_EQ(::GetMenuItemCount(menu), static_cast<int>(kMenu.size()));
  for (std::size_t p = 0; p < kMenu.size(); ++p) {
    SCOPED_TRACE(testing::Message() << "pop-up " << p);
    const ItemInfo popup = ReadItem(menu, static_cast<UINT>(p));
    EXPECT_EQ(popup.text, kMenu[p].text);
    ASSERT_NE(popup.submenu, nullptr);
    ASSERT_EQ(::GetMenuItemCount(popup.submenu), static_cast<int>(kMenu[p].items.size()));
    for (std::size_t i = 0; i < kMenu[p].items.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "item " << i);
      const MenuItem& expected = kMenu[p].items[i];
      const ItemInfo item = ReadItem(popup.submenu, static_cast<UINT>(i));
      EXPECT_EQ(item.submenu, nullptr);
      if (expected.text.empty()) {
        EXPECT_NE(item.type & MFT_SEPARATOR, 0u);
        continue;
      }
      EXPECT_EQ(item.type & MFT_SEPARATOR, 0u);
      EXPECT_EQ(item.text, expected.text);
      EXPECT_EQ(item.id, expected.id);
      EXPECT_EQ((item.state & MFS_GRAYED) != 0, expected.grayed);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Accelerators 128.

TEST_F(ResourcesTest, AcceleratorsAreTheVirtualKeyTable) {
  const std::vector<ACCEL> expected = {{FVIRTKEY | FCONTROL, 'N', ID_FILE_NEW},
                                       {FVIRTKEY | FCONTROL, 'O', ID_FILE_OPEN},
                                       {FVIRTKEY | FCONTROL, 'S', ID_FILE_SAVE},
                                       {FVIRTKEY | FCONTROL, 'P', ID_FILE_PRINT},
                                       {FVIRTKEY | FCONTROL, 'Z', ID_EDIT_UNDO},
                                       {FVIRTKEY | FCONTROL, 'X', ID_EDIT_CUT},
                                       {FVIRTKEY | FCONTROL, 'C', ID_EDIT_COPY},
                                       {FVIRTKEY | FCONTROL, 'V', ID_EDIT_PASTE},
                                       {FVIRTKEY | FALT, VK_BACK, ID_EDIT_UNDO},
                                       {FVIRTKEY | FSHIFT, VK_DELETE, ID_EDIT_CUT},
                                       {FVIRTKEY | FCONTROL, VK_INSERT, ID_EDIT_COPY},
                                       {FVIRTKEY | FSHIFT, VK_INSERT, ID_EDIT_PASTE},
                                       {FVIRTKEY, VK_F6, ID_NEXT_PANE},
                                       {FVIRTKEY | FSHIFT, VK_F6, ID_PREV_PANE}};
  framework::unique_haccel table(::LoadAcceleratorsW(module_, MAKEINTRESOURCEW(IDR_MAINFRAME)));
  ASSERT_TRUE(table);
  const int count = ::CopyAcceleratorTableW(table.get(), nullptr, 0);
  std::vector<ACCEL> entries(static_cast<std::size_t>(count));
  ::CopyAcceleratorTableW(table.get(), entries.data(), count);
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "accelerator " << i);
    EXPECT_EQ(entries[i].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), expected[i].fVirt);
    EXPECT_EQ(entries[i].key, expected[i].key);
    EXPECT_EQ(entries[i].cmd, expected[i].cmd);
  }
}

// ---------------------------------------------------------------------------------------------
// Toolbar 128 and bitmap 128.

TEST_F(ResourcesTest, ToolbarListsItsButtonsInOrderWithTheirSize) {
  const std::vector<BYTE> bytes = Bytes(MAKEINTRESOURCEW(RT_TOOLBAR), MAKEINTRESOURCEW(128));
  ASSERT_EQ(bytes.size() % 2, 0u);
  std::vector<WORD> words(bytes.size() / 2);
  std::memcpy(words.data(), bytes.data(), bytes.size());
  // Version 1, 16 x 15 images, eleven items, 0 for a separator.
  const std::vector<WORD> expected = {1,
                                      16,
                                      15,
                                      11,
                                      ID_FILE_NEW,
                                      ID_FILE_OPEN,
                                      ID_FILE_SAVE,
                                      0,
                                      ID_EDIT_CUT,
                                      ID_EDIT_COPY,
                                      ID_EDIT_PASTE,
                                      0,
                                      ID_FILE_PRINT,
                                      0,
                                      ID_APP_ABOUT};
  EXPECT_EQ(words, expected);
}

TEST_F(ResourcesTest, ToolbarBitmapHoldsEightSixteenColourImages) {
  framework::unique_hbitmap bitmap(static_cast<HBITMAP>(::LoadImageW(
      module_, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  ASSERT_TRUE(bitmap);
  DIBSECTION section = {};
  ASSERT_EQ(::GetObjectW(bitmap.get(), sizeof(section), &section),
            static_cast<int>(sizeof(section)));
  EXPECT_EQ(section.dsBmih.biWidth, 8 * 16);
  EXPECT_EQ(std::abs(section.dsBmih.biHeight), 15);
  EXPECT_EQ(section.dsBmih.biBitCount, 4);
}

// ---------------------------------------------------------------------------------------------
// Icons.

TEST_F(ResourcesTest, ApplicationAndDocumentIconsHaveLargeAndSmallSixteenColourImages) {
  for (const WORD id : {IDR_MAINFRAME, IDR_VORSKTYPE}) {
    SCOPED_TRACE(testing::Message() << "group icon " << id);
    const std::vector<BYTE> group = Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(id));
    ASSERT_GE(group.size(), 6u);
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, sizeof(count));
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
      const BYTE* entry = group.data() + 6 + 14 * i;
      WORD bits = 0;
      std::memcpy(&bits, entry + 6, sizeof(bits));
      EXPECT_EQ(entry[0], entry[1]);
      EXPECT_EQ(entry[2], 16);  // colours
      EXPECT_EQ(bits, 4);
      sizes.insert(entry[0]);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
    framework::unique_hicon icon(static_cast<HICON>(
        ::LoadImageW(module_, MAKEINTRESOURCEW(id), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR)));
    EXPECT_TRUE(icon);
  }
}

// ---------------------------------------------------------------------------------------------
// Strings.

std::set<UINT> ExpectedStringIds() {
  std::set<UINT> ids = {128,   57344, 57345, 57609, 57653, 57664, 57665,
                        57680, 57681, 59392, 59393, 61202, 61203, 61445};
  const auto range = [&](UINT first, UINT last) {
    for (UINT id = first; id <= last; ++id) {
      ids.insert(id);
    }
  };
  range(57600, 57607);
  range(57616, 57631);
  range(57632, 57637);
  range(57640, 57644);
  range(59136, 59141);
  range(61184, 61190);
  return ids;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  if (IS_INTRESOURCE(name)) {
    reinterpret_cast<std::vector<UINT>*>(found)->push_back(
        static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)));
  }
  return TRUE;
}

TEST_F(ResourcesTest, StringTableHoldsExactlyTheSixtyTwoStrings) {
  // Strings come in blocks of sixteen; block n holds the strings 16 (n - 1) to 16 n - 1.
  std::vector<UINT> blocks;
  ::EnumResourceNamesW(module_, RT_STRING, &CollectName, reinterpret_cast<LONG_PTR>(&blocks));
  std::set<UINT> ids;
  for (const UINT block : blocks) {
    for (UINT id = (block - 1) * 16; id < block * 16; ++id) {
      if (!String(id).empty()) {
        ids.insert(id);
      }
    }
  }
  const std::set<UINT> expected = ExpectedStringIds();
  EXPECT_EQ(ids.size(), 62u);
  std::vector<UINT> extra;
  std::vector<UINT> missing;
  std::set_difference(ids.begin(), ids.end(), expected.begin(), expected.end(),
                      std::back_inserter(extra));
  std::set_difference(expected.begin(), expected.end(), ids.begin(), ids.end(),
                      std::back_inserter(missing));
  EXPECT_EQ(extra, std::vector<UINT>{});
  EXPECT_EQ(missing, std::vector<UINT>{});
  for (const UINT id : ExpectedStringIds()) {
    EXPECT_FALSE(String(id).empty()) << "string " << id;
  }
}

TEST_F(ResourcesTest, TellingStringsHaveTheirTexts) {
  EXPECT_EQ(String(IDR_MAINFRAME), L"vorsk\n\nVorsk\n\n\nVorsk.Document\nVorsk Document");
  EXPECT_EQ(String(AFX_IDS_APP_TITLE), L"vorsk");
  EXPECT_EQ(String(AFX_IDS_IDLEMESSAGE), L"就绪");
  EXPECT_EQ(String(ID_INDICATOR_CAPS), L"大写");
  EXPECT_EQ(String(ID_INDICATOR_NUM), L"数字");
  EXPECT_EQ(String(ID_INDICATOR_SCRL), L"滚动");
}

TEST_F(ResourcesTest, ToolbarCommandsHaveAPromptAndATooltip) {
  for (const UINT id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_EDIT_CUT, ID_EDIT_COPY,
                        ID_EDIT_PASTE, ID_FILE_PRINT, ID_APP_ABOUT}) {
    const std::wstring text = String(id);
    const std::size_t lineBreak = text.find(L'\n');
    ASSERT_NE(lineBreak, std::wstring::npos) << "string " << id;
    EXPECT_GT(lineBreak, 0u) << "string " << id;
    EXPECT_LT(lineBreak + 1, text.size()) << "string " << id;
  }
}

// ---------------------------------------------------------------------------------------------
// Dialog 100: the about box.

// Reads a dialog template (DLGTEMPLATE and its items) word by word.
class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<BYTE>& bytes) : bytes_(bytes) {}

  DWORD Dword() {
    const DWORD low = Word();
    return low | (static_cast<DWORD>(Word()) << 16);
  }
  WORD Word() {
    WORD value = 0;
    if (at_ + 2 <= bytes_.size()) {
      std::memcpy(&value, bytes_.data() + at_, 2);
    }
    at_ += 2;
    return value;
  }
  short Short() { return static_cast<short>(Word()); }
  // A string, or an ordinal (0xFFFF and a number) written as "#number".
  std::wstring StringOrOrdinal() {
    const WORD first = Word();
    if (first == 0xFFFF) {
      return L"#" + std::to_wstring(Word());
    }
    std::wstring text;
    for (WORD c = first; c != 0; c = Word()) {
      text += static_cast<wchar_t>(c);
    }
    return text;
  }
  void AlignToDword() { at_ = (at_ + 3) & ~static_cast<std::size_t>(3); }
  bool AtEnd() const { return at_ >= bytes_.size(); }

 private:
  const std::vector<BYTE>& bytes_;
  std::size_t at_ = 0;
};

struct Control {
  std::wstring windowClass;
  std::wstring text;
  WORD id;
  short x, y, cx, cy;
  DWORD style;
};

// The predefined classes' ordinals, named as their classes.
std::wstring ClassName(const std::wstring& read) {
  if (read == L"#128") {
    return L"button";
  }
  if (read == L"#130") {
    return L"static";
  }
  std::wstring lower = read;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
  return lower;
}

TEST_F(ResourcesTest, AboutBoxTemplateHasItsCaptionSizeFontAndControls) {
  const std::vector<BYTE> bytes = Bytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_ABOUTBOX));
  ASSERT_FALSE(bytes.empty());
  TemplateReader reader(bytes);
  const DWORD style = reader.Dword();
  reader.Dword();  // extended style
  const WORD count = reader.Word();
  const short x = reader.Short();
  const short y = reader.Short();
  const short cx = reader.Short();
  const short cy = reader.Short();
  EXPECT_EQ(reader.StringOrOrdinal(), L"");  // no menu
  EXPECT_EQ(reader.StringOrOrdinal(), L"");  // the dialog class
  EXPECT_EQ(reader.StringOrOrdinal(), L"关于 vorsk");
  ASSERT_NE(style & DS_SETFONT, 0u);
  EXPECT_EQ(reader.Word(), 9);
  EXPECT_EQ(reader.StringOrOrdinal(), L"宋体");

  const DWORD frame = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  EXPECT_EQ(style & frame, frame);
  EXPECT_EQ((std::vector<short>{x, y, cx, cy}), (std::vector<short>{0, 0, 235, 55}));

  std::vector<Control> controls;
  for (WORD i = 0; i < count; ++i) {
    reader.AlignToDword();
    Control control = {};
    control.style = reader.Dword();
    reader.Dword();  // extended style
    control.x = reader.Short();
    control.y = reader.Short();
    control.cx = reader.Short();
    control.cy = reader.Short();
    control.id = reader.Word();
    control.windowClass = ClassName(reader.StringOrOrdinal());
    control.text = reader.StringOrOrdinal();
    const WORD extra = reader.Word();
    for (WORD skip = 0; skip < (extra + 1) / 2; ++skip) {
      reader.Word();
    }
    controls.push_back(control);
  }
  ASSERT_EQ(controls.size(), 4u);

  const Control& icon = controls[0];
  EXPECT_EQ(icon.windowClass, L"static");
  EXPECT_EQ(icon.style & SS_TYPEMASK, static_cast<DWORD>(SS_ICON));
  EXPECT_EQ(icon.text, L"#" + std::to_wstring(IDR_MAINFRAME));
  EXPECT_EQ((std::vector<short>{icon.x, icon.y, icon.cx, icon.cy}),
            (std::vector<short>{11, 17, 20, 20}));

  const Control& name = controls[1];
  EXPECT_EQ(name.windowClass, L"static");
  EXPECT_EQ(name.text, L"vorsk 1.0 版");
  EXPECT_EQ(name.style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));
  EXPECT_NE(name.style & SS_NOPREFIX, 0u);
  EXPECT_EQ((std::vector<short>{name.x, name.y, name.cx, name.cy}),
            (std::vector<short>{40, 10, 119, 8}));

  const Control& second = controls[2];
  EXPECT_EQ(second.windowClass, L"static");
  EXPECT_FALSE(second.text.empty());
  EXPECT_EQ((std::vector<short>{second.x, second.y, second.cx, second.cy}),
            (std::vector<short>{40, 25, 119, 8}));

  const Control& ok = controls[3];
  EXPECT_EQ(ok.windowClass, L"button");
  EXPECT_EQ(ok.text, L"确定");
  EXPECT_EQ(ok.id, IDOK);
  EXPECT_EQ(ok.style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
  EXPECT_EQ((std::vector<short>{ok.x, ok.y, ok.cx, ok.cy}), (std::vector<short>{178, 7, 50, 14}));
}

// ---------------------------------------------------------------------------------------------
// Version and manifest.

TEST(VersionTest, VersionBlockIsChinesePrcWithTheProgramsFields) {
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(g_program, &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(::GetFileVersionInfoW(g_program, 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);

  WORD* translation = nullptr;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0804);
  EXPECT_EQ(translation[1], 0x04B0);

  const std::map<std::wstring, std::wstring> expected = {{L"FileVersion", L"1, 0, 0, 1"},
                                                         {L"ProductVersion", L"1, 0, 0, 1"},
                                                         {L"InternalName", L"vorsk"},
                                                         {L"OriginalFilename", L"vorsk.EXE"},
                                                         {L"ProductName", L"vorsk 应用程序"}};
  for (const auto& [field, value] : expected) {
    wchar_t* text = nullptr;
    const std::wstring path = L"\\StringFileInfo\\080404B0\\" + field;
    ASSERT_TRUE(
        ::VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
        << "no field";
    EXPECT_EQ(std::wstring(text), value);
  }
}

TEST_F(ResourcesTest, ManifestAsksForNoElevation) {
  const std::vector<BYTE> bytes = Bytes(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
  const std::string manifest(bytes.begin(), bytes.end());
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos)
      << manifest;
}

// ---------------------------------------------------------------------------------------------
// Languages.

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR found) {
  reinterpret_cast<std::vector<LPWSTR>*>(found)->push_back(type);
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
  reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
  return TRUE;
}

TEST_F(ResourcesTest, EveryResourceButTheManifestIsInChinesePrc) {
  std::vector<LPWSTR> types;
  ::EnumResourceTypesW(module_, &CollectType, reinterpret_cast<LONG_PTR>(&types));
  int resources = 0;
  for (LPWSTR type : types) {
    ASSERT_TRUE(IS_INTRESOURCE(type));
    std::vector<UINT> names;
    ::EnumResourceNamesW(module_, type, &CollectName, reinterpret_cast<LONG_PTR>(&names));
    for (const UINT name : names) {
      std::vector<WORD> languages;
      ::EnumResourceLanguagesW(module_, type, MAKEINTRESOURCEW(name), &CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
      const WORD expected =
          type == RT_MANIFEST ? MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL) : kChinesePrc;
      EXPECT_EQ(languages, std::vector<WORD>{expected})
          << "type " << reinterpret_cast<ULONG_PTR>(type) << " name " << name;
      ++resources;
    }
  }
  // Icons (two groups of two images), bitmap, toolbar, menu, accelerators, dialog, string
  // blocks, version and manifest.
  EXPECT_GE(resources, 14);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  int count = 0;
  framework::unique_hlocal arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (count < 2) {
    std::fprintf(stderr, "usage: resources_tests <vorsk.exe>\n");
    return 2;
  }
  static std::wstring program = static_cast<LPWSTR*>(arguments.get())[count - 1];
  g_program = program.c_str();
  return RUN_ALL_TESTS();
}
