#include "framework/dialog.h"

#include "framework/app.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::HandleOK)
ON_COMMAND(IDCANCEL, &CDialog::HandleCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
  CWnd* owner = m_pParentWnd != nullptr ? m_pParentWnd : AfxGetMainWnd();
  return ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDHelp),
                           owner != nullptr ? owner->m_hWnd : nullptr, &CDialog::DialogProcedure,
                           reinterpret_cast<LPARAM>(this));
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

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  // The platform sets the focus to the first control that takes it.
  return TRUE;
}

void CDialog::EndDialog(int nResult) {
  ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange exchange(this, bSaveAndValidate);
  DoDataExchange(&exchange);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) {
    EndDialog(IDOK);
  }
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}
