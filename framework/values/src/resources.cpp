#include "framework/resources.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "text_case.h"

namespace wf::fw {
namespace {

struct Chain {
  std::mutex m;
  std::vector<HINSTANCE> libraries;
};
Chain& chain() {
  static auto* c = new Chain;  // leaked: libraries leave it during process exit
  return *c;
}

thread_local HINSTANCE threadLibrary = nullptr;

std::vector<HINSTANCE> chainSnapshot() {
  std::lock_guard lock(chain().m);
  return chain().libraries;
}

}  // namespace

ResourceId::ResourceId(LPCSTR name) {
  if (IS_INTRESOURCE(name))
    id_ = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(name));
  else
    name_ = upperCaseUtf8(name);
}

bool ResourceId::matches(const res::Entry& entry) const {
  if (name_.empty()) return !entry.name && entry.id == id_;
  return entry.name && name_ == entry.name;
}

BOOL joinResourceChain(HINSTANCE library) {
  if (!library) return FALSE;
  std::lock_guard lock(chain().m);
  auto& libs = chain().libraries;
  if (std::find(libs.begin(), libs.end(), library) == libs.end()) libs.push_back(library);
  return TRUE;
}

void leaveResourceChain(HINSTANCE library) {
  std::lock_guard lock(chain().m);
  std::erase(chain().libraries, library);
}

const res::Table* resourceTableOf(HINSTANCE library) {
  if (!library) return nullptr;
  auto entry = wf::moduleEntryAs<const res::Table* (*)()>(library, WF_RESOURCE_TABLE_ENTRY);
  const res::Table* table = entry ? entry() : nullptr;
  // A library built by another generation of wf-rc is not read at all.
  return table && table->version == res::kTableVersion ? table : nullptr;
}

const void* findResourceIn(HINSTANCE library, res::Type type, const ResourceId& id) {
  const res::Table* table = resourceTableOf(library);
  if (!table) return nullptr;
  for (UINT i = 0; i < table->count; ++i) {
    const res::Entry& e = table->entries[i];
    if (e.type == type && e.data && id.matches(e)) return e.data;
  }
  return nullptr;
}

const void* findResource(res::Type type, const ResourceId& id, HINSTANCE* foundIn) {
  std::vector<HINSTANCE> order;
  if (threadLibrary) order.push_back(threadLibrary);
  for (HINSTANCE lib : chainSnapshot())
    if (lib != threadLibrary) order.push_back(lib);
  for (HINSTANCE lib : order) {
    if (const void* data = findResourceIn(lib, type, id)) {
      if (foundIn) *foundIn = lib;
      return data;
    }
  }
  if (foundIn) *foundIn = nullptr;
  return nullptr;
}

ResourceHandleSwitch::ResourceHandleSwitch(HINSTANCE library)
    : switched_(library != nullptr), previous_(threadLibrary) {
  if (switched_) threadLibrary = library;
}

ResourceHandleSwitch::~ResourceHandleSwitch() {
  if (switched_) threadLibrary = previous_;
}

}  // namespace wf::fw

HINSTANCE AfxGetResourceHandle() {
  if (wf::fw::threadLibrary) return wf::fw::threadLibrary;
  auto libs = wf::fw::chainSnapshot();
  return libs.empty() ? nullptr : libs.front();
}

void AfxSetResourceHandle(HINSTANCE library) {
  wf::fw::threadLibrary = library;
}

HINSTANCE AfxFindResourceHandle(const wf::fw::ResourceId& id, wf::fw::res::Type type) {
  HINSTANCE found = nullptr;
  wf::fw::findResource(type, id, &found);
  return found;
}
