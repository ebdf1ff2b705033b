// Documents, and the single-document template that ties a document, its main frame and its view
// together and creates them from their runtime class records.
#pragma once

#include <string>
#include <vector>

#include "framework/cmd_target.h"

class CDocument;
class CFrameWnd;
class CSingleDocTemplate;
class CView;

// What a frame needs to create its view: handed to the frame's creation and on to the view's.
struct CCreateContext {
  const CRuntimeClass* m_pNewViewClass = nullptr;
  CDocument* m_pCurrentDoc = nullptr;
  CFrameWnd* m_pCurrentFrame = nullptr;
};

// What a document is loaded from: the file it opened. No command stores a document.
struct CArchive {
  HANDLE m_hFile;
};

class CDocument : public CCmdTarget {
  DECLARE_DYNAMIC(CDocument)

 public:
  ~CDocument() override;

  virtual BOOL OnNewDocument();
  // Loads the document from a file through Serialize; reports a file that cannot be opened.
  virtual BOOL OnOpenDocument(LPCTSTR lpszPathName);
  virtual void Serialize(CArchive& ar) = 0;

  const std::wstring& GetTitle() const { return m_strTitle; }
  virtual void SetTitle(LPCTSTR lpszTitle);
  const std::wstring& GetPathName() const { return m_strPathName; }
  // The full path, its file name as the title, and the path first on the recent-file list.
  virtual void SetPathName(LPCTSTR lpszPathName);

  void AddView(CView* pView);
  // A document that deletes itself goes when its last view does.
  void RemoveView(CView* pView);
  const std::vector<CView*>& GetViews() const { return m_views; }

  BOOL m_bAutoDelete = TRUE;

 protected:
  CDocument() = default;
  DECLARE_MESSAGE_MAP()

 private:
  friend class CSingleDocTemplate;

  CSingleDocTemplate* m_pDocTemplate = nullptr;
  std::vector<CView*> m_views;
  std::wstring m_strTitle;
  std::wstring m_strPathName;
};

// One document at a time in one main frame: opening another replaces it.
class CSingleDocTemplate {
 public:
  // The fields of the template's string resource, separated by line breaks.
  enum DocStringIndex { windowTitle, docName, fileNewName, filterName, filterExt };

  CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                     const CRuntimeClass* pFrameClass, const CRuntimeClass* pViewClass);
  // Documents still open are left alone: they go with their frames.
  ~CSingleDocTemplate();
  CSingleDocTemplate(const CSingleDocTemplate&) = delete;
  CSingleDocTemplate& operator=(const CSingleDocTemplate&) = delete;

  BOOL GetDocString(std::wstring& rString, DocStringIndex index) const;
  // Opens a document (a new one without a path), creating the document, its frame and its view
  // the first time.
  CDocument* OpenDocumentFile(LPCTSTR lpszPathName, BOOL bMakeVisible = TRUE);

 private:
  friend class CDocument;
  // A new frame, loaded from the template's resource, with a view on the document; null when
  // the frame cannot be created.
  CFrameWnd* CreateNewFrame(CDocument* pDoc);

  UINT m_nIDResource;
  const CRuntimeClass* m_pDocClass;
  const CRuntimeClass* m_pFrameClass;
  const CRuntimeClass* m_pViewClass;
  std::wstring m_strDocStrings;
  CDocument* m_pOnlyDoc = nullptr;
};
