// The request primitives, the cached connection facts and the factory.
#include <gtest/gtest.h>

#include <memory>

#include "platform/module.h"
#include "test_support.h"

namespace prtobjtest {
namespace {

WFPrtObj::BIDICAPABILITIES capsOf(WFPrtObj& obj) {
  WFPrtObj::BIDICAPABILITIES caps;
  EXPECT_TRUE(obj.getBidiCaps(&caps));
  return caps;
}

TEST(PrtObjQuery, EmptyOrOneByteReplyAnswersBadReplyAndSwitchesBidiOff) {
  for (const std::string& reply : {std::string(), std::string("\x05", 1)}) {
    std::unique_ptr<TestObj> obj(freshObject());
    ASSERT_TRUE(capsOf(*obj).bidiActive);
    fakebce::pushReply(0, reply);
    WFPrtObj::PAGECOUNTDATA counts;
    EXPECT_EQ(obj->bidiGetPageCounts(&counts), kBadReply) << reply.size();
    EXPECT_FALSE(capsOf(*obj).bidiActive);

    // Off now: the next request never reaches the broker.
    const auto sent = fakebce::callsOf("BceSendBidi").size();
    EXPECT_EQ(obj->bidiGetPageCounts(&counts), BCE_ERR_NOT_CAPABLE);
    EXPECT_EQ(fakebce::callsOf("BceSendBidi").size(), sent);
  }
}

TEST(PrtObjQuery, FailuresSwitchBidiOffOnlyForTheirCodes) {
  const struct {
    std::int32_t rc;
    bool off;
  } cases[] = {{BCE_ERR_PORT_OPEN, true},  {BCE_ERR_NOT_CAPABLE, true},     {NET_WRITEFAIL, true},
               {NET_READFAIL, true},       {BCE_ERR_ERROR_RESPONSE, false}, {1, false},
               {BCE_ERR_BAD_HANDLE, false}};
  for (const auto& c : cases) {
    std::unique_ptr<TestObj> obj(freshObject(WFPrtObj::kUnknownType));
    fakebce::pushReply(c.rc);
    WFPrtObj::PAGECOUNTDATA counts;
    EXPECT_EQ(obj->bidiGetPageCounts(&counts), c.rc);
    EXPECT_EQ(capsOf(*obj).bidiActive, c.off ? 0 : 1) << c.rc;
  }
}

TEST(PrtObjQuery, RetryCountFollowsThePrinterType) {
  // Type 0 retries once; an unknown type sends once.
  const struct {
    WFPrtObj::ULONG type;
    std::size_t sends;
  } cases[] = {{0, 2}, {WFPrtObj::kUnknownType, 1}, {1, 1}};
  for (const auto& c : cases) {
    std::unique_ptr<TestObj> obj(freshObject(c.type));
    fakebce::pushReply(-3);
    fakebce::pushReply(-3);
    WFPrtObj::PAGECOUNTDATA counts;
    EXPECT_EQ(obj->bidiGetPageCounts(&counts), BCE_ERR_ERROR_RESPONSE);
    EXPECT_EQ(fakebce::callsOf("BceSendBidi").size(), c.sends) << c.type;
  }
  // Built without a handle, an object repeats a failed request once.
  fakebce::reset();
  TestObj plain;
  fakebce::pushReply(-3);
  fakebce::pushReply(-3);
  void* reply = nullptr;
  WFPrtObj::ULONG length = 0;
  EXPECT_EQ(plain.bidiQuery(4, nullptr, 0, &reply, &length, TRUE, TRUE), BCE_ERR_ERROR_RESPONSE);
  EXPECT_EQ(fakebce::callsOf("BceSendBidi").size(), 2u);
  // And it is one of the framework's objects.
  EXPECT_TRUE(plain.IsKindOf(RUNTIME_CLASS(CObject)));
}

TEST(PrtObjQuery, RetryStopsAtTheFirstSuccessAndDropsTheFirstByte) {
  std::unique_ptr<TestObj> obj(freshObject(0));
  obj->setBceAppId(3);
  fakebce::pushReply(-17);
  fakebce::pushReply(0, hex("AA 01 02 03"));
  void* reply = nullptr;
  WFPrtObj::ULONG len = 0;
  const std::uint8_t data[] = {0x00, 0xA6};
  EXPECT_EQ(obj->bidiQuery(86, data, 2, &reply, &len, 1, 0), 0);
  ASSERT_EQ(len, 3u);
  EXPECT_EQ(std::string(static_cast<char*>(reply), len), hex("01 02 03"));
  wfPrtObjFree(reply);
  const auto sends = fakebce::callsOf("BceSendBidi");
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[1].appId, 3u);
  EXPECT_EQ(sends[1].handle, 7u);
  EXPECT_EQ(sends[1].code, 86u);
  EXPECT_EQ(sends[1].request, hex("00 A6"));
}

TEST(PrtObjQuery, ForcedReadGoesOutWhileBidiIsOff) {
  std::unique_ptr<TestObj> obj(freshObject());
  obj->setBidiOff();
  fakebce::pushReply(0, hex("EB 00 00 B2 01"));
  void* value = nullptr;
  WFPrtObj::ULONG len = 0;
  const std::uint8_t name[] = {0x00, 0xB2};
  EXPECT_EQ(obj->bidiReadMiscVar(name, &value, &len, 0), BCE_ERR_NOT_CAPABLE);
  EXPECT_EQ(obj->bidiReadMiscVar(name, &value, &len, 1), 0);
  ASSERT_EQ(len, 1u);
  EXPECT_EQ(*static_cast<std::uint8_t*>(value), 1);
  wfPrtObjFree(value);
}

TEST(PrtObjCaps, NotInitialisedLeavesTheRecordAlone) {
  fakebce::reset();
  WFPrtObj obj;
  WFPrtObj::BIDICAPABILITIES caps;
  caps.portType = 99;
  caps.portName = "untouched";
  EXPECT_FALSE(obj.getBidiCaps(&caps));
  EXPECT_EQ(caps.portType, 99u);
  EXPECT_EQ(caps.portName, "untouched");
}

TEST(PrtObjCaps, LocalPortTypeByName) {
  const struct {
    const char* port;
    WFPrtObj::UINT type;
  } cases[] = {{"com2", 2}, {"COM1:", 2}, {"lpt3:", 1}, {"LPT1:", 1}, {"FILE:", 3}};
  for (const auto& c : cases) {
    std::unique_ptr<TestObj> obj(freshObject(0, localPrinter(c.port)));
    const auto caps = capsOf(*obj);
    EXPECT_EQ(caps.portType, c.type) << c.port;
    EXPECT_EQ(caps.portName, c.port);
    EXPECT_EQ(caps.flags, 1u);
  }
}

TEST(PrtObjCaps, NetworkPortTypeByAdapterClassAndPortKind) {
  const struct {
    std::uint16_t adapterClass, portKind;
    WFPrtObj::UINT type;
  } cases[] = {{0, 1, 11}, {1, 0, 9},     {2, 1, 4},   {4, 2, 5}, {2, 0x101, 6}, {8, 1, 7},
               {8, 2, 7},  {8, 0x101, 8}, {16, 3, 10}, {2, 3, 0}, {32, 1, 0}};
  for (const auto& c : cases) {
    PRTINFO info{};
    info.flags = BCE_PRTINFO_FLAG_NPA;
    info.connections = BCE_NET_NETWARE;
    info.adapterClass = c.adapterClass;
    info.portKind = c.portKind;
    std::unique_ptr<TestObj> obj(freshObject(0, info));
    EXPECT_EQ(capsOf(*obj).portType, c.type) << c.adapterClass << "/" << c.portKind;
  }
}

TEST(PrtObjCaps, PrinterOnIpAndIpxShowsBothNames) {
  PRTINFO info{};
  const std::uint8_t node[6] = {0x00, 0x04, 0xAC, 0x0F, 0x10, 0xFF};
  std::memcpy(info.node, node, 6);
  info.flags = BCE_PRTINFO_FLAG_NPA | 0x8000;
  info.connections = BCE_NET_IP | BCE_NET_IPX | 0x02000000 | 0x04000000;
  fakebce::reset();
  fakebce::setPrtInfo(info);
  fakebce::setPrinterName(BCE_NET_IP, "ipname", "10.0.0.5");
  fakebce::setPrinterName(BCE_NET_IPX, "ipxname", "PRT_IPX");
  TestObj obj(7, 0u, 1);
  const auto caps = capsOf(obj);
  EXPECT_EQ(caps.displayName, "[IP]  10.0.0.5, [IPX]  PRT_IPX");
  EXPECT_EQ(caps.nameCount, 2u);
  EXPECT_EQ(caps.ipName, "ipname");
  EXPECT_EQ(caps.ipxName, "ipxname");
  EXPECT_EQ(caps.transports, 0x2u | 0x10u);
  EXPECT_EQ(caps.adapterAddress, "0004AC0F10FF");
  EXPECT_TRUE(caps.highFlag);
  EXPECT_TRUE(caps.bidiActive);
}

TEST(PrtObjCaps, BrokerFailureLeavesBidiOff) {
  fakebce::reset();
  fakebce::setPrtInfo(localPrinter(), -8);
  TestObj obj(7, 0u, 1);
  const auto caps = capsOf(obj);
  EXPECT_FALSE(caps.bidiActive);
  EXPECT_EQ(caps.portType, 0u);
  WFPrtObj::PAGECOUNTDATA counts;
  EXPECT_EQ(obj.bidiGetPageCounts(&counts), BCE_ERR_NOT_CAPABLE);
  EXPECT_TRUE(fakebce::callsOf("BceSendBidi").empty());
}

TEST(PrtObjFactory, OrdinalHundredCreatesObjectsOfKnownTypesOnly) {
  fakebce::reset();
  fakebce::setPrtInfo(localPrinter());
  wf::setModuleSearchPath({WF_PRTOBJ_UNDER_TEST});  // the variant this program runs on
  wf::ModuleHandle module = wf::loadModule("WFPRTOBJ.DLL");
  ASSERT_NE(module, nullptr);
  auto create = wf::moduleOrdinalAs<CreatePrtObjFn>(module, kCreatePrtObjOrdinal);
  ASSERT_NE(create, nullptr);
  EXPECT_EQ(wf::moduleEntry(module, "CreatePrtObj"), nullptr);

  EXPECT_EQ(create(7, 2, 2), nullptr);
  const struct {
    std::uint32_t type;
    const char* header;
    WFPrtObj::PSFTYPES psf;
  } cases[] = {{0, "BIDI", WFPrtObj::PSF_BIDI},
               {1, "MERBIDI", WFPrtObj::PSF_MERBIDI},
               {0xFFFFFFFF, "", WFPrtObj::PSF_NONE}};
  for (const auto& c : cases) {
    std::unique_ptr<WFPrtObj> obj(create(7, 2, c.type));
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->getPsfHeader(), c.header);
    EXPECT_EQ(obj->getPsfType(), c.psf);
    EXPECT_EQ(obj->getBCEHandle(), 7);
    WFPrtObj::BIDICAPABILITIES caps;
    EXPECT_TRUE(obj->getBidiCaps(&caps));
  }
  wf::freeModule(module);
}

TEST(PrtObjHelpers, SmallFormattersAndByteHelpers) {
  const struct {
    long n;
    const char* text;
  } sizes[] = {
      {0, "0"}, {-5, "0"}, {7, "  7"}, {1234, "1,234"}, {12345678, "12,345,678"}, {1000005, "1,000,005"}};
  for (const auto& s : sizes) {
    char out[16];
    SizeToString(s.n, out);
    EXPECT_STREQ(out, s.text);
  }
  EXPECT_EQ(StrCodeLevelToLong("3.10.0"), 3100);
  EXPECT_EQ(StrCodeLevelToLong("v3.02a9"), 3029);
  std::uint16_t w = 0x1234;
  twoByteSwap(&w);
  EXPECT_EQ(w, 0x3412);
  std::uint32_t d = 0x01020304;
  fourByteSwap(&d);
  EXPECT_EQ(d, 0x04030201u);
  EXPECT_EQ(ReverseBits(0x01), 0x80);
  EXPECT_EQ(ReverseBits(0xA0), 0x05);
  const std::uint8_t be[] = {0xFF, 0x01, 0xF4, 0x41, 0x64};
  EXPECT_EQ(MakeULONG(be + 1), 0x01F44164u);
  EXPECT_EQ(MakeUSHORT(be + 1), 500);
}

TEST(PrtObjHelpers, VersionNumberOfTheLibraryFile) {
  std::string version = "stale";
  WFPrtObj obj;
  obj.getVersionNumber(wf::moduleDirectory().string(), &version);
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(version.find('.'), 1u);
  obj.getVersionNumber("/nonexistent", &version);
  EXPECT_EQ(version, "");
}

TEST(PrtObjText, Cp850ShowsWhatTheDisplayCodePageHas) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"\x81", "ü"},
      {"\x80", "Ç"},
      {"\xE1", "ß"},
      {"\xFF", "\xC2\xA0"},
      {"READY 1", "READY 1"},
      // box drawing, block, florin, dotless i, double low line, black square
      {"\xB3\xDB\x9F\xD5\xF2\xFE", "€€€€€€"},
  };
  for (const auto& c : cases) EXPECT_EQ(cp850ToUtf8(c.in), c.out) << c.in;
}

TEST(PrtObjText, Utf8GoesBackToCp850OnlyWhenEveryCharacterFits) {
  std::string out = "unchanged";
  EXPECT_TRUE(utf8ToCp850("font \xC3\xBC\xC3\x9F\xC2\xA0.ttf", &out));
  EXPECT_EQ(out, "font \x81\xE1\xFF.ttf");
  for (const char* in : {"\xE2\x82\xAC", "\xE4\xB8\xAD", "\xC3", "\xFF", "\xF0\x9F\x98\x80"}) {
    out = "unchanged";
    EXPECT_FALSE(utf8ToCp850(in, &out)) << in;
    EXPECT_EQ(out, "unchanged");
  }
  const std::string longest(255, 'n');
  ASSERT_TRUE(utf8ToCp850(longest, &out));
  EXPECT_EQ(out, longest);
}

}  // namespace
}  // namespace prtobjtest
