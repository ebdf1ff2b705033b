// The frame window: one resource identifier gives its title, menu, accelerators and icon. It lays
// out its control bars (docked to the top above the view, to the bottom below it) and its view,
// and routes commands along view, document, frame and application.
#pragma once

#include <string>

#include "framework/handles.h"
#include "framework/wnd.h"

class CControlBar;
class CDocument;
class CView;

// Frame style: the document's title goes into the frame's, before the application's name.
inline constexpr DWORD FWS_ADDTOTITLE = 0x00008000;

class CFrameWnd : public CWnd {
  DECLARE_DYNCREATE(CFrameWnd)

 public:
  CFrameWnd() = default;

  // Creates the frame from resource nIDResource: the title from the first field of its string,
  // its menu, accelerators and icons. pContext, when given, names the view to create.
  virtual BOOL LoadFrame(UINT nIDResource,
                         DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                         CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;

  // Docking: the sides that bars may dock to (CBRS_ALIGN_* bits), and docking a bar to the top,
  // or else the bottom, when both the frame and the bar allow it.
  void EnableDocking(DWORD dwDockStyle);
  void DockControlBar(CControlBar* pBar);
  DWORD GetDockStyle() const { return m_dwDockStyle; }

  // Places the control bars and the view in the client area.
  virtual void RecalcLayout();
  CDocument* GetActiveDocument() const;
  HACCEL GetAcceleratorTable() const { return m_accelerators.get(); }

  // Shows a prompt in the status bar's first pane.
  void SetMessageText(const std::wstring& text);
  virtual void OnUpdateFrameTitle(BOOL bAddToTitle);
  // Shows the frame: with the application's show command when it is the main window.
  virtual void ActivateFrame(int nCmdShow = -1);
  void InitialUpdateFrame(BOOL bMakeVisible);

  BOOL OnCmdMsg(UINT nID) override;
  BOOL HasCommandHandler(UINT nID) const override;

  // Command handlers for the view menu: show or hide the bar with the command's identifier.
  void OnBarCheck(UINT nID);

 protected:
  // Creates the view that the creation context names, as child AFX_IDW_PANE_FIRST.
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnInitMenuPopup(HMENU hPopupMenu, UINT nIndex, BOOL bSysMenu);
  afx_msg LRESULT OnSetMessageString(WPARAM wParam, LPARAM lParam);
  // The main window gone ends the application's message loop; the frame deletes itself.
  void PostNcDestroy() override;

  DECLARE_MESSAGE_MAP()

 private:
  // The frame's control bar with this control identifier, or null.
  CControlBar* FindControlBar(UINT nID) const;

  std::wstring m_strTitle;
  DWORD m_dwDockStyle = 0;
  CView* m_pViewActive = nullptr;
  framework::unique_haccel m_accelerators;
};
