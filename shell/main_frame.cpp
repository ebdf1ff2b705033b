#include "shell/main_frame.h"

#include "res/resource.h"
#include "shell/startup_times.h"
#include "shell/vorsk_app.h"

IMPLEMENT_DYNCREATE(CMainFrame, CFrameWnd)

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
ON_WM_CREATE()
END_MESSAGE_MAP()

namespace {

// The status bar's panes: the message pane, then the caps, num and scroll lock indicators.
const UINT kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

constexpr DWORD kToolBarStyle = WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER | CBRS_TOOLTIPS |
                                CBRS_FLYBY | CBRS_SIZE_DYNAMIC;
constexpr DWORD kStatusBarStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM;
static_assert(kToolBarStyle == 0x50402834 && kStatusBarStyle == 0x50008200);
static_assert(TBSTYLE_FLAT == 0x800 && CBRS_ALIGN_ANY == 0xF000);

}  // namespace

CMainFrame::~CMainFrame() = default;

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs) {
  if (!CFrameWnd::PreCreateWindow(cs)) {
    return FALSE;
  }
  return TRUE;
}

int CMainFrame::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CFrameWnd::OnCreate(lpCreateStruct) == -1) {
    return -1;
  }
  vorsk::MarkStartupPhase("frame");
  if (!m_wndToolBar.CreateEx(this, TBSTYLE_FLAT, kToolBarStyle, CRect(0, 0, 0, 0),
                             AFX_IDW_TOOLBAR) ||
      !m_wndToolBar.LoadToolBar(IDR_MAINFRAME)) {
    return -1;
  }
  vorsk::MarkStartupPhase("toolbar");
  if (!m_wndStatusBar.Create(this, kStatusBarStyle, AFX_IDW_STATUS_BAR) ||
      !m_wndStatusBar.SetIndicators(kIndicators, sizeof(kIndicators) / sizeof(kIndicators[0]))) {
    return -1;
  }

  m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
  EnableDocking(CBRS_ALIGN_ANY);
  DockControlBar(&m_wndToolBar);
  vorsk::MarkStartupPhase("status-bar");

  // The program's removal ends the process.
  const auto* app = static_cast<CVorskApp*>(AfxGetApp());
  app->Removal().Run(*this, app->Request());
  return 0;
}
