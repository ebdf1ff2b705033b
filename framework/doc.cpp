#include "framework/doc.h"

#include <algorithm>

#include "framework/app.h"
#include "framework/frame.h"
#include "framework/ids.h"
#include "framework/texts.h"
#include "framework/view.h"

IMPLEMENT_DYNAMIC(CDocument, CCmdTarget)
IMPLEMENT_DYNAMIC(CDocTemplate, CCmdTarget)

BEGIN_MESSAGE_MAP(CDocument, CCmdTarget)
END_MESSAGE_MAP()

// ---------------------------------------------------------------------------------------------
// Document.

CDocument::~CDocument() {
  for (CView* view : m_views) {
    view->m_pDocument = nullptr;
  }
  if (m_pDocTemplate != nullptr) {
    m_pDocTemplate->RemoveDocument(this);
  }
}

BOOL CDocument::OnNewDocument() {
  DeleteContents();
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
  DeleteContents();
  CArchive archive(file.get(), CArchive::load);
  Serialize(archive);
  return TRUE;
}

void CDocument::DeleteContents() {}

void CDocument::OnCloseDocument() {
  m_bClosing = true;
  // Destroying a frame destroys its views, which leave the list.
  while (!m_views.empty()) {
    CFrameWnd* frame = m_views.front()->GetParentFrame();
    if (frame == nullptr || !frame->DestroyWindow()) {
      break;
    }
  }
  DeleteContents();
  if (m_bAutoDelete) {
    delete this;
  } else {
    m_bClosing = false;
  }
}

void CDocument::SetTitle(LPCTSTR lpszTitle) {
  m_strTitle = lpszTitle;
  UpdateFrameTitles();
}

void CDocument::SetPathName(LPCTSTR lpszPathName, BOOL bAddToMRU) {
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
  if (bAddToMRU && AfxGetApp() != nullptr) {
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
  if (m_views.empty() && m_bAutoDelete && !m_bClosing) {
    OnCloseDocument();
  }
}

void CDocument::UpdateFrameTitles() {
  for (CView* view : m_views) {
    if (CFrameWnd* frame = view->GetParentFrame()) {
      frame->OnUpdateFrameTitle(TRUE);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Templates.

CDocTemplate::CDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                           const CRuntimeClass* pFrameClass, const CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource),
      m_pDocClass(pDocClass),
      m_pFrameClass(pFrameClass),
      m_pViewClass(pViewClass),
      m_strDocStrings(framework::LoadResourceString(nIDResource)) {}

// Documents still open are left alone: they go with their frames.
CDocTemplate::~CDocTemplate() = default;

BOOL CDocTemplate::GetDocString(std::wstring& rString, DocStringIndex index) const {
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

void CDocTemplate::AddDocument(CDocument* pDoc) {
  pDoc->m_pDocTemplate = this;
}

void CDocTemplate::RemoveDocument(CDocument* pDoc) {
  pDoc->m_pDocTemplate = nullptr;
}

CDocument* CDocTemplate::CreateNewDocument() {
  CObject* object = m_pDocClass != nullptr ? m_pDocClass->CreateObject() : nullptr;
  if (object == nullptr || !object->IsKindOf(RUNTIME_CLASS(CDocument))) {
    delete object;
    return nullptr;
  }
  auto* document = static_cast<CDocument*>(object);
  AddDocument(document);
  return document;
}

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* pDoc) {
  CCreateContext context;
  context.m_pCurrentDoc = pDoc;
  context.m_pNewViewClass = m_pViewClass;
  context.m_pNewDocTemplate = this;

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

void CDocTemplate::InitialUpdateFrame(CFrameWnd* pFrame, CDocument* pDoc, BOOL bMakeVisible) {
  pFrame->InitialUpdateFrame(pDoc, bMakeVisible);
}

void CDocTemplate::SetDefaultTitle(CDocument* pDocument) {
  std::wstring title;
  if (!GetDocString(title, docName) || title.empty()) {
    title = framework::texts::kUntitled;
  }
  pDocument->SetTitle(title.c_str());
}

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                                       const CRuntimeClass* pFrameClass,
                                       const CRuntimeClass* pViewClass)
    : CDocTemplate(nIDResource, pDocClass, pFrameClass, pViewClass) {}

void CSingleDocTemplate::AddDocument(CDocument* pDoc) {
  CDocTemplate::AddDocument(pDoc);
  m_pOnlyDoc = pDoc;
}

void CSingleDocTemplate::RemoveDocument(CDocument* pDoc) {
  CDocTemplate::RemoveDocument(pDoc);
  if (m_pOnlyDoc == pDoc) {
    m_pOnlyDoc = nullptr;
  }
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
    document = CreateNewDocument();
    if (document == nullptr) {
      return nullptr;
    }
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
    SetDefaultTitle(document);
    if (!document->OnNewDocument()) {
      if (created) {
        frame->DestroyWindow();
      }
      return nullptr;
    }
  } else {
    if (!document->OnOpenDocument(lpszPathName)) {
      if (created) {
        frame->DestroyWindow();
      }
      return nullptr;
    }
    document->SetPathName(lpszPathName);
  }

  CWinApp* app = AfxGetApp();
  if (created && app != nullptr && app->m_pMainWnd == nullptr) {
    app->m_pMainWnd = frame;
  }
  if (frame != nullptr) {
    InitialUpdateFrame(frame, document, bMakeVisible);
  }
  return document;
}
