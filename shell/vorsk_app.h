// The application object: starts the single-document application whose main frame hands control
// to the removal run.
#pragma once

#include "framework/framework.h"
#include "shell/removal_runner.h"

class CVorskApp : public CWinApp {
 public:
  // `removal` is what the main frame hands control to; it outlives the application.
  explicit CVorskApp(RemovalRunner& removal) : m_removal(removal) {}
  ~CVorskApp() override;

  BOOL InitInstance() override;

  RemovalRunner& Removal() const { return m_removal; }
  // What the command line asked of the removal.
  const RemovalRequest& Request() const { return m_request; }

 protected:
  afx_msg void OnShowAbout();

  DECLARE_MESSAGE_MAP()

 private:
  RemovalRunner& m_removal;
  RemovalRequest m_request;
};

// The one application object, defined by each program's root with its removal runner.
extern CVorskApp theApp;
