#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "platform/net_connections.h"
#include "platform/runtime_dir.h"
#include "platform/spooler.h"

namespace wf::spool {
namespace {

constexpr const char* kMonitor = "Corvane Network Printer Monitor";

constexpr const char* kWorld =
    "[spooler.ports]\n"
    "LPT1:\n"
    "LPT2:\n"
    "FILE:\n"
    "[spooler.printers]\n"
    "Pagecrest II = LPT1: | Pagecrest PS\n"
    "Office Copy = LPT2: | Generic Text\n"
    "[spooler.drivers]\n"
    "Pagecrest PS = C:\\WINDOWS\\SYSTEM\\CORPS.DRV | Corvane Network Printer Monitor\n"
    "generic text = C:\\WINDOWS\\SYSTEM\\TTY.DRV | Plain Port Monitor\n";

Spooler& loaded(Spooler& s, const std::string& text) {
  std::string error;
  auto scenario = parseScenario(text, &error);
  EXPECT_TRUE(scenario) << error;
  EXPECT_TRUE(s.load(*scenario, &error)) << error;
  return s;
}

// The two-call form, as callers use it: ask the size, then fill a buffer of that size.
template <class Call>
std::vector<std::byte> twoCalls(Call call, std::uint32_t& returned) {
  std::uint32_t needed = 0;
  EXPECT_EQ(call(nullptr, 0u, needed, returned), kInsufficientBuffer);
  std::vector<std::byte> buffer(needed);
  EXPECT_EQ(call(buffer.data(), needed, needed, returned), kSuccess);
  return buffer;
}

std::vector<std::string> portNames(Spooler& s) {
  std::uint32_t count = 0;
  auto buffer = twoCalls([&](std::byte* b, std::uint32_t n, std::uint32_t& need,
                             std::uint32_t& ret) { return s.enumPorts(1, b, n, need, ret); },
                         count);
  std::vector<std::string> names;
  for (std::uint32_t i = 0; i < count; ++i)
    names.emplace_back(reinterpret_cast<PortInfo1*>(buffer.data())[i].name);
  return names;
}

PrinterHandle openOrFail(Spooler& s, std::string_view name) {
  PrinterHandle h = 0;
  EXPECT_EQ(s.openPrinter(name, h), kSuccess) << name;
  EXPECT_NE(h, 0u);
  return h;
}

}  // namespace

TEST(Spooler, ScenarioPortsPrintersAndDriversComeBackExactly) {
  Spooler s;
  loaded(s, kWorld);
  EXPECT_EQ(portNames(s), (std::vector<std::string>{"LPT1:", "LPT2:", "FILE:"}));

  std::uint32_t count = 0;
  auto level2 = twoCalls([&](std::byte* b, std::uint32_t n, std::uint32_t& need,
                             std::uint32_t& ret) { return s.enumPrinters(2, b, n, need, ret); },
                         count);
  ASSERT_EQ(count, 2u);
  auto* p2 = reinterpret_cast<PrinterInfo2*>(level2.data());
  EXPECT_STREQ(p2[0].printerName, "Pagecrest II");
  EXPECT_STREQ(p2[0].portName, "LPT1:");
  EXPECT_STREQ(p2[0].driverName, "Pagecrest PS");
  EXPECT_STREQ(p2[1].printerName, "Office Copy");

  auto level5 = twoCalls([&](std::byte* b, std::uint32_t n, std::uint32_t& need,
                             std::uint32_t& ret) { return s.enumPrinters(5, b, n, need, ret); },
                         count);
  auto* p5 = reinterpret_cast<PrinterInfo5*>(level5.data());
  ASSERT_EQ(count, 2u);
  EXPECT_STREQ(p5[1].printerName, "Office Copy");
  EXPECT_STREQ(p5[1].portName, "LPT2:");

  PrinterHandle h = openOrFail(s, "pagecrest ii");
  std::uint32_t needed = 0;
  EXPECT_EQ(s.getPrinterDriver(h, 3, nullptr, 0, needed), kInsufficientBuffer);
  std::vector<std::byte> info(needed);
  ASSERT_EQ(s.getPrinterDriver(h, 3, info.data(), needed, needed), kSuccess);
  auto* d3 = reinterpret_cast<DriverInfo3*>(info.data());
  EXPECT_STREQ(d3->name, "Pagecrest PS");
  EXPECT_STREQ(d3->driverPath, "C:\\WINDOWS\\SYSTEM\\CORPS.DRV");
  EXPECT_STREQ(d3->monitorName, kMonitor);
  std::vector<std::byte> roomy(2048);
  ASSERT_EQ(s.getPrinterDriver(h, 2, roomy.data(), 2048, needed), kSuccess);
  EXPECT_STREQ(reinterpret_cast<DriverInfo2*>(roomy.data())->driverPath, "C:\\WINDOWS\\SYSTEM\\CORPS.DRV");
  EXPECT_EQ(s.getPrinterDriver(h, 4, roomy.data(), 2048, needed), kInvalidLevel);

  EXPECT_EQ(s.closePrinter(h), kSuccess);
  EXPECT_EQ(s.closePrinter(h), kInvalidHandle);
  EXPECT_EQ(s.getPrinterDriver(h, 3, roomy.data(), 2048, needed), kInvalidHandle);
  PrinterHandle none = 7;
  EXPECT_EQ(s.openPrinter("No Such Printer", none), kInvalidPrinterName);
  EXPECT_EQ(none, 0u);
}

TEST(Spooler, EnumerationFailureModesAnswerAsConfigured) {
  struct Case {
    const char* failures;
    Enumeration which;
    EnumFailure mode;
    std::uint32_t error;
  };
  for (auto c : {Case{"ports = no size", Enumeration::Ports, EnumFailure::NoSize, 0},
                 Case{"ports = error", Enumeration::Ports, EnumFailure::Error, kRpcServerUnavailable},
                 Case{"printers = Error 5", Enumeration::Printers, EnumFailure::Error, 5},
                 Case{"printers = no size", Enumeration::Printers, EnumFailure::NoSize, 0}}) {
    for (bool fromScenario : {true, false}) {
      Spooler s;
      loaded(s, std::string(kWorld) +
                    (fromScenario ? std::string("[spooler.failures]\n") + c.failures + "\n" : ""));
      if (!fromScenario) s.setEnumFailure(c.which, c.mode, c.error);
      auto call = [&](std::byte* b, std::uint32_t n, std::uint32_t& need, std::uint32_t& ret) {
        return c.which == Enumeration::Ports ? s.enumPorts(1, b, n, need, ret)
                                             : s.enumPrinters(2, b, n, need, ret);
      };
      std::uint32_t needed = 99, returned = 99;
      std::vector<std::byte> big(4096);
      SCOPED_TRACE(c.failures);
      if (c.mode == EnumFailure::NoSize) {
        EXPECT_EQ(call(nullptr, 0, needed, returned), kInsufficientBuffer);
        EXPECT_EQ(needed, 0u);
        EXPECT_EQ(call(big.data(), 4096, needed, returned), kInsufficientBuffer);
        EXPECT_EQ(needed, 0u);
      } else {
        EXPECT_EQ(call(nullptr, 0, needed, returned), kInsufficientBuffer);
        EXPECT_GT(needed, 0u) << "the size query still answers";
        EXPECT_EQ(call(big.data(), 4096, needed, returned), c.error);
      }
      EXPECT_EQ(returned, 0u);
      // The other enumeration is untouched.
      EXPECT_EQ(c.which == Enumeration::Ports ? s.enumPrinters(2, big.data(), 4096, needed, returned)
                                              : s.enumPorts(1, big.data(), 4096, needed, returned),
                kSuccess);
    }
  }
}

TEST(Spooler, APrinterThatCannotBeOpenedStaysListed) {
  for (bool fromScenario : {true, false}) {
    Spooler s;
    loaded(s, std::string(kWorld) + (fromScenario ? "[spooler.failures]\nopen = pagecrest ii\n" : ""));
    if (!fromScenario) s.setOpenFailure("Pagecrest II");
    PrinterHandle h = 7;
    EXPECT_EQ(s.openPrinter("Pagecrest II", h), kAccessDenied);
    EXPECT_EQ(h, 0u);
    openOrFail(s, "Office Copy");
    std::uint32_t needed = 0, returned = 0;
    std::vector<std::byte> big(4096);
    EXPECT_EQ(s.enumPrinters(5, big.data(), 4096, needed, returned), kSuccess);
    EXPECT_EQ(returned, 2u);
    s.clear();
    loaded(s, kWorld);
    openOrFail(s, "Pagecrest II");
  }
  Spooler s;
  EXPECT_FALSE(s.load(*parseScenario("[spooler.failures]\nopen =\n")));
}

TEST(Spooler, NoPortsIsAnEmptyAnswerNotAFailure) {
  Spooler s;
  std::uint32_t needed = 99, returned = 99;
  EXPECT_EQ(s.enumPorts(1, nullptr, 0, needed, returned), kSuccess);
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(s.enumPorts(2, nullptr, 0, needed, returned), kInvalidLevel);
  EXPECT_EQ(s.enumPrinters(1, nullptr, 0, needed, returned), kInvalidLevel);
}

TEST(Spooler, PrinterDataGoesToThePrintersPortMonitor) {
  Spooler s;
  loaded(s, kWorld);
  std::vector<std::string> asked;
  s.registerMonitor("corvane network printer monitor", [&](std::string_view printer, std::string_view port,
                                                           std::string_view value) {
    asked.push_back(std::string(printer) + "|" + std::string(port) + "|" + std::string(value));
    if (value != "CorBCE") return MonitorReply{kFileNotFound, 0, {}};
    return MonitorReply{kSuccess, 4, std::string("\x01\0\0\0", 4)};
  });
  PrinterHandle h = openOrFail(s, "Pagecrest II");
  std::uint32_t type = 0, needed = 0;
  std::byte data[8]{};
  ASSERT_EQ(s.getPrinterData(h, "CorBCE", type, data, sizeof data, needed), kSuccess);
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(data[0], std::byte{1});
  EXPECT_EQ(s.getPrinterData(h, "CorBCE", type, data, 2, needed), kMoreData);
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(s.getPrinterData(h, "Other", type, data, sizeof data, needed), kFileNotFound);
  EXPECT_EQ(asked, (std::vector<std::string>{"Pagecrest II|LPT1:|CorBCE", "Pagecrest II|LPT1:|CorBCE",
                                             "Pagecrest II|LPT1:|Other"}));

  PrinterHandle other = openOrFail(s, "Office Copy");  // its monitor has no plug-in
  EXPECT_EQ(s.getPrinterData(other, "CorBCE", type, data, sizeof data, needed), kFileNotFound);
  s.registerMonitor(kMonitor, {});
  EXPECT_EQ(s.getPrinterData(h, "CorBCE", type, data, sizeof data, needed), kFileNotFound);
  EXPECT_EQ(asked.size(), 3u);
}

TEST(Spooler, MalformedScenarioIsRefusedAndChangesNothing) {
  Spooler s;
  loaded(s, kWorld);
  for (const char* bad :
       {"[spooler.printers]\nNo Port Or Driver\n", "[spooler.printers]\nA = LPT1:\n",
        "[spooler.drivers]\nD = path | monitor | extra\n", "[spooler.failures]\nports = sometimes\n",
        "[spooler.failures]\njobs = no size\n", "[spooler.failures]\nports = error x\n"}) {
    std::string error;
    EXPECT_FALSE(s.load(*parseScenario(bad), &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(portNames(s).size(), 3u);
}

TEST(Spooler, ProcessInstancesReadTheScenarioFileOfTheDataRoot) {
  std::ofstream(*dataRoot() / "scenario") << kWorld << "[network.redirections]\nLPT2 = \\\\SERVER\\QUEUE\n";
  EXPECT_EQ(portNames(spooler()), (std::vector<std::string>{"LPT1:", "LPT2:", "FILE:"}));
  char remote[64];
  std::uint32_t length = sizeof remote;
  EXPECT_EQ(netconn::netConnections().getConnection("LPT2", remote, length), netconn::kNoError);
  EXPECT_STREQ(remote, "\\\\SERVER\\QUEUE");
}

TEST(Spooler, AnOpenPrinterNamesItsPortAndDriverUntilClosed) {
  Spooler s;
  loaded(s, kWorld);
  const PrinterHandle h = openOrFail(s, "office copy");
  std::string name, port, driver;
  EXPECT_EQ(s.getPrinterIdentity(h, name, port, driver), kSuccess);
  EXPECT_EQ(name, "Office Copy");
  EXPECT_EQ(port, "LPT2:");
  EXPECT_EQ(driver, "Generic Text");
  EXPECT_EQ(s.closePrinter(h), kSuccess);
  EXPECT_EQ(s.getPrinterIdentity(h, name, port, driver), kInvalidHandle);
}

}  // namespace wf::spool
