#include "framework/object.h"

const CRuntimeClass CObject::classCObject = {"CObject", nullptr, nullptr};

bool CObject::IsKindOf(const CRuntimeClass* runtimeClass) const {
  return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

CObject* CRuntimeClass::CreateObject() const {
  return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr;
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* baseClass) const {
  for (const CRuntimeClass* current = this; current != nullptr; current = current->m_pBaseClass) {
    if (current == baseClass) {
      return true;
    }
  }
  return false;
}
