// The three queries over the scripted broker, with recording makers in the
// factory table: which page or dialog each offers, what its factory hands
// the class, and what they ask the broker.
#include <cstring>
#include <optional>

#include "netui_fixture.h"
#include "recording_makers.h"

namespace wf::netui::testing {
namespace {

using wf::net::NETADAPTERINFO;
using wf::net::NETADAPTERPARMS;

class QueriesTest : public NetUIFixture {
 protected:
  void SetUp() override {
    NetUIFixture::SetUp();
    installRecordingMakers();
  }

  static void printer(USHORT handle, uint32_t connections, uint32_t nets) {
    PRTINFO info{};
    info.handle = handle;
    info.connections = connections;
    fakebce::setPrtInfoFor(handle, info);
    fakebce::setNets(nets);
  }
  static void adapterInfo(USHORT handle, uint32_t bit, uint8_t supervisor, int32_t rc = 0) {
    NETADAPTERINFO info{2, 2, 2, supervisor, {0, 0, 0xC0, 0x11, 0x22, 0x33}};
    fakebce::NetAnswer a;
    a.rc = rc;
    a.bytes.assign(reinterpret_cast<const char*>(&info), sizeof info);
    fakebce::pushGetNetInfo(handle, bit, 135, a);
  }
  static NETADAPTERPARMS record(uint8_t adapterClass, uint8_t portType) {
    NETADAPTERPARMS r{};
    r.Control = 0x17;
    r.AdapterClass = adapterClass;
    r.PortType = portType;
    r.Media = 2;
    std::memcpy(r.Firmware, "3.10", 5);
    return r;
  }
  static void adapterRecord(USHORT handle, uint32_t bit, const NETADAPTERPARMS& r, int32_t rc = 0) {
    fakebce::NetAnswer a;
    a.rc = rc;
    a.bytes.assign(reinterpret_cast<const char*>(&r), sizeof r);
    fakebce::pushGetNetInfo(handle, bit, 129, a);
  }

  // The query, then its factory at once, as the hosts do.
  std::optional<Made> pipPage(USHORT handle, CString* caption = nullptr) {
    NetUIFactoryProc factory = nullptr;
    CString title;
    if (!NetUIQueryPIPPage(handle, &factory, &title)) return std::nullopt;
    if (caption) *caption = title;
    EXPECT_NE(factory, nullptr);
    std::unique_ptr<CObject> made(factory ? factory(0, nullptr) : nullptr);
    if (madeLog().empty()) return std::nullopt;
    return madeLog().back();
  }

  static std::vector<std::pair<uint32_t, uint32_t>> requests() {  // (bit, item)
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const auto& c : fakebce::callsOf("BceGetNetInfo")) out.emplace_back(c.netMask, c.code);
    return out;
  }
};

TEST_F(QueriesTest, TheAdapterPageFollowsClassAndPortType) {
  const struct {
    uint8_t adapterClass, portType;
    std::optional<Factory> factory;
  } cases[] = {
      {1, 1, Factory::ConAdIn},  {16, 1, Factory::ConAdIn}, {8, 2, Factory::ConAdP4},
      {8, 4, Factory::ConAdS4},  {2, 2, Factory::ConAdPR},  {4, 2, Factory::ConAdPR},
      {2, 4, Factory::ConAdSR},  {4, 4, Factory::ConAdSR},  {8, 3, std::nullopt},
      {2, 1, std::nullopt},      {32, 2, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << int{c.adapterClass} << "/" << int{c.portType});
    fakebce::reset();
    madeLog().clear();
    printer(12, BCE_NET_NETWARE, BCE_NET_NETWARE | BCE_NET_IP);
    adapterInfo(12, 1, 1);
    adapterRecord(12, 1, record(c.adapterClass, c.portType));
    NetUIFactoryProc factory = nullptr;
    CString caption("untouched");
    const BOOL offered = NetUIQueryPIPPage(12, &factory, &caption);
    EXPECT_EQ(offered != FALSE, c.factory.has_value());
    if (!c.factory) {
      EXPECT_EQ(factory, nullptr);
      EXPECT_EQ(caption.str(), "untouched");
      continue;
    }
    EXPECT_EQ(caption.str(), "&Adapter Settings");
    std::unique_ptr<CObject> page(factory(5, nullptr));
    ASSERT_EQ(madeLog().size(), 1u);
    EXPECT_EQ(madeLog()[0].factory, *c.factory);
    EXPECT_EQ(madeLog()[0].context.printer, 12);
    EXPECT_EQ(madeLog()[0].context.protocol, BCE_NET_NETWARE);
    EXPECT_EQ(madeLog()[0].context.record.AdapterClass, c.adapterClass);
    EXPECT_STREQ(madeLog()[0].context.record.Firmware, "3.10");
    EXPECT_EQ(broker().module, nullptr);  // freed at the end of the query
  }
}

TEST_F(QueriesTest, WithoutSupervisorRightsTheSecondPassTakesTheFirstRecord) {
  printer(12, BCE_NET_NETWARE | BCE_NET_IPX, BCE_NET_NETWARE | BCE_NET_IPX | BCE_NET_IP);
  adapterInfo(12, 4, 0);
  adapterInfo(12, 1, 0);
  adapterRecord(12, 4, record(2, 2));
  adapterRecord(12, 1, record(4, 4));
  const auto made = pipPage(12);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->factory, Factory::ConAdPR);
  EXPECT_EQ(made->context.protocol, BCE_NET_IPX);
  EXPECT_EQ(moduleState().connections, BCE_NET_NETWARE | BCE_NET_IPX);
  // Pass 1 over IPX then NetWare, pass 2 over IPX; the broker's IP bit is not the printer's.
  EXPECT_EQ(requests(), (std::vector<std::pair<uint32_t, uint32_t>>{{4, 135}, {1, 135}, {4, 129}}));
}

TEST_F(QueriesTest, EachRequestAsksWithItsFullLengthAfterAFailure) {
  printer(12, BCE_NET_IPX | BCE_NET_CORLINK, BCE_NET_IPX | BCE_NET_CORLINK);
  fakebce::NetAnswer failed;
  failed.rc = -8;
  failed.lengthOnFailure = 0;
  fakebce::pushGetNetInfo(12, 4, 135, failed);
  fakebce::pushGetNetInfo(12, 4, 129, failed);
  adapterInfo(12, 8, 1);
  adapterRecord(12, 8, record(2, 2));
  const auto made = pipPage(12);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->context.protocol, BCE_NET_CORLINK);
  for (const auto& call : fakebce::callsOf("BceGetNetInfo"))
    EXPECT_EQ(call.request.size(), call.code == 129 ? 70u : 10u) << call.netMask << "/" << call.code;
}

TEST_F(QueriesTest, APrinterWithoutAnAdapterRecordGetsTheBasicPageWithoutHandle) {
  printer(12, BCE_NET_NETWARE, BCE_NET_NETWARE);
  adapterInfo(12, 1, 1, -8);
  adapterRecord(12, 1, record(2, 2), -8);
  const auto made = pipPage(12);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->factory, Factory::ConAdIn);
  EXPECT_EQ(made->context.printer, 0);
  EXPECT_EQ(made->context.protocol, 0u);
}

TEST_F(QueriesTest, AnUnknownPrinterOrFailedNetsOffersNothing) {
  NetUIFactoryProc factory = &CreateIPConf;
  CString caption("kept");
  PRTINFO none{};
  fakebce::setPrtInfoFor(40, none, -8);
  EXPECT_FALSE(NetUIQueryPIPPage(40, &factory, &caption));
  printer(41, BCE_NET_NETWARE, BCE_NET_NETWARE);
  fakebce::setNets(0, 1);
  EXPECT_FALSE(NetUIQueryPIPPage(41, &factory, &caption));
  EXPECT_EQ(factory, &CreateIPConf);
  EXPECT_EQ(caption.str(), "kept");
  EXPECT_TRUE(fakebce::callsOf("BceGetNetInfo").empty());
  EXPECT_EQ(broker().module, nullptr);
}

TEST_F(QueriesTest, FactoriesCalledAfterASecondQuerySeeItsPrinter) {
  printer(12, BCE_NET_NETWARE, BCE_NET_NETWARE);
  adapterInfo(12, 1, 1);
  adapterRecord(12, 1, record(2, 2));
  printer(13, BCE_NET_NETWARE, BCE_NET_NETWARE);
  adapterInfo(13, 1, 1);
  adapterRecord(13, 1, record(2, 4));
  NetUIFactoryProc first = nullptr, second = nullptr;
  CString caption;
  ASSERT_TRUE(NetUIQueryPIPPage(12, &first, &caption));
  ASSERT_TRUE(NetUIQueryPIPPage(13, &second, &caption));
  std::unique_ptr<CObject> a(first(0, nullptr)), b(second(0, nullptr));
  ASSERT_EQ(madeLog().size(), 2u);
  for (const Made& made : madeLog()) {
    EXPECT_EQ(made.context.printer, 13);
    EXPECT_EQ(made.context.record.PortType, 4);
  }
}

TEST_F(QueriesTest, AFactoryWithoutItsMakerAnswersNull) {
  factoryMakers().fill(nullptr);
  printer(12, BCE_NET_NETWARE, BCE_NET_NETWARE);
  adapterInfo(12, 1, 1);
  adapterRecord(12, 1, record(2, 2));
  NetUIFactoryProc factory = nullptr;
  CString caption;
  ASSERT_TRUE(NetUIQueryPIPPage(12, &factory, &caption));
  EXPECT_EQ(factory(0, nullptr), nullptr);
  for (NetUIFactoryProc f : {&CreateConAdIn, &CreateConAdP4, &CreateConAdS4, &CreateConAdPR, &CreateConAdSR,
                             &CreateNPPCL, &CreateNPPIP, &CreateNWConf, &CreateNWSearch, &CreateIPConf,
                             &CreateCLConf, &CreateP2PConf})
    EXPECT_EQ(f(0, nullptr), nullptr);
}

TEST_F(QueriesTest, SettingsOfferTheWorkstationDialogs) {
  const auto login = [](int32_t rc) {
    fakebce::NetAnswer a;
    a.rc = rc;
    fakebce::pushGetNetInfo(0xFFFF, 1, 8, a);
  };
  const struct {
    UINT protocol;
    std::function<void()> script;
    bool offered;
    const char* caption;
    std::optional<Factory> factory;
  } cases[] = {
      {1, [&] { login(static_cast<int16_t>(0xFC17)); }, true, "&NetWare", Factory::NWSearch},
      {1, [&] { login(static_cast<int16_t>(0xFC16)); }, false, "kept", std::nullopt},
      {1, [&] { login(static_cast<int16_t>(0xFC18)); }, false, "kept", std::nullopt},
      {1, [&] { login(0); }, false, "kept", std::nullopt},
      {2, [] {}, true, "&TCP/IP", Factory::IPConf},
      {8, [] { adapterInfo(0xFFFF, 8, 1); }, true, "&CorLink", Factory::CLConf},
      {8, [] { adapterInfo(0xFFFF, 8, 0); }, false, "kept", std::nullopt},
      {8, [] { adapterInfo(0xFFFF, 8, 1, 1); }, false, "kept", std::nullopt},
      {16, [] {}, true, "P&eer To Peer", Factory::P2PConf},
  };
  CWnd parent;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.protocol);
    fakebce::reset();
    madeLog().clear();
    c.script();
    NetUIFactoryProc factory = &CreateNPPIP;
    CString caption("kept");
    EXPECT_EQ(NetUIQuerySettings(c.protocol, &factory, &caption) != FALSE, c.offered);
    EXPECT_EQ(caption.str(), c.caption);
    EXPECT_EQ(broker().module, nullptr);
    if (c.protocol == 2 || c.protocol == 16) {
      EXPECT_TRUE(fakebce::calls().empty());
    }
    if (!c.offered) {
      EXPECT_EQ(factory, &CreateNPPIP);
      continue;
    }
    std::unique_ptr<CObject> dialog(factory(3, &parent));
    ASSERT_EQ(madeLog().size(), 1u);
    EXPECT_EQ(madeLog()[0].factory, *c.factory);
    EXPECT_EQ(madeLog()[0].context.parent, &parent);
  }
  // The probes on the raw procedures: the expected request, no box, no floor.
  EXPECT_EQ(dialogs_.runs(2180), 0);
  EXPECT_TRUE(sleeps_.empty());

  NetUIFactoryProc factory = &CreateNPPIP;
  CString caption("kept");
  EXPECT_FALSE(NetUIQuerySettings(4, &factory, &caption));
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(caption.str(), " ");
}

TEST_F(QueriesTest, TheLoginProbeAsksItem8OfTheWorkstationWith48Bytes) {
  fakebce::NetAnswer a;
  a.rc = static_cast<int16_t>(0xFC17);
  fakebce::pushGetNetInfo(0xFFFF, 1, 8, a);
  NetUIFactoryProc factory = nullptr;
  CString caption;
  ASSERT_TRUE(NetUIQuerySettings(1, &factory, &caption));
  const auto calls = fakebce::callsOf("BceGetNetInfo");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].handle, 0xFFFFu);
  EXPECT_EQ(calls[0].request.size(), 48u);
}

TEST_F(QueriesTest, TheProtocolPageRemembersThePrinterWithoutAskingTheBroker) {
  const struct {
    UINT protocol;
    std::optional<Factory> factory;
    const char* caption;
  } cases[] = {
      {1, Factory::NWConf, "&NetWare Settings"}, {2, Factory::NPPIP, "&TCP/IP Settings"},
      {4, Factory::NPPCL, "&CorLink Settings"},  {8, Factory::NPPCL, "&CorLink Settings"},
      {16, std::nullopt, "kept"},                {0, std::nullopt, "kept"},
  };
  USHORT handle = 20;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.protocol);
    madeLog().clear();
    NetUIFactoryProc factory = &CreateIPConf;
    CString caption("kept");
    EXPECT_EQ(NetUIQueryNetPage(++handle, c.protocol, &factory, &caption) != FALSE, c.factory.has_value());
    EXPECT_EQ(moduleState().printer, handle);
    EXPECT_EQ(caption.str(), c.caption);
    if (!c.factory) {
      EXPECT_EQ(factory, &CreateIPConf);
      continue;
    }
    std::unique_ptr<CObject> page(factory(0, nullptr));
    ASSERT_EQ(madeLog().size(), 1u);
    EXPECT_EQ(madeLog()[0].factory, *c.factory);
    EXPECT_EQ(madeLog()[0].context.printer, handle);
  }
  EXPECT_TRUE(fakebce::calls().empty());
}

}  // namespace
}  // namespace wf::netui::testing
