#include "framework/frame.h"

#include <algorithm>
#include <utility>

#include "framework/app.h"
#include "framework/bars.h"
#include "framework/doc.h"
#include "framework/ids.h"
#include "framework/view.h"

IMPLEMENT_DYNCREATE(CFrameWnd, CWnd)

namespace {

constexpr wchar_t kFrameClass[] = L"FrameWnd";
// The frame's own message: show the prompt of string wParam in the status bar.
constexpr UINT kSetMessageString = WM_APP + 0x3F00;

}  // namespace

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_CREATE()
ON_WM_SIZE()
ON_WM_INITMENUPOPUP()
ON_MESSAGE(kSetMessageString, &CFrameWnd::OnSetMessageString)
ON_COMMAND_RANGE(ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, &CFrameWnd::OnBarCheck)
END_MESSAGE_MAP()

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd,
                          CCreateContext* pContext) {
  HINSTANCE instance = AfxGetInstanceHandle();
  m_strTitle = framework::PromptOf(framework::LoadResourceString(nIDResource));
  LPCWSTR className = framework::RegisterFrameworkClass(kFrameClass, CS_DBLCLKS,
                                                        reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1));
  if (className == nullptr) {
    return FALSE;
  }
  framework::unique_hmenu menu(::LoadMenuW(instance, MAKEINTRESOURCEW(nIDResource)));
  const HMENU menuHandle = menu.get();
  if (!CreateEx(0, className, m_strTitle.c_str(), dwDefaultStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                CW_USEDEFAULT, CW_USEDEFAULT, pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr,
                menuHandle, pContext)) {
    // This object is gone now. A window that got its menu destroyed the menu with itself.
    if (menuHandle != nullptr && !::IsMenu(menuHandle)) {
      menu.release();
    }
    return FALSE;
  }
  menu.release();  // the window's now

  m_accelerators.reset(::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(nIDResource)));
  // Shared icons: loaded once for the process, never destroyed.
  const auto icon = [&](int size) {
    return reinterpret_cast<LPARAM>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(nIDResource), IMAGE_ICON, size, size, LR_SHARED));
  };
  SendMessage(WM_SETICON, ICON_BIG, icon(::GetSystemMetrics(SM_CXICON)));
  SendMessage(WM_SETICON, ICON_SMALL, icon(::GetSystemMetrics(SM_CXSMICON)));
  return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
  cs.dwExStyle |= WS_EX_CLIENTEDGE;
  return TRUE;
}

int CFrameWnd::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  auto* context = static_cast<CCreateContext*>(lpCreateStruct->lpCreateParams);
  if (context != nullptr && context->m_pNewViewClass != nullptr) {
    CObject* object = context->m_pNewViewClass->CreateObject();
    if (object == nullptr || !object->IsKindOf(RUNTIME_CLASS(CView))) {
      delete object;
      return -1;
    }
    auto* view = static_cast<CView*>(object);
    context->m_pCurrentFrame = this;
    // A view that fails has deleted itself on the way.
    if (!view->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, CRect(0, 0, 0, 0), this,
                      AFX_IDW_PANE_FIRST, context)) {
      return -1;
    }
    m_pViewActive = view;
  }
  ::PostMessageW(m_hWnd, kSetMessageString, AFX_IDS_IDLEMESSAGE, 0);
  return 0;
}

void CFrameWnd::OnSize(UINT nType, int, int) {
  if (nType != SIZE_MINIMIZED) {
    RecalcLayout();
  }
}

void CFrameWnd::PostNcDestroy() {
  CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pMainWnd == this) {
    app->m_pMainWnd = nullptr;
    ::PostQuitMessage(0);
  }
  delete this;
}

void CFrameWnd::EnableDocking(DWORD dwDockStyle) {
  m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY;
}

void CFrameWnd::DockControlBar(CControlBar* pBar) {
  const DWORD allowed = m_dwDockStyle & pBar->m_dwDockStyle;
  const DWORD side = (allowed & CBRS_ALIGN_TOP) != 0 ? CBRS_ALIGN_TOP : allowed & CBRS_ALIGN_BOTTOM;
  if (side != 0) {
    pBar->m_dwStyle = (pBar->m_dwStyle & ~CBRS_ALIGN_ANY) | side;
    pBar->m_pDockSite = this;
    RecalcLayout();
  }
}

CControlBar* CFrameWnd::FindControlBar(UINT nID) const {
  CWnd* child = FromHandlePermanent(::GetDlgItem(m_hWnd, static_cast<int>(nID)));
  return child != nullptr && child->IsKindOf(RUNTIME_CLASS(CControlBar))
             ? static_cast<CControlBar*>(child)
             : nullptr;
}

void CFrameWnd::RecalcLayout() {
  if (m_hWnd == nullptr) {
    return;
  }
  RECT area = {};
  ::GetClientRect(m_hWnd, &area);
  for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    CWnd* window = FromHandlePermanent(child);
    if (window == nullptr || !window->IsKindOf(RUNTIME_CLASS(CControlBar)) ||
        (window->GetStyle() & WS_VISIBLE) == 0) {
      continue;
    }
    auto* bar = static_cast<CControlBar*>(window);
    const int thickness = bar->CalcThickness();
    RECT place = area;
    switch (bar->m_dwStyle & CBRS_ALIGN_ANY) {
      case CBRS_ALIGN_TOP:
        place.bottom = area.top = std::min<LONG>(area.top + thickness, area.bottom);
        break;
      case CBRS_ALIGN_BOTTOM:
        place.top = area.bottom = std::max<LONG>(area.bottom - thickness, area.top);
        break;
      default:
        continue;
    }
    ::SetWindowPos(bar->m_hWnd, nullptr, place.left, place.top, place.right - place.left,
                   place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (m_pViewActive != nullptr && m_pViewActive->m_hWnd != nullptr) {
    ::SetWindowPos(m_pViewActive->m_hWnd, nullptr, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

CDocument* CFrameWnd::GetActiveDocument() const {
  return m_pViewActive != nullptr ? m_pViewActive->GetDocument() : nullptr;
}

void CFrameWnd::SetMessageText(const std::wstring& text) {
  CControlBar* bar = FindControlBar(AFX_IDW_STATUS_BAR);
  if (bar != nullptr && bar->IsKindOf(RUNTIME_CLASS(CStatusBar))) {
    static_cast<CStatusBar*>(bar)->SetPaneText(0, text);
  }
}

// The prompt of string wParam; the frame posts itself the idle prompt once it is created.
LRESULT CFrameWnd::OnSetMessageString(WPARAM wParam, LPARAM) {
  SetMessageText(framework::PromptOf(framework::LoadResourceString(static_cast<UINT>(wParam))));
  return 0;
}

void CFrameWnd::OnUpdateFrameTitle(BOOL bAddToTitle) {
  std::wstring title = m_strTitle;
  CDocument* document = GetActiveDocument();
  if (bAddToTitle && (GetStyle() & FWS_ADDTOTITLE) != 0 && document != nullptr) {
    title = document->GetTitle() + L" - " + m_strTitle;
  }
  SetWindowText(title.c_str());
}

void CFrameWnd::ActivateFrame(int nCmdShow) {
  if (nCmdShow == -1) {
    nCmdShow =
        ::IsWindowVisible(m_hWnd) ? (::IsIconic(m_hWnd) ? SW_RESTORE : SW_SHOW) : SW_SHOWNORMAL;
  }
  ShowWindow(nCmdShow);
  ::SetForegroundWindow(m_hWnd);
}

void CFrameWnd::InitialUpdateFrame(BOOL bMakeVisible) {
  if (m_pViewActive != nullptr) {
    m_pViewActive->OnInitialUpdate();
  }
  OnUpdateFrameTitle(TRUE);
  RecalcLayout();
  if (bMakeVisible) {
    // The main window first shows as the program was asked to show it.
    int nCmdShow = -1;
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == this) {
      nCmdShow = std::exchange(app->m_nCmdShow, -1);
    }
    ActivateFrame(nCmdShow);
  }
}

BOOL CFrameWnd::OnCmdMsg(UINT nID) {
  if (m_pViewActive != nullptr && m_pViewActive->OnCmdMsg(nID)) {
    return TRUE;
  }
  if (CWnd::OnCmdMsg(nID)) {
    return TRUE;
  }
  CWinApp* app = AfxGetApp();
  return app != nullptr && app->OnCmdMsg(nID) ? TRUE : FALSE;
}

BOOL CFrameWnd::HasCommandHandler(UINT nID) const {
  const CWinApp* app = AfxGetApp();
  return (m_pViewActive != nullptr && m_pViewActive->HasCommandHandler(nID)) ||
                 CWnd::HasCommandHandler(nID) || (app != nullptr && app->HasCommandHandler(nID))
             ? TRUE
             : FALSE;
}

void CFrameWnd::OnBarCheck(UINT nID) {
  CControlBar* bar = FindControlBar(nID);
  if (bar == nullptr) {
    return;
  }
  bar->ShowWindow((bar->GetStyle() & WS_VISIBLE) != 0 ? SW_HIDE : SW_SHOWNOACTIVATE);
  RecalcLayout();
}

void CFrameWnd::OnInitMenuPopup(HMENU hPopupMenu, UINT, BOOL bSysMenu) {
  if (bSysMenu) {
    return;
  }
  CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pRecentFileList != nullptr) {
    app->m_pRecentFileList->UpdateMenu(hPopupMenu);
  }
  // Commands that nothing on the route handles are greyed; the bars' commands carry a check
  // while their bar shows; recent files are there while the list has them.
  const int count = ::GetMenuItemCount(hPopupMenu);
  for (int index = 0; index < count; ++index) {
    const UINT id = ::GetMenuItemID(hPopupMenu, index);
    if (id == 0 || id == static_cast<UINT>(-1)) {
      continue;
    }
    bool enabled = HasCommandHandler(id) != FALSE;
    if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_FILE16) {
      const std::size_t entry = id - ID_FILE_MRU_FILE1;
      enabled = app != nullptr && app->m_pRecentFileList != nullptr &&
                entry < app->m_pRecentFileList->Names().size();
    }
    ::EnableMenuItem(hPopupMenu, static_cast<UINT>(index),
                     MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    if (CControlBar* bar =
            (id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR) ? FindControlBar(id) : nullptr) {
      ::CheckMenuItem(
          hPopupMenu, static_cast<UINT>(index),
          MF_BYPOSITION | ((bar->GetStyle() & WS_VISIBLE) != 0 ? MF_CHECKED : MF_UNCHECKED));
    }
  }
}
