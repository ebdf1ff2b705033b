#include "framework/wnd.h"

#include <unordered_map>
#include <utility>

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

namespace {

// The framework's windows by handle. Never destroyed: windows may outlive static objects when the
// process ends from inside a window procedure.
std::unordered_map<HWND, CWnd*>& BoundWindows() {
  static auto* windows = new std::unordered_map<HWND, CWnd*>();
  return *windows;
}

// The object whose window CreateEx is creating: bound to the handle at the window's first message.
CWnd* g_creating = nullptr;
MSG g_currentMessage = {};

}  // namespace

LRESULT CALLBACK FrameworkWindowProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
  if (wnd == nullptr && g_creating != nullptr) {
    wnd = std::exchange(g_creating, nullptr);
    wnd->Bind(hWnd);
    wnd->m_pfnSuper = ::DefWindowProcW;
  }
  if (wnd == nullptr) {
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
  }

  const MSG saved = std::exchange(g_currentMessage, MSG{hWnd, message, wParam, lParam, 0, {}});
  const LRESULT result = wnd->WindowProc(message, wParam, lParam);
  g_currentMessage = saved;

  if (message == WM_NCDESTROY) {
    wnd->Unbind();
    wnd->PostNcDestroy();
  }
  return result;
}

CWnd::~CWnd() {
  if (m_hWnd != nullptr) {
    ::DestroyWindow(m_hWnd);
    Unbind();
  }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  const auto found = BoundWindows().find(hWnd);
  return found != BoundWindows().end() ? found->second : nullptr;
}

void CWnd::Bind(HWND hWnd) {
  m_hWnd = hWnd;
  BoundWindows()[hWnd] = this;
}

void CWnd::Unbind() {
  if (m_hWnd != nullptr) {
    BoundWindows().erase(m_hWnd);
    m_hWnd = nullptr;
  }
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) {
  return TRUE;
}

BOOL CWnd::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, CCreateContext* pContext) {
  return CreateEx(0, lpszClassName, lpszWindowName, dwStyle | WS_CHILD, rect.left, rect.top,
                  rect.right - rect.left, rect.bottom - rect.top,
                  pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr,
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), pContext);
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                    int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                    LPVOID lpParam) {
  CREATESTRUCT cs = {};
  cs.dwExStyle = dwExStyle;
  cs.lpszClass = lpszClassName;
  cs.lpszName = lpszWindowName;
  cs.style = dwStyle;
  cs.x = x;
  cs.y = y;
  cs.cx = nWidth;
  cs.cy = nHeight;
  cs.hwndParent = hWndParent;
  cs.hMenu = nIDorHMenu;
  cs.hInstance = AfxGetInstanceHandle();
  cs.lpCreateParams = lpParam;
  if (!PreCreateWindow(cs)) {
    PostNcDestroy();
    return FALSE;
  }

  g_creating = this;
  HWND hWnd =
      ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy,
                        cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
  const bool neverBound = g_creating == this;
  if (neverBound) {
    g_creating = nullptr;
  }
  if (hWnd == nullptr) {
    // A window that got as far as its first message was destroyed, and cleaned up, by the
    // platform; one that never did is cleaned up here.
    if (neverBound) {
      PostNcDestroy();
    }
    return FALSE;
  }
  return TRUE;
}

BOOL CWnd::DestroyWindow() {
  return m_hWnd != nullptr ? ::DestroyWindow(m_hWnd) : FALSE;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (hWnd == nullptr || FromHandlePermanent(hWnd) != nullptr) {
    return FALSE;
  }
  Bind(hWnd);
  m_pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameworkWindowProcedure)));
  return TRUE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) {
    result = DefWindowProc(message, wParam, lParam);
  }
  return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) {
      return FALSE;
    }
    *pResult = 0;
    return TRUE;
  }
  const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message);
  if (entry == nullptr) {
    return FALSE;
  }
  *pResult = entry->pfn(this, 0, wParam, lParam);
  return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper != nullptr) {
    return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
  }
  return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  return DefWindowProc(g_currentMessage.message, g_currentMessage.wParam, g_currentMessage.lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
  // Menus send code 0, accelerators 1, buttons BN_CLICKED (0); other control notifications are
  // not commands.
  const UINT code = HIWORD(wParam);
  if (code != 0 && code != 1) {
    return FALSE;
  }
  return OnCmdMsg(LOWORD(wParam));
}

void CWnd::PostNcDestroy() {}

HINSTANCE AfxGetInstanceHandle() {
  return ::GetModuleHandleW(nullptr);
}

namespace framework {

LPCWSTR RegisterFrameworkClass(LPCWSTR name, UINT style, HBRUSH background) {
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof(existing);
  if (::GetClassInfoExW(AfxGetInstanceHandle(), name, &existing)) {
    return name;
  }
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = style;
  windowClass.lpfnWndProc = &FrameworkWindowProcedure;
  windowClass.hInstance = AfxGetInstanceHandle();
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = name;
  return ::RegisterClassExW(&windowClass) != 0 ? name : nullptr;
}

std::wstring LoadResourceString(UINT id) {
  // With a zero size the platform returns a read-only pointer to the resource's own text.
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(AfxGetInstanceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) {
    return std::wstring();
  }
  return std::wstring(text, static_cast<std::size_t>(length));
}

std::wstring PromptOf(const std::wstring& text) {
  return text.substr(0, text.find(L'\n'));
}

}  // namespace framework
