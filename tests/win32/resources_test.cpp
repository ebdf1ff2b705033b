// The resources of the built program, read back with the platform's own loaders, checked for what
// must hold between them rather than copied from the resource script: the menu's shortcuts are the
// accelerators, every command has its prompt and every button its tooltip and its image; the icons'
// images, the version; every resource in Chinese (PRC) but the manifest.
//
// Run with the program's path: resources_tests <vorsk.exe>.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
// Menu, accelerators, toolbar and their strings.

// Every command item of the menu: its identifier and its text.
std::vector<std::pair<UINT, std::wstring>> MenuItems(HMENU menu) {
  std::vector<std::pair<UINT, std::wstring>> items;
  for (int position = 0; position < ::GetMenuItemCount(menu); ++position) {
    HMENU popup = ::GetSubMenu(menu, position);
    for (int index = 0; index < ::GetMenuItemCount(popup); ++index) {
      wchar_t text[128] = {};
      ::GetMenuStringW(popup, static_cast<UINT>(index), text, 128, MF_BYPOSITION);
      const UINT id = ::GetMenuItemID(popup, index);
      if (id != 0) {
        items.emplace_back(id, text);
      }
    }
  }
  return items;
}

// The menu's shortcut hints ("\tCtrl+N") are exactly the Ctrl+letter accelerators, each on the
// item's own command.
TEST_F(ResourcesTest, MenuShortcutsAreTheAccelerators) {
  framework::unique_hmenu menu(::LoadMenuW(module_, MAKEINTRESOURCEW(IDR_MAINFRAME)));
  framework::unique_haccel table(::LoadAcceleratorsW(module_, MAKEINTRESOURCEW(IDR_MAINFRAME)));
  ASSERT_TRUE(menu);
  ASSERT_TRUE(table);
  std::set<std::pair<UINT, wchar_t>> hints;
  for (const auto& [id, text] : MenuItems(menu.get())) {
    const std::size_t tab = text.find(L'\t');
    if (tab != std::wstring::npos) {
      ASSERT_EQ(text.substr(tab + 1, 5), L"Ctrl+") << text;
      ASSERT_EQ(text.size(), tab + 7) << text;
      hints.emplace(id, text.back());
    }
  }
  const int count = ::CopyAcceleratorTableW(table.get(), nullptr, 0);
  std::vector<ACCEL> entries(static_cast<std::size_t>(count));
  ::CopyAcceleratorTableW(table.get(), entries.data(), count);
  std::set<std::pair<UINT, wchar_t>> controlLetters;
  for (const ACCEL& entry : entries) {
    if ((entry.fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT)) == (FVIRTKEY | FCONTROL) &&
        entry.key >= 'A' && entry.key <= 'Z') {
      controlLetters.emplace(entry.cmd, static_cast<wchar_t>(entry.key));
    }
  }
  EXPECT_FALSE(hints.empty());
  EXPECT_EQ(hints, controlLetters);
}

// The toolbar resource: version 1, the images' width and height, the item count, then the command
// identifiers, 0 for a separator.
std::vector<WORD> ToolbarWords(const std::vector<BYTE>& bytes) {
  std::vector<WORD> words(bytes.size() / 2);
  std::memcpy(words.data(), bytes.data(), words.size() * 2);
  return words;
}

// Every menu item and every button has a string whose first line is its status bar prompt; a
// button's string also has its tooltip after the line break.
TEST_F(ResourcesTest, EveryCommandHasItsPromptAndEveryButtonItsTooltip) {
  framework::unique_hmenu menu(::LoadMenuW(module_, MAKEINTRESOURCEW(IDR_MAINFRAME)));
  ASSERT_TRUE(menu);
  for (const auto& [id, text] : MenuItems(menu.get())) {
    const std::wstring string = String(id);
    EXPECT_TRUE(!string.empty() && string[0] != L'\n') << "no prompt for " << id;
  }
  const std::vector<WORD> words =
      ToolbarWords(Bytes(MAKEINTRESOURCEW(RT_TOOLBAR), MAKEINTRESOURCEW(IDR_MAINFRAME)));
  ASSERT_GE(words.size(), 4u);
  for (std::size_t item = 4; item < words.size(); ++item) {
    const std::wstring string = String(words[item]);
    const std::size_t lineBreak = string.find(L'\n');
    if (words[item] != 0) {
      EXPECT_TRUE(lineBreak != std::wstring::npos && lineBreak > 0 && lineBreak + 1 < string.size())
          << "no prompt and tooltip for " << words[item];
    }
  }
}

// One image of the toolbar's size per button, in sixteen colours.
TEST_F(ResourcesTest, ToolbarBitmapHasOneImagePerButton) {
  const std::vector<WORD> words =
      ToolbarWords(Bytes(MAKEINTRESOURCEW(RT_TOOLBAR), MAKEINTRESOURCEW(IDR_MAINFRAME)));
  ASSERT_GE(words.size(), 4u);
  EXPECT_EQ(words[0], 1);
  ASSERT_EQ(words.size(), 4u + words[3]);
  const auto buttons =
      std::count_if(words.begin() + 4, words.end(), [](WORD id) { return id != 0; });
  framework::unique_hbitmap bitmap(static_cast<HBITMAP>(::LoadImageW(
      module_, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  ASSERT_TRUE(bitmap);
  DIBSECTION section = {};
  ASSERT_EQ(::GetObjectW(bitmap.get(), sizeof(section), &section),
            static_cast<int>(sizeof(section)));
  EXPECT_EQ(section.dsBmih.biWidth, buttons * words[1]);
  EXPECT_EQ(std::abs(section.dsBmih.biHeight), words[2]);
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
// Version.

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

// ---------------------------------------------------------------------------------------------
// Languages.

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  if (IS_INTRESOURCE(name)) {
    reinterpret_cast<std::vector<UINT>*>(found)->push_back(
        static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)));
  }
  return TRUE;
}

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
