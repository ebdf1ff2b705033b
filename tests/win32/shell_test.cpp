// The shell on the real platform, with a recorder as the removal it hands control to: what the main
// frame's creation builds, in which order, and what it hands to the run; what happens when a bar
// cannot be created; the recent-file list in the per-user settings; and the about box on the
// screen.
//
// Each suite starts the application once in its own process (ctest runs one suite per process):
// Started starts it as the program does; ToolbarFails and StatusBarFails start it with the
// creation of that bar's window refused; OpensFile and Unregister start it with a file name and
// with /Unregister on the command line.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/framework.h"
#include "framework/texts.h"
#include "shell/about_box.h"
#include "shell/main_frame.h"
#include "shell/vorsk_app.h"
#include "shell/vorsk_command_line.h"
#include "shell/vorsk_doc.h"
#include "shell/vorsk_view.h"
#include "tests/win32/screen.h"

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Local AppWizard-Generated Applications\\vorsk";
constexpr wchar_t kRecentFileKey[] =
    L"Software\\Local AppWizard-Generated Applications\\vorsk\\Recent File List";

void Unhook(HHOOK hook) noexcept {
  ::UnhookWindowsHookEx(hook);
}
using unique_hhook = vorsk::unique_any<vorsk::win32::nullable_traits<HHOOK, Unhook>>;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

// What the start-up did, in order: the windows created (class and control identifier), the
// status bar's parts being set, the toolbar's first placement, and the run.
struct Recording {
  std::vector<std::wstring> events;
  int runs = 0;
  HWND runFrame = nullptr;
  RemovalRequest request;
  // The frame's state when the run was called.
  std::vector<int> toolbarCommands;
  DWORD toolbarButtonSize = 0;
  std::vector<std::wstring> statusTexts;
  const CFrameWnd* toolbarDockSite = nullptr;
  DWORD toolbarBarStyle = 0;
  DWORD toolbarDockStyle = 0;
  DWORD frameDockStyle = 0;
  bool frameVisibleAtRun = true;
  HMENU frameMenuAtRun = nullptr;
  // After InitInstance.
  BOOL initialised = FALSE;
  HWND mainWindow = nullptr;
  bool mainWindowVisible = false;
};

Recording* g_recording = nullptr;
std::wstring g_refusedClass;

LRESULT CALLBACK WatchCreation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    HWND window = reinterpret_cast<HWND>(wParam);
    const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
    const std::wstring name = ClassOf(window);
    const auto id = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(create->lpcs->hMenu));
    if (name != L"tooltips_class32" && name != L"IME") {
      g_recording->events.push_back(
          L"create " + name +
          ((create->lpcs->style & WS_CHILD) != 0 ? L" " + std::to_wstring(id) : std::wstring()));
    }
    if (name == g_refusedClass) {
      return 1;
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Notes an event the first time it happens.
void RecordOnce(const std::wstring& event) {
  std::vector<std::wstring>& events = g_recording->events;
  if (std::find(events.begin(), events.end(), event) == events.end()) {
    events.push_back(event);
  }
}

LRESULT CALLBACK WatchMessages(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && message->message == SB_SETPARTS) {
    RecordOnce(L"status parts " + std::to_wstring(message->wParam));
  }
  if (code == HC_ACTION && message->message == WM_WINDOWPOSCHANGED &&
      ClassOf(message->hwnd) == TOOLBARCLASSNAMEW) {
    const auto* position = reinterpret_cast<const WINDOWPOS*>(message->lParam);
    if (position->cy > 0) {
      RecordOnce(L"toolbar placed");
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void WriteSetting(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
  framework::unique_hkey opened;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr,
                              opened.put(), nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(opened.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool KeyExists(const wchar_t* key) {
  framework::unique_hkey opened;
  return ::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

// Starts the application once for the process, refusing windows of one class if given.
const Recording& Start(const std::wstring& refusedClass) {
  static Recording recording;
  static bool started = false;
  if (started) {
    return recording;
  }
  started = true;
  g_recording = &recording;
  g_refusedClass = refusedClass;
  unique_hhook creation(
      ::SetWindowsHookExW(WH_CBT, &WatchCreation, nullptr, ::GetCurrentThreadId()));
  unique_hhook messages(
      ::SetWindowsHookExW(WH_CALLWNDPROC, &WatchMessages, nullptr, ::GetCurrentThreadId()));
  recording.initialised = theApp.InitInstance();
  recording.mainWindow = theApp.m_pMainWnd != nullptr ? theApp.m_pMainWnd->m_hWnd : nullptr;
  recording.mainWindowVisible =
      recording.mainWindow != nullptr && ::IsWindowVisible(recording.mainWindow);
  return recording;
}

}  // namespace

namespace {

// The removal runner the tests hand the application: notes the call and what the frame has built
// by then.
class RecordingRemoval final : public RemovalRunner {
 public:
  void Run(CWnd& frame, const RemovalRequest& request) override;
};

RecordingRemoval removal;

}  // namespace

// The application object of the tests' process, with the recorder as its removal.
CVorskApp theApp(removal);

void RecordingRemoval::Run(CWnd& frameWindow, const RemovalRequest& request) {
  CWnd* frame = &frameWindow;
  Recording& recording = *g_recording;
  recording.request = request;
  recording.events.push_back(L"run");
  ++recording.runs;
  recording.runFrame = frame->m_hWnd;
  recording.frameVisibleAtRun = ::IsWindowVisible(frame->m_hWnd) != FALSE;
  recording.frameMenuAtRun = ::GetMenu(frame->m_hWnd);
  recording.frameDockStyle = static_cast<CFrameWnd*>(frame)->GetDockStyle();

  HWND toolbar = ::GetDlgItem(frame->m_hWnd, AFX_IDW_TOOLBAR);
  const auto count = static_cast<int>(::SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
  for (int index = 0; index < count; ++index) {
    TBBUTTON button = {};
    ::SendMessageW(toolbar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button));
    recording.toolbarCommands.push_back((button.fsStyle & TBSTYLE_SEP) != 0 ? 0 : button.idCommand);
  }
  recording.toolbarButtonSize = static_cast<DWORD>(::SendMessageW(toolbar, TB_GETBUTTONSIZE, 0, 0));
  if (auto* bar = static_cast<CControlBar*>(CWnd::FromHandlePermanent(toolbar))) {
    recording.toolbarDockSite = bar->GetDockingFrame();
    recording.toolbarBarStyle = bar->GetBarStyle();
    recording.toolbarDockStyle = bar->GetDockStyle();
  }

  HWND status = ::GetDlgItem(frame->m_hWnd, AFX_IDW_STATUS_BAR);
  const auto parts = static_cast<int>(::SendMessageW(status, SB_GETPARTS, 0, 0));
  for (int index = 0; index < parts; ++index) {
    wchar_t text[64] = {};
    ::SendMessageW(status, SB_GETTEXTW, index, reinterpret_cast<LPARAM>(text));
    recording.statusTexts.push_back(text);
  }
}

namespace {

TEST(Started, FrameCreationBuildsToolbarThenStatusBarThenDocksThenRunsOnce) {
  // The seeded list is the recent-file list of the next test.
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  WriteSetting(kRecentFileKey, L"File1", L"C:\\scans\\one.vsk");
  WriteSetting(kRecentFileKey, L"File2", L"C:\\scans\\two.vsk");
  WriteSetting(kRecentFileKey, L"File5", L"C:\\scans\\five.vsk");
  const Recording& recording = Start(L"");

  const std::vector<std::wstring> expected = {
      L"create FrameWnd",
      L"create ViewWnd " + std::to_wstring(AFX_IDW_PANE_FIRST),
      L"create ToolbarWindow32 " + std::to_wstring(AFX_IDW_TOOLBAR),
      L"create msctls_statusbar32 " + std::to_wstring(AFX_IDW_STATUS_BAR),
      L"status parts 4",
      L"toolbar placed",
      L"run"};
  ASSERT_GE(recording.events.size(), expected.size());
  EXPECT_EQ(std::vector<std::wstring>(recording.events.begin(),
                                      recording.events.begin() + expected.size()),
            expected);
  EXPECT_EQ(recording.runs, 1);
  EXPECT_TRUE(recording.initialised);
  // The run got the main frame, hidden and with its menu, before anything showed it.
  EXPECT_EQ(recording.runFrame, recording.mainWindow);
  EXPECT_EQ(ClassOf(recording.runFrame), L"FrameWnd");
  EXPECT_FALSE(recording.frameVisibleAtRun);
  EXPECT_NE(recording.frameMenuAtRun, nullptr);
  // InitInstance's last step shows the main window, once the run has returned.
  EXPECT_TRUE(recording.mainWindowVisible);
}

// The toolbar's buttons come from its resource (what they send is checked below, with the menu's
// and the accelerators'), in buttons 7 pixels larger each way than its 16 x 15 images.
TEST(Started, ToolbarHasItsButtonsAndIsDockedAtTheTop) {
  const Recording& recording = Start(L"");
  EXPECT_EQ(recording.toolbarCommands.size(), 11u);
  EXPECT_EQ(LOWORD(recording.toolbarButtonSize), 23);
  EXPECT_EQ(HIWORD(recording.toolbarButtonSize), 22);
  ASSERT_NE(recording.toolbarDockSite, nullptr);
  EXPECT_EQ(recording.toolbarDockSite->m_hWnd, recording.runFrame);
  EXPECT_EQ(recording.toolbarDockStyle, CBRS_ALIGN_ANY);
  EXPECT_EQ(recording.frameDockStyle, CBRS_ALIGN_ANY);
  EXPECT_EQ(recording.toolbarBarStyle & CBRS_ALIGN_ANY, CBRS_ALIGN_TOP);
  EXPECT_EQ(recording.toolbarBarStyle & ~CBRS_ALIGN_ANY,
            (CBRS_BORDER_BOTTOM | CBRS_GRIPPER | CBRS_TOOLTIPS | CBRS_FLYBY | CBRS_SIZE_DYNAMIC));
}

TEST(Started, StatusBarHasTheMessagePaneAndThreeIndicators) {
  const Recording& recording = Start(L"");
  const std::vector<std::wstring> texts = {L"", L"大写", L"数字", L"滚动"};
  EXPECT_EQ(recording.statusTexts, texts);
}

TEST(Started, RecentFileListIsReadFromTheSettingsKey) {
  const Recording& recording = Start(L"");
  ASSERT_TRUE(recording.initialised);
  ASSERT_NE(theApp.m_pRecentFileList, nullptr);
  EXPECT_EQ(theApp.m_pRecentFileList->GetSize(), 4);
  // File5 is beyond the list's four entries.
  const std::vector<std::wstring> names = {L"C:\\scans\\one.vsk", L"C:\\scans\\two.vsk"};
  EXPECT_EQ(theApp.m_pRecentFileList->Names(), names);
}

RECT PlaceOf(HWND frame, UINT id) {
  RECT place = {};
  ::GetWindowRect(::GetDlgItem(frame, static_cast<int>(id)), &place);
  ::MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

void PumpMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

// Toolbar across the top, status bar across the bottom, the view in between.
void ExpectLayout(HWND frame, bool toolbarShown) {
  RECT client = {};
  ::GetClientRect(frame, &client);
  const RECT toolbar = PlaceOf(frame, AFX_IDW_TOOLBAR);
  const RECT view = PlaceOf(frame, AFX_IDW_PANE_FIRST);
  const RECT status = PlaceOf(frame, AFX_IDW_STATUS_BAR);
  if (toolbarShown) {
    EXPECT_EQ(toolbar.top, 0);
    EXPECT_GE(toolbar.bottom - toolbar.top, 22);
    EXPECT_EQ(toolbar.right - toolbar.left, client.right);
  }
  EXPECT_EQ(view.top, toolbarShown ? toolbar.bottom : 0);
  EXPECT_EQ(view.bottom, status.top);
  EXPECT_EQ(view.right - view.left, client.right);
  EXPECT_EQ(status.bottom, client.bottom);
  EXPECT_GT(status.bottom - status.top, 0);
  EXPECT_EQ(status.right - status.left, client.right);
}

TEST(Started, FrameLaysOutItsBarsAndViewAndKeepsThemWhileMinimised) {
  const Recording& recording = Start(L"");
  HWND frame = recording.mainWindow;
  ASSERT_NE(frame, nullptr);
  PumpMessages();
  ExpectLayout(frame, true);
  ::SetWindowPos(frame, nullptr, 0, 0, 520, 380, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  ExpectLayout(frame, true);

  const RECT view = PlaceOf(frame, AFX_IDW_PANE_FIRST);
  ::ShowWindow(frame, SW_MINIMIZE);
  PumpMessages();
  const RECT minimised = PlaceOf(frame, AFX_IDW_PANE_FIRST);
  EXPECT_EQ(minimised.right - minimised.left, view.right - view.left);
  EXPECT_EQ(minimised.bottom - minimised.top, view.bottom - view.top);
  ::ShowWindow(frame, SW_RESTORE);
  PumpMessages();
  ExpectLayout(frame, true);

  // The view menu's command hides the toolbar, and the view takes its place.
  ::SendMessageW(frame, WM_COMMAND, ID_VIEW_TOOLBAR, 0);
  EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(frame, AFX_IDW_TOOLBAR)));
  ExpectLayout(frame, false);
  ::SendMessageW(frame, WM_COMMAND, ID_VIEW_TOOLBAR, 0);
  ExpectLayout(frame, true);

  // Once the frame is idle, the message pane shows the idle prompt.
  wchar_t text[64] = {};
  ::SendMessageW(::GetDlgItem(frame, AFX_IDW_STATUS_BAR), SB_GETTEXTW, 0,
                 reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"就绪");
}

// Each menu, as it opens: an item is grey exactly when nothing on the route handles its command
// (which commands those are is checked below), the bars' commands are checked while their bar
// shows, and the seeded list's two files take the place holder's place.
TEST(Started, MenusShowWhatTheCommandRouteHandles) {
  const Recording& recording = Start(L"");
  ASSERT_NE(recording.mainWindow, nullptr);
  const auto* frame = static_cast<CFrameWnd*>(theApp.m_pMainWnd);
  HMENU menu = ::GetMenu(recording.mainWindow);
  std::vector<UINT> recentFiles;
  for (int position = 0; position < ::GetMenuItemCount(menu); ++position) {
    HMENU popup = ::GetSubMenu(menu, position);
    ::SendMessageW(recording.mainWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup),
                   position);
    for (int index = 0; index < ::GetMenuItemCount(popup); ++index) {
      const UINT id = ::GetMenuItemID(popup, index);
      const UINT state = ::GetMenuState(popup, static_cast<UINT>(index), MF_BYPOSITION);
      SCOPED_TRACE(testing::Message() << "command " << id);
      if (id != 0) {
        EXPECT_EQ((state & MF_GRAYED) != 0, !frame->HasCommandHandler(id));
      }
      EXPECT_EQ((state & MF_CHECKED) != 0, id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR);
      if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_FILE16) {
        recentFiles.push_back(id);
      }
    }
  }
  EXPECT_EQ(recentFiles, (std::vector<UINT>{ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE2}));
}

// The about box through its command, as the menu and the toolbar send it: checked on the screen.
TEST(Started, AboutBoxShowsItsCaptionAndControls) {
  const Recording& recording = Start(L"");
  ASSERT_NE(recording.mainWindow, nullptr);
  vorsk::test::ScreenCheck check(L"关于 vorsk", "about_box.bmp");
  const LRESULT result = ::SendMessageW(recording.mainWindow, WM_COMMAND, ID_APP_ABOUT, 0);
  EXPECT_EQ(result, 0);
  check.Verify();
}

// The common dialogs' library is loaded only when a dialog is asked for: File Open still shows
// the platform's Open dialog, with the framework's caption. Cancelled as soon as it shows.
bool g_openDialogShown = false;

void CALLBACK CancelOpenDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ::FindWindowW(L"#32770", framework::texts::kOpenTitle);
  if (dialog == nullptr || ::GetWindowThreadProcessId(dialog, nullptr) != ::GetCurrentThreadId() ||
      !::IsWindowVisible(dialog)) {
    return;
  }
  g_openDialogShown = true;
  ::KillTimer(nullptr, timer);
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

TEST(Started, FileOpenShowsTheOpenDialog) {
  const Recording& recording = Start(L"");
  ASSERT_NE(recording.mainWindow, nullptr);
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &CancelOpenDialog);
  ::SendMessageW(recording.mainWindow, WM_COMMAND, ID_FILE_OPEN, 0);
  ::KillTimer(nullptr, timer);
  EXPECT_TRUE(g_openDialogShown);
}

// Every command that the menu, the toolbar and the accelerators send has a handler on the frame's
// route (view, document, frame, application), read from the tables the program runs with; only
// saving, editing and moving between panes are left to nothing, and the menus grey them.
TEST(Started, EveryCommandOfTheMenuToolbarAndAcceleratorsHasAHandlerOnItsRoute) {
  const Recording& recording = Start(L"");
  ASSERT_NE(recording.mainWindow, nullptr);
  const auto* frame = static_cast<CFrameWnd*>(theApp.m_pMainWnd);
  std::set<UINT> commands(recording.toolbarCommands.begin(), recording.toolbarCommands.end());
  HMENU menu = ::GetMenu(recording.mainWindow);
  for (int position = 0; position < ::GetMenuItemCount(menu); ++position) {
    HMENU popup = ::GetSubMenu(menu, position);
    for (int index = 0; index < ::GetMenuItemCount(popup); ++index) {
      commands.insert(::GetMenuItemID(popup, index));
    }
  }
  const int count = ::CopyAcceleratorTableW(frame->GetAcceleratorTable(), nullptr, 0);
  std::vector<ACCEL> accelerators(static_cast<std::size_t>(count));
  ::CopyAcceleratorTableW(frame->GetAcceleratorTable(), accelerators.data(), count);
  for (const ACCEL& accelerator : accelerators) {
    commands.insert(accelerator.cmd);
  }
  commands.erase(0);  // separators
  std::set<UINT> unhandled;
  for (const UINT id : commands) {
    if (!frame->HasCommandHandler(id)) {
      unhandled.insert(id);
    }
  }
  EXPECT_EQ(unhandled, (std::set<UINT>{ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_EDIT_CUT, ID_EDIT_COPY,
                                       ID_EDIT_PASTE, ID_EDIT_UNDO, ID_NEXT_PANE, ID_PREV_PANE}));
  EXPECT_GT(commands.size(), unhandled.size());
}

// Last of the suite: the message loop translates the accelerators, and the exit command closes the
// main frame, whose end ends the loop with status 0.
TEST(Started, ExitCommandClosesTheFrameAndEndsTheMessageLoop) {
  const Recording& recording = Start(L"");
  ASSERT_NE(recording.mainWindow, nullptr);
  MSG accelerator = {recording.mainWindow, WM_KEYDOWN, VK_F6, 0, 0, {}};
  MSG plainKey = {recording.mainWindow, WM_KEYDOWN, 'A', 0, 0, {}};
  EXPECT_TRUE(theApp.PreTranslateMessage(&accelerator));
  EXPECT_FALSE(theApp.PreTranslateMessage(&plainKey));
  ::PostMessageW(recording.mainWindow, WM_COMMAND, ID_APP_EXIT, 0);
  EXPECT_EQ(theApp.Run(), 0);
  EXPECT_FALSE(::IsWindow(recording.mainWindow));
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

// The last parameter of the process's command line.
std::wstring LastArgument() {
  int count = 0;
  framework::unique_hlocal arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
  auto* argv = static_cast<LPWSTR*>(arguments.get());
  return count > 1 ? argv[count - 1] : std::wstring();
}

TEST(OpensFile, FrameStartsTheRunBeforeTheDocumentIsOpened) {
  const std::wstring file = LastArgument();
  const Recording& recording = Start(L"");
  EXPECT_TRUE(recording.initialised);
  EXPECT_EQ(recording.runs, 1);
  ASSERT_NE(recording.mainWindow, nullptr);
  CDocument* document = static_cast<CFrameWnd*>(theApp.m_pMainWnd)->GetActiveDocument();
  ASSERT_NE(document, nullptr);
  wchar_t full[MAX_PATH] = {};
  ::GetFullPathNameW(file.c_str(), MAX_PATH, full, nullptr);
  EXPECT_EQ(document->GetPathName(), full);
  const std::wstring name = file.substr(file.find_last_of(L"\\/") + 1);
  EXPECT_EQ(document->GetTitle(), name);
  wchar_t title[MAX_PATH] = {};
  ::GetWindowTextW(recording.mainWindow, title, MAX_PATH);
  EXPECT_EQ(std::wstring(title), name + L" - vorsk");
  ASSERT_NE(theApp.m_pRecentFileList, nullptr);
  ASSERT_FALSE(theApp.m_pRecentFileList->Names().empty());
  EXPECT_EQ(theApp.m_pRecentFileList->Names().front(), full);
}

// A recent file's command opens that file again: after File New, the list's first entry is the
// document's file once more.
TEST(OpensFile, ARecentFileCommandOpensItAgain) {
  const std::wstring file = LastArgument();
  const Recording& recording = Start(L"");
  ASSERT_NE(recording.mainWindow, nullptr);
  CDocument* document = static_cast<CFrameWnd*>(theApp.m_pMainWnd)->GetActiveDocument();
  ASSERT_NE(document, nullptr);
  ::SendMessageW(recording.mainWindow, WM_COMMAND, ID_FILE_NEW, 0);
  EXPECT_EQ(document->GetPathName(), L"");
  EXPECT_EQ(document->GetTitle(), framework::texts::kUntitled);
  ::SendMessageW(recording.mainWindow, WM_COMMAND, ID_FILE_MRU_FILE1, 0);
  wchar_t full[MAX_PATH] = {};
  ::GetFullPathNameW(file.c_str(), MAX_PATH, full, nullptr);
  EXPECT_EQ(document->GetPathName(), full);
}

TEST(Unregister, EndsWithoutAFrameAndTheRunNeverStarts) {
  const Recording& recording = Start(L"");
  EXPECT_FALSE(recording.initialised);
  EXPECT_EQ(recording.runs, 0);
  EXPECT_EQ(recording.mainWindow, nullptr);
  EXPECT_EQ(::FindWindowW(L"FrameWnd", nullptr), nullptr);
}

// A command line that asks for the usage runs nothing either: no frame, no run, status 1.
TEST(Usage, AnUnknownSwitchEndsWithoutAFrame) {
  const Recording& recording = Start(L"");
  EXPECT_FALSE(recording.initialised);
  EXPECT_EQ(recording.runs, 0);
  EXPECT_EQ(::FindWindowW(L"FrameWnd", nullptr), nullptr);
}

// vorsk's own switches reach the removal that the frame hands control to.
TEST(Switches, ReachTheRemoval) {
  const Recording& recording = Start(L"");
  ASSERT_EQ(recording.runs, 1);
  EXPECT_TRUE(recording.request.options.quiet);
  EXPECT_TRUE(recording.request.options.list);
  EXPECT_EQ(recording.request.logPath, L"C:\\vorsk\\run.log");
}

// The command line, parameter by parameter, as the framework hands it over: vorsk's switches in
// any letter case and with '-' as well as '/', the framework's own, and any other.
TEST(CommandLine, SwitchesAreParsedAndTheRestIsTheFrameworks) {
  const struct {
    std::vector<std::wstring> arguments;
    bool quiet;
    bool list;
    std::wstring log;
    bool usage;
    int shellCommand;
    std::wstring backup = L"";
    bool conflict = false;
    std::wstring restore = L"";
    bool anyComputer = false;
  } cases[] = {
      {{}, false, false, L"", false, CCommandLineInfo::FileNew},
      {{L"/quiet"}, true, false, L"", false, CCommandLineInfo::FileNew},
      {{L"-Q", L"/LIST"}, true, true, L"", false, CCommandLineInfo::FileNew},
      {{L"/log:C:\\a b\\run.log"},
       false,
       false,
       L"C:\\a b\\run.log",
       false,
       CCommandLineInfo::FileNew},
      {{L"-Log:x.log", L"-list"}, false, true, L"x.log", false, CCommandLineInfo::FileNew},
      {{L"/log:"}, false, false, L"", true, CCommandLineInfo::FileNew},
      {{L"/?"}, false, false, L"", true, CCommandLineInfo::FileNew},
      {{L"/lsit"}, false, false, L"", true, CCommandLineInfo::FileNew},
      {{L"/quiet", L"/frobnicate"}, true, false, L"", true, CCommandLineInfo::FileNew},
      {{L"/Unregister"}, false, false, L"", false, CCommandLineInfo::AppUnregister},
      {{L"/dde"}, false, false, L"", false, CCommandLineInfo::FileNew},
      {{L"/quiet", L"C:\\scan.vsk"}, true, false, L"", false, CCommandLineInfo::FileOpen},
      {{L"-q", L"/BACKUP:\\\\srv\\bk\\scanners"},
       true,
       false,
       L"",
       false,
       CCommandLineInfo::FileNew,
       L"\\\\srv\\bk\\scanners"},
      {{L"/backup:"}, false, false, L"", true, CCommandLineInfo::FileNew},
      // A switch given twice is taken once; of two logs or two backup folders, the last counts.
      {{L"/log:a.log", L"-Q", L"/LOG:b.log", L"/q", L"/backup:C:\\a", L"/backup:C:\\b"},
       true,
       false,
       L"b.log",
       false,
       CCommandLineInfo::FileNew,
       L"C:\\b"},
      // A listing deletes nothing: there is nothing to keep, and the run is refused.
      {{L"/list", L"-backup:C:\\bk"},
       false,
       true,
       L"",
       false,
       CCommandLineInfo::FileNew,
       L"C:\\bk",
       true},
      // A restore, listed or vouched for; with a backup, or a vouch without a restore, refused.
      {{L"/RESTORE:C:\\bk\\PC-1", L"/list", L"-anycomputer"},
       false,
       true,
       L"",
       false,
       CCommandLineInfo::FileNew,
       L"",
       false,
       L"C:\\bk\\PC-1",
       true},
      {{L"/restore:C:\\bk\\PC-1", L"/backup:C:\\bk"},
       false,
       false,
       L"",
       false,
       CCommandLineInfo::FileNew,
       L"C:\\bk",
       true,
       L"C:\\bk\\PC-1"},
      {{L"/anycomputer"},
       false,
       false,
       L"",
       false,
       CCommandLineInfo::FileNew,
       L"",
       true,
       L"",
       true},
      {{L"/restore:"}, false, false, L"", true, CCommandLineInfo::FileNew},
  };
  for (const auto& c : cases) {
    std::wstring line;
    for (const std::wstring& argument : c.arguments) {
      line += argument + L" ";
    }
    SCOPED_TRACE(std::string(line.begin(), line.end()));
    CVorskCommandLineInfo info;
    framework::ParseCommandArguments(info, c.arguments);
    EXPECT_EQ(info.m_request.options.quiet, c.quiet);
    EXPECT_EQ(info.m_request.options.list, c.list);
    EXPECT_EQ(info.m_request.logPath, c.log);
    EXPECT_EQ(info.m_showUsage, c.usage);
    EXPECT_EQ(static_cast<int>(info.m_nShellCommand), c.shellCommand);
    EXPECT_EQ(info.m_request.backupFolder, c.backup);
    EXPECT_EQ(!info.Conflict().empty(), c.conflict);
    EXPECT_EQ(info.m_request.restoreFolder, c.restore);
    EXPECT_EQ(info.m_request.anyComputer, c.anyComputer);
  }
}

void ExpectFailedStart(const std::wstring& refusedClass) {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  const Recording& recording = Start(refusedClass);
  EXPECT_FALSE(recording.initialised);
  EXPECT_EQ(recording.runs, 0);
  EXPECT_EQ(recording.mainWindow, nullptr);
  EXPECT_EQ(::FindWindowW(L"FrameWnd", nullptr), nullptr);
  EXPECT_EQ(std::count(recording.events.begin(), recording.events.end(), L"run"), 0);
  // The settings were read before the frame: the list's key stays behind in any case.
  EXPECT_TRUE(KeyExists(kRecentFileKey));
}

TEST(ToolbarFails, FrameIsNotCreatedAndTheRunNeverStarts) {
  ExpectFailedStart(TOOLBARCLASSNAMEW);
}

TEST(StatusBarFails, FrameIsNotCreatedAndTheRunNeverStarts) {
  ExpectFailedStart(STATUSCLASSNAMEW);
}

}  // namespace

// The application's command line is what is left of the test's once the test framework has taken
// its own flags.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  static std::wstring tail;
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    tail += (index > 1 ? L" \"" : L"\"") + std::wstring(argument.begin(), argument.end()) + L"\"";
  }
  AfxWinInit(::GetModuleHandleW(nullptr), nullptr, tail.data(), SW_SHOWNORMAL);
  return RUN_ALL_TESTS();
}
