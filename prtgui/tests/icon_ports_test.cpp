// An icon's ports as its printer's capabilities name them.
#include "common/ports.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

using IconPortsTest = PrinterFixture;

std::vector<std::pair<int, std::string>> ports(CWFPortList& list) {
  std::vector<std::pair<int, std::string>> out;
  for (POSITION p = list.GetHeadPosition(); p;) {
    auto* port = static_cast<CWFPort*>(list.GetNext(p));
    out.emplace_back(port->GetType(), port->GetJSPortName());
  }
  return out;
}

TEST_F(IconPortsTest, RedirectionsNamesAndTheLocalPortComeSorted) {
  ScriptedPrtObj* object = addLocal(50, "LPT1:");
  object->caps.redirected = TRUE;
  object->caps.redirections = "LPT2:  (\\\\SRV\\Q), bad, LPT3: x, :(y),   ";
  object->caps.nameCount = 2;
  object->caps.displayName = "[IP]  host1, [IPX]  srv2 , noclose, ";
  CWFPrinterIcon icon(object, nullptr);
  CWFPortList list(&icon);
  EXPECT_EQ(ports(list), (std::vector<std::pair<int, std::string>>{
                             {3, "IP:HOST1"}, {3, "IPX:SRV2"}, {1, "LPT1:"}, {2, "LPT2:\\\\SRV\\Q"}}));
  EXPECT_STREQ(list.GetJSPortString(), "IP:HOST1;IPX:SRV2;LPT1:;LPT2:\\\\SRV\\Q");
}

TEST_F(IconPortsTest, WithoutUsablePortsTheAdapterAddressIsThePort) {
  ScriptedPrtObj* object = addLocal(51, "LPT1:");
  object->caps.portType = WFPrtObj::PORT_ADAPTER_PARALLEL_1;
  object->caps.portName.clear();
  CWFPrinterIcon bare(object, nullptr);
  const std::string expected =
      std::string((bare.GetNetAddress() + ":").str()) + bare.GetJSAdapterType().str();
  CString upper(expected.c_str());
  upper.MakeUpper();
  {
    CWFPortList list(&bare);
    EXPECT_EQ(ports(list), (std::vector<std::pair<int, std::string>>{{4, upper.str()}}));
  }
  // Lists holding only malformed entries leave the same single port.
  object->caps.redirected = TRUE;
  object->caps.redirections = "nocolon (x), LPT2: noparen";
  object->caps.nameCount = 1;
  object->caps.displayName = "[IP host";
  {
    CWFPortList list(&bare);
    EXPECT_EQ(ports(list), (std::vector<std::pair<int, std::string>>{{4, upper.str()}}));
  }
  object->capsReadable = false;
  CWFPortList none(&bare);
  EXPECT_TRUE(none.IsEmpty());
  CWFPrinterIcon ghost(nullptr, nullptr);
  CWFPortList ghostPorts(&ghost);
  EXPECT_TRUE(ghostPorts.IsEmpty());
}

}  // namespace
}  // namespace wf::testing
