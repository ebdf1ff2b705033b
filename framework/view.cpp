#include "framework/view.h"

#include "framework/app.h"
#include "framework/doc.h"
#include "framework/frame.h"
#include "framework/ids.h"
#include "framework/texts.h"

IMPLEMENT_DYNAMIC(CView, CWnd)

BEGIN_MESSAGE_MAP(CView, CWnd)
ON_WM_CREATE()
ON_WM_PAINT()
END_MESSAGE_MAP()

namespace {

constexpr wchar_t kViewClass[] = L"ViewWnd";
constexpr wchar_t kPreviewClass[] = L"PrintPreviewWnd";

// A device context for the printer that DEVNAMES and DEVMODE blocks describe.
HDC CreatePrinterDC(HGLOBAL devNames, HGLOBAL devMode) {
  const auto* names = static_cast<const DEVNAMES*>(::GlobalLock(devNames));
  if (names == nullptr) {
    return nullptr;
  }
  const auto* base = reinterpret_cast<const wchar_t*>(names);
  const auto* mode =
      devMode != nullptr ? static_cast<const DEVMODEW*>(::GlobalLock(devMode)) : nullptr;
  HDC dc = ::CreateDCW(base + names->wDriverOffset, base + names->wDeviceOffset,
                       base + names->wOutputOffset, mode);
  if (mode != nullptr) {
    ::GlobalUnlock(devMode);
  }
  ::GlobalUnlock(devNames);
  return dc;
}

}  // namespace

CPrintInfo::CPrintInfo() = default;

// The print preview: one page of the view drawn at the printer's proportions in a modal window
// owned by the view's frame, closed with Escape or its close button.
class PrintPreviewWindow : public CWnd {
 public:
  PrintPreviewWindow(CView* view, CPrintInfo* info) : m_view(view), m_info(info) {}

  void RunModal(HWND owner) {
    LPCWSTR className = framework::RegisterFrameworkClass(
        kPreviewClass, CS_HREDRAW | CS_VREDRAW, reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1));
    if (className == nullptr ||
        !CreateEx(0, className, framework::texts::kPreviewTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                  CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, owner, nullptr)) {
      return;
    }
    ::EnableWindow(owner, FALSE);
    MSG message = {};
    while (m_hWnd != nullptr) {
      const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
      if (got == 0) {
        // Leaves the quit message for the application's own loop.
        ::PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      if (got == -1) {
        break;
      }
      if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        DestroyWindow();
        continue;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::EnableWindow(owner, TRUE);
    DestroyWindow();
  }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_PAINT) {
      Paint();
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }

 private:
  void Paint() {
    PAINTSTRUCT paint = {};
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    HDC printer = m_info->m_printerDC.get();
    const int pageWidth = ::GetDeviceCaps(printer, HORZRES);
    const int pageHeight = ::GetDeviceCaps(printer, VERTRES);
    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    if (pageWidth > 0 && pageHeight > 0 && client.right > 16 && client.bottom > 16) {
      // The page, as large as fits with a margin, keeping the printer's proportions.
      const int room = client.bottom - 16;
      int height = room;
      int width = MulDiv(height, pageWidth, pageHeight);
      if (width > client.right - 16) {
        width = client.right - 16;
        height = MulDiv(width, pageHeight, pageWidth);
      }
      const int left = (client.right - width) / 2;
      const int top = (client.bottom - height) / 2;
      RECT page = {left, top, left + width, top + height};
      ::FillRect(dc, &page, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
      const int saved = ::SaveDC(dc);
      ::IntersectClipRect(dc, page.left, page.top, page.right, page.bottom);
      ::SetMapMode(dc, MM_ANISOTROPIC);
      ::SetWindowExtEx(dc, pageWidth, pageHeight, nullptr);
      ::SetViewportExtEx(dc, width, height, nullptr);
      ::SetViewportOrgEx(dc, left, top, nullptr);
      CDC pageDC(dc, true);
      m_info->m_nCurPage = m_info->GetMinPage();
      m_info->m_rectDraw = CRect(0, 0, pageWidth, pageHeight);
      m_view->OnPrepareDC(&pageDC, m_info);
      m_view->OnPrint(&pageDC, m_info);
      ::RestoreDC(dc, saved);
    }
    ::EndPaint(m_hWnd, &paint);
  }

  CView* m_view;
  CPrintInfo* m_info;
};

CView::~CView() {
  if (m_pDocument != nullptr) {
    m_pDocument->RemoveView(this);
  }
}

CFrameWnd* CView::GetParentFrame() const {
  CWnd* parent = CWnd::FromHandlePermanent(::GetParent(m_hWnd));
  return parent != nullptr && parent->IsKindOf(RUNTIME_CLASS(CFrameWnd))
             ? static_cast<CFrameWnd*>(parent)
             : nullptr;
}

BOOL CView::PreCreateWindow(CREATESTRUCT& cs) {
  if (cs.lpszClass == nullptr) {
    cs.lpszClass =
        framework::RegisterFrameworkClass(kViewClass, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW,
                                          reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  }
  // A sunken edge rather than a flat border.
  if ((cs.style & WS_BORDER) != 0) {
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    cs.style &= ~WS_BORDER;
  }
  return cs.lpszClass != nullptr ? TRUE : FALSE;
}

int CView::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  auto* context = static_cast<CCreateContext*>(lpCreateStruct->lpCreateParams);
  if (context != nullptr && context->m_pCurrentDoc != nullptr) {
    context->m_pCurrentDoc->AddView(this);
  }
  return 0;
}

void CView::PostNcDestroy() {
  delete this;
}

void CView::OnInitialUpdate() {
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CView::OnPaint() {
  PAINTSTRUCT paint = {};
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  CDC viewDC(dc);
  OnPrepareDC(&viewDC);
  OnDraw(&viewDC);
  ::EndPaint(m_hWnd, &paint);
}

void CView::OnPrepareDC(CDC*, CPrintInfo* pInfo) {
  // With no known last page, only the first is printed.
  if (pInfo != nullptr) {
    pInfo->m_bContinuePrinting = pInfo->GetMaxPage() != 0xFFFF || pInfo->m_nCurPage == 1;
  }
}

BOOL CView::OnCmdMsg(UINT nID) {
  if (CWnd::OnCmdMsg(nID)) {
    return TRUE;
  }
  return m_pDocument != nullptr && m_pDocument->OnCmdMsg(nID) ? TRUE : FALSE;
}

BOOL CView::HasCommandHandler(UINT nID) const {
  return CWnd::HasCommandHandler(nID) ||
                 (m_pDocument != nullptr && m_pDocument->HasCommandHandler(nID))
             ? TRUE
             : FALSE;
}

BOOL CView::OnPreparePrinting(CPrintInfo*) {
  return TRUE;
}

void CView::OnBeginPrinting(CDC*, CPrintInfo*) {}

void CView::OnEndPrinting(CDC*, CPrintInfo*) {}

void CView::OnPrint(CDC* pDC, CPrintInfo*) {
  OnDraw(pDC);
}

BOOL CView::DoPreparePrinting(CPrintInfo* pInfo) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) {
    return FALSE;
  }
  CFrameWnd* frame = GetParentFrame();
  HDC dc = nullptr;
  if ((pInfo->m_bDirect || pInfo->m_bPreview) && app->GetPrinterDevNames() != nullptr) {
    // The printer chosen before, without asking.
    dc = CreatePrinterDC(app->GetPrinterDevNames(), app->GetPrinterDevMode());
  } else {
    PRINTDLGW pd = {};
    pd.lStructSize = sizeof(pd);
    pd.hwndOwner = frame != nullptr ? frame->m_hWnd : m_hWnd;
    pd.Flags = PD_RETURNDC | PD_USEDEVMODECOPIESANDCOLLATE | PD_NOSELECTION | PD_HIDEPRINTTOFILE;
    if (pInfo->m_bDirect || pInfo->m_bPreview) {
      pd.Flags |= PD_RETURNDEFAULT;
    }
    pd.nMinPage = static_cast<WORD>(pInfo->GetMinPage());
    pd.nMaxPage = static_cast<WORD>(pInfo->GetMaxPage());
    pd.nFromPage = pd.nMinPage;
    pd.nToPage = pd.nMaxPage;
    if (!app->DoPrintDialog(pd)) {
      return FALSE;
    }
    dc = pd.hDC;
    if ((pd.Flags & PD_PAGENUMS) != 0) {
      pInfo->SetMinPage(pd.nFromPage);
      pInfo->SetMaxPage(pd.nToPage);
    }
  }
  pInfo->m_printerDC.reset(dc);
  return pInfo->m_printerDC ? TRUE : FALSE;
}

void CView::OnFilePrint() {
  CPrintInfo info;
  const MSG* current = GetCurrentMessage();
  if (current->message == WM_COMMAND && LOWORD(current->wParam) == ID_FILE_PRINT_DIRECT) {
    info.m_bDirect = TRUE;
  }
  if (!OnPreparePrinting(&info) || !info.m_printerDC) {
    return;
  }
  HDC printer = info.m_printerDC.get();
  CDC printerDC(printer, true);
  OnBeginPrinting(&printerDC, &info);

  std::wstring title = AfxGetAppName();
  if (m_pDocument != nullptr && !m_pDocument->GetTitle().empty()) {
    title = m_pDocument->GetTitle();
  }
  DOCINFOW document = {};
  document.cbSize = sizeof(document);
  document.lpszDocName = title.c_str();
  bool printed = ::StartDocW(printer, &document) > 0;
  bool started = printed;
  for (UINT page = info.GetMinPage(); printed && page <= info.GetMaxPage(); ++page) {
    info.m_nCurPage = page;
    OnPrepareDC(&printerDC, &info);
    if (!info.m_bContinuePrinting) {
      break;
    }
    if (::StartPage(printer) <= 0) {
      printed = false;
      break;
    }
    info.m_rectDraw =
        CRect(0, 0, ::GetDeviceCaps(printer, HORZRES), ::GetDeviceCaps(printer, VERTRES));
    OnPrint(&printerDC, &info);
    printed = ::EndPage(printer) > 0;
  }
  if (printed) {
    ::EndDoc(printer);
  } else if (started) {
    ::AbortDoc(printer);
  }
  OnEndPrinting(&printerDC, &info);
  if (!printed) {
    MessageBox(framework::texts::kPrintFailed, nullptr, MB_OK | MB_ICONEXCLAMATION);
  }
}

void CView::OnFilePrintPreview() {
  CPrintInfo info;
  info.m_bPreview = TRUE;
  if (!OnPreparePrinting(&info) || !info.m_printerDC) {
    return;
  }
  CDC printerDC(info.m_printerDC.get(), true);
  OnBeginPrinting(&printerDC, &info);
  CFrameWnd* frame = GetParentFrame();
  PrintPreviewWindow preview(this, &info);
  preview.RunModal(frame != nullptr ? frame->m_hWnd : m_hWnd);
  OnEndPrinting(&printerDC, &info);
}
