#include "framework/doc.h"

#include <algorithm>

#include "framework/app.h"
#include "framework/frame.h"
#include "framework/texts.h"
#include "framework/view.h"

IMPLEMENT_DYNAMIC(CDocument, CCmdTarget)

BEGIN_MESSAGE_MAP(CDocument, CCmdTarget)
END_MESSAGE_MAP()

// ---------------------------------------------------------------------------------------------
// Document.

CDocument::~CDocument() {
  for (CView* view : m_views) {
    view->m_pDocument = nullptr;
  }
  if (m_pDocTemplate != nullptr && m_pDocTemplate->m_pOnlyDoc == this) {
    m_pDocTemplate->m_pOnlyDoc = nullptr;
  }
}

BOOL CDocument::OnNewDocument() {
  m_strPathName.clear();
  return TRUE;
}

BOOL CDocument::OnOpenDocument(LPCTSTR lpszPathName) {
  framework::unique_hfile file(::CreateFileW(lpszPathName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const std::wstring message = std::wstring(framework::texts::kCannotOpenDocument) + lpszPathName;
    CWnd* main = AfxGetMainWnd();
    ::MessageBoxW(main != nullptr ? main->m_hWnd : nullptr, message.c_str(), AfxGetAppName(),
                  MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  CArchive archive{file.get()};
  Serialize(archive);
  return TRUE;
}

void CDocument::SetTitle(LPCTSTR lpszTitle) {
  m_strTitle = lpszTitle;
  for (CView* view : m_views) {
    if (CFrameWnd* frame = view->GetParentFrame()) {
      frame->OnUpdateFrameTitle(TRUE);
    }
  }
}

void CDocument::SetPathName(LPCTSTR lpszPathName) {
  wchar_t full[MAX_PATH] = {};
  LPWSTR name = nullptr;
  if (::GetFullPathNameW(lpszPathName, MAX_PATH, full, &name) == 0) {
    m_strPathName = lpszPathName;
  } else {
    m_strPathName = full;
  }
  const std::size_t separator = m_strPathName.find_last_of(L"\\/");
  SetTitle(separator == std::wstring::npos ? m_strPathName.c_str()
                                           : m_strPathName.c_str() + separator + 1);
  if (AfxGetApp() != nullptr) {
    AfxGetApp()->AddToRecentFileList(m_strPathName.c_str());
  }
}

void CDocument::AddView(CView* pView) {
  m_views.push_back(pView);
  pView->m_pDocument = this;
}

void CDocument::RemoveView(CView* pView) {
  m_views.erase(std::remove(m_views.begin(), m_views.end(), pView), m_views.end());
  pView->m_pDocument = nullptr;
  if (m_views.empty() && m_bAutoDelete) {
    delete this;
  }
}

// ---------------------------------------------------------------------------------------------
// Template.

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                                       const CRuntimeClass* pFrameClass,
                                       const CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource),
      m_pDocClass(pDocClass),
      m_pFrameClass(pFrameClass),
      m_pViewClass(pViewClass),
      m_strDocStrings(framework::LoadResourceString(nIDResource)) {}

CSingleDocTemplate::~CSingleDocTemplate() {
  if (m_pOnlyDoc != nullptr) {
    m_pOnlyDoc->m_pDocTemplate = nullptr;
  }
}

BOOL CSingleDocTemplate::GetDocString(std::wstring& rString, DocStringIndex index) const {
  std::size_t start = 0;
  for (int field = 0; field < index; ++field) {
    start = m_strDocStrings.find(L'\n', start);
    if (start == std::wstring::npos) {
      rString.clear();
      return FALSE;
    }
    ++start;
  }
  const std::size_t end = m_strDocStrings.find(L'\n', start);
  rString = m_strDocStrings.substr(start, end == std::wstring::npos ? end : end - start);
  return TRUE;
}

CFrameWnd* CSingleDocTemplate::CreateNewFrame(CDocument* pDoc) {
  CCreateContext context;
  context.m_pCurrentDoc = pDoc;
  context.m_pNewViewClass = m_pViewClass;

  CObject* object = m_pFrameClass != nullptr ? m_pFrameClass->CreateObject() : nullptr;
  if (object == nullptr || !object->IsKindOf(RUNTIME_CLASS(CFrameWnd))) {
    delete object;
    return nullptr;
  }
  auto* frame = static_cast<CFrameWnd*>(object);
  // A frame that fails to load has been destroyed, and has deleted itself, on the way.
  if (!frame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, &context)) {
    return nullptr;
  }
  return frame;
}

CDocument* CSingleDocTemplate::OpenDocumentFile(LPCTSTR lpszPathName, BOOL bMakeVisible) {
  CDocument* document = m_pOnlyDoc;
  CFrameWnd* frame = nullptr;
  bool created = false;
  if (document != nullptr) {
    // The one document is reused in its frame.
    if (!document->GetViews().empty()) {
      frame = document->GetViews().front()->GetParentFrame();
    }
  } else {
    CObject* object = m_pDocClass != nullptr ? m_pDocClass->CreateObject() : nullptr;
    if (object == nullptr || !object->IsKindOf(RUNTIME_CLASS(CDocument))) {
      delete object;
      return nullptr;
    }
    document = static_cast<CDocument*>(object);
    document->m_pDocTemplate = this;
    m_pOnlyDoc = document;
    created = true;
    // The frame's creation may fail and take its views with it: the document must not delete
    // itself then, it is deleted here.
    const BOOL autoDelete = document->m_bAutoDelete;
    document->m_bAutoDelete = FALSE;
    frame = CreateNewFrame(document);
    document->m_bAutoDelete = autoDelete;
    if (frame == nullptr) {
      delete document;
      return nullptr;
    }
  }

  if (lpszPathName == nullptr) {
    std::wstring title;
    if (!GetDocString(title, docName) || title.empty()) {
      title = framework::texts::kUntitled;
    }
    document->SetTitle(title.c_str());
  }
  if (lpszPathName == nullptr ? !document->OnNewDocument()
                              : !document->OnOpenDocument(lpszPathName)) {
    if (created) {
      frame->DestroyWindow();
    }
    return nullptr;
  }
  if (lpszPathName != nullptr) {
    document->SetPathName(lpszPathName);
  }

  CWinApp* app = AfxGetApp();
  if (created && app != nullptr && app->m_pMainWnd == nullptr) {
    app->m_pMainWnd = frame;
  }
  if (frame != nullptr) {
    frame->InitialUpdateFrame(bMakeVisible);
  }
  return document;
}
