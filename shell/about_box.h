// The about box: dialog IDD_ABOUTBOX, with the program's icon, name and version.
#pragma once

#include "framework/framework.h"
#include "res/resource.h"

class CAboutBox : public CDialog {
 public:
  enum { IDD = IDD_ABOUTBOX };

  // Owned by the main window.
  explicit CAboutBox(CWnd* pParentWnd) : CDialog(IDD, pParentWnd) {}
  ~CAboutBox() override;

 protected:
  DECLARE_MESSAGE_MAP()
};
