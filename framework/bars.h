// Control bars: the toolbar and the status bar, common controls that the frame lays out around
// its view (the frame finds them among its children). Bar styles (CBRS_*) say where a bar goes
// and how it behaves; they are kept by the bar and stripped from the window's own style. The
// frame docks its bars to the top or the bottom.
#pragma once

#include <string>
#include <vector>

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "framework/handles.h"
#include "framework/ids.h"
#include "framework/wnd.h"

class CFrameWnd;

inline constexpr DWORD CBRS_ALIGN_LEFT = 0x1000;
inline constexpr DWORD CBRS_ALIGN_TOP = 0x2000;
inline constexpr DWORD CBRS_ALIGN_RIGHT = 0x4000;
inline constexpr DWORD CBRS_ALIGN_BOTTOM = 0x8000;
inline constexpr DWORD CBRS_ALIGN_ANY = 0xF000;
inline constexpr DWORD CBRS_BORDER_LEFT = 0x0100;
inline constexpr DWORD CBRS_BORDER_TOP = 0x0200;
inline constexpr DWORD CBRS_BORDER_RIGHT = 0x0400;
inline constexpr DWORD CBRS_BORDER_BOTTOM = 0x0800;
inline constexpr DWORD CBRS_TOOLTIPS = 0x0010;
inline constexpr DWORD CBRS_FLYBY = 0x0020;
inline constexpr DWORD CBRS_SIZE_DYNAMIC = 0x0004;
inline constexpr DWORD CBRS_GRIPPER = 0x00400000;
inline constexpr DWORD CBRS_ALL = 0x0040FFFF;
inline constexpr DWORD CBRS_TOP = CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM;
inline constexpr DWORD CBRS_BOTTOM = CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP;

class CControlBar : public CWnd {
  DECLARE_DYNAMIC(CControlBar)

 public:
  DWORD GetBarStyle() const { return m_dwStyle; }
  // The sides the bar may dock to (CBRS_ALIGN_* bits).
  void EnableDocking(DWORD dwDockStyle) { m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY; }
  DWORD GetDockStyle() const { return m_dwDockStyle; }
  // The frame the bar is docked in, or null.
  CFrameWnd* GetDockingFrame() const { return m_pDockSite; }
  // The bar's thickness across its side, in pixels.
  virtual int CalcThickness() const = 0;

 protected:
  CControlBar() = default;
  // Creates the common control as a child of the frame and takes it over; the bar styles are
  // kept, the rest of dwStyle and dwControlStyle make the window's.
  BOOL CreateBar(LPCWSTR className, CWnd* pParentWnd, DWORD dwStyle, DWORD dwControlStyle,
                 UINT nID);

  DECLARE_MESSAGE_MAP()

 private:
  friend class CFrameWnd;
  DWORD m_dwStyle = 0;
  DWORD m_dwDockStyle = 0;
  CFrameWnd* m_pDockSite = nullptr;
};

class CToolBar : public CControlBar {
  DECLARE_DYNAMIC(CToolBar)

 public:
  CToolBar() = default;
  ~CToolBar() override;

  BOOL CreateEx(CWnd* pParentWnd, DWORD dwCtrlStyle = TBSTYLE_FLAT,
                DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP,
                CRect rcBorders = CRect(0, 0, 0, 0), UINT nID = AFX_IDW_TOOLBAR);
  // Loads toolbar resource nIDResource (version 1: image width, height, count, then the command
  // identifiers, 0 for a separator) and the bitmap of the same identifier with its images.
  BOOL LoadToolBar(UINT nIDResource);
  // Button and image sizes in pixels.
  void SetSizes(SIZE sizeButton, SIZE sizeImage);
  BOOL SetButtons(const UINT* lpIDArray, int nIDCount);

  int CalcThickness() const override;

 private:
  CRect m_rcBorders;
  framework::unique_hbitmap m_bitmap;
};

class CStatusBar : public CControlBar {
  DECLARE_DYNAMIC(CStatusBar)

 public:
  CStatusBar() = default;
  ~CStatusBar() override;

  BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
              UINT nID = AFX_IDW_STATUS_BAR);
  // One pane per identifier: ID_SEPARATOR for the stretching message pane, the others sized to
  // and showing their string; fails when an indicator has no string.
  BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);
  void SetPaneText(int nIndex, const std::wstring& text);

  int CalcThickness() const override;

 protected:
  afx_msg void OnSize(UINT nType, int cx, int cy);
  DECLARE_MESSAGE_MAP()

 private:
  struct Pane {
    UINT id;
    std::wstring text;
    int width;
  };
  void UpdateParts();

  std::vector<Pane> m_panes;
};
