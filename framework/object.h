// The root of the framework's classes: objects that know their runtime class, runtime class
// records that can create an object of their class on demand (so that a document template can
// make the document, frame and view it was given), and the archive a document is serialized
// through.
#pragma once

#include <windows.h>

class CObject;
class CArchive;

struct CRuntimeClass {
  const char* m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;  // 0xFFFF: the class is not serialized with a schema number
  CObject* (*m_pfnCreateObject)();
  const CRuntimeClass* m_pBaseClass;

  // A new object of the class, or null when the class cannot be created on demand.
  CObject* CreateObject() const;
  bool IsDerivedFrom(const CRuntimeClass* baseClass) const;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)             \
 public:                                        \
  static const CRuntimeClass class##class_name; \
  const CRuntimeClass* GetRuntimeClass() const override;

// Creatable on demand: the class needs a default constructor, which may be protected.
#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* CreateObject();

#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, schema, create)                     \
  const CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), schema, \
                                                       create, RUNTIME_CLASS(base_class_name)}; \
  const CRuntimeClass* class_name::GetRuntimeClass() const {                                    \
    return RUNTIME_CLASS(class_name);                                                           \
  }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name) \
  CObject* class_name::CreateObject() {                  \
    return new class_name;                               \
  }                                                      \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, &class_name::CreateObject)

class CObject {
 public:
  static const CRuntimeClass classCObject;
  virtual const CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject() = default;
  virtual void Serialize(CArchive& ar);

  bool IsKindOf(const CRuntimeClass* runtimeClass) const;

  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;

 protected:
  CObject() = default;
};

// The archive a document is loaded from or stored to: a file opened by the document, and the
// direction of the transfer.
class CArchive {
 public:
  enum Mode { store = 0, load = 1 };

  CArchive(HANDLE file, Mode mode) : m_hFile(file), m_nMode(mode) {}
  bool IsLoading() const { return m_nMode == load; }
  bool IsStoring() const { return m_nMode == store; }
  HANDLE GetFile() const { return m_hFile; }

  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;

 private:
  HANDLE m_hFile;
  Mode m_nMode;
};

// A rectangle with a constructor from its edges.
struct CRect : RECT {
  CRect() : RECT{0, 0, 0, 0} {}
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};
