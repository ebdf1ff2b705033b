// The main frame: builds its toolbar and status bar and then hands control to the removal run.
#pragma once

#include "framework/framework.h"

class CMainFrame : public CFrameWnd {
  DECLARE_DYNCREATE(CMainFrame)

 public:
  ~CMainFrame() override;
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;

 protected:
  CMainFrame() = default;

  // Any failure returns -1: the frame is not created and the removal does not run.
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);

  DECLARE_MESSAGE_MAP()

  // Constructed in this order with the frame; their windows are created in OnCreate, the toolbar
  // first.
  CStatusBar m_wndStatusBar;
  CToolBar m_wndToolBar;
};
