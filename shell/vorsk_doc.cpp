#include "shell/vorsk_doc.h"

IMPLEMENT_DYNCREATE(CVorskDoc, CDocument)

BEGIN_MESSAGE_MAP(CVorskDoc, CDocument)
END_MESSAGE_MAP()

CVorskDoc::~CVorskDoc() = default;

BOOL CVorskDoc::OnNewDocument() {
  if (!CDocument::OnNewDocument()) {
    return FALSE;
  }
  return TRUE;
}

// Stores and loads nothing.
void CVorskDoc::Serialize(CArchive&) {}
