#include "platform/dde.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "eventually.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/dde_wire.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"
#include "platform/window_messages.h"

namespace wf {
namespace {

struct ClientNote {
  UINT type;
  std::string item;
  std::string data;
  ThreadId thread;
};

std::vector<ClientNote>& clientNotes() {
  static std::vector<ClientNote> notes;
  return notes;
}
DWORD gClientInstance = 0;

std::string handleText(HSZ hsz) {
  char buffer[256] = {};
  DdeQueryStringA(gClientInstance, hsz, buffer, sizeof buffer, CP_WINANSI);
  return buffer;
}

std::string dataOf(HDDEDATA data) {
  std::string out(DdeGetData(data, nullptr, 0, 0), '\0');
  DdeGetData(data, reinterpret_cast<BYTE*>(out.data()), static_cast<DWORD>(out.size()), 0);
  return out;
}

HDDEDATA clientCallback(UINT type, UINT, HCONV, HSZ, HSZ item, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  clientNotes().push_back({type, item ? handleText(item) : "", data ? dataOf(data) : "", currentThreadId()});
  return reinterpret_cast<HDDEDATA>(std::uintptr_t{type == XTYP_ADVDATA ? DDE_FACK : 0});
}

// Runs the calling thread's queue until `done` holds.
template <typename Done>
bool dispatchUntil(Done done) {
  return testing::eventually([&] {
    Message m;
    while (peekMessage(m, PeekMode::Remove)) dispatchMessage(m);
    return done();
  });
}

class DdeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clientNotes().clear();
    ASSERT_EQ(DdeInitializeA(&gClientInstance, clientCallback, APPCMD_CLIENTONLY, 0), DMLERR_NO_ERROR);
  }
  void TearDown() override {
    DdeUninitialize(gClientInstance);
    gClientInstance = 0;
  }

  HSZ str(const char* text) { return DdeCreateStringHandleA(gClientInstance, text, CP_WINANSI); }

  HCONV connect(const char* service, const char* topic) {
    return DdeConnect(gClientInstance, str(service), str(topic), nullptr);
  }

  // XTYP_REQUEST's answer as text; empty optional when it failed.
  std::optional<std::string> request(HCONV conv, const char* item, DWORD timeout = 5000) {
    HDDEDATA data = DdeClientTransaction(nullptr, 0, conv, str(item), CF_TEXT, XTYP_REQUEST, timeout, nullptr);
    if (!data) return std::nullopt;
    std::string text = dataOf(data);
    EXPECT_TRUE(DdeFreeDataHandle(data));
    return text;
  }

  bool poke(HCONV conv, const char* item, const std::string& bytes, DWORD* flags = nullptr) {
    return DdeClientTransaction(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                                conv, str(item), CF_TEXT, XTYP_POKE, 5000, flags) != nullptr;
  }

  std::size_t count(UINT type) {
    return static_cast<std::size_t>(
        std::ranges::count_if(clientNotes(), [type](const ClientNote& n) { return n.type == type; }));
  }
};

TEST_F(DdeTest, PokeRequestAndAdviseAcrossProcesses) {
  testing::ChildProcess server = testing::ChildProcess::withCommands("platform");
  ASSERT_EQ(server.call("dde-serve \\\\PC\\NDDE$"), "ok");
  // Service names compare without regard to case.
  HCONV conv = connect("\\\\pc\\ndde$", "CORPPS$");
  ASSERT_NE(conv, nullptr) << DdeGetLastError(gClientInstance);

  DWORD flags = 0;
  EXPECT_TRUE(poke(conv, "Capture", "07", &flags));
  EXPECT_EQ(flags & DDE_FACK, DDE_FACK);
  EXPECT_FALSE(poke(conv, "busy", "x"));
  EXPECT_EQ(DdeGetLastError(gClientInstance), DMLERR_BUSY);
  EXPECT_EQ(request(conv, "EnumPrinters"), "EnumPrinters-answer");
  EXPECT_EQ(request(conv, "none"), std::nullopt);
  EXPECT_EQ(DdeGetLastError(gClientInstance), DMLERR_NOTPROCESSED);

  ASSERT_NE(DdeClientTransaction(nullptr, 0, conv, str("PrinterAlerts"), CF_TEXT, XTYP_ADVSTART, 5000, nullptr),
            nullptr);
  EXPECT_EQ(DdeClientTransaction(nullptr, 0, conv, str("refused"), CF_TEXT, XTYP_ADVSTART, 5000, nullptr),
            nullptr);
  ASSERT_EQ(server.call("dde-advise corpps$ printeralerts jam"), "ok");
  ASSERT_TRUE(dispatchUntil([&] { return count(XTYP_ADVDATA) == 1; }));
  EXPECT_EQ(clientNotes().back().data, "jam");
  EXPECT_EQ(clientNotes().back().thread, currentThreadId());
  // An item without a loop gets nothing.
  ASSERT_EQ(server.call("dde-advise corpps$ other nothing"), "ok");
  ASSERT_NE(DdeClientTransaction(nullptr, 0, conv, str("PrinterAlerts"), CF_TEXT, XTYP_ADVSTOP, 5000, nullptr),
            nullptr);
  ASSERT_EQ(server.call("dde-advise corpps$ printeralerts after-stop"), "ok");
  // A transaction round trip after the posts: anything they sent has arrived by then.
  EXPECT_EQ(request(conv, "sync"), "sync-answer");
  dispatchUntil([] { return true; });
  EXPECT_EQ(count(XTYP_ADVDATA), 1u);

  EXPECT_TRUE(DdeDisconnect(conv));
  EXPECT_EQ(server.call("dde-log 10"),
            "ok connect:CORPPS$ poke:Capture:07 poke:busy:x request:EnumPrinters request:none advstart:PrinterAlerts advstart:refused"
                " advstop:PrinterAlerts request:sync disconnect");
}

TEST_F(DdeTest, ConnectFailsWithoutServiceOrWhenRefused) {
  EXPECT_EQ(connect("\\\\NOBODY\\NDDE$", "CORPPS$"), nullptr);
  EXPECT_EQ(DdeGetLastError(gClientInstance), DMLERR_NO_CONV_ESTABLISHED);
  testing::ChildProcess server = testing::ChildProcess::withCommands("platform");
  ASSERT_EQ(server.call("dde-serve svc"), "ok");
  EXPECT_EQ(connect("svc", "refused"), nullptr);
  EXPECT_EQ(DdeGetLastError(gClientInstance), DMLERR_NO_CONV_ESTABLISHED);
  EXPECT_NE(connect("SVC", "topic"), nullptr);
}

TEST_F(DdeTest, CallbacksRunOnlyWhenTheOwnerDispatches) {
  testing::ChildProcess server = testing::ChildProcess::withCommands("platform");
  ASSERT_EQ(server.call("dde-serve svc"), "ok");
  HCONV conv = connect("svc", "t");
  ASSERT_NE(DdeClientTransaction(nullptr, 0, conv, str("a"), CF_TEXT, XTYP_ADVSTART, 5000, nullptr), nullptr);
  ASSERT_EQ(server.call("dde-advise t a one"), "ok");
  // The wake-up waits in our queue; nothing ran behind our back.
  Message m;
  ASSERT_TRUE(testing::eventually([&] { return peekMessage(m, PeekMode::NoRemove); }));
  EXPECT_EQ(count(XTYP_ADVDATA), 0u);
  ASSERT_TRUE(dispatchUntil([&] { return count(XTYP_ADVDATA) == 1; }));
  // Inside a transaction's wait the callback runs too, on this thread.
  ASSERT_EQ(server.call("dde-advise t a two"), "ok");
  EXPECT_EQ(request(conv, "r"), "r-answer");
  ASSERT_EQ(count(XTYP_ADVDATA), 2u);
  for (auto& n : clientNotes()) EXPECT_EQ(n.thread, currentThreadId());
  // Another thread may not use the instance.
  std::thread([&] {
    EXPECT_EQ(DdeClientTransaction(nullptr, 0, conv, str("r"), CF_TEXT, XTYP_REQUEST, 5000, nullptr), nullptr);
  }).join();
  EXPECT_EQ(DdeGetLastError(gClientInstance), DMLERR_DLL_USAGE);
}

TEST_F(DdeTest, ALateAnswerNeverReachesTheNextTransaction) {
  testing::ChildProcess server = testing::ChildProcess::withCommands("platform");
  ASSERT_EQ(server.call("dde-serve svc"), "ok");
  HCONV conv = connect("svc", "t");
  ASSERT_EQ(server.call("dde-delay 3000"), "ok");
  EXPECT_EQ(request(conv, "slow", 100), std::nullopt);
  EXPECT_EQ(DdeGetLastError(gClientInstance), DMLERR_DATAACKTIMEOUT);
  // The slow answer arrives while this one waits; it is not taken for it.
  EXPECT_EQ(request(conv, "next", 20000), "next-answer");
  EXPECT_EQ(server.call("dde-log 3"), "ok connect:t request:slow request:next");
}

TEST_F(DdeTest, AKilledServerGivesOneDisconnectAndStaleHandles) {
  HCONV conv;
  HDDEDATA freed;
  {
    testing::ChildProcess server = testing::ChildProcess::withCommands("platform");
    ASSERT_EQ(server.call("dde-serve svc"), "ok");
    conv = connect("svc", "t");
    ASSERT_NE(conv, nullptr);
    freed = DdeClientTransaction(nullptr, 0, conv, str("x"), CF_TEXT, XTYP_REQUEST, 5000, nullptr);
    ASSERT_TRUE(DdeFreeDataHandle(freed));
    server.kill(SIGKILL);
  }
  ASSERT_TRUE(dispatchUntil([&] { return count(XTYP_DISCONNECT) == 1; }));
  dispatchUntil([] { return true; });
  EXPECT_EQ(count(XTYP_DISCONNECT), 1u);
  EXPECT_EQ(request(conv, "x"), std::nullopt);
  EXPECT_FALSE(DdeDisconnect(conv));
  EXPECT_FALSE(DdeFreeDataHandle(freed));
  EXPECT_EQ(DdeGetData(freed, nullptr, 0, 0), 0u);
  EXPECT_EQ(DdeGetData(reinterpret_cast<HDDEDATA>(std::uintptr_t{12345678}), nullptr, 0, 0), 0u);
  EXPECT_EQ(DdeQueryStringA(gClientInstance, reinterpret_cast<HSZ>(std::uintptr_t{999999}), nullptr, 0, 0), 0u);
  // A dead server's socket is taken over by the next one.
  testing::ChildProcess next = testing::ChildProcess::withCommands("platform");
  ASSERT_EQ(next.call("dde-serve svc"), "ok");
  EXPECT_NE(connect("svc", "t"), nullptr);
}

TEST_F(DdeTest, EndingEitherSideGivesThePartnerOneDisconnect) {
  testing::ChildProcess server = testing::ChildProcess::withCommands("platform");
  ASSERT_EQ(server.call("dde-serve svc"), "ok");
  HCONV first = connect("svc", "one");
  HCONV second = connect("svc", "two");
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(DdeDisconnect(first));
  EXPECT_EQ(server.call("dde-log 3"), "ok connect:one connect:two disconnect");
  // The server ends the other: our notice, and the handle is stale.
  EXPECT_EQ(server.call("dde-drop"), "ok 1");
  ASSERT_TRUE(dispatchUntil([&] { return count(XTYP_DISCONNECT) == 1; }));
  EXPECT_EQ(request(second, "x"), std::nullopt);
  HCONV third = connect("svc", "three");
  ASSERT_NE(third, nullptr);
  ASSERT_EQ(server.call("dde-end"), "ok");
  ASSERT_TRUE(dispatchUntil([&] { return count(XTYP_DISCONNECT) == 2; }));
  EXPECT_EQ(request(third, "x"), std::nullopt);
  // Our own DdeDisconnect gave us no notice.
  dispatchUntil([] { return true; });
  EXPECT_EQ(count(XTYP_DISCONNECT), 2u);
}

// Server and client instances of one thread: the client's waits serve the server.
HDDEDATA sameThreadServer(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  if (type == XTYP_CONNECT) return reinterpret_cast<HDDEDATA>(std::uintptr_t{1});
  if (type == XTYP_POKE) return reinterpret_cast<HDDEDATA>(std::uintptr_t{DDE_FACK});
  return nullptr;
}

TEST_F(DdeTest, AServerOnTheClientsOwnThreadAnswersItsTransactions) {
  DWORD serverInstance = 0;
  ASSERT_EQ(DdeInitializeA(&serverInstance, sameThreadServer, 0, 0), DMLERR_NO_ERROR);
  ASSERT_TRUE(DdeNameService(serverInstance, DdeCreateStringHandleA(serverInstance, "self", 0), nullptr,
                             DNS_REGISTER));
  // A second registration of a live service is refused.
  DWORD other = 0;
  std::thread([&] {
    ASSERT_EQ(DdeInitializeA(&other, sameThreadServer, 0, 0), DMLERR_NO_ERROR);
    EXPECT_EQ(DdeNameService(other, DdeCreateStringHandleA(other, "SELF", 0), nullptr, DNS_REGISTER), nullptr);
    DdeUninitialize(other);
  }).join();
  HCONV conv = connect("self", "t");
  ASSERT_NE(conv, nullptr);
  EXPECT_TRUE(poke(conv, "item", "data"));
  EXPECT_TRUE(DdeUninitialize(serverInstance));
}

UniqueFd rawConnect(const char* service) {
  auto path = runtimePath(std::string("dde/") + service);
  UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, path->c_str());
  EXPECT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  return fd;
}

TEST_F(DdeTest, ABadFrameEndsOnlyItsConversation) {
  testing::ChildProcess server = testing::ChildProcess::withCommands("platform");
  ASSERT_EQ(server.call("dde-serve svc"), "ok");
  HCONV good = connect("svc", "t");
  ASSERT_NE(good, nullptr);
  for (std::string garbage : {std::string(3, '\x01'), std::string(40, '\x7f')}) {
    UniqueFd raw = rawConnect("svc");
    ASSERT_EQ(::send(raw.get(), garbage.data(), garbage.size(), 0), static_cast<ssize_t>(garbage.size()));
    char byte;
    EXPECT_EQ(::recv(raw.get(), &byte, 1, 0), 0) << "the server ends the conversation";
  }
  EXPECT_EQ(request(good, "still"), "still-answer");
}

using ddewire::Frame;
using ddewire::Kind;

TEST(DdeWire, FramesRoundTrip) {
  Frame f;
  f.kind = Kind::Poke;
  f.format = CF_TEXT;
  f.transaction = 0xDEADBEEF;
  f.status = DDE_FACK;
  f.item = "WriteData";
  f.data = {1, 2, 3};
  auto bytes = ddewire::encode(f);
  ASSERT_TRUE(bytes);
  auto back = ddewire::decode(*bytes, nullptr);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->kind, Kind::Poke);
  EXPECT_EQ(back->transaction, 0xDEADBEEFu);
  EXPECT_EQ(back->item, "WriteData");
  EXPECT_EQ(back->data, f.data);
  f.data.assign(ddewire::kMaxData + 1, 0);
  EXPECT_FALSE(ddewire::encode(f));
}

TEST(DdeWire, MalformedFramesAreRefusedWithAReason) {
  Frame f;
  f.kind = Kind::Request;
  f.item = "abc";
  f.data = {9, 9};
  const auto good = *ddewire::encode(f);
  struct Case {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> spoil;
  };
  const Case cases[] = {
      {"empty", [](auto& b) { b.clear(); }},
      {"header cut", [](auto& b) { b.resize(ddewire::kHeaderBytes - 1); }},
      {"data cut", [](auto& b) { b.pop_back(); }},
      {"extra byte", [](auto& b) { b.push_back(0); }},
      {"kind 0", [](auto& b) { b[0] = 0; }},
      {"unknown kind", [](auto& b) { b[0] = 200; }},
      {"item past data", [](auto& b) { storeLe16(&b[12], 300); }},
      {"data length -5", [](auto& b) { storeLe32(&b[16], static_cast<std::uint32_t>(-5)); }},
      {"data length 2^31", [](auto& b) { storeLe32(&b[16], 0x80000000u); }},
      {"oversized", [](auto& b) { b.resize(ddewire::kMaxFrame + 1); }},
  };
  for (const auto& c : cases) {
    auto bytes = good;
    c.spoil(bytes);
    std::string why;
    EXPECT_FALSE(ddewire::decode(bytes, &why)) << c.name;
    EXPECT_FALSE(why.empty()) << c.name;
  }
  // Every cut of a valid frame is refused, none read past its end.
  for (std::size_t n = 0; n < good.size(); ++n) {
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(ddewire::decode(cut, nullptr)) << n;
  }
}

TEST(DdeWire, RandomBytesNeverDecodeBeyondThemselves) {
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int i = 0; i < 20000; ++i) {
    std::vector<std::uint8_t> bytes(next() % 96);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(next() >> 16);
    if (!bytes.empty() && next() % 2) bytes[0] = static_cast<std::uint8_t>(1 + next() % 11);  // a known kind
    auto frame = ddewire::decode(bytes, nullptr);
    if (!frame) continue;
    // What decodes holds exactly the bytes received.
    EXPECT_EQ(ddewire::kHeaderBytes + frame->item.size() + frame->data.size(), bytes.size()) << i;
  }
}

}  // namespace
}  // namespace wf
