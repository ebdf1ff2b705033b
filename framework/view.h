// Views: the window that shows a document in its frame, draws it through OnDraw on the screen and
// on the printer, and prints or previews it.
#pragma once

// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include "framework/handles.h"
#include "framework/wnd.h"

class CDocument;
class CFrameWnd;

// One printing job: the printer chosen, the pages and the page being printed.
struct CPrintInfo {
  CPrintInfo();

  void SetMinPage(UINT nMinPage) { m_nMinPage = nMinPage; }
  void SetMaxPage(UINT nMaxPage) { m_nMaxPage = nMaxPage; }
  UINT GetMinPage() const { return m_nMinPage; }
  // 0xFFFF: unknown, the view prints pages for as long as it says it continues.
  UINT GetMaxPage() const { return m_nMaxPage; }

  BOOL m_bDirect = FALSE;   // print on the current printer without asking
  BOOL m_bPreview = FALSE;  // preview on the screen
  BOOL m_bContinuePrinting = TRUE;
  UINT m_nCurPage = 1;
  CRect m_rectDraw;
  // The printer's device context, created by DoPreparePrinting.
  framework::unique_hdc m_printerDC;

 private:
  UINT m_nMinPage = 1;
  UINT m_nMaxPage = 0xFFFF;
};

class CView : public CWnd {
  DECLARE_DYNAMIC(CView)

 public:
  ~CView() override;

  CDocument* GetDocument() const { return m_pDocument; }
  CFrameWnd* GetParentFrame() const;
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;

  virtual void OnInitialUpdate();
  virtual void OnDraw(CDC* pDC) = 0;
  virtual void OnPrepareDC(CDC* pDC, CPrintInfo* pInfo = nullptr);

  // Command handlers, public so that the maps of derived classes can name them. OnFilePrint
  // serves ID_FILE_PRINT (asks for the printer) and ID_FILE_PRINT_DIRECT (does not).
  void OnFilePrint();
  void OnFilePrintPreview();

  // Routes a command to the view, then to its document.
  BOOL OnCmdMsg(UINT nID) override;
  BOOL HasCommandHandler(UINT nID) const override;

 protected:
  CView() = default;

  virtual BOOL OnPreparePrinting(CPrintInfo* pInfo);
  virtual void OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo);
  virtual void OnEndPrinting(CDC* pDC, CPrintInfo* pInfo);
  virtual void OnPrint(CDC* pDC, CPrintInfo* pInfo);
  // The framework's preparation: asks for the printer (or takes the current one when printing
  // directly or previewing) and creates its device context; FALSE when cancelled or none.
  BOOL DoPreparePrinting(CPrintInfo* pInfo);

  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnPaint();
  void PostNcDestroy() override;

  DECLARE_MESSAGE_MAP()

 private:
  friend class CDocument;
  friend class PrintPreviewWindow;
  CDocument* m_pDocument = nullptr;
};
