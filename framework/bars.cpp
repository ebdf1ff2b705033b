#include "framework/bars.h"

#include <algorithm>

#include "framework/ids.h"
#include "host/win32/system_library.h"

IMPLEMENT_DYNAMIC(CControlBar, CWnd)
IMPLEMENT_DYNAMIC(CToolBar, CControlBar)
IMPLEMENT_DYNAMIC(CStatusBar, CControlBar)

BEGIN_MESSAGE_MAP(CControlBar, CWnd)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CStatusBar, CControlBar)
ON_WM_SIZE()
END_MESSAGE_MAP()

namespace {

// The common controls' bar classes, registered once for the process. The library is not one of
// the platform's known DLLs: it is loaded from the system folder, never imported.
bool InitBarControls() {
  static const bool registered = [] {
    const auto initialise = vorsk::win32::FindCall<decltype(&::InitCommonControlsEx)>(
        vorsk::win32::LoadSystemLibrary(L"comctl32.dll"), "InitCommonControlsEx");
    const INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    return initialise != nullptr && initialise(&controls) != FALSE;
  }();
  return registered;
}

// The toolbar resource's header, followed by its command identifiers.
struct ToolBarResource {
  WORD wVersion;
  WORD wWidth;
  WORD wHeight;
  WORD wItemCount;
};

constexpr int kSeparatorWidth = 6;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Control bars.

BOOL CControlBar::CreateBar(LPCWSTR className, CWnd* pParentWnd, DWORD dwStyle,
                            DWORD dwControlStyle, UINT nID) {
  if (pParentWnd == nullptr || pParentWnd->m_hWnd == nullptr || !InitBarControls()) {
    return FALSE;
  }
  m_dwStyle = dwStyle & CBRS_ALL;
  // The frame places its bars itself.
  const DWORD windowStyle = (dwStyle & ~CBRS_ALL) | dwControlStyle | CCS_NOPARENTALIGN |
                            CCS_NOMOVEY | CCS_NODIVIDER | CCS_NORESIZE;
  HWND hWnd = ::CreateWindowExW(0, className, nullptr, windowStyle, 0, 0, 0, 0, pParentWnd->m_hWnd,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)),
                                AfxGetInstanceHandle(), nullptr);
  if (hWnd == nullptr) {
    return FALSE;
  }
  return SubclassWindow(hWnd);
}

// ---------------------------------------------------------------------------------------------
// Toolbar.

CToolBar::~CToolBar() {
  // The control goes before the bitmap it draws from.
  DestroyWindow();
}

BOOL CToolBar::CreateEx(CWnd* pParentWnd, DWORD dwCtrlStyle, DWORD dwStyle, CRect rcBorders,
                        UINT nID) {
  m_rcBorders = rcBorders;
  DWORD controlStyle = dwCtrlStyle;
  if ((dwStyle & CBRS_TOOLTIPS) != 0) {
    controlStyle |= TBSTYLE_TOOLTIPS;
  }
  if (!CreateBar(TOOLBARCLASSNAMEW, pParentWnd, dwStyle, controlStyle, nID)) {
    return FALSE;
  }
  SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
  return TRUE;
}

void CToolBar::SetSizes(SIZE sizeButton, SIZE sizeImage) {
  SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(sizeImage.cx, sizeImage.cy));
  SendMessage(TB_SETBUTTONSIZE, 0, MAKELPARAM(sizeButton.cx, sizeButton.cy));
}

BOOL CToolBar::LoadToolBar(UINT nIDResource) {
  if (m_hWnd == nullptr) {
    return FALSE;
  }
  HINSTANCE instance = AfxGetInstanceHandle();
  HRSRC found =
      ::FindResourceW(instance, MAKEINTRESOURCEW(nIDResource), MAKEINTRESOURCEW(RT_TOOLBAR));
  if (found == nullptr) {
    return FALSE;
  }
  const DWORD size = ::SizeofResource(instance, found);
  HGLOBAL loaded = ::LoadResource(instance, found);
  const auto* header = static_cast<const ToolBarResource*>(::LockResource(loaded));
  if (header == nullptr || size < sizeof(ToolBarResource) || header->wVersion != 1 ||
      size < sizeof(ToolBarResource) + header->wItemCount * sizeof(WORD)) {
    return FALSE;
  }
  const auto* items = reinterpret_cast<const WORD*>(header + 1);

  // Buttons are the image with a margin of 7 pixels across and down.
  SetSizes(SIZE{header->wWidth + 7, header->wHeight + 7}, SIZE{header->wWidth, header->wHeight});

  m_bitmap.reset(static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(nIDResource),
                                                   IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS)));
  BITMAP bitmap = {};
  if (!m_bitmap || ::GetObjectW(m_bitmap.get(), sizeof(bitmap), &bitmap) == 0 ||
      header->wWidth == 0) {
    return FALSE;
  }
  TBADDBITMAP images = {};
  images.hInst = nullptr;
  images.nID = reinterpret_cast<UINT_PTR>(m_bitmap.get());
  if (SendMessage(TB_ADDBITMAP, static_cast<WPARAM>(bitmap.bmWidth / header->wWidth),
                  reinterpret_cast<LPARAM>(&images)) == -1) {
    return FALSE;
  }

  std::vector<UINT> ids(items, items + header->wItemCount);
  return SetButtons(ids.data(), static_cast<int>(ids.size()));
}

BOOL CToolBar::SetButtons(const UINT* lpIDArray, int nIDCount) {
  std::vector<TBBUTTON> buttons;
  int image = 0;
  for (int index = 0; index < nIDCount; ++index) {
    TBBUTTON button = {};
    if (lpIDArray[index] == ID_SEPARATOR) {
      button.iBitmap = kSeparatorWidth;
      button.fsStyle = TBSTYLE_SEP;
    } else {
      button.iBitmap = image++;
      button.idCommand = static_cast<int>(lpIDArray[index]);
      button.fsState = TBSTATE_ENABLED;
      button.fsStyle = TBSTYLE_BUTTON;
    }
    buttons.push_back(button);
  }
  // Replaces any buttons there were.
  while (SendMessage(TB_DELETEBUTTON, 0) != 0) {
  }
  return SendMessage(TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data())) != 0
             ? TRUE
             : FALSE;
}

int CToolBar::CalcThickness() const {
  const LRESULT size = ::SendMessageW(m_hWnd, TB_GETBUTTONSIZE, 0, 0);
  // Docked to the top or the bottom: the buttons' height, the borders and two pixels' margin on
  // both sides.
  return HIWORD(size) + m_rcBorders.top + m_rcBorders.bottom + 4;
}

// ---------------------------------------------------------------------------------------------
// Status bar.

CStatusBar::~CStatusBar() {
  DestroyWindow();
}

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID) {
  DWORD controlStyle = 0;
  if (pParentWnd != nullptr && (pParentWnd->GetStyle() & WS_THICKFRAME) != 0) {
    controlStyle |= SBARS_SIZEGRIP;
  }
  return CreateBar(STATUSCLASSNAMEW, pParentWnd, dwStyle, controlStyle, nID);
}

BOOL CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount) {
  if (m_hWnd == nullptr || nIDCount <= 0 || nIDCount > 255) {
    return FALSE;
  }
  std::vector<Pane> panes;
  framework::window_dc dc(m_hWnd);
  HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
  framework::selected_object selected(dc.get(),
                                      font != nullptr ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  for (int index = 0; index < nIDCount; ++index) {
    Pane pane{lpIDArray[index], std::wstring(), 0};
    if (pane.id != ID_SEPARATOR) {
      pane.text = framework::LoadResourceString(pane.id);
      if (pane.text.empty()) {
        return FALSE;
      }
      SIZE extent = {};
      ::GetTextExtentPoint32W(dc.get(), pane.text.c_str(), static_cast<int>(pane.text.size()),
                              &extent);
      pane.width = extent.cx + 8;
    }
    panes.push_back(std::move(pane));
  }
  m_panes = std::move(panes);
  UpdateParts();
  return TRUE;
}

void CStatusBar::SetPaneText(int nIndex, const std::wstring& text) {
  if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_panes.size()) {
    return;
  }
  m_panes[static_cast<std::size_t>(nIndex)].text = text;
  SendMessage(SB_SETTEXTW, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(text.c_str()));
}

void CStatusBar::UpdateParts() {
  if (m_hWnd == nullptr || m_panes.empty()) {
    return;
  }
  RECT client = {};
  ::GetClientRect(m_hWnd, &client);
  // The fixed panes from the right edge (less the size grip), the last reaching it; the first
  // takes what is left.
  const int grip = (GetStyle() & SBARS_SIZEGRIP) != 0 ? ::GetSystemMetrics(SM_CXVSCROLL) : 0;
  std::vector<int> edges(m_panes.size());
  int right = std::max<int>(client.right - grip, 0);
  edges.back() = -1;
  for (std::size_t index = m_panes.size(); index-- > 1;) {
    right -= m_panes[index].width;
    edges[index - 1] = std::max(right, 0);
  }
  SendMessage(SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (std::size_t index = 0; index < m_panes.size(); ++index) {
    SendMessage(SB_SETTEXTW, index, reinterpret_cast<LPARAM>(m_panes[index].text.c_str()));
  }
}

void CStatusBar::OnSize(UINT, int, int) {
  Default();
  UpdateParts();
}

int CStatusBar::CalcThickness() const {
  framework::window_dc dc(m_hWnd);
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
  framework::selected_object selected(dc.get(),
                                      font != nullptr ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics = {};
  ::GetTextMetricsW(dc.get(), &metrics);
  int borders[3] = {};
  ::SendMessageW(m_hWnd, SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders));
  return metrics.tmHeight + 2 * borders[1] + 4;
}
