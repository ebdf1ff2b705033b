// The application object: starts the single-document application whose main frame hands control
// to the removal run.
#pragma once

#include "framework/framework.h"

class CVorskApp : public CWinApp {
 public:
  CVorskApp() = default;
  ~CVorskApp() override;

  BOOL InitInstance() override;

 protected:
  afx_msg void OnShowAbout();

  DECLARE_MESSAGE_MAP()
};

extern CVorskApp theApp;
