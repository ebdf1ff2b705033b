#include "shell/vorsk_app.h"

#include <cstdio>
#include <memory>

#include "report/messages.h"
#include "res/resource.h"
#include "shell/about_box.h"
#include "shell/console.h"
#include "shell/main_frame.h"
#include "shell/startup_times.h"
#include "shell/vorsk_command_line.h"
#include "shell/vorsk_doc.h"
#include "shell/vorsk_view.h"

BEGIN_MESSAGE_MAP(CVorskApp, CWinApp)
ON_COMMAND(ID_APP_ABOUT, &CVorskApp::OnShowAbout)
ON_COMMAND(ID_FILE_NEW, &CWinApp::OnFileNew)
ON_COMMAND(ID_FILE_OPEN, &CWinApp::OnFileOpen)
ON_COMMAND(ID_FILE_PRINT_SETUP, &CWinApp::OnFilePrintSetup)
END_MESSAGE_MAP()

CVorskApp::~CVorskApp() = default;

BOOL CVorskApp::InitInstance() {
  vorsk::MarkStartupPhase("loaded");
  SetRegistryKey(L"Local AppWizard-Generated Applications");
  LoadStdProfileSettings(4);
  vorsk::MarkStartupPhase("settings");

  AddDocTemplate(std::make_unique<CSingleDocTemplate>(IDR_MAINFRAME, RUNTIME_CLASS(CVorskDoc),
                                                      RUNTIME_CLASS(CMainFrame),
                                                      RUNTIME_CLASS(CVorskView)));
  vorsk::MarkStartupPhase("template");

  // Creating the first document creates the main frame, whose creation runs the removal and
  // ends the process: in practice this does not return. A command line that asks for the usage
  // runs nothing.
  CVorskCommandLineInfo cmdInfo;
  ParseCommandLine(cmdInfo);
  if (cmdInfo.WantsConsole()) {
    vorsk::UseParentConsoleForUnredirectedOutput();
  }
  if (const std::string conflict = cmdInfo.Conflict(); !conflict.empty()) {
    std::fputs(conflict.c_str(), stderr);
    std::fflush(stderr);
    return FALSE;
  }
  if (cmdInfo.m_showUsage) {
    std::fwrite(vorsk::kUsage.data(), 1, vorsk::kUsage.size(), stdout);
    std::fflush(stdout);
    return FALSE;
  }
  m_request = cmdInfo.m_request;
  vorsk::MarkStartupPhase("command-line");
  if (!ProcessShellCommand(cmdInfo)) {
    return FALSE;
  }

  m_pMainWnd->ShowWindow(SW_SHOW);
  m_pMainWnd->UpdateWindow();
  return TRUE;
}

void CVorskApp::OnShowAbout() {
  CAboutBox aboutBox(m_pMainWnd);
  aboutBox.DoModal();
}
