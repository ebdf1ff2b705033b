// The view: draws nothing; its map keeps the framework's print commands on the route.
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

  DECLARE_MESSAGE_MAP()
};
