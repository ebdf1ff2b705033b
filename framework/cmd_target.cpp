#include "framework/cmd_target.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY messageEntries[] = {{0, 0, 0, nullptr}};
  static const AFX_MSGMAP messageMap = {nullptr, messageEntries};
  return &messageMap;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
  return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nMessage != 0; ++entry) {
      if (entry->nMessage == message) {
        return entry;
      }
    }
  }
  return nullptr;
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindCommandEntry(UINT nID) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nMessage != 0; ++entry) {
      if (entry->nMessage == WM_COMMAND && entry->nID <= nID && nID <= entry->nLastID) {
        return entry;
      }
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID) {
  const AFX_MSGMAP_ENTRY* entry = FindCommandEntry(nID);
  if (entry == nullptr) {
    return FALSE;
  }
  entry->pfn(this, nID, 0, 0);
  return TRUE;
}

BOOL CCmdTarget::HasCommandHandler(UINT nID) const {
  return FindCommandEntry(nID) != nullptr ? TRUE : FALSE;
}
