#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "platform/net_connections.h"
#include "platform/registry.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"
#include "platform_child.h"

namespace wf::netconn {
namespace {

constexpr const char* kWorld =
    "[network.redirections]\n"
    "LPT2 = \\\\SERVER\\QUEUE\n"
    "lpt3: = \\\\SERVER\\DOWN\n"
    "[network.unreachable]\n"
    "\\\\server\\down\n";

void load(NetConnections& c, const char* text) {
  std::string error;
  ASSERT_TRUE(c.load(*parseScenario(text), &error)) << error;
}

}  // namespace

TEST(NetConnections, RemoteNameOfARedirectedPortAsTheOriginalAnswered) {
  NetConnections c;
  load(c, kWorld);
  const std::string queue = "\\\\SERVER\\QUEUE";
  for (const char* local : {"LPT2", "lpt2:", "Lpt2"}) {
    char remote[255];
    std::uint32_t length = sizeof remote;
    EXPECT_EQ(c.getConnection(local, remote, length), kNoError) << local;
    EXPECT_EQ(remote, queue);
  }
  char small[8];
  std::uint32_t length = sizeof small;
  EXPECT_EQ(c.getConnection("LPT2", small, length), kMoreData);
  EXPECT_EQ(length, queue.size() + 1) << "the size needed, terminator included";
  char exact[15];
  length = sizeof exact;
  EXPECT_EQ(c.getConnection("LPT2", exact, length), kNoError);
  EXPECT_EQ(exact, queue);

  length = sizeof small;
  EXPECT_EQ(c.getConnection("LPT1", small, length), kNotConnected);
  EXPECT_EQ(c.getConnection("COM1", small, length), kBadDevice);
  EXPECT_TRUE(c.setRedirection("LPT1:", "\\\\OTHER\\Q"));
  EXPECT_EQ(c.getConnection("LPT1", nullptr, length), kMoreData);
  EXPECT_TRUE(c.setRedirection("LPT2", ""));
  EXPECT_EQ(c.getConnection("LPT2", small, length), kNotConnected);
  EXPECT_FALSE(c.setRedirection("PRN", "\\\\X\\Y"));
}

TEST(NetConnections, SinkKeepsEachWriteToAReachableRedirectionTarget) {
  NetConnections c;
  load(c, kWorld);
  EXPECT_EQ(c.writeRemote("\\\\server\\queue", "\x1b%-12345X@PJL\n"), kNoError);
  EXPECT_EQ(c.writeRemote("\\\\SERVER\\QUEUE", std::string("a\0b", 3)), kNoError);
  EXPECT_EQ(c.writtenTo("\\\\Server\\Queue"),
            (std::vector<std::string>{"\x1b%-12345X@PJL\n", std::string("a\0b", 3)}));

  EXPECT_EQ(c.writeRemote("\\\\SERVER\\DOWN", "lost"), kBadNetPath);
  EXPECT_EQ(c.writeRemote("\\\\NOWHERE\\Q", "lost"), kBadNetName);
  EXPECT_TRUE(c.writtenTo("\\\\SERVER\\DOWN").empty());
  c.setReachable("\\\\SERVER\\DOWN", true);
  EXPECT_EQ(c.writeRemote("\\\\SERVER\\DOWN", "now"), kNoError);
  c.setReachable("\\\\SERVER\\QUEUE", false);
  EXPECT_EQ(c.writeRemote("\\\\SERVER\\QUEUE", "x"), kBadNetPath);
  EXPECT_EQ(c.writtenTo("\\\\SERVER\\QUEUE").size(), 2u);
}

TEST(NetConnections, WritesOfAnotherProcessReachTheSameSink) {
  std::ofstream(*dataRoot() / "scenario") << kWorld;
  NetConnections c;
  load(c, kWorld);
  EXPECT_EQ(c.writeRemote("\\\\SERVER\\QUEUE", "mine"), kNoError);
  testing::PlatformChild child;
  EXPECT_EQ(child.netWrite("\\\\SERVER\\QUEUE", "theirs"), kNoError);
  EXPECT_EQ(child.netWrite("\\\\SERVER\\DOWN", "lost"), kBadNetPath);
  EXPECT_EQ(c.writtenTo("\\\\SERVER\\QUEUE"), (std::vector<std::string>{"mine", "theirs"}));
}

TEST(NetConnections, MalformedRedirectionIsRefusedAndChangesNothing) {
  NetConnections c;
  load(c, kWorld);
  for (const char* bad : {"[network.redirections]\nLPT0 = \\\\A\\B\n", "[network.redirections]\nLPT1 =\n",
                          "[network.redirections]\n\\\\A\\B\n"}) {
    std::string error;
    EXPECT_FALSE(c.load(*parseScenario(bad), &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  char remote[64];
  std::uint32_t length = sizeof remote;
  EXPECT_EQ(c.getConnection("LPT2", remote, length), kNoError);
}

}  // namespace wf::netconn

// The neighbourhood through the original network calls, read as the transports read it.
namespace wf {
namespace {

constexpr const char* kNeighbourhood =
    "[network.workstation]\n"
    "computer = WS1\n"
    "workgroup = PRINTGRP\n"
    "user = ALICE\n"
    "[network.redirections]\n"
    "LPT1 = \\\\SRV1\\Q_VIREO\n"
    "lpt2: = \\\\ws1\\Q_LOCAL\n"
    "[network.connected]\n"
    "\\\\SRV2\\Q_KEY\n"
    "[network.domains]\n"
    "PRINTGRP = WS1, SRV4\n"
    "CORPDOM = SRV5\n";

constexpr DWORD kAsManyAsFit = 0xFFFFFFFF;
constexpr DWORD kBufferSize = 16384;
struct alignas(NETRESOURCEA) EnumBuffer {
  char bytes[kBufferSize];
};

struct Listed {
  DWORD scope = 0, type = 0, displayType = 0, usage = 0;
  std::string localName;  // "-" for none
  std::string remoteName;
  bool operator==(const Listed&) const = default;
};
void PrintTo(const Listed& l, std::ostream* out) {
  *out << "{" << l.scope << " " << l.type << " " << l.displayType << " " << l.usage << " " << l.localName
       << " " << l.remoteName << "}";
}

Listed connectedShare(std::string local, std::string remote) {
  return {RESOURCE_CONNECTED,        RESOURCETYPE_PRINT, RESOURCEDISPLAYTYPE_SHARE,
          RESOURCEUSAGE_CONNECTABLE, std::move(local),   std::move(remote)};
}
Listed server(std::string remote) {
  return {RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, "-",
          std::move(remote)};
}

void writeScenario(const std::string& text) {
  std::ofstream(*dataRoot() / "scenario") << text;
}

// Two-call reads into a 16384-byte buffer, as many entries as fit, up to ERROR_NO_MORE_ITEMS;
// every text must lie inside the buffer.
std::vector<Listed> readAll(HANDLE h) {
  std::vector<Listed> listed;
  auto buffer = std::make_unique<EnumBuffer>();
  const char* begin = buffer->bytes;
  const char* end = begin + kBufferSize;
  auto inside = [&](const char* text) {
    return text >= begin && text < end && text + std::strlen(text) < end;
  };
  for (int reads = 0; reads < 100; ++reads) {
    DWORD count = kAsManyAsFit, size = kBufferSize;
    const DWORD result = WNetEnumResourceA(h, &count, buffer->bytes, &size);
    if (result == static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) break;
    EXPECT_EQ(result, NO_ERROR);
    if (result != NO_ERROR) break;
    const auto* records = reinterpret_cast<const NETRESOURCEA*>(buffer->bytes);
    for (DWORD i = 0; i < count; ++i) {
      const NETRESOURCEA& r = records[i];
      EXPECT_TRUE(!r.lpLocalName || inside(r.lpLocalName));
      EXPECT_TRUE(r.lpRemoteName && inside(r.lpRemoteName));
      EXPECT_EQ(r.lpComment, nullptr);
      EXPECT_EQ(r.lpProvider, nullptr);
      listed.push_back({r.dwScope, r.dwType, r.dwDisplayType, r.dwUsage, r.lpLocalName ? r.lpLocalName : "-",
                        r.lpRemoteName ? r.lpRemoteName : ""});
    }
  }
  return listed;
}

std::vector<Listed> connected(DWORD type = RESOURCETYPE_PRINT) {
  HANDLE h = nullptr;
  EXPECT_EQ(WNetOpenEnumA(RESOURCE_CONNECTED, type, 0, nullptr, &h), NO_ERROR);
  auto listed = readAll(h);
  EXPECT_EQ(WNetCloseEnum(h), NO_ERROR);
  return listed;
}

// The container opened as the peer walk opens its workgroup.
std::vector<Listed> browsed(const char* container, DWORD usage = 0) {
  char name[64];
  std::snprintf(name, sizeof name, "%s", container);
  NETRESOURCEA resource{};
  resource.dwScope = RESOURCE_GLOBALNET;
  resource.dwType = RESOURCETYPE_DISK | RESOURCETYPE_PRINT;  // as the peer walk sets it
  resource.dwDisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
  resource.dwUsage = RESOURCEUSAGE_CONTAINER;
  resource.lpRemoteName = name;
  HANDLE h = nullptr;
  EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, usage, &resource, &h), NO_ERROR) << container;
  auto listed = readAll(h);
  EXPECT_EQ(WNetCloseEnum(h), NO_ERROR);
  return listed;
}

// What stands in when the scenario gives no computer name.
std::string hostComputerName() {
  char host[256] = {};
  EXPECT_EQ(::gethostname(host, sizeof host - 1), 0);
  std::string name(host);
  name.resize(std::min({name.find('.'), name.size(), std::size_t{MAX_COMPUTERNAME_LENGTH}}));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

std::string computerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  EXPECT_TRUE(GetComputerNameA(name, &size));
  EXPECT_EQ(size, std::strlen(name));
  return name;
}

struct RegistryValue {
  LONG result = ERROR_SUCCESS;
  DWORD type = REG_NONE;
  std::string data;
  bool operator==(const RegistryValue&) const = default;
};
void PrintTo(const RegistryValue& v, std::ostream* out) {
  *out << v.result << " " << v.type << " \"" << v.data << "\"";
}

RegistryValue vnetsupValue(const char* name) {
  RegistryValue value;
  HKEY key = nullptr;
  value.result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP", 0,
                               KEY_READ, &key);
  if (value.result != ERROR_SUCCESS) return value;
  char data[64];
  DWORD size = sizeof data;
  value.result = RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size);
  if (value.result == ERROR_SUCCESS) value.data.assign(data, size);
  RegCloseKey(key);
  return value;
}

}  // namespace

TEST(NetNeighbourhood, ConnectedPrintersOfBothSectionsWithTheirLocalNames) {
  writeScenario(kNeighbourhood);
  const std::vector<Listed> expected{connectedShare("LPT1", "\\\\SRV1\\Q_VIREO"),
                                     connectedShare("LPT2", "\\\\ws1\\Q_LOCAL"),
                                     connectedShare("-", "\\\\SRV2\\Q_KEY")};
  EXPECT_EQ(connected(RESOURCETYPE_PRINT), expected);
  EXPECT_EQ(connected(RESOURCETYPE_ANY), expected);
  EXPECT_TRUE(connected(RESOURCETYPE_DISK).empty());
}

TEST(NetNeighbourhood, AWorkgroupOrDomainBrowsedGivesItsComputersAsServers) {
  writeScenario(kNeighbourhood);
  EXPECT_EQ(browsed("printgrp"), (std::vector<Listed>{server("\\\\WS1"), server("\\\\SRV4")}));
  EXPECT_EQ(browsed("CORPDOM", RESOURCEUSAGE_CONTAINER), std::vector<Listed>{server("\\\\SRV5")});
  EXPECT_TRUE(browsed("CORPDOM", RESOURCEUSAGE_CONNECTABLE).empty());

  // Opened as discovery opens a domain: only the name given.
  char corpdom[] = "CorpDom";
  NETRESOURCEA named{};
  named.lpRemoteName = corpdom;
  HANDLE h = nullptr;
  ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, &named, &h),
            NO_ERROR);
  EXPECT_EQ(readAll(h), std::vector<Listed>{server("\\\\SRV5")});
  EXPECT_EQ(WNetCloseEnum(h), NO_ERROR);

  struct Refused {
    DWORD scope;
    const char* container;
    DWORD result;
  };
  for (const Refused& r : {Refused{RESOURCE_GLOBALNET, "NOSUCHWG", ERROR_BAD_NETPATH},
                           Refused{RESOURCE_GLOBALNET, "\\\\SRV1", ERROR_BAD_NETPATH},
                           Refused{RESOURCE_GLOBALNET, nullptr, static_cast<DWORD>(ERROR_INVALID_PARAMETER)},
                           Refused{3, "PRINTGRP", static_cast<DWORD>(ERROR_INVALID_PARAMETER)}}) {
    std::string name = r.container ? r.container : "";
    NETRESOURCEA resource{};
    resource.lpRemoteName = r.container ? name.data() : nullptr;
    HANDLE untouched = reinterpret_cast<HANDLE>(std::uintptr_t{0x1234});
    EXPECT_EQ(WNetOpenEnumA(r.scope, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, &resource, &untouched),
              r.result)
        << name;
    EXPECT_EQ(untouched, reinterpret_cast<HANDLE>(std::uintptr_t{0x1234}));
  }
  EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &h),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_PRINT, 0, nullptr, nullptr),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(NetNeighbourhood, ABufferTooSmallForOneEntryAsksForItsSizeAndLosesNothing) {
  writeScenario(kNeighbourhood);
  HANDLE h = nullptr;
  ASSERT_EQ(WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_PRINT, 0, nullptr, &h), NO_ERROR);
  auto buffer = std::make_unique<EnumBuffer>();
  const DWORD firstEntry = sizeof(NETRESOURCEA) + sizeof "LPT1" + sizeof "\\\\SRV1\\Q_VIREO";

  DWORD count = kAsManyAsFit, size = 0;
  EXPECT_EQ(WNetEnumResourceA(h, &count, nullptr, &size), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, firstEntry);
  size = firstEntry - 1;
  EXPECT_EQ(WNetEnumResourceA(h, &count, buffer->bytes, &size), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, firstEntry);

  // Exactly the size asked for holds that entry and no more.
  EXPECT_EQ(WNetEnumResourceA(h, &count, buffer->bytes, &size), NO_ERROR);
  EXPECT_EQ(count, 1u);
  const auto* record = reinterpret_cast<const NETRESOURCEA*>(buffer->bytes);
  EXPECT_STREQ(record->lpLocalName, "LPT1");
  EXPECT_STREQ(record->lpRemoteName, "\\\\SRV1\\Q_VIREO");

  // A count of one in a large buffer, then the rest.
  count = 1;
  size = kBufferSize;
  EXPECT_EQ(WNetEnumResourceA(h, &count, buffer->bytes, &size), NO_ERROR);
  EXPECT_EQ(count, 1u);
  EXPECT_STREQ(record->lpLocalName, "LPT2");
  EXPECT_EQ(readAll(h), std::vector<Listed>{connectedShare("-", "\\\\SRV2\\Q_KEY")});
  count = kAsManyAsFit;
  EXPECT_EQ(WNetEnumResourceA(h, &count, buffer->bytes, &size), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

  // Calls the buffer cannot serve are refused, whatever is left.
  count = 0;
  EXPECT_EQ(WNetEnumResourceA(h, &count, buffer->bytes, &size), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  count = kAsManyAsFit;
  EXPECT_EQ(WNetEnumResourceA(h, &count, buffer->bytes + 1, &size),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WNetEnumResourceA(h, &count, nullptr, &size), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  EXPECT_EQ(WNetCloseEnum(h), NO_ERROR);
  EXPECT_EQ(WNetEnumResourceA(h, &count, buffer->bytes, &size), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WNetCloseEnum(h), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(NetNeighbourhood, AChangeOfTheScenarioIsSeenAtTheNextOpen) {
  writeScenario(kNeighbourhood);
  HANDLE before = nullptr;
  ASSERT_EQ(WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_PRINT, 0, nullptr, &before), NO_ERROR);
  EXPECT_EQ(computerName(), "WS1");

  writeScenario(std::string(kNeighbourhood) +
                "[network.connected]\n\\\\SRV3\\Q_NEW\n"
                "[network.domains]\nPRINTGRP = SRV6\nNEWGRP = SRV7\n"
                "[network.workstation]\ncomputer = WS2\n");
  EXPECT_EQ(readAll(before).size(), 3u) << "an open enumeration keeps what it had";
  EXPECT_EQ(WNetCloseEnum(before), NO_ERROR);
  EXPECT_EQ(connected().back(), connectedShare("-", "\\\\SRV3\\Q_NEW"));
  EXPECT_EQ(browsed("PRINTGRP"),
            (std::vector<Listed>{server("\\\\WS1"), server("\\\\SRV4"), server("\\\\SRV6")}));
  EXPECT_EQ(browsed("NEWGRP"), std::vector<Listed>{server("\\\\SRV7")});
  EXPECT_EQ(computerName(), "WS2");

  // A change through the test API stays while the file stays as it is.
  ASSERT_TRUE(netconn::netConnections().setRedirection("LPT3", "\\\\SRV8\\Q_API"));
  EXPECT_EQ(connected().at(2), connectedShare("LPT3", "\\\\SRV8\\Q_API"));
  writeScenario(kNeighbourhood);
  EXPECT_EQ(connected().size(), 3u);
  EXPECT_EQ(computerName(), "WS1");
}

TEST(NetNeighbourhood, WorkstationNamesUserAndTheirRegistryValues) {
  writeScenario("[network.redirections]\nLPT1 = \\\\SRV1\\Q_VIREO\n");
  EXPECT_EQ(computerName(), hostComputerName());
  char user[33];
  DWORD length = sizeof user;
  ASSERT_EQ(WNetGetUserA(nullptr, user, &length), NO_ERROR);
  EXPECT_STREQ(user, ::getpwuid(::geteuid())->pw_name);
  EXPECT_EQ(vnetsupValue("ComputerName").result, ERROR_FILE_NOT_FOUND) << "nothing given, nothing written";

  writeScenario(kNeighbourhood);
  EXPECT_EQ(computerName(), "WS1");
  char small[3];
  DWORD size = sizeof small;
  EXPECT_FALSE(GetComputerNameA(small, &size));
  EXPECT_EQ(size, 4u);

  for (const char* name : {static_cast<const char*>(nullptr), "LPT1", "lpt2:", "\\\\srv2\\q_key"}) {
    length = sizeof user;
    EXPECT_EQ(WNetGetUserA(name, user, &length), NO_ERROR) << (name ? name : "(null)");
    EXPECT_STREQ(user, "ALICE");
  }
  length = 5;
  EXPECT_EQ(WNetGetUserA(nullptr, user, &length), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(length, 6u);
  length = sizeof user;
  EXPECT_EQ(WNetGetUserA("LPT5", user, &length), ERROR_NOT_CONNECTED);
  EXPECT_EQ(WNetGetUserA("\\\\SRV9\\Q", user, &length), ERROR_NOT_CONNECTED);

  EXPECT_EQ(vnetsupValue("ComputerName"), (RegistryValue{ERROR_SUCCESS, REG_SZ, std::string("WS1", 4)}));
  EXPECT_EQ(vnetsupValue("Workgroup"), (RegistryValue{ERROR_SUCCESS, REG_SZ, std::string("PRINTGRP", 9)}));
}

TEST(NetNeighbourhood, MalformedLinesAreTracedAndSkipped) {
  std::vector<std::string> traces;
  setPlatformTraceSink([&](std::string_view line) { traces.emplace_back(line); });
  const std::string longName(100'000, 'A');
  const std::vector<std::string> bad{"[network.connected]",
                                     "SRV2\\Q_KEY",
                                     "\\\\SRV2",
                                     "\\\\\\Q",
                                     "\\\\SRV2\\",
                                     "\\\\SRV2\\Q\\X",
                                     "\\\\" + longName + "\\Q",
                                     "[network.domains]",
                                     "NOEQUALS",
                                     "= SRV1",
                                     "BAD\\NAME = SRV1",
                                     longName + " = SRV1",
                                     "[network.workstation]",
                                     "computer",
                                     "computer = ABCDEFGHIJKLMNOP",
                                     "colour = red",
                                     "workgroup = A\\B",
                                     "user ="};
  std::string text =
      "[network.connected]\n\\\\SRV2\\Q_KEY\n"
      "[network.domains]\nWG1 = \\\\PEER1, PEER2, , PEER3,\n";
  for (const auto& line : bad) text += line + "\n";
  writeScenario(text);
  const std::size_t badLines = bad.size() - 3 + 1;  // less the headers, plus "\\PEER1"

  EXPECT_EQ(connected(), std::vector<Listed>{connectedShare("-", "\\\\SRV2\\Q_KEY")});
  EXPECT_EQ(browsed("WG1"), (std::vector<Listed>{server("\\\\PEER2"), server("\\\\PEER3")}));
  EXPECT_EQ(traces.size(), badLines);
  for (const auto& line : traces) EXPECT_NE(line.find("skipped"), std::string::npos) << line;
  EXPECT_EQ(computerName(), hostComputerName());
  EXPECT_EQ(vnetsupValue("Workgroup").result, ERROR_FILE_NOT_FOUND);

  // A redirection that names no share still answers for its port, but is not listed.
  traces.clear();
  ASSERT_TRUE(netconn::netConnections().setRedirection("LPT4", "PRINTER"));
  EXPECT_EQ(connected().size(), 1u);
  EXPECT_EQ(traces.size(), 1u);
  char remote[16];
  std::uint32_t length = sizeof remote;
  EXPECT_EQ(netconn::netConnections().getConnection("LPT4", remote, length), netconn::kNoError);
  setPlatformTraceSink({});
}

}  // namespace wf
