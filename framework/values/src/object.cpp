#include "framework/object.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Filled by static registrations before main; read-mostly afterwards.
std::mutex& registryMutex() {
  static std::mutex m;
  return m;
}
std::vector<CRuntimeClass*>& registry() {
  static std::vector<CRuntimeClass*> classes;
  return classes;
}

}  // namespace

CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};
static const CRuntimeClassRegistration wfRegisterCObject(&CObject::classCObject);

CRuntimeClass* CObject::GetRuntimeClass() const {
  return &classCObject;
}

BOOL CObject::IsKindOf(const CRuntimeClass* cls) const {
  return GetRuntimeClass()->IsDerivedFrom(cls);
}

CObject* CRuntimeClass::CreateObject() const {
  return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
    if (c == base) return TRUE;
  return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(LPCSTR className) {
  if (!className) return nullptr;
  std::lock_guard lock(registryMutex());
  for (CRuntimeClass* c : registry())
    if (std::strcmp(c->m_lpszClassName, className) == 0) return c;
  return nullptr;
}

CRuntimeClassRegistration::CRuntimeClassRegistration(CRuntimeClass* record) {
  std::lock_guard lock(registryMutex());
  registry().push_back(record_ = record);
}

CRuntimeClassRegistration::~CRuntimeClassRegistration() {
  std::lock_guard lock(registryMutex());
  std::erase(registry(), record_);
}
