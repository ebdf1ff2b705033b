// Windows: an object bound to a window handle for the window's life. The framework's own window
// classes and the common controls it takes over send every message to the object, which looks
// it up in its message map chain and otherwise lets the window's default procedure answer.
#pragma once

#include <string>

#include "framework/cmd_target.h"

struct CCreateContext;

// A device context that a view draws in: borrowed, never deleted by this object.
class CDC {
 public:
  explicit CDC(HDC dc = nullptr, bool printing = false) : m_hDC(dc), m_bPrinting(printing) {}
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL IsPrinting() const { return m_bPrinting ? TRUE : FALSE; }

  HDC m_hDC;
  bool m_bPrinting;
};

class CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)

 public:
  CWnd() = default;
  // Destroys a window that is still bound to the object.
  ~CWnd() override;

  HWND GetSafeHwnd() const { return m_hWnd; }
  // The object bound to a window by the framework, or null.
  static CWnd* FromHandlePermanent(HWND hWnd);
  // The message that the framework is dispatching now.
  static const MSG* GetCurrentMessage();

  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
  // Creates a child window of the given class.
  virtual BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                      const RECT& rect, CWnd* pParentWnd, UINT nID,
                      CCreateContext* pContext = nullptr);
  // Lets PreCreateWindow adjust the creation, then creates the window and binds it. A window
  // that fails before it is bound is cleaned up through PostNcDestroy as a destroyed one would.
  BOOL CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                LPVOID lpParam = nullptr);
  virtual BOOL DestroyWindow();

  BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
  void UpdateWindow() { ::UpdateWindow(m_hWnd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
  UINT GetDlgCtrlID() const { return static_cast<UINT>(::GetDlgCtrlID(m_hWnd)); }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
  }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
  }
  void SetWindowText(LPCTSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }

  // A modal message box owned by this window; no caption shows the application's name.
  int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = nullptr, UINT nType = MB_OK);

  HWND m_hWnd = nullptr;

 protected:
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Looks the message up in the map chain; returns whether a handler took it.
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The default answer to the message being dispatched now.
  LRESULT Default();
  // A command from a menu, an accelerator or a button: routed through OnCmdMsg.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // Called once the window is gone; frames and views delete themselves here.
  virtual void PostNcDestroy();

  // Binds a window created elsewhere (a common control) to this object, sending its messages
  // through the object before the control's own procedure.
  BOOL SubclassWindow(HWND hWnd);
  // Binds the object to a window handle, and lets it go once the window is destroyed.
  void Bind(HWND hWnd);
  void Unbind();

  DECLARE_MESSAGE_MAP()

 private:
  friend LRESULT CALLBACK FrameworkWindowProcedure(HWND, UINT, WPARAM, LPARAM);

  WNDPROC m_pfnSuper = nullptr;
};

LRESULT CALLBACK FrameworkWindowProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

namespace framework {

// Registers one of the framework's window classes once; returns its name.
LPCWSTR RegisterFrameworkClass(LPCWSTR name, UINT style, HBRUSH background);

// A string resource of the application, empty when it is absent.
std::wstring LoadResourceString(UINT id);
// The text before the first line break of a command's string: its status bar prompt; and the
// text after it: its tooltip.
std::wstring PromptOf(const std::wstring& text);
std::wstring TipOf(const std::wstring& text);

}  // namespace framework
