// Documents and the single-document template that ties a document, its main frame and its view
// together and creates them from their runtime class records.
#pragma once

#include <string>
#include <vector>

#include "framework/cmd_target.h"

class CDocTemplate;
class CDocument;
class CFrameWnd;
class CView;

// What a frame needs to create its view: handed to the frame's creation and on to the view's.
struct CCreateContext {
  const CRuntimeClass* m_pNewViewClass = nullptr;
  CDocument* m_pCurrentDoc = nullptr;
  CDocTemplate* m_pNewDocTemplate = nullptr;
  CFrameWnd* m_pCurrentFrame = nullptr;
};

class CDocument : public CCmdTarget {
  DECLARE_DYNAMIC(CDocument)

 public:
  ~CDocument() override;

  virtual BOOL OnNewDocument();
  // Loads the document from a file through Serialize; reports a file that cannot be opened.
  virtual BOOL OnOpenDocument(LPCTSTR lpszPathName);
  virtual void DeleteContents();
  // Destroys the frames that show the document, then the document when it deletes itself.
  virtual void OnCloseDocument();

  const std::wstring& GetTitle() const { return m_strTitle; }
  virtual void SetTitle(LPCTSTR lpszTitle);
  const std::wstring& GetPathName() const { return m_strPathName; }
  virtual void SetPathName(LPCTSTR lpszPathName, BOOL bAddToMRU = TRUE);
  CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }

  void AddView(CView* pView);
  // A document that deletes itself goes when its last view does.
  void RemoveView(CView* pView);
  const std::vector<CView*>& GetViews() const { return m_views; }

  BOOL m_bAutoDelete = TRUE;

 protected:
  CDocument() = default;
  DECLARE_MESSAGE_MAP()

 private:
  friend class CDocTemplate;
  friend class CSingleDocTemplate;
  void UpdateFrameTitles();

  CDocTemplate* m_pDocTemplate = nullptr;
  std::vector<CView*> m_views;
  std::wstring m_strTitle;
  std::wstring m_strPathName;
  bool m_bClosing = false;
};

class CDocTemplate : public CCmdTarget {
  DECLARE_DYNAMIC(CDocTemplate)

 public:
  // The fields of the template's string resource, separated by line breaks.
  enum DocStringIndex {
    windowTitle,
    docName,
    fileNewName,
    filterName,
    filterExt,
    regFileTypeId,
    regFileTypeName
  };

  ~CDocTemplate() override;

  BOOL GetDocString(std::wstring& rString, DocStringIndex index) const;
  // Opens a document (a new one without a path), creating its frame and view as needed.
  virtual CDocument* OpenDocumentFile(LPCTSTR lpszPathName, BOOL bMakeVisible = TRUE) = 0;
  virtual void AddDocument(CDocument* pDoc);
  virtual void RemoveDocument(CDocument* pDoc);

  CDocument* CreateNewDocument();
  // A new frame, loaded from the template's resource, with a view on the document; null when
  // the frame cannot be created.
  CFrameWnd* CreateNewFrame(CDocument* pDoc);
  void InitialUpdateFrame(CFrameWnd* pFrame, CDocument* pDoc, BOOL bMakeVisible = TRUE);
  void SetDefaultTitle(CDocument* pDocument);

  UINT GetResourceID() const { return m_nIDResource; }

 protected:
  CDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass, const CRuntimeClass* pFrameClass,
               const CRuntimeClass* pViewClass);

  UINT m_nIDResource;
  const CRuntimeClass* m_pDocClass;
  const CRuntimeClass* m_pFrameClass;
  const CRuntimeClass* m_pViewClass;
  std::wstring m_strDocStrings;
};

// One document at a time in one main frame: opening another replaces it.
class CSingleDocTemplate : public CDocTemplate {
 public:
  CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                     const CRuntimeClass* pFrameClass, const CRuntimeClass* pViewClass);

  CDocument* OpenDocumentFile(LPCTSTR lpszPathName, BOOL bMakeVisible = TRUE) override;
  void AddDocument(CDocument* pDoc) override;
  void RemoveDocument(CDocument* pDoc) override;

 private:
  CDocument* m_pOnlyDoc = nullptr;
};
