// Message maps and command targets. Each class that handles messages or commands has one static
// table, chained to its base class's table: a message or command that a class does not list goes
// to its base's table, and so on up to the root. Entries call their handler through a small
// function made for the entry from the handler's own type, so no handler is ever called through
// a pointer of another type.
#pragma once

#include <type_traits>

#include "framework/object.h"

class CCmdTarget;

// Marks message handlers in class declarations.
#define afx_msg

// Calls an entry's handler on the target; returns the message's result.
using AfxHandlerCall = LRESULT (*)(CCmdTarget* target, UINT id, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // WM_COMMAND for commands; 0 ends the table
  UINT nID;       // first command identifier (commands only)
  UINT nLastID;   // last command identifier of a range (commands only)
  AfxHandlerCall pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

namespace framework {

template <typename Member>
struct MemberOwner;
template <typename Class, typename Result, typename... Arguments>
struct MemberOwner<Result (Class::*)(Arguments...)> {
  using type = Class;
};

// The handler's class, checked to be the map's class or one of its bases.
template <typename ThisClass, auto Handler>
typename MemberOwner<decltype(Handler)>::type* HandlerObject(CCmdTarget* target) {
  using Owner = typename MemberOwner<decltype(Handler)>::type;
  static_assert(std::is_base_of_v<Owner, ThisClass>, "the handler belongs to another class");
  return static_cast<ThisClass*>(target);
}

template <typename ThisClass, auto Handler>
LRESULT CallCommandRange(CCmdTarget* target, UINT id, WPARAM, LPARAM) {
  (HandlerObject<ThisClass, Handler>(target)->*Handler)(id);
  return 0;
}

template <typename ThisClass, auto Handler>
LRESULT CallOnCreate(CCmdTarget* target, UINT, WPARAM, LPARAM lParam) {
  return (HandlerObject<ThisClass, Handler>(target)->*Handler)(
      reinterpret_cast<LPCREATESTRUCT>(lParam));
}

template <typename ThisClass, auto Handler>
LRESULT CallOnSize(CCmdTarget* target, UINT, WPARAM wParam, LPARAM lParam) {
  (HandlerObject<ThisClass, Handler>(target)->*Handler)(static_cast<UINT>(wParam), LOWORD(lParam),
                                                        HIWORD(lParam));
  return 0;
}

template <typename ThisClass, auto Handler>
LRESULT CallNoArguments(CCmdTarget* target, UINT, WPARAM, LPARAM) {
  (HandlerObject<ThisClass, Handler>(target)->*Handler)();
  return 0;
}

template <typename ThisClass, auto Handler>
LRESULT CallOnInitMenuPopup(CCmdTarget* target, UINT, WPARAM wParam, LPARAM lParam) {
  (HandlerObject<ThisClass, Handler>(target)->*Handler)(
      reinterpret_cast<HMENU>(wParam), LOWORD(lParam), HIWORD(lParam) != 0 ? TRUE : FALSE);
  return 0;
}

template <typename ThisClass, auto Handler>
LRESULT CallMessage(CCmdTarget* target, UINT, WPARAM wParam, LPARAM lParam) {
  return (HandlerObject<ThisClass, Handler>(target)->*Handler)(wParam, lParam);
}

}  // namespace framework

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)        \
  const AFX_MSGMAP* theClass::GetMessageMap() const { \
    return GetThisMessageMap();                       \
  }                                                   \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
    using ThisClass [[maybe_unused]] = theClass;      \
    using TheBaseClass = baseClass;                   \
    static const AFX_MSGMAP_ENTRY messageEntries[] = {
#define END_MESSAGE_MAP()                                                                  \
  { 0, 0, 0, nullptr }                                                                     \
  }                                                                                        \
  ;                                                                                        \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, messageEntries}; \
  return &messageMap;                                                                      \
  }

// Commands: a handler without arguments for one identifier, or one taking the identifier for a
// range. Name the handler with its class: ON_COMMAND(ID_FILE_NEW, &CWinApp::OnFileNew).
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND, (id), (id), &::framework::CallNoArguments<ThisClass, memberFxn>},
#define ON_COMMAND_RANGE(id, idLast, memberFxn) \
  {WM_COMMAND, (id), (idLast), &::framework::CallCommandRange<ThisClass, memberFxn>},

// Window messages, each with its handler's usual name and arguments.
#define ON_WM_CREATE() \
  {WM_CREATE, 0, 0, &::framework::CallOnCreate<ThisClass, &ThisClass::OnCreate>},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, &::framework::CallOnSize<ThisClass, &ThisClass::OnSize>},
#define ON_WM_PAINT() \
  {WM_PAINT, 0, 0, &::framework::CallNoArguments<ThisClass, &ThisClass::OnPaint>},
#define ON_WM_INITMENUPOPUP() \
  {WM_INITMENUPOPUP, 0, 0,    \
   &::framework::CallOnInitMenuPopup<ThisClass, &ThisClass::OnInitMenuPopup>},
// Any message, with a handler LRESULT (WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn) \
  {(message), 0, 0, &::framework::CallMessage<ThisClass, memberFxn>},

// An object that handles commands through its message map.
class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)

 public:
  // Routes a command (a menu item, an accelerator or a toolbar button) to its handler; returns
  // whether one handled it. The base looks in this object's map chain only; frames and views
  // pass commands on along the command route.
  virtual BOOL OnCmdMsg(UINT nID);
  // Whether a handler for the command is on this object's route.
  virtual BOOL HasCommandHandler(UINT nID) const;

 protected:
  CCmdTarget() = default;
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;

  // The entry of this object's map chain for a window message (not WM_COMMAND), or for a command
  // identifier.
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message) const;
  const AFX_MSGMAP_ENTRY* FindCommandEntry(UINT nID) const;
};
