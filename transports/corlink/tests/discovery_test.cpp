// Finding servers in the world's neighbourhood, and the server lists as the
// workstation items read and edit them.
#include <algorithm>
#include <cstring>

#include "corlink_fixture.h"

namespace wf::corlink::testing {
namespace {

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<std::uint8_t> listEntry(std::uint8_t kind, const std::string& name) {
  std::vector<std::uint8_t> e(kListEntrySize, 0);
  e[0] = kind;
  std::memcpy(e.data() + 1, name.data(), std::min<std::size_t>(name.size(), 16));
  return e;
}

// What item 2 hands its callback, as "D:NAME" and "S:NAME".
std::vector<std::string> gLists;
std::int32_t collect(const void* item, std::uint16_t length) {
  const auto* b = static_cast<const std::uint8_t*>(item);
  gLists.push_back(std::string(b[0] == kListDomain ? "D:" : b[0] == kListServer ? "S:" : "?:") +
                   reinterpret_cast<const char*>(b + 1) + (length == kListEntrySize ? "" : "!"));
  return 1;
}

class Discovering : public CorLinkWorld {
 protected:
  std::vector<std::string> lists(CorLinkTransport& t) {
    gLists.clear();
    EXPECT_EQ(t.getInfo(NET_NO_PORT, 2, nullptr, nullptr, &collect), NET_OKAY);
    return gLists;
  }
  std::int32_t edit(CorLinkTransport& t, std::uint16_t item, std::uint8_t kind, const std::string& name) {
    const auto e = listEntry(kind, name);
    return t.setInfo(NET_NO_PORT, item, e.data(), static_cast<std::uint32_t>(e.size()));
  }
};

TEST_F(Discovering, FindsServersTheFourWaysAndNeverItself) {
  CorLinkTransport& t = start(kLogConnections);
  // Only connected printers: SRV1 behind LPT1, SRV2's connected share; WS1's own queue is no server.
  ASSERT_TRUE(t.discover());
  EXPECT_EQ(sorted(t.servers().names()), (std::vector<std::string>{"SRV1", "SRV2"}));

  setStartUpDword(kValueEnumerateDomain, 1);  // the own workgroup PRINTGRP: SRV4, not WS1
  setStartUpText(kValueDomains, "CORPDOM");
  setStartUpText(kValueServers, " srv3 ,,SRV1");  // SRV3 runs old code: dropped
  ASSERT_TRUE(t.discover());
  EXPECT_EQ(sorted(t.servers().names()), (std::vector<std::string>{"SRV1", "SRV2", "SRV4", "SRV5"}));
  for (const auto& [name, admin] :
       std::vector<std::pair<std::string, bool>>{{"SRV1", true}, {"SRV2", false}, {"SRV4", true}, {"SRV5", true}}) {
    ServerEntry* e = t.servers().find(name);
    ASSERT_TRUE(e) << name;
    EXPECT_TRUE(e->adminChecked) << name;
    EXPECT_EQ(e->admin.load(), admin) << name;
    EXPECT_EQ(static_cast<bool>(e->adminPipe), admin) << name << ": an administrator gets the pipe";
  }
  t.shutdown();
  const std::string log = corcl32Log();
  EXPECT_NE(log.find("NetEnumerate() called\r\n"), std::string::npos);
  EXPECT_NE(log.find("Connected printer \\\\ws1\\LOCALQ is on this computer; skipped"), std::string::npos) << log;
  EXPECT_NE(log.find("Browsed name \\\\WS1 is this computer; skipped"), std::string::npos) << log;
  EXPECT_EQ(log.find("data"), std::string::npos);
}

TEST_F(Discovering, NothingToFindIsLogged) {
  ::setenv("WRENFIELD_SCENARIO", "/nonexistent", 1);  // no connections, no neighbourhood
  CorLinkTransport& t = start(kLogConnections);
  EXPECT_FALSE(t.discover());
  t.shutdown();
  EXPECT_NE(corcl32Log().find("Can not find any servers to connect to\r\n"), std::string::npos);
  // The enumeration writes the missing values back.
  EXPECT_EQ(startUpValue(kValueOnlyQueues).first, REG_DWORD);
  EXPECT_EQ(startUpValue(kValueDomains).second.size(), 1024u);
}

TEST_F(Discovering, ItemsEditTheListsByWholeEntries) {
  CorLinkTransport& t = start(kLogConnections);
  setStartUpText(kValueServers, "PRN1");
  setStartUpText(kValueDomains, "D1");
  struct Step {
    std::uint16_t item;
    std::uint8_t kind;
    std::string name;
    std::int32_t result;
    std::string servers, domains;  // after the step
  };
  const std::vector<Step> steps = {
      {3, kListServer, "PRN", NET_OKAY, "PRN1,PRN", "D1"},  // not found inside "PRN1"
      {3, kListServer, "prn1", NET_OKAY, "PRN1,PRN", "D1"},  // present in another case: no change
      {3, kListDomain, "D2", NET_OKAY, "PRN1,PRN", "D1,D2"},
      {3, kListDomain, "D3", NET_OKAY, "PRN1,PRN", "D1,D2,D3"},
      {4, kListDomain, "D3", NET_OKAY, "PRN1,PRN", "D1,D2"},  // the last of three: its comma goes too
      {4, kListServer, "PRN", NET_OKAY, "PRN1", "D1,D2"},     // "PRN1" stays
      {4, kListServer, "PRN1", NET_OKAY, "", "D1,D2"},        // the only one: empty
      {4, kListServer, "NOTTHERE", NET_OKAY, "", "D1,D2"},
      {4, kListDomain, "D1", NET_OKAY, "", "D2"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.item) + " " + s.name);
    EXPECT_EQ(edit(t, s.item, s.kind, s.name), s.result);
    EXPECT_EQ(startUpList(kValueServers), s.servers);
    EXPECT_EQ(startUpList(kValueDomains), s.domains);
  }
  EXPECT_EQ(lists(t), (std::vector<std::string>{"D:D2"}));
  setStartUpText(kValueServers, "SRV1, SRV2");
  EXPECT_EQ(lists(t), (std::vector<std::string>{"D:D2", "S:SRV1", "S:SRV2"})) << "domains first";
}

TEST_F(Discovering, MalformedEditsAndFullListsAreRefused) {
  CorLinkTransport& t = start(kLogConnections);
  const auto good = listEntry(kListServer, "SRV1");
  EXPECT_EQ(t.setInfo(NET_NO_PORT, 3, good.data(), 16), NET_FAIL) << "17 bytes needed";
  EXPECT_EQ(t.setInfo(NET_NO_PORT, 3, nullptr, 17), NET_FAIL);
  std::vector<std::uint8_t> unterminated(17, 'A');
  unterminated[0] = kListServer;
  EXPECT_EQ(t.setInfo(NET_NO_PORT, 3, unterminated.data(), 17), NET_FAIL) << "the name must end inside";
  const std::uint8_t one = 1;
  EXPECT_EQ(t.setInfo(NET_NO_PORT, 5, &one, 1), NET_FAIL) << "item 5 takes two bytes";
  EXPECT_EQ(t.getInfo(NET_NO_PORT, 2, nullptr, nullptr, nullptr), NET_FAIL) << "no callback";

  // 1,023 characters fit; one more name would not.
  std::string full;
  while (full.size() < 1010) full += (full.empty() ? "" : ",") + std::string("S") + std::to_string(full.size() % 10);
  full.resize(1023, 'X');
  setStartUpText(kValueServers, full);
  EXPECT_EQ(edit(t, 3, kListServer, "SRV1"), NET_FAIL);
  EXPECT_EQ(startUpList(kValueServers), full);
}

TEST_F(Discovering, RemovingAContainerDropsItsServersButThoseStillListed) {
  CorLinkTransport& t = start(kLogConnections);
  setStartUpText(kValueDomains, "CORPDOM");
  setStartUpText(kValueServers, "SRV5");
  setStartUpDword(kValueEnumerateDomain, 1);
  ASSERT_TRUE(t.discover());
  ASSERT_TRUE(t.servers().find("SRV4") && t.servers().find("SRV5"));
  EXPECT_EQ(edit(t, 4, kListDomain, "CORPDOM"), NET_OKAY);
  EXPECT_TRUE(t.servers().find("SRV5")) << "still named in \"Servers\"";
  EXPECT_EQ(edit(t, 4, kListServer, "SRV5"), NET_OKAY);
  EXPECT_FALSE(t.servers().find("SRV5"));
  EXPECT_EQ(edit(t, 4, kListServer, "SRV1"), NET_OKAY);
  EXPECT_TRUE(t.servers().find("SRV1")) << "still serves LPT1";

  // Item 5 with 0 drops the workgroup's servers, and round-trips.
  const std::uint8_t off[2] = {0, 1};
  EXPECT_EQ(t.setInfo(NET_NO_PORT, 5, off, 2), NET_OKAY);
  EXPECT_FALSE(t.servers().find("SRV4"));
  std::uint8_t flags[2] = {9, 9};
  std::uint16_t length = 2;
  ASSERT_EQ(t.getInfo(NET_NO_PORT, 5, flags, &length, nullptr), NET_OKAY);
  EXPECT_EQ(flags[0], 0);
  EXPECT_EQ(flags[1], 1);
}

TEST_F(Discovering, BadRegistryListsCountAsEmptyAndAreLogged) {
  CorLinkTransport& t = start(kLogConnections);
  setStartUpDword(kValueServers, 7);               // another type
  setStartUpText(kValueDomains, std::string(2000, 'D'));  // too long
  EXPECT_EQ(lists(t), std::vector<std::string>{});
  setStartUpText(kValueServers, "A_NAME_OF_SIXTEEN, ,SRV2");
  EXPECT_EQ(lists(t), std::vector<std::string>{"S:SRV2"}) << "names over 15 characters are skipped";
  EXPECT_EQ(startUpValue(kValueDomains).second.size(), 2001u) << "left as it is";
  t.shutdown();
  const std::string log = corcl32Log();
  EXPECT_NE(log.find("Registry value Servers is not a REG_SZ"), std::string::npos) << log;
  EXPECT_NE(log.find("Registry value Domains is not a REG_SZ"), std::string::npos) << log;
  EXPECT_NE(log.find("List entry A_NAME_OF_SIXTEEN is longer than 15 characters; skipped"), std::string::npos);
}

}  // namespace
}  // namespace wf::corlink::testing
