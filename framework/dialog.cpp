#include "framework/dialog.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

static_assert(IDCANCEL == IDOK + 1);

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND_RANGE(IDOK, IDCANCEL, &CDialog::OnOKOrCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

INT_PTR CDialog::DoModal() {
  return ::DialogBoxParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_nIDTemplate),
                           m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr,
                           &CDialog::DialogProcedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DialogProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->Bind(hWnd);
    return dialog->OnInitDialog();
  }
  auto* dialog = static_cast<CDialog*>(CWnd::FromHandlePermanent(hWnd));
  if (dialog == nullptr) {
    return FALSE;
  }
  if (message == WM_NCDESTROY) {
    dialog->Unbind();
    return FALSE;
  }
  LRESULT result = 0;
  if (!dialog->OnWndMsg(message, wParam, lParam, &result)) {
    return FALSE;
  }
  ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}

// The platform sets the focus to the first control that takes it.
BOOL CDialog::OnInitDialog() {
  return TRUE;
}

void CDialog::EndDialog(int nResult) {
  ::EndDialog(m_hWnd, nResult);
}

void CDialog::OnOKOrCancel(UINT nID) {
  EndDialog(static_cast<int>(nID));
}
