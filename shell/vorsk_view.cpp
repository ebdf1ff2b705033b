#include "shell/vorsk_view.h"

IMPLEMENT_DYNCREATE(CVorskView, CView)

BEGIN_MESSAGE_MAP(CVorskView, CView)
ON_COMMAND(ID_FILE_PRINT, &CView::OnFilePrint)
ON_COMMAND(ID_FILE_PRINT_DIRECT, &CView::OnFilePrint)
ON_COMMAND(ID_FILE_PRINT_PREVIEW, &CView::OnFilePrintPreview)
END_MESSAGE_MAP()

CVorskView::~CVorskView() = default;

BOOL CVorskView::PreCreateWindow(CREATESTRUCT& cs) {
  return CView::PreCreateWindow(cs);
}

void CVorskView::OnDraw(CDC*) {}
