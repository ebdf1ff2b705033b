// The about box: dialog IDD_ABOUTBOX, with the program's icon, name and version.
#pragma once

#include "framework/framework.h"
#include "res/resource.h"

class CAboutBox : public CDialog {
 public:
  enum { IDD = IDD_ABOUTBOX };

  CAboutBox() : CDialog(IDD) {}
  ~CAboutBox() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

  DECLARE_MESSAGE_MAP()
};
