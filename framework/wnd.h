// Windows: an object bound to a window handle for the window's life. The framework's own window
// classes and the common controls it takes over send every message to the object, which looks
// it up in its message map chain and otherwise lets the window's default procedure answer. This
// layer knows nothing above it: the module it registers its classes in is the program's own.
#pragma once

#include <string>

#include "framework/cmd_target.h"

struct CCreateContext;

// A device context that a view draws in: borrowed, never deleted by this object.
struct CDC {
  HDC m_hDC;
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
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
  }
  void SetWindowText(LPCTSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }

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

// The program's own module: its window classes, its resources.
HINSTANCE AfxGetInstanceHandle();

namespace framework {

// Registers one of the framework's window classes once; returns its name.
LPCWSTR RegisterFrameworkClass(LPCWSTR name, UINT style, HBRUSH background);

// A string resource of the application, empty when it is absent.
std::wstring LoadResourceString(UINT id);
// The text before the first line break of a command's string: its status bar prompt.
std::wstring PromptOf(const std::wstring& text);

}  // namespace framework
