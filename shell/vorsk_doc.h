// The document: holds nothing; the program's work is the removal run.
#pragma once

#include "framework/framework.h"

class CVorskDoc : public CDocument {
  DECLARE_DYNCREATE(CVorskDoc)

 public:
  ~CVorskDoc() override;
  void Serialize(CArchive& ar) override;
  BOOL OnNewDocument() override;

 protected:
  CVorskDoc() = default;

  DECLARE_MESSAGE_MAP()
};
