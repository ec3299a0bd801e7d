// The NetWare client stand-in: one world per process, read from the
// scenario on first use (or given by a test), guarded by one lock.
#include "cornwthk/cornwthk.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/module.h"
#include "platform/regular_file.h"
#include "platform/scenario.h"
#include "platform/trace.h"

namespace {

using Address = std::array<std::uint8_t, 10>;  // network, node

struct Object {
  NWOBJ_ID id = 0;
  std::string name;
  std::uint16_t type = 0;
  std::optional<Address> address;                     // "NET_ADDRESS"
  std::optional<std::vector<NWOBJ_ID>> queueServers;  // "Q_SERVERS"
};

struct Printer {
  std::string printServer;
  std::uint8_t number = 0, status = 0;
  std::string name;
  std::vector<std::string> queues;
};

struct Server {
  std::string name;
  Address address{};
  std::uint16_t version = 3120;
  std::vector<Object> objects;
  std::vector<Printer> printers;
  NWOBJ_ID nextId = 0x01000001;
};

struct Connection {
  std::string server;
  bool attached = true, loggedIn = false, isDefault = false;
  std::uint8_t level = 0;
  std::string user, password;
};

struct Session {
  NWCONN_HANDLE conn = 0;
  std::string printServer;
  bool open = false;
};

struct World {
  bool client = false;
  std::array<std::uint8_t, 3> version{};
  std::vector<Server> servers;
  std::vector<Connection> connections;  // handle = index + 1
  std::vector<Session> sessions;        // session = index + 1
  std::map<std::string, NWCCODE> failing;
  std::map<std::string, std::uint32_t> calls;
  std::vector<std::string> loginRetry;
};

std::mutex gMutex;
World gWorld;
bool gLoaded = false;

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

bool sameName(std::string_view a, std::string_view b) {
  return upper(a) == upper(b);
}

bool matches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == '*') {
    for (std::size_t i = 0; i <= name.size(); ++i)
      if (matches(pattern.substr(1), name.substr(i))) return true;
    return false;
  }
  if (name.empty()) return false;
  const bool one = pattern[0] == '?' || std::toupper(static_cast<unsigned char>(pattern[0])) ==
                                            std::toupper(static_cast<unsigned char>(name[0]));
  return one && matches(pattern.substr(1), name.substr(1));
}

void copyName(char* out, std::string_view name) {
  const std::size_t n = std::min<std::size_t>(name.size(), NW_NAME - 1);
  std::memcpy(out, name.data(), n);
  std::memset(out + n, 0, NW_NAME - n);
}

// ---- Reading the world --------------------------------------------------------------

bool parseHex(std::string_view text, std::uint8_t* out, std::size_t bytes) {
  if (text.size() != bytes * 2) return false;
  for (std::size_t i = 0; i < bytes; ++i) {
    const std::string pair(text.substr(2 * i, 2));
    char* end = nullptr;
    const unsigned long v = std::strtoul(pair.c_str(), &end, 16);
    if (!std::isxdigit(static_cast<unsigned char>(pair[0])) || *end) return false;
    out[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

// "NNNNNNNN:HHHHHHHHHHHH"
bool parseAddress(std::string_view text, Address& out) {
  const auto colon = text.find(':');
  return colon == 8 && parseHex(text.substr(0, 8), out.data(), 4) &&
         parseHex(text.substr(9), out.data() + 4, 6);
}

bool parseNumber(std::string_view text, unsigned long& out, int base, unsigned long max) {
  if (text.empty()) return false;
  const std::string s(text);
  char* end = nullptr;
  out = std::strtoul(s.c_str(), &end, base);
  return !*end && out <= max;
}

// "4.10" -> 4100
bool parseServerVersion(std::string_view text, std::uint16_t& out) {
  const auto dot = text.find('.');
  unsigned long major = 0, minor = 0;
  if (dot == std::string_view::npos || !parseNumber(text.substr(0, dot), major, 10, 60) ||
      !parseNumber(text.substr(dot + 1), minor, 10, 99))
    return false;
  out = static_cast<std::uint16_t>(major * 1000 + minor * 10);
  return true;
}

Server* serverNamed(World& w, std::string_view name) {
  for (Server& s : w.servers)
    if (sameName(s.name, name)) return &s;
  return nullptr;
}

Object* objectNamed(Server& s, std::string_view name, std::uint16_t type) {
  for (Object& o : s.objects)
    if (o.type == type && sameName(o.name, name)) return &o;
  return nullptr;
}

Object& addObject(Server& s, std::string name, std::uint16_t type) {
  if (Object* o = objectNamed(s, name, type)) return *o;
  Object o;
  o.id = s.nextId++;
  o.name = upper(name);
  o.type = type;
  s.objects.push_back(std::move(o));
  return s.objects.back();
}

struct Reader {
  World world;
  std::string error;
  // Queue members by name, resolved once every object of the server is known.
  std::vector<std::pair<std::string, std::vector<std::string>>> pendingMembers;

  bool fail(std::size_t line, const std::string& why) {
    error = "line " + std::to_string(line) + ": " + why;
    return false;
  }

  bool client(std::size_t line, const std::string& key, const std::string& value) {
    if (key != "version") return fail(line, "unknown key " + key);
    unsigned long a = 0, b = 0, c = 0;
    std::istringstream in(value);
    char d1 = 0, d2 = 0;
    if (!(in >> a >> d1 >> b >> d2 >> c) || d1 != '.' || d2 != '.' || a > 255 || b > 255 || c > 255)
      return fail(line, "version is three numbers a.b.c");
    world.version = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                     static_cast<std::uint8_t>(c)};
    world.client = a || b || c;
    return true;
  }

  bool server(std::size_t line, const std::string& key, const std::string& value) {
    const auto f = wf::splitScenarioFields(value);
    Server s;
    s.name = upper(key);
    if (s.name.empty() || s.name.size() >= NW_NAME || f.empty() || !parseAddress(f[0], s.address))
      return fail(line, "a server is NAME = NNNNNNNN:HHHHHHHHHHHH | version");
    if (f.size() > 1 && !parseServerVersion(f[1], s.version)) return fail(line, "bad server version " + f[1]);
    if (serverNamed(world, s.name)) return fail(line, "server " + s.name + " given twice");
    addObject(s, s.name, NW_OT_FILE_SERVER).address = s.address;
    world.servers.push_back(std::move(s));
    return true;
  }

  bool connection(std::size_t line, const std::string& key, const std::string& value) {
    if (!serverNamed(world, key)) return fail(line, "connection to unknown server " + key);
    Connection c;
    c.server = upper(key);
    for (const std::string& field : wf::splitScenarioFields(value)) {
      const auto space = field.find(' ');
      const std::string word = field.substr(0, space);
      const std::string arg = space == std::string::npos ? "" : field.substr(space + 1);
      unsigned long level = 0;
      if (word == "logged-in")
        c.loggedIn = true;
      else if (word == "default")
        c.isDefault = true;
      else if (word == "level" && parseNumber(arg, level, 16, 255))
        c.level = static_cast<std::uint8_t>(level);
      else if (word == "user" && !arg.empty())
        c.user = upper(arg);
      else if (word == "password")
        c.password = arg;
      else if (!word.empty())
        return fail(line, "unknown connection field " + field);
    }
    world.connections.push_back(std::move(c));
    return true;
  }

  bool bindery(std::size_t line, Server& s, const std::string& key, const std::string& value) {
    const auto f = wf::splitScenarioFields(value);
    if (f.empty() || f[0].empty() || f[0].size() >= NW_NAME) return fail(line, "an entry starts with a name");
    unsigned long n = 0;
    if (key == "object") {
      if (f.size() < 2 || !parseNumber(f[1], n, 16, 0xFFFF))
        return fail(line, "object = NAME | TYPE [| ADDRESS]");
      Object& o = addObject(s, f[0], static_cast<std::uint16_t>(n));
      if (f.size() > 2) {
        Address a{};
        if (!parseAddress(f[2], a)) return fail(line, "bad address " + f[2]);
        o.address = a;
      }
      return true;
    }
    if (key == "queue") {
      addObject(s, f[0], NW_OT_PRINT_QUEUE).queueServers.emplace();
      std::vector<std::string> members;
      if (f.size() > 1) {
        std::istringstream in(f[1]);
        for (std::string m; std::getline(in, m, ',');) {
          m.erase(0, m.find_first_not_of(' '));
          m.erase(m.find_last_not_of(' ') + 1);
          if (!m.empty()) members.push_back(upper(m));
        }
      }
      pendingMembers.emplace_back(s.name + "\n" + upper(f[0]), std::move(members));
      return true;
    }
    if (key == "printer") {
      unsigned long status = 0;
      if (f.size() < 4 || !parseNumber(f[1], n, 10, 254) || !parseNumber(f[2], status, 10, 255))
        return fail(line, "printer = PRINT SERVER | number | status | name [| queue, queue]");
      addObject(s, f[0], NW_OT_ADVERTISING_PRINT_SERVER);
      Printer p{
          upper(f[0]), static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(status), upper(f[3]), {}};
      if (f.size() > 4) {
        std::istringstream in(f[4]);
        for (std::string q; std::getline(in, q, ',');) {
          q.erase(0, q.find_first_not_of(' '));
          q.erase(q.find_last_not_of(' ') + 1);
          if (!q.empty()) p.queues.push_back(upper(q));
        }
      }
      s.printers.push_back(std::move(p));
      return true;
    }
    return fail(line, "unknown bindery entry " + key);
  }

  bool resolveMembers() {
    for (auto& [where, members] : pendingMembers) {
      const auto nl = where.find('\n');
      Server* s = serverNamed(world, where.substr(0, nl));
      Object* q = objectNamed(*s, where.substr(nl + 1), NW_OT_PRINT_QUEUE);
      for (const std::string& m : members) {
        const Object* member = nullptr;
        for (const Object& o : s->objects)
          if (o.name == m && o.type != NW_OT_PRINT_QUEUE) member = &o;
        if (!member) {
          error = "queue " + q->name + " names unknown member " + m;
          return false;
        }
        q->queueServers->push_back(member->id);
      }
    }
    return true;
  }

  // Sections in file order: client, servers and connections before any bindery.
  bool read(std::string_view text) {
    std::string section;
    std::size_t line = 0;
    std::istringstream in{std::string(text)};
    std::vector<std::tuple<std::size_t, std::string, std::string, std::string>> bindery;
    for (std::string raw; std::getline(in, raw);) {
      ++line;
      raw.erase(0, raw.find_first_not_of(" \t"));
      raw.erase(raw.find_last_not_of(" \t\r") + 1);
      if (raw.empty() || raw[0] == '#') continue;
      if (raw[0] == '[') {
        section = raw.back() == ']' ? upper(raw.substr(1, raw.size() - 2)) : "";
        continue;
      }
      if (section.rfind("NETWARE.", 0) != 0) continue;
      std::string key, value;
      if (!wf::splitScenarioEntry(raw, key, value)) return fail(line, "not key = value");
      const std::string lowerKey = [&] {
        std::string k = key;
        for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return k;
      }();
      bool ok = true;
      if (section == "NETWARE.CLIENT")
        ok = client(line, lowerKey, value);
      else if (section == "NETWARE.SERVERS")
        ok = server(line, key, value);
      else if (section == "NETWARE.CONNECTIONS")
        ok = connection(line, key, value);
      else if (section.rfind("NETWARE.BINDERY.", 0) == 0)
        bindery.emplace_back(line, section.substr(16), lowerKey, value);
      else
        ok = fail(line, "unknown section " + section);
      if (!ok) return false;
    }
    for (auto& [at, serverName, key, value] : bindery) {
      Server* s = serverNamed(world, serverName);
      if (!s) return fail(at, "bindery of unknown server " + serverName);
      if (!this->bindery(at, *s, key, value)) return false;
    }
    return resolveMembers();
  }
};

// The scenario as written; empty with *error when it cannot be read.
std::optional<std::string> scenarioText(std::string* error) {
  if (const char* file = std::getenv("WRENFIELD_SCENARIO"); file && *file) {
    // Read here, not through the loader, so the reader sees the lines in order, includes spliced.
    std::error_code ec;
    if (std::filesystem::symlink_status(file, ec).type() == std::filesystem::file_type::not_found) return std::string();
    return wf::readScenarioFile(file, error);
  }
  const auto scenario = wf::loadScenario(error);
  if (!scenario) return std::nullopt;
  std::string text;
  for (const auto& [name, lines] : scenario->sections) {
    text += "[" + name + "]\n";
    for (const std::string& l : lines) text += l + "\n";
  }
  return text;
}

// 0, or the line at fault (every other fault: 1).
std::uint32_t loadWorld(std::string_view text) {
  Reader r;
  const bool ok = r.read(text);
  gLoaded = true;
  if (!ok) {
    wf::platformTrace("cornwthk: scenario " + r.error + "; no NetWare client");
    gWorld = World{};
    const auto line = r.error.rfind("line ", 0) == 0 ? std::strtoul(r.error.c_str() + 5, nullptr, 10) : 1;
    return line ? static_cast<std::uint32_t>(line) : 1;
  }
  gWorld = std::move(r.world);
  return 0;
}

void loadScenarioWorld() {
  std::string error;
  if (const auto text = scenarioText(&error)) {
    loadWorld(*text);
    return;
  }
  wf::platformTrace("cornwthk: scenario " + error + "; no NetWare client");
  gLoaded = true;
  gWorld = World{};
}

// ---- Calls -----------------------------------------------------------------------------

// Takes the lock, loads the world when needed, counts the call and answers its
// failure knob (0: go on).
class Call {
 public:
  explicit Call(const char* name) : lock_(gMutex) {
    if (!gLoaded) loadScenarioWorld();
    ++gWorld.calls[name];
    const auto f = gWorld.failing.find(name);
    knob_ = f == gWorld.failing.end() ? 0 : f->second;
    if (!knob_ && !gWorld.client) knob_ = NW_ERR_NO_CLIENT;
  }
  NWCCODE knob() const { return knob_; }

 private:
  std::lock_guard<std::mutex> lock_;
  NWCCODE knob_ = 0;
};

Connection* connectionOf(NWCONN_HANDLE conn) {
  if (conn == 0 || conn > gWorld.connections.size()) return nullptr;
  Connection& c = gWorld.connections[conn - 1];
  return c.attached ? &c : nullptr;
}

Server* serverOf(NWCONN_HANDLE conn) {
  const Connection* c = connectionOf(conn);
  return c ? serverNamed(gWorld, c->server) : nullptr;
}

Session* sessionOf(std::uint16_t session) {
  if (session == 0 || session > gWorld.sessions.size()) return nullptr;
  Session& s = gWorld.sessions[session - 1];
  return s.open ? &s : nullptr;
}

// The Q_SERVERS set of an object and the id of a member-to-be.
NWCCODE setMember(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType, const char* property,
                  const char* memberName, uint16_t memberType, std::vector<NWOBJ_ID>*& ids,
                  NWOBJ_ID& member) {
  Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!objectName || !property || !memberName) return NW_ERR_BAD_ARGUMENT;
  Object* o = objectNamed(*s, objectName, objectType);
  const Object* m = objectNamed(*s, memberName, memberType);
  if (!o || !m) return NW_ERR_NO_SUCH_OBJECT;
  if (!sameName(property, "Q_SERVERS") || !o->queueServers) return NW_ERR_NO_SUCH_PROPERTY;
  ids = &*o->queueServers;
  member = m->id;
  return NW_SUCCESS;
}

#define NW_ENTER(name)    \
  const Call call_(name); \
  if (call_.knob()) return call_.knob()

}  // namespace

extern "C" {

WF_MODULE_EXPORT NWCCODE NWCallsInit(void) {
  NW_ENTER("NWCallsInit");
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWGetRequesterVersion(uint8_t* major, uint8_t* minor, uint8_t* revision) {
  NW_ENTER("NWGetRequesterVersion");
  if (!major || !minor || !revision) return NW_ERR_BAD_ARGUMENT;
  *major = gWorld.version[0];
  *minor = gWorld.version[1];
  *revision = gWorld.version[2];
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWGetDefaultConnectionID(NWCONN_HANDLE* conn) {
  NW_ENTER("NWGetDefaultConnectionID");
  if (!conn) return NW_ERR_BAD_ARGUMENT;
  for (std::size_t i = 0; i < gWorld.connections.size(); ++i)
    if (gWorld.connections[i].attached && gWorld.connections[i].isDefault) {
      *conn = static_cast<NWCONN_HANDLE>(i + 1);
      return NW_SUCCESS;
    }
  *conn = 0;
  return NW_ERR_BAD_CONNECTION;
}

WF_MODULE_EXPORT NWCCODE NWGetNumConnections(uint16_t* count) {
  NW_ENTER("NWGetNumConnections");
  if (!count) return NW_ERR_BAD_ARGUMENT;
  *count = static_cast<uint16_t>(std::count_if(gWorld.connections.begin(), gWorld.connections.end(),
                                               [](auto& c) { return c.attached; }));
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWGetConnectionList(NWCONN_HANDLE* list, uint16_t capacity, uint16_t* count) {
  NW_ENTER("NWGetConnectionList");
  if (!list || !count) return NW_ERR_BAD_ARGUMENT;
  *count = 0;
  for (std::size_t i = 0; i < gWorld.connections.size() && *count < capacity; ++i)
    if (gWorld.connections[i].attached) list[(*count)++] = static_cast<NWCONN_HANDLE>(i + 1);
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWGetConnectionHandle(const char* serverName, NWCONN_HANDLE* conn) {
  NW_ENTER("NWGetConnectionHandle");
  if (!serverName || !conn) return NW_ERR_BAD_ARGUMENT;
  for (std::size_t i = 0; i < gWorld.connections.size(); ++i)
    if (gWorld.connections[i].attached && sameName(gWorld.connections[i].server, serverName)) {
      *conn = static_cast<NWCONN_HANDLE>(i + 1);
      return NW_SUCCESS;
    }
  *conn = 0;
  return NW_ERR_BAD_CONNECTION;
}

WF_MODULE_EXPORT NWCCODE NWGetConnectionStatus(NWCONN_HANDLE conn, uint8_t* flags) {
  NW_ENTER("NWGetConnectionStatus");
  const Connection* c = connectionOf(conn);
  if (!c) return NW_ERR_BAD_CONNECTION;
  if (!flags) return NW_ERR_BAD_ARGUMENT;
  *flags = c->loggedIn ? NW_STATUS_LOGGED_IN : 0;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWGetBinderyAccessLevel(NWCONN_HANDLE conn, uint8_t* level, NWOBJ_ID* objectId) {
  NW_ENTER("NWGetBinderyAccessLevel");
  const Connection* c = connectionOf(conn);
  if (!c) return NW_ERR_BAD_CONNECTION;
  if (!level) return NW_ERR_BAD_ARGUMENT;
  *level = c->loggedIn ? c->level : 0;
  if (objectId) *objectId = 0;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWGetFileServerName(NWCONN_HANDLE conn, char name[NW_NAME]) {
  NW_ENTER("NWGetFileServerName");
  const Connection* c = connectionOf(conn);
  if (!c) return NW_ERR_BAD_CONNECTION;
  if (!name) return NW_ERR_BAD_ARGUMENT;
  copyName(name, c->server);
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWGetFileServerVersion(NWCONN_HANDLE conn, uint16_t* version) {
  NW_ENTER("NWGetFileServerVersion");
  const Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!version) return NW_ERR_BAD_ARGUMENT;
  *version = s->version;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWAttachToFileServer(const char* serverName, NWCONN_HANDLE* conn) {
  NW_ENTER("NWAttachToFileServer");
  if (!serverName || !conn) return NW_ERR_BAD_ARGUMENT;
  if (!serverNamed(gWorld, serverName)) return NW_ERR_NO_SUCH_SERVER;
  for (std::size_t i = 0; i < gWorld.connections.size(); ++i)
    if (gWorld.connections[i].attached && sameName(gWorld.connections[i].server, serverName)) {
      *conn = static_cast<NWCONN_HANDLE>(i + 1);
      return NW_SUCCESS;
    }
  Connection c;
  c.server = upper(serverName);
  gWorld.connections.push_back(c);
  *conn = static_cast<NWCONN_HANDLE>(gWorld.connections.size());
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWDetachFromFileServer(NWCONN_HANDLE conn) {
  NW_ENTER("NWDetachFromFileServer");
  Connection* c = connectionOf(conn);
  if (!c) return NW_ERR_BAD_CONNECTION;
  c->attached = false;
  c->loggedIn = false;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWLoginToFileServer(NWCONN_HANDLE conn, const char* user, uint16_t objectType,
                                             const char* password) {
  NW_ENTER("NWLoginToFileServer");
  Connection* c = connectionOf(conn);
  if (!c) return NW_ERR_BAD_CONNECTION;
  if (!user || !*user || !password || objectType != NW_OT_USER) return NW_ERR_BAD_ARGUMENT;
  const auto armed = std::find_if(gWorld.loginRetry.begin(), gWorld.loginRetry.end(),
                                  [&](const std::string& s) { return sameName(s, c->server); });
  if (armed != gWorld.loginRetry.end()) {
    gWorld.loginRetry.erase(armed);
    return NW_LOGIN_LOG_OUT_RETRY;
  }
  if (c->loggedIn) return NW_LOGIN_ALREADY;
  if (!c->user.empty() && (!sameName(c->user, user) || c->password != password)) return NW_ERR_BAD_PASSWORD;
  c->loggedIn = true;
  c->user = upper(user);
  if (c->level == 0) c->level = c->user == "SUPERVISOR" ? NW_ACCESS_SUPERVISOR : 0x11;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWLogoutFromFileServer(NWCONN_HANDLE conn) {
  NW_ENTER("NWLogoutFromFileServer");
  Connection* c = connectionOf(conn);
  if (!c) return NW_ERR_BAD_CONNECTION;
  c->loggedIn = false;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWScanObject(NWCONN_HANDLE conn, const char* pattern, uint16_t objectType,
                                      NWOBJ_ID* lastId, char name[NW_NAME], uint16_t* foundType) {
  NW_ENTER("NWScanObject");
  const Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!pattern || !lastId || !name) return NW_ERR_BAD_ARGUMENT;
  // Objects in id order; 0xFFFFFFFF starts the scan.
  const NWOBJ_ID after = *lastId == 0xFFFFFFFFu ? 0 : *lastId;
  for (const Object& o : s->objects)
    if (o.id > after && (objectType == 0xFFFF || o.type == objectType) && matches(pattern, o.name)) {
      *lastId = o.id;
      copyName(name, o.name);
      if (foundType) *foundType = o.type;
      return NW_SUCCESS;
    }
  return NW_ERR_NO_SUCH_OBJECT;
}

WF_MODULE_EXPORT NWCCODE NWReadPropertyValue(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType,
                                             const char* property, uint8_t segment, uint8_t value[NW_SEGMENT],
                                             uint8_t* more) {
  NW_ENTER("NWReadPropertyValue");
  Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!objectName || !property || !value || segment == 0) return NW_ERR_BAD_ARGUMENT;
  const Object* o = objectNamed(*s, objectName, objectType);
  if (!o) return NW_ERR_NO_SUCH_OBJECT;
  std::memset(value, 0, NW_SEGMENT);
  if (more) *more = 0;
  if (sameName(property, "NET_ADDRESS") && o->address) {
    if (segment != 1) return NW_ERR_NO_MORE_SEGMENTS;
    std::memcpy(value, o->address->data(), o->address->size());
    return NW_SUCCESS;
  }
  if (sameName(property, "Q_SERVERS") && o->queueServers) {
    // 32 big-endian ids a segment.
    const std::vector<NWOBJ_ID>& ids = *o->queueServers;
    const std::size_t first = (segment - 1u) * 32u;
    if (first >= ids.size() && !(segment == 1 && ids.empty())) return NW_ERR_NO_MORE_SEGMENTS;
    for (std::size_t i = first; i < ids.size() && i < first + 32; ++i)
      for (int b = 0; b < 4; ++b)
        value[(i - first) * 4 + b] = static_cast<std::uint8_t>(ids[i] >> (24 - 8 * b));
    if (more) *more = ids.size() > first + 32 ? 0xFF : 0;
    return NW_SUCCESS;
  }
  return NW_ERR_NO_SUCH_PROPERTY;
}

WF_MODULE_EXPORT NWCCODE NWScanProperty(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType,
                                        const char* property) {
  NW_ENTER("NWScanProperty");
  Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!objectName || !property) return NW_ERR_BAD_ARGUMENT;
  const Object* o = objectNamed(*s, objectName, objectType);
  if (!o) return NW_ERR_NO_SUCH_OBJECT;
  const bool has = (sameName(property, "NET_ADDRESS") && o->address) ||
                   (sameName(property, "Q_SERVERS") && o->queueServers);
  return has ? NW_SUCCESS : NW_ERR_NO_SUCH_PROPERTY;
}

WF_MODULE_EXPORT NWCCODE NWGetObjectName(NWCONN_HANDLE conn, NWOBJ_ID id, char name[NW_NAME],
                                         uint16_t* objectType) {
  NW_ENTER("NWGetObjectName");
  const Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!name) return NW_ERR_BAD_ARGUMENT;
  for (const Object& o : s->objects)
    if (o.id == id) {
      copyName(name, o.name);
      if (objectType) *objectType = o.type;
      return NW_SUCCESS;
    }
  return NW_ERR_NO_SUCH_OBJECT;
}

WF_MODULE_EXPORT NWCCODE NWCreateObject(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType) {
  NW_ENTER("NWCreateObject");
  Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!objectName || !*objectName || std::strlen(objectName) >= NW_NAME) return NW_ERR_BAD_ARGUMENT;
  if (objectNamed(*s, objectName, objectType)) return NW_ERR_OBJECT_EXISTS;
  addObject(*s, objectName, objectType);
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWCreateProperty(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType,
                                          const char* property, uint8_t /*flags*/, uint8_t /*security*/) {
  NW_ENTER("NWCreateProperty");
  Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!objectName || !property) return NW_ERR_BAD_ARGUMENT;
  Object* o = objectNamed(*s, objectName, objectType);
  if (!o) return NW_ERR_NO_SUCH_OBJECT;
  if (!sameName(property, "Q_SERVERS")) return NW_ERR_BAD_ARGUMENT;  // the one set property this world keeps
  if (o->queueServers) return NW_ERR_PROPERTY_EXISTS;
  o->queueServers.emplace();
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWAddObjectToSet(NWCONN_HANDLE conn, const char* objectName, uint16_t objectType,
                                          const char* property, const char* memberName, uint16_t memberType) {
  NW_ENTER("NWAddObjectToSet");
  std::vector<NWOBJ_ID>* ids = nullptr;
  NWOBJ_ID member = 0;
  if (const NWCCODE rc =
          setMember(conn, objectName, objectType, property, memberName, memberType, ids, member))
    return rc;
  if (std::find(ids->begin(), ids->end(), member) != ids->end()) return NW_ERR_MEMBER_EXISTS;
  ids->push_back(member);
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWDeleteObjectFromSet(NWCONN_HANDLE conn, const char* objectName,
                                               uint16_t objectType, const char* property,
                                               const char* memberName, uint16_t memberType) {
  NW_ENTER("NWDeleteObjectFromSet");
  std::vector<NWOBJ_ID>* ids = nullptr;
  NWOBJ_ID member = 0;
  if (const NWCCODE rc =
          setMember(conn, objectName, objectType, property, memberName, memberType, ids, member))
    return rc;
  const auto at = std::find(ids->begin(), ids->end(), member);
  if (at == ids->end()) return NW_ERR_NO_SUCH_MEMBER;
  ids->erase(at);
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWCreateQueue(NWCONN_HANDLE conn, const char* queueName, NWOBJ_ID* queueId) {
  NW_ENTER("NWCreateQueue");
  Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!queueName || !*queueName || std::strlen(queueName) >= NW_NAME) return NW_ERR_BAD_ARGUMENT;
  if (objectNamed(*s, queueName, NW_OT_PRINT_QUEUE)) return NW_ERR_OBJECT_EXISTS;
  Object& q = addObject(*s, queueName, NW_OT_PRINT_QUEUE);
  q.queueServers.emplace();
  if (queueId) *queueId = q.id;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWDestroyQueue(NWCONN_HANDLE conn, NWOBJ_ID queueId) {
  NW_ENTER("NWDestroyQueue");
  Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  const auto at = std::find_if(s->objects.begin(), s->objects.end(), [&](const Object& o) {
    return o.id == queueId && o.type == NW_OT_PRINT_QUEUE;
  });
  if (at == s->objects.end()) return NW_ERR_NO_SUCH_OBJECT;
  s->objects.erase(at);
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWPSCommAttachToPrintServer(NWCONN_HANDLE conn, const char* printServer,
                                                     uint16_t* session) {
  NW_ENTER("NWPSCommAttachToPrintServer");
  Server* s = serverOf(conn);
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!printServer || !session) return NW_ERR_BAD_ARGUMENT;
  if (!objectNamed(*s, printServer, NW_OT_ADVERTISING_PRINT_SERVER) &&
      !objectNamed(*s, printServer, NW_OT_PRINT_SERVER))
    return NW_ERR_NO_SUCH_SERVER;
  gWorld.sessions.push_back({conn, upper(printServer), true});
  *session = static_cast<uint16_t>(gWorld.sessions.size());
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWPSCommLoginToPrintServer(uint16_t session, uint8_t* accessLevel) {
  NW_ENTER("NWPSCommLoginToPrintServer");
  if (!sessionOf(session)) return NW_ERR_BAD_CONNECTION;
  if (accessLevel) *accessLevel = 0;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWPSComGetPrintersServicingQ(uint16_t session, const char* /*fileServer*/,
                                                      const char* queueName, uint16_t capacity,
                                                      uint16_t* count, uint8_t* printers) {
  NW_ENTER("NWPSComGetPrintersServicingQ");
  const Session* ps = sessionOf(session);
  const Server* s = ps ? serverOf(ps->conn) : nullptr;
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!queueName || !count || !printers) return NW_ERR_BAD_ARGUMENT;
  *count = 0;
  for (const Printer& p : s->printers)
    if (p.printServer == ps->printServer && *count < capacity &&
        std::any_of(p.queues.begin(), p.queues.end(),
                    [&](const std::string& q) { return sameName(q, queueName); }))
      printers[(*count)++] = p.number;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT NWCCODE NWPSComGetPrinterStatus(uint16_t session, uint8_t printer, uint8_t* status,
                                                 char name[NW_NAME]) {
  NW_ENTER("NWPSComGetPrinterStatus");
  const Session* ps = sessionOf(session);
  const Server* s = ps ? serverOf(ps->conn) : nullptr;
  if (!s) return NW_ERR_BAD_CONNECTION;
  if (!status || !name) return NW_ERR_BAD_ARGUMENT;
  for (const Printer& p : s->printers)
    if (p.printServer == ps->printServer && p.number == printer) {
      *status = p.status;
      copyName(name, p.name);
      return NW_SUCCESS;
    }
  return NW_ERR_NO_SUCH_OBJECT;
}

WF_MODULE_EXPORT NWCCODE NWPSCommDetachFromPrintServer(uint16_t session) {
  NW_ENTER("NWPSCommDetachFromPrintServer");
  Session* ps = sessionOf(session);
  if (!ps) return NW_ERR_BAD_CONNECTION;
  ps->open = false;
  return NW_SUCCESS;
}

WF_MODULE_EXPORT uint32_t CornwthkLoadWorld(const char* scenarioText) {
  std::lock_guard g(gMutex);
  return loadWorld(scenarioText ? scenarioText : "");
}

WF_MODULE_EXPORT void CornwthkArmLoginRetry(const char* server) {
  std::lock_guard g(gMutex);
  if (server) gWorld.loginRetry.emplace_back(server);
}

WF_MODULE_EXPORT void CornwthkFailCall(const char* call, NWCCODE code) {
  std::lock_guard g(gMutex);
  if (!call) return;
  if (code)
    gWorld.failing[call] = code;
  else
    gWorld.failing.erase(call);
}

WF_MODULE_EXPORT NWCCODE CornwthkSetAccessLevel(const char* server, uint8_t level) {
  std::lock_guard g(gMutex);
  for (Connection& c : gWorld.connections)
    if (c.attached && server && sameName(c.server, server)) {
      c.level = level;
      return NW_SUCCESS;
    }
  return NW_ERR_BAD_CONNECTION;
}

WF_MODULE_EXPORT uint32_t CornwthkCallCount(const char* call) {
  std::lock_guard g(gMutex);
  const auto at = call ? gWorld.calls.find(call) : gWorld.calls.end();
  return at == gWorld.calls.end() ? 0 : at->second;
}

}  // extern "C"
