#pragma once
// The framework's object base with run-time class information: a class
// record per class (name, size, schema, factory, base) so that code can ask
// what an object is (IsKindOf) and create objects from a class record or
// its name (the family modules' icon factories rely on this).
#include "framework/win_types.h"

class CObject;

struct CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;                   // 0xFFFF for classes that are not serialisable
  CObject* (*m_pfnCreateObject)();  // null when the class is not dynamically creatable
  CRuntimeClass* m_pBaseClass;

  // A new object of this class, or null when it has no factory.
  CObject* CreateObject() const;
  BOOL IsDerivedFrom(const CRuntimeClass* base) const;

  // The registered class of that exact name, or null.
  static CRuntimeClass* FromName(LPCSTR className);
};

// Registers a class record for FromName while its module is loaded;
// IMPLEMENT_DYNAMIC makes one per class.
class CRuntimeClassRegistration {
 public:
  explicit CRuntimeClassRegistration(CRuntimeClass* record);
  ~CRuntimeClassRegistration();
  CRuntimeClassRegistration(const CRuntimeClassRegistration&) = delete;
  CRuntimeClassRegistration& operator=(const CRuntimeClassRegistration&) = delete;

 private:
  CRuntimeClass* record_;
};

class CObject {
 public:
  virtual ~CObject() = default;
  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;

  virtual CRuntimeClass* GetRuntimeClass() const;
  BOOL IsKindOf(const CRuntimeClass* cls) const;

  static CRuntimeClass classCObject;

 protected:
  CObject() = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)       \
 public:                                  \
  static CRuntimeClass class##class_name; \
  virtual CRuntimeClass* GetRuntimeClass() const;

#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* CreateObject();

#define WF_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, factory)                            \
  CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), 0xFFFF, factory, \
                                                 RUNTIME_CLASS(base_class_name)};                  \
  CRuntimeClass* class_name::GetRuntimeClass() const {                                             \
    return RUNTIME_CLASS(class_name);                                                              \
  }                                                                                                \
  static const CRuntimeClassRegistration wfRegister##class_name(RUNTIME_CLASS(class_name));

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  WF_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name) \
  CObject* class_name::CreateObject() {                  \
    return new class_name;                               \
  }                                                      \
  WF_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, class_name::CreateObject)
