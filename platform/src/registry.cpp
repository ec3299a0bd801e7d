#include "platform/registry.h"
#include "platform/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/file_lock.h"
#include "platform/regular_file.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"
#include "registry_tree.h"

namespace wf {
namespace fs = std::filesystem;

namespace {

using reg::kMaxKeyDepth;
using reg::kMaxKeyNameLength;
using reg::kMaxValueSize;
// Room for many values of the largest size in their text form.
constexpr std::uint64_t kMaxHiveFile = std::uint64_t{1} << 28;

thread_local std::string lastFailure;

// Says why a call fails, to the trace and to registryFailureReason.
LONG failWith(LONG code, std::string why) {
  platformTrace("registry: " + why);
  lastFailure = std::move(why);
  return code;
}

struct FileSignature {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};

  bool operator==(const FileSignature& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
           ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

FileSignature signatureOf(const fs::path& file) {
  FileSignature s;
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) {
    // Only a missing hive is an empty one; the read tells any other failure.
    s.exists = errno != ENOENT;
    return s;
  }
  s.exists = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = st.st_mtim;
  s.ctime = st.st_ctim;
  return s;
}

// One hive as this process sees it. Whether the copy is current is told by
// the writers' generation counter (the first 8 bytes of the lock file) and by
// the file's identity, which also catches edits by hand.
struct Hive {
  Hive(const char* file, const char* root) : fileName(file), rootName(root) {}
  const char* fileName;
  const char* rootName;
  fs::path dir;
  fs::path file;
  std::optional<FileLock> lock;
  bool loaded = false;
  std::uint64_t generation = 0;
  FileSignature signature;
  reg::Key root;

  std::uint64_t storedGeneration() const {
    std::uint64_t g = 0;
    if (::pread(lock->fd(), &g, sizeof g, 0) != sizeof g) return 0;
    return g;
  }
  bool current() const {
    return loaded && storedGeneration() == generation && signatureOf(file) == signature;
  }
};

struct OpenKey {
  Hive* hive;
  std::vector<std::string> path;
};

struct HiveRegistry {
  std::mutex mutex;
  Hive user{"user.reg", "HKEY_CURRENT_USER"};
  Hive machine{"machine.reg", "HKEY_LOCAL_MACHINE"};
  std::map<std::uintptr_t, OpenKey> handles;
  std::uintptr_t nextHandle = 1;
};

HiveRegistry& registry() {
  static HiveRegistry* r = new HiveRegistry;  // outlives every static destructor that may still close keys
  return *r;
}

Hive* predefinedHive(HKEY key) {
  if (key == HKEY_CURRENT_USER) return &registry().user;
  if (key == HKEY_LOCAL_MACHINE) return &registry().machine;
  return nullptr;
}

// Follows the data root, which tests change between cases.
LONG bind(Hive& h) {
  std::string error;
  auto root = dataRoot(&error);
  if (!root) return failWith(ERROR_REGISTRY_IO_FAILED, error);
  fs::path dir = *root / "registry";
  if (dir == h.dir && h.lock) return ERROR_SUCCESS;
  h.lock.reset();
  h.loaded = false;
  h.root = reg::Key{};
  h.dir.clear();
  if (!ensurePrivateDir(dir, true, &error)) return failWith(ERROR_REGISTRY_IO_FAILED, error);
  h.file = dir / h.fileName;
  h.lock = FileLock::open(fs::path(h.file) += ".lock", &error);
  if (!h.lock) return failWith(ERROR_REGISTRY_IO_FAILED, error);
  h.dir = dir;
  return ERROR_SUCCESS;
}

class ExclusiveHold {
 public:
  explicit ExclusiveHold(Hive& h) : h_(h) { held_ = h_.lock->lockExclusive(kInfinite); }
  ~ExclusiveHold() {
    if (held_) h_.lock->unlock();
  }
  bool held() const { return held_; }

 private:
  Hive& h_;
  bool held_;
};

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Under the exclusive lock: the new file is complete and on disk before it
// replaces the old, so a crash leaves one or the other.
LONG save(Hive& h) {
  fs::path tmp = fs::path(h.file) += ".tmp";
  std::string text = reg::serializeHive(h.root);
  UniqueFd fd = openRegularFile(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW);
  bool ok = fd && writeAll(fd.get(), text) && ::fdatasync(fd.get()) == 0;
  fd.reset();  // closed before the rename
  if (!ok || ::rename(tmp.c_str(), h.file.c_str()) != 0) {
    const std::string why = "cannot write " + h.file.string() + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    h.loaded = false;  // the next call rereads what the file really holds
    return failWith(ERROR_REGISTRY_IO_FAILED, why);
  }
  std::uint64_t next = h.storedGeneration() + 1;
  if (::pwrite(h.lock->fd(), &next, sizeof next, 0) != sizeof next) {
    platformTrace("registry: cannot advance the generation of " + h.file.string());
  }
  h.generation = next;
  h.signature = signatureOf(h.file);
  return ERROR_SUCCESS;
}

void setAside(Hive& h, const std::string& why) {
  char stamp[32];
  std::time_t t = now();
  std::tm tm{};
  ::localtime_r(&t, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  fs::path aside = fs::path(h.file) += std::string(".damaged-") + stamp;
  for (int n = 2; fs::exists(aside); ++n)
    aside = fs::path(h.file) += std::string(".damaged-") + stamp + "-" + std::to_string(n);
  // Said on standard error as well: the user has to know where the old one went.
  std::string what;
  if (::rename(h.file.c_str(), aside.c_str()) == 0) {
    what = "hive " + h.file.string() + " is damaged (" + why + "); kept as " + aside.string() +
           ", starting a fresh one";
  } else {
    what = "hive " + h.file.string() + " is damaged (" + why +
           ") and cannot be set aside: " + std::strerror(errno);
  }
  std::fprintf(stderr, "registry: %s\n", what.c_str());
  platformTrace("registry: " + what);
  lastFailure = "hive " + h.file.string() + " was damaged (" + why + ")";
}

// Volatile keys live only here: carry them over to a freshly read copy.
void collectVolatile(reg::Key& key, std::vector<std::string>& path,
                     std::vector<std::pair<std::vector<std::string>, reg::Key>>& out) {
  for (auto it = key.children.begin(); it != key.children.end(); ++it) {
    path.push_back(it->first);
    if (it->second.isVolatile) {
      out.emplace_back(path, std::move(it->second));
    } else {
      collectVolatile(it->second, path, out);
    }
    path.pop_back();
  }
}

// Follows `path` down from `root`; when `stored` is given, appends the names
// as the keys were created, whatever case `path` used.
reg::Key* find(reg::Key& root, const std::vector<std::string>& path,
               std::vector<std::string>* stored = nullptr) {
  reg::Key* k = &root;
  for (const auto& name : path) {
    auto it = k->children.find(name);
    if (it == k->children.end()) return nullptr;
    if (stored) stored->push_back(it->first);
    k = &it->second;
  }
  return k;
}

void graftVolatile(reg::Key& from, reg::Key& to) {
  std::vector<std::pair<std::vector<std::string>, reg::Key>> keys;
  std::vector<std::string> path;
  collectVolatile(from, path, keys);
  for (auto& [p, key] : keys) {
    std::vector<std::string> parentPath(p.begin(), p.end() - 1);
    reg::Key* parent = find(to, parentPath);
    // Gone with its parent, or displaced by a lasting key of the same name.
    if (parent) parent->children.try_emplace(p.back(), std::move(key));
  }
}

// Under the exclusive lock: brings the copy up to date with the file.
LONG reloadLocked(Hive& h) {
  std::uint64_t generation = h.storedGeneration();
  FileSignature signature = signatureOf(h.file);
  if (h.loaded && generation == h.generation && signature == h.signature) return ERROR_SUCCESS;
  reg::Key fresh;
  LONG status = ERROR_SUCCESS;
  if (signature.exists) {
    std::string text, error;
    if (static_cast<std::uint64_t>(signature.size) > kMaxHiveFile)
      return failWith(ERROR_REGISTRY_IO_FAILED,
                      "hive " + h.file.string() + " has " + std::to_string(signature.size) +
                          " bytes, more than the registry reads (" + std::to_string(kMaxHiveFile) + ")");
    auto read = readRegularFile(h.file, kMaxHiveFile, &error, O_NOFOLLOW);
    if (!read) return failWith(ERROR_REGISTRY_IO_FAILED, "cannot read hive " + error);
    text = std::move(*read);
    if (!reg::parseHive(text, &fresh, &error)) {
      setAside(h, error);
      fresh = reg::Key{};
      status = ERROR_BADDB;
    }
  }
  graftVolatile(h.root, fresh);
  h.root = std::move(fresh);
  h.loaded = true;
  h.generation = generation;
  h.signature = signature;
  if (status == ERROR_BADDB && save(h) != ERROR_SUCCESS) return ERROR_REGISTRY_IO_FAILED;
  return status;
}

LONG readAccess(Hive& h) {
  if (LONG r = bind(h); r != ERROR_SUCCESS) return r;
  if (h.current()) return ERROR_SUCCESS;
  ExclusiveHold hold(h);
  if (!hold.held()) return ERROR_REGISTRY_IO_FAILED;
  return reloadLocked(h);
}

// Splits "a\b\c"; a trailing backslash is allowed, empty names are not.
LONG splitPath(const char* subKey, std::vector<std::string>* out) {
  lastFailure.clear();
  if (!subKey) return ERROR_SUCCESS;
  std::string_view rest = subKey;
  while (!rest.empty()) {
    auto sep = rest.find('\\');
    std::string_view name = rest.substr(0, sep);
    if (name.empty()) return failWith(ERROR_INVALID_PARAMETER, "empty key name in a path");
    if (name.size() > kMaxKeyNameLength)
      return failWith(ERROR_INVALID_PARAMETER, "key name of " + std::to_string(name.size()) +
                                                   " characters (at most " +
                                                   std::to_string(kMaxKeyNameLength) + ")");
    if (out->size() >= kMaxKeyDepth)
      return failWith(ERROR_INVALID_PARAMETER,
                      "key path deeper than " + std::to_string(kMaxKeyDepth) + " levels");
    out->emplace_back(name);
    rest.remove_prefix(sep == std::string_view::npos ? rest.size() : sep + 1);
  }
  return ERROR_SUCCESS;
}

LONG resolveHandle(HKEY key, OpenKey* out) {
  if (Hive* h = predefinedHive(key)) {
    *out = OpenKey{h, {}};
    return ERROR_SUCCESS;
  }
  auto& handles = registry().handles;
  auto it = handles.find(reinterpret_cast<std::uintptr_t>(key));
  if (it == handles.end()) return ERROR_INVALID_HANDLE;
  *out = it->second;
  return ERROR_SUCCESS;
}

HKEY newHandle(Hive* hive, std::vector<std::string> path) {
  auto& r = registry();
  std::uintptr_t id = r.nextHandle++;
  r.handles.emplace(id, OpenKey{hive, std::move(path)});
  return reinterpret_cast<HKEY>(id);
}

// The key an open handle stands for, after `access` brought the hive up to date.
LONG openedKey(HKEY key, bool forWriting, OpenKey* open, reg::Key** k,
               std::optional<ExclusiveHold>* hold = nullptr) {
  lastFailure.clear();
  if (LONG r = resolveHandle(key, open); r != ERROR_SUCCESS) return r;
  Hive& h = *open->hive;
  if (forWriting) {
    if (LONG r = bind(h); r != ERROR_SUCCESS) return r;
    hold->emplace(h);
    if (!(*hold)->held()) return ERROR_REGISTRY_IO_FAILED;
    if (LONG r = reloadLocked(h); r != ERROR_SUCCESS) return r;
  } else if (LONG r = readAccess(h); r != ERROR_SUCCESS) {
    return r;
  }
  *k = find(h.root, open->path);
  return *k ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// The start of every call that names a key below another: its sub-path and
// the resolved parent.
LONG openBelow(HKEY key, const char* subKey, bool forWriting, std::vector<std::string>* sub, OpenKey* open,
               reg::Key** k, std::optional<ExclusiveHold>* hold = nullptr) {
  if (LONG r = splitPath(subKey, sub); r != ERROR_SUCCESS) return r;
  if (LONG r = openedKey(key, forWriting, open, k, hold); r != ERROR_SUCCESS) return r;
  if (open->path.size() + sub->size() > kMaxKeyDepth)
    return failWith(ERROR_INVALID_PARAMETER,
                    "key path deeper than " + std::to_string(kMaxKeyDepth) + " levels");
  return ERROR_SUCCESS;
}

bool copyName(const std::string& name, char* buffer, DWORD* size) {
  if (name.size() + 1 > *size) return false;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return true;
}

LONG copyData(const std::string& data, BYTE* buffer, DWORD* size) {
  if (!size) return buffer ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  bool fits = data.size() <= *size;
  *size = static_cast<DWORD>(data.size());
  if (!buffer) return ERROR_SUCCESS;
  if (!fits) return ERROR_MORE_DATA;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::lock_guard lock(registry().mutex);
  std::vector<std::string> sub;
  OpenKey open;
  reg::Key* k = nullptr;
  if (LONG r = openBelow(key, subKey, false, &sub, &open, &k); r != ERROR_SUCCESS) return r;
  if (!find(*k, sub, &open.path)) return ERROR_FILE_NOT_FOUND;
  *result = newHandle(open.hive, std::move(open.path));
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD, char*, DWORD options, REGSAM, void*, HKEY* result,
                     DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::lock_guard lock(registry().mutex);
  std::vector<std::string> sub;
  OpenKey open;
  reg::Key* k = nullptr;
  std::optional<ExclusiveHold> hold;
  if (LONG r = openBelow(key, subKey, true, &sub, &open, &k, &hold); r != ERROR_SUCCESS) return r;
  bool makeVolatile = (options & REG_OPTION_VOLATILE) != 0;
  bool created = false, createdLasting = false;
  for (const auto& name : sub) {
    auto it = k->children.find(name);
    if (it == k->children.end()) {
      if (k->isVolatile && !makeVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
      it = k->children.emplace(name, reg::Key{}).first;
      it->second.isVolatile = makeVolatile;
      created = true;
      createdLasting = createdLasting || !makeVolatile;
    }
    open.path.push_back(it->first);
    k = &it->second;
  }
  if (createdLasting) {
    if (LONG r = save(*open.hive); r != ERROR_SUCCESS) return r;
  }
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = newHandle(open.hive, std::move(open.path));
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (predefinedHive(key)) return ERROR_SUCCESS;
  std::lock_guard lock(registry().mutex);
  return registry().handles.erase(reinterpret_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS
                                                                         : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize) {
  std::lock_guard lock(registry().mutex);
  OpenKey open;
  reg::Key* k = nullptr;
  if (LONG r = openedKey(key, false, &open, &k); r != ERROR_SUCCESS) return r;
  const reg::Value* v = k->findValue(name ? name : "");
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  return copyData(v->data, data, dataSize);
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  if (dataSize > kMaxValueSize)
    return failWith(ERROR_INVALID_PARAMETER, "value of " + std::to_string(dataSize) + " bytes (at most " +
                                                 std::to_string(kMaxValueSize) + ")");
  std::lock_guard lock(registry().mutex);
  OpenKey open;
  reg::Key* k = nullptr;
  std::optional<ExclusiveHold> hold;
  if (LONG r = openedKey(key, true, &open, &k, &hold); r != ERROR_SUCCESS) return r;
  std::string bytes(reinterpret_cast<const char*>(data), data ? dataSize : 0);
  reg::Value* v = k->findValue(name ? name : "");
  if (v && v->type == type && v->data == bytes) return ERROR_SUCCESS;
  if (v) {
    v->type = type;
    v->data = std::move(bytes);
  } else {
    k->values.push_back(reg::Value{name ? name : "", type, std::move(bytes)});
  }
  return k->isVolatile ? ERROR_SUCCESS : save(*open.hive);
}

LONG RegDeleteValueA(HKEY key, const char* name) {
  std::lock_guard lock(registry().mutex);
  OpenKey open;
  reg::Key* k = nullptr;
  std::optional<ExclusiveHold> hold;
  if (LONG r = openedKey(key, true, &open, &k, &hold); r != ERROR_SUCCESS) return r;
  reg::Value* v = k->findValue(name ? name : "");
  if (!v) return ERROR_FILE_NOT_FOUND;
  k->values.erase(k->values.begin() + (v - k->values.data()));
  return k->isVolatile ? ERROR_SUCCESS : save(*open.hive);
}

LONG RegDeleteKeyA(HKEY key, const char* subKey) {
  std::vector<std::string> sub;
  if (LONG r = splitPath(subKey, &sub); r != ERROR_SUCCESS) return r;
  if (sub.empty()) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(registry().mutex);
  OpenKey open;
  reg::Key* k = nullptr;
  std::optional<ExclusiveHold> hold;
  if (LONG r = openedKey(key, true, &open, &k, &hold); r != ERROR_SUCCESS) return r;
  std::string last = sub.back();
  sub.pop_back();
  reg::Key* parent = find(*k, sub);
  if (!parent) return ERROR_FILE_NOT_FOUND;
  auto it = parent->children.find(last);
  if (it == parent->children.end()) return ERROR_FILE_NOT_FOUND;
  bool lasting = !it->second.isVolatile;
  parent->children.erase(it);
  return lasting ? save(*open.hive) : ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, char* keyClass,
                   DWORD* classSize, void*) {
  if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(registry().mutex);
  OpenKey open;
  reg::Key* k = nullptr;
  if (LONG r = openedKey(key, false, &open, &k); r != ERROR_SUCCESS) return r;
  if (index >= k->children.size()) return ERROR_NO_MORE_ITEMS;
  auto it = std::next(k->children.begin(), index);
  if (!copyName(it->first, name, nameSize)) return ERROR_MORE_DATA;
  if (keyClass && classSize && *classSize > 0) *keyClass = '\0';
  if (classSize) *classSize = 0;
  return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, DWORD* type, BYTE* data,
                   DWORD* dataSize) {
  if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(registry().mutex);
  OpenKey open;
  reg::Key* k = nullptr;
  if (LONG r = openedKey(key, false, &open, &k); r != ERROR_SUCCESS) return r;
  if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
  const reg::Value& v = k->values[index];
  if (!copyName(v.name, name, nameSize)) return ERROR_MORE_DATA;
  if (type) *type = v.type;
  return copyData(v.data, data, dataSize);
}

LONG RegQueryInfoKeyA(HKEY key, char* keyClass, DWORD* classSize, DWORD*, DWORD* subKeys,
                      DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                      DWORD* maxValueLength, DWORD* securityDescriptorSize, void*) {
  std::lock_guard lock(registry().mutex);
  OpenKey open;
  reg::Key* k = nullptr;
  if (LONG r = openedKey(key, false, &open, &k); r != ERROR_SUCCESS) return r;
  DWORD longestKey = 0, longestName = 0, longestData = 0;
  for (const auto& [n, child] : k->children) longestKey = std::max<DWORD>(longestKey, n.size());
  for (const auto& v : k->values) {
    longestName = std::max<DWORD>(longestName, v.name.size());
    longestData = std::max<DWORD>(longestData, v.data.size());
  }
  if (keyClass && classSize && *classSize > 0) *keyClass = '\0';
  if (classSize) *classSize = 0;
  if (subKeys) *subKeys = static_cast<DWORD>(k->children.size());
  if (maxSubKeyLength) *maxSubKeyLength = longestKey;
  if (maxClassLength) *maxClassLength = 0;
  if (values) *values = static_cast<DWORD>(k->values.size());
  if (maxValueNameLength) *maxValueNameLength = longestName;
  if (maxValueLength) *maxValueLength = longestData;
  if (securityDescriptorSize) *securityDescriptorSize = 0;
  return ERROR_SUCCESS;
}

std::optional<fs::path> registryHivePath(HKEY root) {
  Hive* h = predefinedHive(root);
  auto dir = dataRoot();
  if (!h || !dir) return std::nullopt;
  return *dir / "registry" / h->fileName;
}

LONG registryDump(HKEY key, const char* subKey, std::string* text) {
  if (!text) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(registry().mutex);
  std::vector<std::string> sub;
  OpenKey open;
  reg::Key* k = nullptr;
  if (LONG r = openBelow(key, subKey, false, &sub, &open, &k); r != ERROR_SUCCESS) return r;
  std::vector<std::string> path{open.hive->rootName};
  path.insert(path.end(), open.path.begin(), open.path.end());
  reg::Key* target = find(*k, sub, &path);
  if (!target) return ERROR_FILE_NOT_FOUND;
  *text = reg::serializeSubtree(*target, path);
  return ERROR_SUCCESS;
}

std::string registryFormatValue(DWORD type, std::string_view data) {
  return reg::formatValue(type, data);
}

std::string registryFailureReason() {
  return lastFailure;
}

}  // namespace wf
