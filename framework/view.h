// Views: the window that shows a document in its frame and draws it through OnDraw.
#pragma once

#include "framework/wnd.h"

class CDocument;
class CFrameWnd;

class CView : public CWnd {
  DECLARE_DYNAMIC(CView)

 public:
  ~CView() override;

  CDocument* GetDocument() const { return m_pDocument; }
  // The frame that created the view.
  CFrameWnd* GetParentFrame() const { return m_pFrame; }
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;

  virtual void OnInitialUpdate();
  virtual void OnDraw(CDC* pDC) = 0;

  // The program never gets past its frame's creation, so nothing is ever printed or previewed:
  // these handlers only keep ID_FILE_PRINT, ID_FILE_PRINT_DIRECT and ID_FILE_PRINT_PREVIEW on the
  // route that the maps name (the menu shows them enabled), and do nothing.
  void OnFilePrint() {}
  void OnFilePrintPreview() {}

  // Routes a command to the view, then to its document.
  BOOL OnCmdMsg(UINT nID) override;
  BOOL HasCommandHandler(UINT nID) const override;

 protected:
  CView() = default;

  // Joins the document and the frame that the creation context names.
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnPaint();
  void PostNcDestroy() override;

  DECLARE_MESSAGE_MAP()

 private:
  friend class CDocument;
  CDocument* m_pDocument = nullptr;
  CFrameWnd* m_pFrame = nullptr;
};
