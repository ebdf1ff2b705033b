#include "framework/view.h"

#include "framework/doc.h"

IMPLEMENT_DYNAMIC(CView, CWnd)

BEGIN_MESSAGE_MAP(CView, CWnd)
ON_WM_CREATE()
ON_WM_PAINT()
END_MESSAGE_MAP()

namespace {

constexpr wchar_t kViewClass[] = L"ViewWnd";

}  // namespace

CView::~CView() {
  if (m_pDocument != nullptr) {
    m_pDocument->RemoveView(this);
  }
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
  if (context != nullptr) {
    m_pFrame = context->m_pCurrentFrame;
    if (context->m_pCurrentDoc != nullptr) {
      context->m_pCurrentDoc->AddView(this);
    }
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
  CDC viewDC{::BeginPaint(m_hWnd, &paint)};
  OnDraw(&viewDC);
  ::EndPaint(m_hWnd, &paint);
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
