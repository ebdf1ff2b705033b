#include "tests/win32/screen.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include <gtest/gtest.h>

#include "framework/handles.h"
#include "tools/watcher/canvas.h"

namespace vorsk::test {

namespace {

using framework::selected_object;
using framework::unique_hfont;

using screen::Canvas;

// What a canvas holds, as a screenshot.
Screenshot Take(const Canvas& canvas) {
  Screenshot shot;
  shot.width = canvas.width();
  shot.height = canvas.height();
  shot.pixels = canvas.Pixels();
  return shot;
}

int Distance(std::uint32_t pixel, COLORREF colour) {
  const int red = static_cast<int>((pixel >> 16) & 0xFF) - GetRValue(colour);
  const int green = static_cast<int>((pixel >> 8) & 0xFF) - GetGValue(colour);
  const int blue = static_cast<int>(pixel & 0xFF) - GetBValue(colour);
  return red * red + green * green + blue * blue;
}

bool IsInk(std::uint32_t pixel, COLORREF ink, COLORREF paper) {
  return Distance(pixel, ink) < Distance(pixel, paper);
}

std::string Utf8(const std::wstring& text) {
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(std::max(size, 1)), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
  result.resize(result.size() - 1);
  return result;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

// Lets the dialog and the display catch up: paints, and the platform's flushing of them.
void LetPaint(HWND dialog) {
  ::RedrawWindow(dialog, nullptr, nullptr,
                 RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < 500) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(20);
  }
}

std::map<UINT_PTR, ScreenCheck*>& Checks() {
  static std::map<UINT_PTR, ScreenCheck*> checks;
  return checks;
}

}  // namespace

bool Screenshot::Save(const std::string& path) const {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  const std::uint32_t imageBytes = static_cast<std::uint32_t>(rowBytes) * height;
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  header.bfSize = header.bfOffBits + imageBytes;
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = imageBytes;
  std::fwrite(&header, sizeof(header), 1, file);
  std::fwrite(&info, sizeof(info), 1, file);
  std::vector<unsigned char> row(static_cast<std::size_t>(rowBytes), 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t pixel = at(x, y);
      row[static_cast<std::size_t>(x) * 3] = static_cast<unsigned char>(pixel & 0xFF);
      row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<unsigned char>((pixel >> 8) & 0xFF);
      row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<unsigned char>((pixel >> 16) & 0xFF);
    }
    std::fwrite(row.data(), 1, row.size(), file);
  }
  return std::fclose(file) == 0;
}

Screenshot CaptureScreen(const RECT& area) {
  Canvas canvas(area.right - area.left, area.bottom - area.top);
  framework::window_dc screen(nullptr);
  ::BitBlt(canvas.dc(), 0, 0, area.right - area.left, area.bottom - area.top, screen.get(),
           area.left, area.top, SRCCOPY);
  return Take(canvas);
}

Screenshot RenderText(const std::wstring& text, HFONT font, COLORREF ink, COLORREF paper) {
  RECT extent = {0, 0, 0, 0};
  {
    Canvas measure(1, 1);
    selected_object selected(measure.dc(), font);
    ::DrawTextW(measure.dc(), text.c_str(), -1, &extent, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
  }
  Canvas canvas(std::max<LONG>(extent.right, 1), std::max<LONG>(extent.bottom, 1));
  selected_object selected(canvas.dc(), font);
  framework::unique_hbrush brush(::CreateSolidBrush(paper));
  ::FillRect(canvas.dc(), &extent, brush.get());
  ::SetTextColor(canvas.dc(), ink);
  ::SetBkMode(canvas.dc(), TRANSPARENT);
  ::DrawTextW(canvas.dc(), text.c_str(), -1, &extent, DT_NOPREFIX | DT_SINGLELINE);
  return Take(canvas);
}

double BestMatch(const Screenshot& shot, const RECT& part, const Screenshot& rendering,
                 COLORREF ink, COLORREF paper) {
  double best = 0;
  const int left = std::max<LONG>(part.left, 0);
  const int top = std::max<LONG>(part.top, 0);
  const int right = std::min<LONG>(part.right, shot.width) - rendering.width;
  const int bottom = std::min<LONG>(part.bottom, shot.height) - rendering.height;
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      // Ink agreement: shared ink over all ink, so that blank paper does not count as a match.
      int both = 0;
      int either = 0;
      for (int ry = 0; ry < rendering.height; ++ry) {
        for (int rx = 0; rx < rendering.width; ++rx) {
          const bool expected = IsInk(rendering.at(rx, ry), ink, paper);
          const bool shown = IsInk(shot.at(x + rx, y + ry), ink, paper);
          both += expected && shown ? 1 : 0;
          either += expected || shown ? 1 : 0;
        }
      }
      if (either > 0) {
        best = std::max(best, static_cast<double>(both) / either);
      }
    }
  }
  return best;
}

bool RendersEveryGlyph(const std::wstring& text, HFONT font) {
  const auto inkOf = [&](wchar_t c) {
    const Screenshot shot = RenderText(std::wstring(1, c), font, RGB(255, 255, 255), RGB(0, 0, 0));
    std::vector<bool> ink;
    for (const std::uint32_t pixel : shot.pixels) {
      ink.push_back(IsInk(pixel, RGB(255, 255, 255), RGB(0, 0, 0)));
    }
    return ink;
  };
  // A private-use character: no font has a glyph for it.
  const std::vector<bool> missing = inkOf(L'\xE000');
  std::map<std::vector<bool>, wchar_t> seen;
  for (const wchar_t c : text) {
    if (c == L' ') {
      continue;
    }
    const std::vector<bool> ink = inkOf(c);
    if (ink == missing || std::find(ink.begin(), ink.end(), true) == ink.end()) {
      return false;
    }
    const auto [at, added] = seen.emplace(ink, c);
    if (!added && at->second != c) {
      return false;
    }
  }
  return true;
}

ScreenCheck::ScreenCheck(std::wstring caption, std::string file)
    : caption_(std::move(caption)), file_(std::move(file)) {
  timer_ = ::SetTimer(nullptr, 0, 100, &ScreenCheck::OnTimer);
  Checks()[timer_] = this;
}

ScreenCheck::~ScreenCheck() {
  ::KillTimer(nullptr, timer_);
  Checks().erase(timer_);
}

void CALLBACK ScreenCheck::OnTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  const auto found = Checks().find(timer);
  if (found == Checks().end() || found->second->found_) {
    return;
  }
  ScreenCheck* check = found->second;
  HWND dialog = ::FindWindowW(L"#32770", check->caption_.c_str());
  if (dialog == nullptr || ::GetWindowThreadProcessId(dialog, nullptr) != ::GetCurrentThreadId() ||
      !::IsWindowVisible(dialog)) {
    return;
  }
  check->found_ = true;
  ::KillTimer(nullptr, timer);
  check->Inspect(dialog);
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

void ScreenCheck::Inspect(HWND dialog) {
  LetPaint(dialog);
  RECT window = {};
  ::GetWindowRect(dialog, &window);
  const Screenshot shot = CaptureScreen(window);
  if (!shot.Save(file_)) {
    failures_.push_back("cannot save the screenshot to " + file_);
  }
  const auto report = [&](bool ok, const std::string& what) {
    (ok ? passes_ : failures_).push_back(what);
  };

  // The caption: in the band above the client area, in the caption's font and colours.
  POINT client = {0, 0};
  ::ClientToScreen(dialog, &client);
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof(metrics);
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  unique_hfont captionFont(::CreateFontIndirectW(&metrics.lfCaptionFont));
  const COLORREF captionInk = ::GetSysColor(COLOR_CAPTIONTEXT);
  const COLORREF captionPaper = ::GetSysColor(COLOR_ACTIVECAPTION);
  const double caption = BestMatch(
      shot, RECT{0, 0, shot.width, client.y - window.top},
      RenderText(caption_, captionFont.get(), captionInk, captionPaper), captionInk, captionPaper);
  report(caption >= 0.9,
         "caption \"" + Utf8(caption_) + "\" shows (match " + std::to_string(caption) + ")");
  report(RendersEveryGlyph(caption_, captionFont.get()),
         "the caption font has a glyph for every character");

  // The controls, each where it shows, in the dialog's font.
  HFONT dialogFont = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
  const COLORREF ink = ::GetSysColor(COLOR_BTNTEXT);
  const COLORREF paper = ::GetSysColor(COLOR_3DFACE);
  for (HWND control = ::GetWindow(dialog, GW_CHILD); control != nullptr;
       control = ::GetWindow(control, GW_HWNDNEXT)) {
    RECT place = {};
    ::GetWindowRect(control, &place);
    ::OffsetRect(&place, -window.left, -window.top);
    const std::wstring text = TextOf(control);
    const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
    if (ClassOf(control) == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
      // The application's icon, drawn on the dialog's background.
      Canvas canvas(place.right - place.left, place.bottom - place.top);
      framework::unique_hbrush brush(::CreateSolidBrush(paper));
      RECT all = {0, 0, place.right - place.left, place.bottom - place.top};
      ::FillRect(canvas.dc(), &all, brush.get());
      ::DrawIconEx(
          canvas.dc(), 0, 0,
          static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128),
                                          IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED)),
          0, 0, 0, nullptr, DI_NORMAL);
      const Screenshot expected = Take(canvas);
      int same = 0;
      for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
          same +=
              (expected.at(x, y) & 0xFFFFFF) == (shot.at(place.left + x, place.top + y) & 0xFFFFFF)
                  ? 1
                  : 0;
        }
      }
      report(same == expected.width * expected.height,
             "the application's icon shows (" + std::to_string(same) + " of " +
                 std::to_string(expected.width * expected.height) + " pixels)");
      continue;
    }
    const double match =
        BestMatch(shot, place, RenderText(text, dialogFont, ink, paper), ink, paper);
    report(match >= 0.9 && RendersEveryGlyph(text, dialogFont),
           Utf8(ClassOf(control)) + " \"" + Utf8(text) + "\" shows (match " +
               std::to_string(match) + ")");
  }
}

void ScreenCheck::Verify() const {
  EXPECT_TRUE(found_) << "no dialog \"" << Utf8(caption_) << "\" showed";
  for (const std::string& pass : passes_) {
    std::printf("  ok: %s\n", pass.c_str());
  }
  for (const std::string& failure : failures_) {
    ADD_FAILURE() << failure;
  }
}

}  // namespace vorsk::test
