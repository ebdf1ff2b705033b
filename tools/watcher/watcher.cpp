// Runs a program and watches its windows, for tests of what a user would see:
//
//   watcher.exe [--own-station] <events file> <program> [arguments...]
//
// With --own-station the program runs in a window station of its own, which is not the visible
// one: as a service or the platform's own account runs, where no box can be seen or answered (and
// none is seen here).
//
// The program runs with the watcher's standard input, output and error. Each message box it shows
// (a dialog of class "#32770") is written as one line to the events file, with its owner, icon,
// buttons, caption and text, and then dismissed with its OK button; any other top-level window of
// the program that becomes visible is written as a "shown" line. Lines are UTF-8; texts are quoted
// with \\, \", \n, \r and \t escaped:
//
//   box owner=frame icon=information buttons="OK" caption="" text="..."
//   shown class="FrameWnd" caption="..."
//
// The owner is none, frame (a top-level window of the program that is not a dialog), dialog, or
// other. The icon is information, warning, error, question, none, or unknown: it is recognised by
// comparing the box's icon on the screen with the platform's own icons. The watcher returns the
// program's exit status, or 125 when it cannot run the program.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "framework/handles.h"
#include "tools/watcher/canvas.h"

namespace {

using vorsk::win32::unique_handle;
using vorsk::win32::unique_hfile;
using vorsk::win32::unique_hlocal;

constexpr int kWatcherFailed = 125;
// The text control of a message box.
constexpr int kBoxTextId = 0xFFFF;

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

std::wstring TextOf(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  return process;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) {
    return std::string();
  }
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
  return result;
}

std::string Quoted(const std::wstring& text) {
  std::string quoted = "\"";
  for (const char c : Utf8(text)) {
    switch (c) {
      case '\\':
        quoted += "\\\\";
        break;
      case '"':
        quoted += "\\\"";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8] = {};
          std::snprintf(escaped, sizeof(escaped), "\\x%02x", static_cast<unsigned char>(c));
          quoted += escaped;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

// One argument quoted for a command line, as the runtime's parser reads it back.
std::wstring QuotedArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM found) {
  reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  ::EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&children));
  return children;
}

bool HasVisibleStyle(HWND window) {
  return (::GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

using vorsk::screen::Canvas;

// The pixels of a screen rectangle, as 32-bit values, top row first.
std::vector<std::uint32_t> CaptureScreen(const RECT& area) {
  Canvas canvas(area.right - area.left, area.bottom - area.top);
  framework::window_dc screen(nullptr);
  ::BitBlt(canvas.dc(), 0, 0, area.right - area.left, area.bottom - area.top, screen.get(),
           area.left, area.top, SRCCOPY);
  return canvas.Pixels();
}

// The platform's icon drawn as a message box draws it: at the control's place, over the box's
// background as it shows on the screen.
std::vector<std::uint32_t> RenderIcon(LPCWSTR icon, int width, int height,
                                      std::uint32_t background) {
  Canvas canvas(width, height);
  framework::unique_hbrush brush(::CreateSolidBrush(
      RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF)));
  RECT all = {0, 0, width, height};
  ::FillRect(canvas.dc(), &all, brush.get());
  // A shared system icon: never destroyed.
  ::DrawIconEx(canvas.dc(), 0, 0, ::LoadIconW(nullptr, icon), 0, 0, 0, nullptr, DI_NORMAL);
  return canvas.Pixels();
}

std::string IconOf(HWND box) {
  HWND icon = nullptr;
  for (HWND child : ChildrenOf(box)) {
    const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
    if (ClassOf(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON && HasVisibleStyle(child)) {
      icon = child;
    }
  }
  // A box without an icon keeps its icon control, holding none.
  if (icon == nullptr || ::SendMessageW(icon, STM_GETICON, 0, 0) == 0) {
    return "none";
  }
  const std::pair<LPCWSTR, const char*> candidates[] = {{IDI_ASTERISK, "information"},
                                                        {IDI_EXCLAMATION, "warning"},
                                                        {IDI_HAND, "error"},
                                                        {IDI_QUESTION, "question"}};
  // The box may still be painting: look again for a while.
  for (int attempt = 0; attempt < 100; ++attempt) {
    ::RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT area = {};
    ::GetWindowRect(icon, &area);
    const std::vector<std::uint32_t> shown = CaptureScreen(area);
    if (!shown.empty()) {
      for (const auto& [name, label] : candidates) {
        if (RenderIcon(name, area.right - area.left, area.bottom - area.top, shown.front()) ==
            shown) {
          return label;
        }
      }
    }
    ::Sleep(20);
  }
  return "unknown";
}

class Watcher {
 public:
  Watcher(HANDLE events, DWORD process) : events_(events), process_(process) {}

  // Looks at the program's top-level windows once.
  void Scan() {
    std::vector<HWND> windows;
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
    std::set<HWND> visible;
    for (HWND window : windows) {
      if (ProcessOf(window) != process_ || !::IsWindowVisible(window)) {
        continue;
      }
      visible.insert(window);
      if (seen_.count(window) != 0) {
        continue;
      }
      if (ClassOf(window) == L"#32770") {
        ReportBox(window);
      } else {
        Write("shown class=" + Quoted(ClassOf(window)) + " caption=" + Quoted(TextOf(window)));
      }
    }
    // A window hidden again counts anew when it shows again.
    seen_ = std::move(visible);
  }

 private:
  void ReportBox(HWND box) {
    const std::string icon = IconOf(box);
    std::vector<HWND> buttons;
    for (HWND child : ChildrenOf(box)) {
      if (ClassOf(child) == L"Button" && HasVisibleStyle(child)) {
        buttons.push_back(child);
      }
    }
    std::sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) {
      RECT ra = {};
      RECT rb = {};
      ::GetWindowRect(a, &ra);
      ::GetWindowRect(b, &rb);
      return ra.left < rb.left;
    });
    std::string labels;
    for (HWND button : buttons) {
      labels += (labels.empty() ? "" : ",") + Quoted(TextOf(button));
    }
    HWND text = ::GetDlgItem(box, kBoxTextId);
    Write("box owner=" + OwnerOf(box) + " icon=" + icon + " buttons=" + labels + " caption=" +
          Quoted(TextOf(box)) + " text=" + Quoted(text != nullptr ? TextOf(text) : std::wstring()));

    // OK, or else Cancel, or else the first button.
    HWND press = ::GetDlgItem(box, IDOK);
    if (press == nullptr || !HasVisibleStyle(press)) {
      press = ::GetDlgItem(box, IDCANCEL);
    }
    if ((press == nullptr || !HasVisibleStyle(press)) && !buttons.empty()) {
      press = buttons.front();
    }
    if (press != nullptr) {
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(press), BN_CLICKED),
                     reinterpret_cast<LPARAM>(press));
    }
  }

  std::string OwnerOf(HWND box) const {
    HWND owner = ::GetWindow(box, GW_OWNER);
    if (owner == nullptr) {
      return "none";
    }
    if (ProcessOf(owner) != process_) {
      return "other";
    }
    return ClassOf(owner) == L"#32770" ? "dialog" : "frame";
  }

  void Write(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    ::WriteFile(events_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

  HANDLE events_;
  DWORD process_;
  std::set<HWND> seen_;
};

HANDLE InheritableStdHandle(DWORD which) {
  HANDLE handle = ::GetStdHandle(which);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
    ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  return handle;
}

}  // namespace

int main() {
  int count = 0;
  unique_hlocal arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
  auto* argv = static_cast<LPWSTR*>(arguments.get());
  const bool ownStation = argv != nullptr && count > 1 && std::wstring(argv[1]) == L"--own-station";
  if (ownStation) {
    ++argv;
    --count;
  }
  if (argv == nullptr || count < 3) {
    std::fprintf(stderr,
                 "usage: watcher.exe [--own-station] <events file> <program> [arguments...]\n");
    return kWatcherFailed;
  }
  unique_hfile events(::CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!events) {
    std::fprintf(stderr, "watcher: cannot write %ls\n", argv[1]);
    return kWatcherFailed;
  }
  std::wstring commandLine;
  for (int index = 2; index < count; ++index) {
    commandLine += (index > 2 ? L" " : L"") + QuotedArgument(argv[index]);
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = InheritableStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = InheritableStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = InheritableStdHandle(STD_ERROR_HANDLE);
  // A window station is created without being visible; only the platform's own first station is.
  wchar_t stationDesktop[] = L"vorsk-watched\\Default";
  HWINSTA station = nullptr;
  if (ownStation) {
    station = ::CreateWindowStationW(L"vorsk-watched", 0, WINSTA_ALL_ACCESS, nullptr);
    HWINSTA own = ::GetProcessWindowStation();
    if (station == nullptr || !::SetProcessWindowStation(station) ||
        ::CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr) == nullptr ||
        !::SetProcessWindowStation(own)) {
      std::fprintf(stderr, "watcher: cannot make a window station (error %lu)\n", ::GetLastError());
      return kWatcherFailed;
    }
    startup.lpDesktop = stationDesktop;
  }
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started)) {
    std::fprintf(stderr, "watcher: cannot run %ls (error %lu)\n", argv[2], ::GetLastError());
    return kWatcherFailed;
  }
  unique_handle process(started.hProcess);
  unique_handle thread(started.hThread);

  Watcher watcher(events.get(), started.dwProcessId);
  for (;;) {
    watcher.Scan();
    if (::WaitForSingleObject(process.get(), 5) == WAIT_OBJECT_0) {
      break;
    }
  }
  DWORD status = kWatcherFailed;
  ::GetExitCodeProcess(process.get(), &status);
  return static_cast<int>(status);
}
