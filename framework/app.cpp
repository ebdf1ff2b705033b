#include "framework/app.h"

// clang-format off
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <cwchar>

#include "framework/doc.h"
#include "framework/frame.h"
#include "framework/ids.h"
#include "framework/texts.h"
#include "host/win32/system_library.h"

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
ON_COMMAND(ID_APP_EXIT, &CWinApp::OnAppExit)
ON_COMMAND_RANGE(ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE16, &CWinApp::OnOpenRecentFile)
END_MESSAGE_MAP()

namespace {

CWinApp* g_app = nullptr;

// The common dialogs' library, which brings the printing libraries with it, is loaded from the
// system folder when a dialog is first asked for rather than with the program: a run that shows
// none does not pay for it.
HMODULE CommonDialogs() {
  static const HMODULE library = vorsk::win32::LoadSystemLibrary(L"comdlg32.dll");
  return library;
}

}  // namespace

CWinApp* AfxGetApp() {
  return g_app;
}

CWnd* AfxGetMainWnd() {
  return g_app != nullptr ? g_app->m_pMainWnd : nullptr;
}

LPCTSTR AfxGetAppName() {
  return g_app != nullptr && g_app->m_pszAppName != nullptr ? g_app->m_pszAppName : L"";
}

// ---------------------------------------------------------------------------------------------
// Start-up.

namespace framework {

LPWSTR CommandTail(LPWSTR commandLine) {
  LPWSTR tail = commandLine;
  bool quoted = false;
  // The program's name: up to the first blank or control character outside quotes.
  while (*tail != L'\0' && (quoted || *tail > L' ')) {
    if (*tail == L'"') {
      quoted = !quoted;
    }
    ++tail;
  }
  while (*tail != L'\0' && *tail <= L' ') {
    ++tail;
  }
  return tail;
}

void ParseCommandArguments(CCommandLineInfo& rCmdInfo, const std::vector<std::wstring>& arguments) {
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::wstring& argument = arguments[index];
    const bool flag = !argument.empty() && (argument[0] == L'/' || argument[0] == L'-');
    rCmdInfo.ParseParam(argument.c_str() + (flag ? 1 : 0), flag ? TRUE : FALSE,
                        index + 1 == arguments.size() ? TRUE : FALSE);
  }
}

}  // namespace framework

BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE, LPTSTR lpCmdLine, int nCmdShow) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) {
    return FALSE;
  }
  app->m_lpCmdLine = lpCmdLine;
  app->m_nCmdShow = nCmdShow;
  if (app->m_pszAppName == nullptr) {
    app->m_appName = framework::LoadResourceString(AFX_IDS_APP_TITLE);
    if (app->m_appName.empty()) {
      wchar_t module[MAX_PATH] = {};
      ::GetModuleFileNameW(hInstance, module, MAX_PATH);
      std::wstring name = module;
      name = name.substr(name.find_last_of(L"\\/") + 1);
      app->m_appName = name.substr(0, name.rfind(L'.'));
    }
    app->m_pszAppName = app->m_appName.c_str();
  }
  return TRUE;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr || !AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow)) {
    return framework::kExitInitFailed;
  }
  if (!app->InitInstance()) {
    if (app->m_pMainWnd != nullptr) {
      app->m_pMainWnd->DestroyWindow();
    }
    app->ExitInstance();
    return framework::kExitInitFailed;
  }
  return app->Run();
}

// ---------------------------------------------------------------------------------------------
// Command line.

void CCommandLineInfo::ParseParam(const wchar_t* pszParam, BOOL bFlag, BOOL bLast) {
  if (bFlag) {
    if (_wcsicmp(pszParam, L"pt") == 0) {
      m_nShellCommand = FilePrintTo;
    } else if (_wcsicmp(pszParam, L"p") == 0) {
      m_nShellCommand = FilePrint;
    } else if (_wcsicmp(pszParam, L"Unregister") == 0 || _wcsicmp(pszParam, L"Unregserver") == 0) {
      m_nShellCommand = AppUnregister;
    }
  } else if (m_strFileName.empty()) {
    m_strFileName = pszParam;
  }
  if (bLast && m_nShellCommand == FileNew && !m_strFileName.empty()) {
    m_nShellCommand = FileOpen;
  }
}

// ---------------------------------------------------------------------------------------------
// Recent-file list.

CRecentFileList::CRecentFileList(UINT nStart, LPCWSTR lpszSection, int nSize)
    : m_nStart(nStart), m_strSection(lpszSection), m_nSize(nSize) {}

void CRecentFileList::Add(const std::wstring& path) {
  m_arrNames.erase(std::remove_if(m_arrNames.begin(), m_arrNames.end(),
                                  [&](const std::wstring& name) {
                                    return _wcsicmp(name.c_str(), path.c_str()) == 0;
                                  }),
                   m_arrNames.end());
  m_arrNames.insert(m_arrNames.begin(), path);
  if (m_arrNames.size() > static_cast<std::size_t>(m_nSize)) {
    m_arrNames.resize(static_cast<std::size_t>(m_nSize));
  }
}

void CRecentFileList::ReadList() {
  m_arrNames.clear();
  CWinApp* app = AfxGetApp();
  for (int index = 0; index < m_nSize; ++index) {
    const std::wstring name =
        app->GetProfileString(m_strSection.c_str(), (L"File" + std::to_wstring(index + 1)).c_str());
    if (!name.empty()) {
      m_arrNames.push_back(name);
    }
  }
}

void CRecentFileList::WriteList() const {
  CWinApp* app = AfxGetApp();
  for (int index = 0; index < m_nSize; ++index) {
    const std::size_t at = static_cast<std::size_t>(index);
    app->WriteProfileString(m_strSection.c_str(), (L"File" + std::to_wstring(index + 1)).c_str(),
                            at < m_arrNames.size() ? m_arrNames[at].c_str() : nullptr);
  }
}

void CRecentFileList::UpdateMenu(HMENU hMenu) const {
  if (m_arrNames.empty()) {
    return;
  }
  // The position of the list's first command: the place holder, or the list shown before.
  int position = -1;
  const int count = ::GetMenuItemCount(hMenu);
  for (int index = 0; index < count; ++index) {
    if (::GetMenuItemID(hMenu, index) == m_nStart) {
      position = index;
      break;
    }
  }
  if (position < 0) {
    return;
  }
  for (int index = 0; index < m_nSize; ++index) {
    ::DeleteMenu(hMenu, m_nStart + static_cast<UINT>(index), MF_BYCOMMAND);
  }
  for (std::size_t index = 0; index < m_arrNames.size(); ++index) {
    const std::wstring item = L"&" + std::to_wstring(index + 1) + L" " + m_arrNames[index];
    ::InsertMenuW(hMenu, static_cast<UINT>(position) + static_cast<UINT>(index),
                  MF_BYPOSITION | MF_STRING, m_nStart + static_cast<UINT>(index), item.c_str());
  }
}

// ---------------------------------------------------------------------------------------------
// Application.

CWinApp::CWinApp(LPCTSTR lpszAppName) {
  if (lpszAppName != nullptr) {
    m_appName = lpszAppName;
    m_pszAppName = m_appName.c_str();
  }
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) {
    g_app = nullptr;
  }
}

BOOL CWinApp::InitInstance() {
  return TRUE;
}

int CWinApp::Run() {
  if (m_pMainWnd == nullptr) {
    return ExitInstance();
  }
  MSG message = {};
  for (;;) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) {
      // The queue cannot be read: end, as after a quit message with a failure.
      m_quitCode = static_cast<WPARAM>(-1);
      break;
    }
    if (got == 0) {
      m_quitCode = message.wParam;
      break;
    }
    if (!PreTranslateMessage(&message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return ExitInstance();
}

int CWinApp::ExitInstance() {
  SaveStdProfileSettings();
  return static_cast<int>(m_quitCode);
}

BOOL CWinApp::PreTranslateMessage(MSG* pMsg) {
  auto* frame = static_cast<CFrameWnd*>(m_pMainWnd);
  if (frame == nullptr || !frame->IsKindOf(RUNTIME_CLASS(CFrameWnd)) ||
      frame->GetAcceleratorTable() == nullptr) {
    return FALSE;
  }
  if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST) {
    return FALSE;
  }
  return ::TranslateAcceleratorW(frame->m_hWnd, frame->GetAcceleratorTable(), pMsg) != 0;
}

void CWinApp::AddDocTemplate(std::unique_ptr<CSingleDocTemplate> pTemplate) {
  m_pDocTemplate = std::move(pTemplate);
}

CDocument* CWinApp::OpenDocumentFile(LPCTSTR lpszFileName) {
  return m_pDocTemplate != nullptr ? m_pDocTemplate->OpenDocumentFile(lpszFileName) : nullptr;
}

void CWinApp::AddToRecentFileList(LPCTSTR lpszPathName) {
  if (m_pRecentFileList != nullptr && lpszPathName != nullptr && *lpszPathName != L'\0') {
    m_pRecentFileList->Add(lpszPathName);
  }
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo) {
  // The command line that the application was started with, after the program's name: the
  // platform parses it behind a stand-in name, whose own parsing rules differ.
  const std::wstring line =
      std::wstring(L"program ") + (m_lpCmdLine != nullptr ? m_lpCmdLine : L"");
  int count = 0;
  framework::unique_hlocal arguments(::CommandLineToArgvW(line.c_str(), &count));
  std::vector<std::wstring> parameters;
  auto* argv = static_cast<LPWSTR*>(arguments.get());
  for (int index = 1; argv != nullptr && index < count; ++index) {
    parameters.emplace_back(argv[index]);
  }
  framework::ParseCommandArguments(rCmdInfo, parameters);
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& rCmdInfo) {
  switch (rCmdInfo.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
      // Through the command route, so that the application's own map decides.
      if (!OnCmdMsg(ID_FILE_NEW)) {
        OnFileNew();
      }
      return m_pMainWnd != nullptr ? TRUE : FALSE;
    case CCommandLineInfo::FileOpen:
    case CCommandLineInfo::FilePrint:
    case CCommandLineInfo::FilePrintTo:
      return OpenDocumentFile(rCmdInfo.m_strFileName.c_str()) != nullptr && m_pMainWnd != nullptr
                 ? TRUE
                 : FALSE;
    case CCommandLineInfo::AppUnregister:
      break;
  }
  return FALSE;
}

void CWinApp::OnFileNew() {
  OpenDocumentFile(nullptr);
}

void CWinApp::OnFileOpen() {
  CSingleDocTemplate* docTemplate = m_pDocTemplate.get();
  // Filters: the document's own, when its template names one, then all files; each a name and a
  // pattern, the list ending with an empty name.
  std::wstring filter;
  std::wstring filterName;
  std::wstring filterExt;
  if (docTemplate != nullptr &&
      docTemplate->GetDocString(filterName, CSingleDocTemplate::filterName) &&
      docTemplate->GetDocString(filterExt, CSingleDocTemplate::filterExt) && !filterName.empty() &&
      !filterExt.empty()) {
    filter += filterName + L'\0' + L'*' + filterExt + L'\0';
  }
  filter += std::wstring(framework::texts::kAllFilesFilter) + L'\0' + L"*.*" + L'\0' + L'\0';

  wchar_t path[MAX_PATH] = {};
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = AfxGetMainWnd() != nullptr ? AfxGetMainWnd()->m_hWnd : nullptr;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrTitle = framework::texts::kOpenTitle;
  dialog.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER;
  const auto getOpenFileName =
      vorsk::win32::FindCall<decltype(&::GetOpenFileNameW)>(CommonDialogs(), "GetOpenFileNameW");
  if (getOpenFileName != nullptr && getOpenFileName(&dialog)) {
    OpenDocumentFile(path);
  }
}

void CWinApp::OnAppExit() {
  if (m_pMainWnd != nullptr) {
    m_pMainWnd->SendMessage(WM_CLOSE);
  }
}

void CWinApp::OnOpenRecentFile(UINT nID) {
  if (m_pRecentFileList == nullptr) {
    return;
  }
  const std::size_t index = nID - ID_FILE_MRU_FILE1;
  const std::vector<std::wstring>& names = m_pRecentFileList->Names();
  if (index < names.size()) {
    const std::wstring path = names[index];
    OpenDocumentFile(path.c_str());
  }
}

// ---------------------------------------------------------------------------------------------
// Per-user settings.

void CWinApp::SetRegistryKey(LPCTSTR lpszRegistryKey) {
  m_registryKey = lpszRegistryKey;
}

void CWinApp::LoadStdProfileSettings(UINT nMaxMRU) {
  if (nMaxMRU == 0) {
    return;
  }
  m_pRecentFileList = std::make_unique<CRecentFileList>(ID_FILE_MRU_FILE1, L"Recent File List",
                                                        static_cast<int>(nMaxMRU));
  m_pRecentFileList->ReadList();
}

void CWinApp::SaveStdProfileSettings() {
  if (m_pRecentFileList != nullptr) {
    m_pRecentFileList->WriteList();
  }
}

framework::unique_hkey CWinApp::OpenSectionKey(LPCTSTR lpszSection) {
  framework::unique_hkey section;
  if (m_registryKey.empty()) {
    return section;
  }
  // Opening creates the keys on the way, as the settings are first read. The settings' own key
  // is named after the application.
  const std::wstring path =
      L"Software\\" + m_registryKey + L"\\" + AfxGetAppName() + L"\\" + lpszSection;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                    KEY_READ | KEY_WRITE, nullptr, section.put(), nullptr);
  return section;
}

std::wstring CWinApp::GetProfileString(LPCTSTR lpszSection, LPCTSTR lpszEntry,
                                       LPCTSTR lpszDefault) {
  const std::wstring fallback = lpszDefault != nullptr ? lpszDefault : L"";
  framework::unique_hkey section = OpenSectionKey(lpszSection);
  DWORD type = 0;
  DWORD size = 0;
  if (!section ||
      ::RegQueryValueExW(section.get(), lpszEntry, nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return fallback;
  }
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  DWORD read = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(section.get(), lpszEntry, nullptr, &type,
                         reinterpret_cast<BYTE*>(value.data()), &read) != ERROR_SUCCESS) {
    return fallback;
  }
  // The terminator is the reader's to add, never trusted from the data.
  value.resize(std::min<std::size_t>(read / sizeof(wchar_t), value.size()));
  value.resize(std::wcslen(value.c_str()));
  return value;
}

BOOL CWinApp::WriteProfileString(LPCTSTR lpszSection, LPCTSTR lpszEntry, LPCTSTR lpszValue) {
  framework::unique_hkey section = OpenSectionKey(lpszSection);
  if (!section) {
    return FALSE;
  }
  if (lpszValue == nullptr) {
    const LONG status = ::RegDeleteValueW(section.get(), lpszEntry);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? TRUE : FALSE;
  }
  const DWORD bytes = static_cast<DWORD>((std::wcslen(lpszValue) + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(section.get(), lpszEntry, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(lpszValue), bytes) == ERROR_SUCCESS
             ? TRUE
             : FALSE;
}
