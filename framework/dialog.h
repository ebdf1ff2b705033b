// Modal dialogs from a dialog resource, ended with their OK or Cancel button.
#pragma once

#include "framework/wnd.h"

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)

 public:
  // Owned by pParentWnd, which may be null.
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

  // Runs the dialog modally; returns the value EndDialog was given, or -1 when the dialog could
  // not be created.
  virtual INT_PTR DoModal();
  virtual BOOL OnInitDialog();
  void EndDialog(int nResult);

 protected:
  // IDOK and IDCANCEL end the dialog with their own identifier.
  afx_msg void OnOKOrCancel(UINT nID);

  DECLARE_MESSAGE_MAP()

 private:
  static INT_PTR CALLBACK DialogProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
};
