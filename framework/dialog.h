// Modal dialogs from a dialog resource, with data exchange between the dialog's controls and the
// object's members.
#pragma once

#include "framework/wnd.h"

class CDialog;

// The direction of one exchange: into the members (save and validate) or into the controls.
class CDataExchange {
 public:
  CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;
  CDialog* m_pDlgWnd;
};

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)

 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  // Runs the dialog modally, owned by the parent given or else the main window; returns the
  // value EndDialog was given, or -1 when the dialog could not be created.
  virtual INT_PTR DoModal();
  virtual BOOL OnInitDialog();
  void EndDialog(int nResult);
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual void OnOK();
  virtual void OnCancel();
  afx_msg void HandleOK() { OnOK(); }
  afx_msg void HandleCancel() { OnCancel(); }

  DECLARE_MESSAGE_MAP()

 private:
  static INT_PTR CALLBACK DialogProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_nIDHelp;
  CWnd* m_pParentWnd;
};
