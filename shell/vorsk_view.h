// The view: draws nothing, and prints through the framework's standard commands.
#pragma once

#include "framework/framework.h"

class CVorskView : public CView {
  DECLARE_DYNCREATE(CVorskView)

 public:
  ~CVorskView() override;
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  void OnDraw(CDC* pDC) override;

 protected:
  CVorskView() = default;

  BOOL OnPreparePrinting(CPrintInfo* pInfo) override;
  void OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo) override;
  void OnEndPrinting(CDC* pDC, CPrintInfo* pInfo) override;

  DECLARE_MESSAGE_MAP()
};
