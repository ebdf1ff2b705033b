// Checks of a dialog as it shows on the screen: a screenshot of the dialog's window, in which its
// caption and controls are looked for as the platform draws them with the dialog's own fonts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

namespace vorsk::test {

// A screenshot: 32-bit pixels, top row first.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  // Writes the screenshot as a 24-bit bitmap file.
  bool Save(const std::string& path) const;
};

// The screen's pixels in a rectangle of screen coordinates.
Screenshot CaptureScreen(const RECT& area);

// Text drawn as the platform draws it, in one colour on another, for comparisons.
Screenshot RenderText(const std::wstring& text, HFONT font, COLORREF ink, COLORREF paper);

// Where the rendered text shows in a part of a screenshot, as the share of the rendering's pixels
// that agree (ink where ink, paper where paper; a pixel is ink when it is nearer the ink's colour
// than the paper's): the best share over every position in the part.
double BestMatch(const Screenshot& shot, const RECT& part, const Screenshot& rendering,
                 COLORREF ink, COLORREF paper);

// Whether every character of the text has a glyph of its own in the font: each renders unlike
// the others and unlike a character that no font has.
bool RendersEveryGlyph(const std::wstring& text, HFONT font);

// While a modal dialog with the caption runs on this thread, captures it once it has painted,
// saves the screenshot to a file, checks it, and dismisses the dialog with OK. Verify reports.
class ScreenCheck {
 public:
  ScreenCheck(std::wstring caption, std::string file);
  ~ScreenCheck();
  ScreenCheck(const ScreenCheck&) = delete;
  ScreenCheck& operator=(const ScreenCheck&) = delete;

  // The checks' outcome, as test expectations.
  void Verify() const;

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  void Inspect(HWND dialog);

  std::wstring caption_;
  std::string file_;
  UINT_PTR timer_ = 0;
  bool found_ = false;
  std::vector<std::string> failures_;
  std::vector<std::string> passes_;
};

}  // namespace vorsk::test
