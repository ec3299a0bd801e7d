#pragma once
// Finding resources (strings, dialog templates, menus, accelerators,
// toolbars, bitmaps, icons) in the resource libraries.
//
// A resource library is a shared library built by wf_add_resources from a
// .wrc source; its handle is the module loader's handle. Search order for a
// lookup by (type, id): the calling thread's current resource library when
// one is set (AfxSetResourceHandle or a ResourceHandleSwitch), then the
// libraries of the chain in the order they joined it. The main program joins
// its resource library first, so it is searched before the modules' ones.
// The switch is per thread: a worker that switches never moves another
// thread's lookups. CString::LoadString searches the same way.
#include <string>

#include "framework/resource_data.h"
#include "platform/module.h"

using HINSTANCE = wf::ModuleHandle;
using HMODULE = wf::ModuleHandle;

// A numbered resource given where a name is expected, as the original did.
inline LPCSTR MAKEINTRESOURCE(UINT id) {
  return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(id & 0xFFFF));
}
inline bool IS_INTRESOURCE(LPCSTR name) {
  return reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF;
}

namespace wf::fw {

// A resource by number or by name (names match without case).
class ResourceId {
 public:
  ResourceId(UINT id) : id_(id) {}  // NOLINT: ids are given as plain numbers
  ResourceId(int id) : id_(static_cast<UINT>(id)) {}
  ResourceId(LPCSTR name);
  UINT id() const { return id_; }
  const std::string& name() const { return name_; }  // empty when numbered
  bool matches(const res::Entry& entry) const;

 private:
  UINT id_ = 0;
  std::string name_;
};

// Adds a loaded library to the end of the chain; joining twice keeps one
// place. A library without resources may join (it contributes nothing).
// FALSE for a null handle.
BOOL joinResourceChain(HINSTANCE library);
void leaveResourceChain(HINSTANCE library);

// The library's compiled resources; null when it has none.
const res::Table* resourceTableOf(HINSTANCE library);

// The resource in that one library, or null.
const void* findResourceIn(HINSTANCE library, res::Type type, const ResourceId& id);
// In the search order; `foundIn` (optional) names the library that had it.
const void* findResource(res::Type type, const ResourceId& id, HINSTANCE* foundIn = nullptr);

inline LPCSTR findString(UINT id) {
  return static_cast<LPCSTR>(findResource(res::Type::String, id));
}
inline const res::Dialog* findDialog(const ResourceId& id) {
  return static_cast<const res::Dialog*>(findResource(res::Type::Dialog, id));
}
inline const res::Menu* findMenu(const ResourceId& id) {
  return static_cast<const res::Menu*>(findResource(res::Type::Menu, id));
}
inline const res::AcceleratorTable* findAccelerators(const ResourceId& id) {
  return static_cast<const res::AcceleratorTable*>(findResource(res::Type::Accelerators, id));
}
inline const res::Toolbar* findToolbar(const ResourceId& id) {
  return static_cast<const res::Toolbar*>(findResource(res::Type::Toolbar, id));
}
inline const res::Image* findBitmap(const ResourceId& id) {
  return static_cast<const res::Image*>(findResource(res::Type::Bitmap, id));
}
inline const res::Image* findIcon(const ResourceId& id) {
  return static_cast<const res::Image*>(findResource(res::Type::Icon, id));
}

// Makes `library` the calling thread's current resource library for its
// lifetime and restores the previous one on every way out. A null library
// leaves the current one as it is.
class ResourceHandleSwitch {
 public:
  explicit ResourceHandleSwitch(HINSTANCE library);
  ~ResourceHandleSwitch();
  ResourceHandleSwitch(const ResourceHandleSwitch&) = delete;
  ResourceHandleSwitch& operator=(const ResourceHandleSwitch&) = delete;

 private:
  bool switched_;
  HINSTANCE previous_;
};

}  // namespace wf::fw

// The calling thread's current resource library, else the first of the chain.
HINSTANCE AfxGetResourceHandle();
// Sets the calling thread's current resource library; null clears it.
void AfxSetResourceHandle(HINSTANCE library);
// The library that the search order finds (type, id) in; null when none has it.
HINSTANCE AfxFindResourceHandle(const wf::fw::ResourceId& id, wf::fw::res::Type type);
