#include "platform/module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <system_error>

#include "platform/trace.h"

namespace wf {
namespace {

struct LoadedModule {
  int references = 0;
  // Attached by its own constructor: the dynamic linker, not our count,
  // decides when it leaves, and its destructor detaches.
  bool attachedItself = false;
};

// Never destroyed: libraries detach from their destructors, which run after
// the static objects of this library are gone.
struct ModuleRegistry {
  std::recursive_mutex mutex;                    // attach may load further modules
  std::map<void*, LoadedModule> loaded;          // by dlopen handle
  std::set<const link_map*> attachedThemselves;  // by link map
  std::vector<std::filesystem::path> searchPath;
};

ModuleRegistry& moduleRegistry() {
  static ModuleRegistry* r = new ModuleRegistry;
  return *r;
}

// Set while this thread is inside dlopen for loadModule, so that a linked
// library refusing its attach fails that load instead of the program.
thread_local int t_loadDepth = 0;
thread_local bool t_linkedAttachRefused = false;
thread_local std::string t_attachRefusal;  // why the last attach of this thread refused

// ": <reason>" when the refusing attach gave one.
std::string refusalText() {
  return t_attachRefusal.empty() ? std::string() : ": " + t_attachRefusal;
}

const link_map* linkMapOf(void* handle) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0) return nullptr;
  return map;
}

const link_map* linkMapContaining(const void* address) {
  Dl_info info;
  link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) return nullptr;
  return map;
}

// dlsym also searches the library's dependencies; the system expects only
// the library's own exports.
void* ownSymbol(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  if (!symbol) return nullptr;
  const link_map* own = linkMapOf(handle);
  return own && linkMapContaining(symbol) == own ? symbol : nullptr;
}

void* handleOf(ModuleHandle module) {
  return reinterpret_cast<void*>(module);
}

// Looking into a freed handle would be undefined; a stale one finds nothing.
void* symbolOfLoaded(ModuleHandle module, const char* name) {
  auto& r = moduleRegistry();
  std::lock_guard lock(r.mutex);
  void* handle = handleOf(module);
  return r.loaded.count(handle) ? ownSymbol(handle, name) : nullptr;
}

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i)
    if (lowerAscii(s[s.size() - suffix.size() + i]) != suffix[i]) return false;
  return true;
}

std::vector<std::filesystem::path> searchDirectories() {
  std::vector<std::filesystem::path> dirs;
  {
    auto& r = moduleRegistry();
    std::lock_guard lock(r.mutex);
    dirs = r.searchPath;
  }
  for (auto& dir : modulePathDirectories()) dirs.push_back(std::move(dir));
  dirs.push_back(moduleDirectory());
  return dirs;
}

}  // namespace

std::vector<std::filesystem::path> modulePathDirectories() {
  std::vector<std::filesystem::path> dirs;
  if (const char* env = std::getenv("WRENFIELD_MODULE_PATH")) {
    std::string_view rest(env);
    while (!rest.empty()) {
      auto colon = rest.find(':');
      auto dir = rest.substr(0, colon);
      if (!dir.empty()) dirs.emplace_back(dir);
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  return dirs;
}

std::filesystem::path moduleDirectory() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

void setModuleSearchPath(std::vector<std::filesystem::path> dirs) {
  auto& r = moduleRegistry();
  std::lock_guard lock(r.mutex);
  r.searchPath = std::move(dirs);
}

std::string moduleFileName(std::string_view name) {
  if (name.find_first_of("/\\") != std::string_view::npos) return {};
  for (std::string_view ext : {".dll", ".exe"}) {
    if (endsWithNoCase(name, ext)) {
      name.remove_suffix(ext.size());
      break;
    }
  }
  if (name.empty()) return {};
  std::string file = "lib";
  for (char c : name) file += lowerAscii(c);
  return file += ".so";
}

std::optional<std::filesystem::path> findModuleFile(std::string_view name) {
  std::string file = moduleFileName(name);
  if (file.empty()) return std::nullopt;
  for (const auto& dir : searchDirectories()) {
    std::error_code ec;
    auto candidate = dir / file;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

ModuleHandle loadModule(std::string_view name) {
  auto file = findModuleFile(name);
  if (!file) {
    platformTrace(std::string("module: no file for ").append(name));
    return nullptr;
  }
  auto& r = moduleRegistry();
  std::lock_guard lock(r.mutex);

  ++t_loadDepth;
  t_linkedAttachRefused = false;
  t_attachRefusal.clear();
  void* handle = dlopen(file->c_str(), RTLD_NOW | RTLD_LOCAL);
  bool linkedRefused = t_linkedAttachRefused;
  --t_loadDepth;
  if (!handle) {
    const char* why = dlerror();
    platformTrace(std::string("module: cannot load ").append(why ? why : file->string()));
    return nullptr;
  }
  if (auto it = r.loaded.find(handle); it != r.loaded.end()) {
    ++it->second.references;  // balanced by the dlclose of each freeModule
    return static_cast<ModuleHandle>(handle);
  }
  if (linkedRefused) {
    platformTrace(file->string().append(": a library it links refused to attach").append(refusalText()));
    dlclose(handle);
    return nullptr;
  }
  LoadedModule module{1, r.attachedThemselves.count(linkMapOf(handle)) != 0};
  if (!module.attachedItself) {
    auto attach = reinterpret_cast<detail::AttachFn>(ownSymbol(handle, "wfModuleAttach"));
    t_attachRefusal.clear();
    if (attach && !attach()) {
      platformTrace(file->string().append(": refused to attach").append(refusalText()));
      dlclose(handle);
      return nullptr;
    }
  }
  r.loaded.emplace(handle, module);
  return static_cast<ModuleHandle>(handle);
}

bool freeModule(ModuleHandle module) {
  auto& r = moduleRegistry();
  std::lock_guard lock(r.mutex);
  void* handle = handleOf(module);
  auto it = r.loaded.find(handle);
  if (it == r.loaded.end()) return false;
  if (--it->second.references == 0) {
    if (!it->second.attachedItself) {
      if (auto detach = reinterpret_cast<detail::DetachFn>(ownSymbol(handle, "wfModuleDetach"))) detach();
    }
    r.loaded.erase(it);
  }
  dlclose(handle);
  return true;
}

ModuleHandle moduleContaining(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || !info.dli_fname) return nullptr;
  void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return nullptr;
  dlclose(handle);  // the library stays: it holds the caller's own code
  return static_cast<ModuleHandle>(handle);
}

void* moduleEntry(ModuleHandle module, const char* name) {
  if (!name) return nullptr;
  return symbolOfLoaded(module, name);
}

void* moduleOrdinal(ModuleHandle module, std::uint16_t ordinal) {
  auto tableOf = reinterpret_cast<const OrdinalExport* (*)()>(symbolOfLoaded(module, "wfOrdinalExports"));
  const OrdinalExport* table = tableOf ? tableOf() : nullptr;
  if (!table) return nullptr;
  for (; table->function; ++table)
    if (table->ordinal == ordinal) return table->function;
  return nullptr;
}

void setAttachRefusal(std::string_view reason) {
  t_attachRefusal = reason;
}

namespace detail {

void attachLinkedModule(const void* anchor, AttachFn attach) {
  const link_map* self = linkMapContaining(anchor);
  auto& r = moduleRegistry();
  std::lock_guard lock(r.mutex);
  if (r.attachedThemselves.count(self)) return;
  t_attachRefusal.clear();
  if (attach()) {
    r.attachedThemselves.insert(self);
    return;
  }
  if (t_loadDepth > 0) {
    t_linkedAttachRefused = true;
    return;
  }
  // Linked by the program itself: it cannot run without this library.
  Dl_info info{};
  dladdr(anchor, &info);
  std::fprintf(stderr, "%s: refused to attach%s\n", info.dli_fname ? info.dli_fname : "library",
               refusalText().c_str());
  _exit(127);
}

void detachLinkedModule(const void* anchor, DetachFn detach) {
  const link_map* self = linkMapContaining(anchor);
  auto& r = moduleRegistry();
  std::lock_guard lock(r.mutex);
  if (r.attachedThemselves.erase(self)) detach();
}

}  // namespace detail
}  // namespace wf
