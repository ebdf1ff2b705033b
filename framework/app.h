// The application object and the program's start: the command line, the per-user settings with
// the recent-file list, the document template and the message loop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "framework/wnd.h"

class CDocument;
class CSingleDocTemplate;

// What the command line asks for. No argument: a new document; a file name: open it. The print
// switches (/p, /pt) open the file as without them; /Unregister and /Unregserver ask for no
// document at all; any other switch is ignored.
class CCommandLineInfo {
 public:
  enum { FileNew, FileOpen, FilePrint, FilePrintTo, AppUnregister } m_nShellCommand = FileNew;

  virtual ~CCommandLineInfo() = default;
  // One parameter, a switch without its leading slash or dash when bFlag is set; bLast marks the
  // command line's last parameter.
  virtual void ParseParam(const wchar_t* pszParam, BOOL bFlag, BOOL bLast);

  std::wstring m_strFileName;
};

// The recent-file list: the most recently opened documents first, kept in the application's
// per-user settings, entries File1..FileN of its section.
class CRecentFileList {
 public:
  CRecentFileList(UINT nStart, LPCWSTR lpszSection, int nSize);

  int GetSize() const { return m_nSize; }
  const std::vector<std::wstring>& Names() const { return m_arrNames; }
  // Puts a path first, removing an earlier entry for it and the oldest beyond the list's size.
  void Add(const std::wstring& path);
  void ReadList();
  void WriteList() const;
  // Lists the entries on the menu that holds the list's first command, in place of that command's
  // item; an empty list leaves the menu as it is.
  void UpdateMenu(HMENU hMenu) const;

 private:
  UINT m_nStart;
  std::wstring m_strSection;
  int m_nSize;
  std::vector<std::wstring> m_arrNames;
};

class CWinApp : public CCmdTarget {
  DECLARE_DYNAMIC(CWinApp)

 public:
  // The one application object. Without a name, the name is string AFX_IDS_APP_TITLE.
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();
  // The message loop; returns the process's exit status.
  virtual int Run();
  virtual int ExitInstance();
  virtual BOOL PreTranslateMessage(MSG* pMsg);

  void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> pTemplate);
  virtual CDocument* OpenDocumentFile(LPCTSTR lpszFileName);
  virtual void AddToRecentFileList(LPCTSTR lpszPathName);

  // Parses the command line the application was started with (m_lpCmdLine) into rCmdInfo.
  void ParseCommandLine(CCommandLineInfo& rCmdInfo);
  // Carries out the command line; returns FALSE when the application should end at once.
  BOOL ProcessShellCommand(CCommandLineInfo& rCmdInfo);

  // Per-user settings below HKEY_CURRENT_USER\Software\<registry key>\<application name>.
  std::wstring GetProfileString(LPCTSTR lpszSection, LPCTSTR lpszEntry,
                                LPCTSTR lpszDefault = nullptr);
  BOOL WriteProfileString(LPCTSTR lpszSection, LPCTSTR lpszEntry, LPCTSTR lpszValue);

  // Command handlers, public so that the maps of derived classes can name them.
  void OnFileNew();
  void OnFileOpen();
  // The program never gets past its frame's creation, so nothing is ever printed: this handler
  // only keeps ID_FILE_PRINT_SETUP on the route that the maps name, and does nothing.
  void OnFilePrintSetup() {}
  void OnAppExit();
  void OnOpenRecentFile(UINT nID);

  LPCTSTR m_pszAppName = nullptr;
  LPTSTR m_lpCmdLine = nullptr;
  int m_nCmdShow = SW_SHOWDEFAULT;
  CWnd* m_pMainWnd = nullptr;
  std::unique_ptr<CRecentFileList> m_pRecentFileList;

 protected:
  // Keeps the per-user settings in the registry, below this key.
  void SetRegistryKey(LPCTSTR lpszRegistryKey);
  // Reads the recent-file list of nMaxMRU entries from the settings.
  void LoadStdProfileSettings(UINT nMaxMRU = 4);
  void SaveStdProfileSettings();

  DECLARE_MESSAGE_MAP()

 private:
  friend BOOL AfxWinInit(HINSTANCE, HINSTANCE, LPTSTR, int);
  framework::unique_hkey OpenSectionKey(LPCTSTR lpszSection);

  std::wstring m_appName;
  std::wstring m_registryKey;
  std::unique_ptr<CSingleDocTemplate> m_pDocTemplate;
  WPARAM m_quitCode = 0;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
LPCTSTR AfxGetAppName();

// Sets up the application object for this command line and show command, and names it from
// string AFX_IDS_APP_TITLE when it was constructed without a name.
BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);
// Runs the application: initialises it, runs its message loop, and returns the exit status.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);

namespace framework {

// The exit status of an application whose InitInstance failed (no main window, or a command
// line that asks for none).
inline constexpr int kExitInitFailed = 1;

// The command line after the program's name, quoted or not, and after every character from 1 to
// 32 (blanks and control characters) that follows it.
LPWSTR CommandTail(LPWSTR commandLine);

// Parses the command line's parameters (the program's name excluded) into rCmdInfo.
void ParseCommandArguments(CCommandLineInfo& rCmdInfo, const std::vector<std::wstring>& arguments);

}  // namespace framework
