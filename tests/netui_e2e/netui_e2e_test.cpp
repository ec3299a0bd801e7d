// The adapter configuration library against the real broker: the test
// process registers as the broker's primary, Cornw32 and the IP stand-in
// load by name and serve the world of netui-world.scenario, whose IPX
// adapters wf-adapter-sim plays. The factories' makers record what the
// classes would be given.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "broker_binding.h"
#include "child_process.h"
#include "corip32/corip32_test.h"
#include "cornwthk/cornwthk.h"
#include "factories.h"
#include "framework/scripted_shell.h"
#include "framework/win_app.h"
#include "ip_list.h"
#include "module.h"
#include "framework/controls.h"
#include "framework/property_sheet.h"
#include "eventually.h"
#include "own_process.h"
#include "port_pages.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "platform/window_messages.h"
#include "recording_makers.h"

namespace netuie2e {
namespace {

namespace fs = std::filesystem;
namespace net = wf::net;
using wf::netui::Factory;
using wf::testing::eventually;

const fs::path kWorld = fs::path(WF_SIM_SCENARIO_DIR) / "netui-world.scenario";
// The same world with the adapters' port settings and PB's password.
const fs::path kAdapterWorld = fs::path(WF_SIM_SCENARIO_DIR) / "netui-adapters.scenario";

using wf::netui::testing::Made;
using wf::netui::testing::madeLog;

uint16_t collectPrinter(const PRTINFO* info);
std::map<std::string, std::uint16_t>& printers() {
  static std::map<std::string, std::uint16_t> found;
  return found;
}
// By the port name of the first transport that names the printer.
uint16_t collectPrinter(const PRTINFO* info) {
  if (!info) return 1;
  for (std::uint32_t bit : {BCE_NET_NETWARE, BCE_NET_IP}) {
    char name[BCE_NAME_LENGTH] = {}, second[BCE_NAME_LENGTH] = {};
    if (BceGetPrinterName(info->handle, bit, name, second) == BCE_OK && name[0]) {
      printers()[name] = info->handle;
      break;
    }
  }
  return 1;
}

// Each case runs in a process of its own started with the case's
// directories, since the broker chooses its directory when it loads.
class NetUIEndToEnd : public ::testing::Test {
 protected:
  void inOwnProcess(void (NetUIEndToEnd::*body)()) {
    wf::testing::inOwnProcess(
        [&] {
          start();
          if (!::testing::Test::HasFailure()) (this->*body)();
          finish();
        },
        0.2);
  }

  void start() {
    ::setenv("WRENFIELD_SCENARIO", world_.c_str(), 1);
    app_.m_pszHelpFilePath = "/opt/wrenfield/WRENFLD.HLP";
    resources_ = wf::loadModule("CORNETUIRES.DLL");
    ASSERT_NE(resources_, nullptr);
    ASSERT_TRUE(wf::netui::attachLibrary(resources_));
    wf::netui::testing::installRecordingMakers();

    adapters_ = std::make_unique<wf::testing::ChildProcess>("wf-adapter-sim",
                                                            std::vector<std::string>{world_.string()});
    ASSERT_EQ(adapters_->readLine(), "ready");
    window_ = wf::createWindow("WfNetUIEndToEnd",
                               [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
    appId_ = BceRegisterApp(window_);
    ASSERT_EQ(appId_, BCE_PRIMARY_APP_ID);
    printers().clear();
    ASSERT_EQ(BceEnumPrinters(static_cast<std::uint32_t>(appId_), BCE_NET_NETWARE | BCE_NET_IP | BCE_NET_FORCE,
                              &collectPrinter),
              BCE_OK);
  }

  void finish() {
    closePage();
    if (appId_ >= 0) BceUnregisterApp(static_cast<std::uint32_t>(appId_));
    if (window_) wf::destroyWindow(window_);
    wf::netui::factoryMakers().fill(nullptr);
    wf::netui::detachLibrary();
    if (resources_) wf::freeModule(resources_);
    if (adapters_) {
      adapters_->call("quit", 100);
      EXPECT_EQ(adapters_->waitExit(), 0);
    }
  }

  // The adapter page the library offers for the printer, as its maker saw it.
  std::optional<Made> adapterPage(const std::string& name) {
    const auto it = printers().find(name);
    if (it == printers().end()) {
      ADD_FAILURE() << "no printer " << name;
      return std::nullopt;
    }
    NetUIFactoryProc factory = nullptr;
    CString caption;
    madeLog().clear();
    if (!NetUIQueryPIPPage(it->second, &factory, &caption) || !factory) return std::nullopt;
    std::unique_ptr<CObject> page(factory(0, nullptr));
    if (madeLog().empty()) return std::nullopt;
    return madeLog().back();
  }

  // `page` for the printer's adapter, as its factory would make it, shown in
  // a notebook; the password prompt answered "PBPASS", retry boxes Cancel.
  template <class Page>
  Page* showPage(const std::string& name) {
    if (!adapterPage(name)) return nullptr;
    const wf::netui::ModuleState& state = wf::netui::moduleState();
    auto* page = new Page;
    page_.reset(page);
    page->SetAdapterValues(state.record, state.printer, state.protocol);
    dialogs_.on(2163, [](CDialog& box) {
      box.SetDlgItemText(1076, "PBPASS");
      box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
    });
    for (UINT box : {2177u, 2180u})
      dialogs_.on(box, [](CDialog& b) { b.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0); });
    for (UINT box : {2191u, 2153u, 2154u, 2155u, 2156u})
      dialogs_.on(box, [](CDialog& b) { b.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0); });
    owner_ = std::make_unique<CWnd>();
    if (!owner_->CreateEx(0, "AfxWnd", "owner", WS_POPUP, 0, 0, 600, 400, 0)) return nullptr;
    sheet_ = std::make_unique<CPropertySheet>("Printer", owner_.get());
    sheet_->AddPage(page);
    return sheet_->Create(owner_.get()) && page->GetSafeHwnd() ? page : nullptr;
  }
  // The notebook before its page.
  void closePage() {
    if (sheet_) sheet_->DestroyWindow();
    sheet_.reset();
    if (owner_) owner_->DestroyWindow();
    owner_.reset();
    page_.reset();
  }
  static std::string textOf(CWnd& page, int id) {
    CString t;
    page.GetDlgItem(id)->GetWindowText(t);
    return t.str();
  }

  std::string printerNames() const {
    std::string out;
    for (const auto& [name, handle] : printers()) out += name + "=" + std::to_string(handle) + " ";
    return out;
  }


 public:  // the cases' bodies, run by inOwnProcess
  void adapterPages();
  void parallelPageApplies();
  void flashAndReset();
  void serialAndIpFlash();
  void addressAndPassword();
  void advancedSettings();
  void workstationDialogs();
  void addedIpAdapter();

 protected:

  fs::path world_ = kWorld;
  std::unique_ptr<wf::netui::PConAdIn> page_;
  std::unique_ptr<CWnd> owner_;
  std::unique_ptr<CPropertySheet> sheet_;
  CWinApp app_{"netui_e2e_tests"};
  wf::fw::ScriptedShell shell_;
  wf::fw::ScriptedDialogs dialogs_;
  HINSTANCE resources_ = nullptr;
  std::unique_ptr<wf::testing::ChildProcess> adapters_;
  wf::Hwnd window_ = 0;
  std::int16_t appId_ = -1;
};

TEST_F(NetUIEndToEnd, EachPrintersAdapterGetsItsPage) {
  inOwnProcess(&NetUIEndToEnd::adapterPages);
}

void NetUIEndToEnd::adapterPages() {
  SCOPED_TRACE(printerNames());
  const auto parallel = adapterPage("PORTBAY_1_P1");
  ASSERT_TRUE(parallel);
  EXPECT_EQ(parallel->factory, Factory::ConAdPR);
  EXPECT_EQ(parallel->context.protocol, BCE_NET_NETWARE);
  EXPECT_EQ(parallel->context.printer, printers()["PORTBAY_1_P1"]);
  const net::NETADAPTERPARMS& record = parallel->context.record;
  EXPECT_EQ(record.AdapterClass, net::kClassMultiPortSerial);
  EXPECT_EQ(record.PortType, net::kPortTypeParallel);
  EXPECT_EQ(record.Media, net::kMediaEthernet);
  EXPECT_STREQ(record.Firmware, "3.1.7");
  // The simulated adapter's universal address, as Cornw32 hands it out (canonical).
  const std::uint8_t canonical[6] = {0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01};
  EXPECT_EQ(std::vector<std::uint8_t>(record.Address, record.Address + 6),
            std::vector<std::uint8_t>(canonical, canonical + 6));

  const auto serial = adapterPage("PORTBAY_1_P0");
  ASSERT_TRUE(serial);
  EXPECT_EQ(serial->factory, Factory::ConAdSR);

  const auto kestrel = adapterPage("KESTREL_7");
  ASSERT_TRUE(kestrel);
  EXPECT_EQ(kestrel->factory, Factory::ConAdIn);

  const auto extParallel = adapterPage("EXTBOX_3_PAR");
  ASSERT_TRUE(extParallel);
  EXPECT_EQ(extParallel->factory, Factory::ConAdP4);
  const auto extSerial = adapterPage("EXTBOX_3_SER");
  ASSERT_TRUE(extSerial);
  EXPECT_EQ(extSerial->factory, Factory::ConAdS4);

  // The listed IP adapter, through bit 2.
  const auto ip = adapterPage("pb-ip");
  ASSERT_TRUE(ip);
  EXPECT_EQ(ip->factory, Factory::ConAdPR);
  EXPECT_EQ(ip->context.protocol, BCE_NET_IP);
  EXPECT_STREQ(ip->context.record.Firmware, "3.10");
  EXPECT_EQ(ip->context.record.Address[5], 0x20);
}

TEST_F(NetUIEndToEnd, TheParallelPageAppliesToTheSimulatedAdapterAfterItsPassword) {
  world_ = kAdapterWorld;
  inOwnProcess(&NetUIEndToEnd::parallelPageApplies);
}

// PB's port 1 through the real broker and Cornw32: the page shows what the
// adapter holds, and Apply reaches its variables once the password is given.
void NetUIEndToEnd::parallelPageApplies() {
  SCOPED_TRACE(printerNames());
  auto* shown = showPage<wf::netui::PConAdPR>("PORTBAY_1_P1");
  ASSERT_NE(shown, nullptr);
  wf::netui::PConAdPR& page = *shown;
  auto* modes = static_cast<CComboBox*>(page.GetDlgItem(1018));
  EXPECT_EQ(textOf(page, 1065), "0000C04A1001");
  EXPECT_EQ(textOf(page, 1058), "60");
  EXPECT_EQ(modes->GetCount(), 3);
  CString mode;
  modes->GetLBText(modes->GetCurSel(), mode);
  EXPECT_EQ(mode.str(), "Standard");
  EXPECT_TRUE(page.GetDlgItem(1015)->IsWindowEnabled()) << "PB is password protected";

  page.SetDlgItemText(1058, "120");
  modes->UserSelect(1);
  static_cast<CButton*>(page.GetDlgItem(IDOK))->Click();
  EXPECT_EQ(dialogs_.runs(2163), 1);
  EXPECT_EQ(dialogs_.runs(2177), 0);
  EXPECT_EQ(adapters_->call("PB.show var 129.4"), "ok 00 78");
  EXPECT_EQ(adapters_->call("PB.show var 129.6"), "ok 40");
  EXPECT_FALSE(page.GetDlgItem(IDOK)->IsWindowEnabled());

  // The adapter is verified for this notebook: no second prompt.
  page.SetDlgItemText(1058, "90");
  static_cast<CButton*>(page.GetDlgItem(IDOK))->Click();
  EXPECT_EQ(dialogs_.runs(2163), 1);
  EXPECT_EQ(adapters_->call("PB.show var 129.4"), "ok 00 5A");
}

TEST_F(NetUIEndToEnd, AFlashFileReachesTheSimulatedAdapterAndResetRestartsIt) {
  world_ = kAdapterWorld;
  inOwnProcess(&NetUIEndToEnd::flashAndReset);
}

// The checked-in flash file goes to PB; its version shows in the
// information dialog once read back; Reset restarts PB only on Yes.
void NetUIEndToEnd::flashAndReset() {
  SCOPED_TRACE(printerNames());
  auto* shown = showPage<wf::netui::PConAdPR>("PORTBAY_1_P1");
  ASSERT_NE(shown, nullptr);
  wf::netui::PConAdPR& page = *shown;
  shell_.fileDialog.script({IDOK, std::string(WF_NETUI_TEST_DATA_DIR) + "/portbay-xle-3.2.0.prp"});
  static_cast<CButton*>(page.GetDlgItem(1038))->Click();
  EXPECT_EQ(dialogs_.runs(2191), 1);
  EXPECT_EQ(dialogs_.runs(2153), 1) << "flash file sent";
  EXPECT_EQ(adapters_->call("PB.show flash"), "ok 4785 609FD134");
  EXPECT_TRUE(eventually([&] { return adapters_->call("PB.show restarts") == "ok 1"; }));

  std::string firmware;
  dialogs_.on(2145, [&](CDialog& box) {
    CString t;
    box.GetDlgItem(1062)->GetWindowText(t);
    firmware = t.str();
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  static_cast<CButton*>(page.GetDlgItem(1039))->Click();
  EXPECT_EQ(firmware, "3.2.0");

  dialogs_.on(2190, [](CDialog& box) { box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0); });
  static_cast<CButton*>(page.GetDlgItem(1040))->Click();
  EXPECT_EQ(adapters_->call("PB.show restarts"), "ok 1");
  dialogs_.on(2190, [](CDialog& box) { box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0); });
  static_cast<CButton*>(page.GetDlgItem(1040))->Click();
  EXPECT_TRUE(eventually([&] { return adapters_->call("PB.show restarts") == "ok 2"; }));
  EXPECT_EQ(dialogs_.runs(2163), 1) << "asked once, for the flash";
}

TEST_F(NetUIEndToEnd, SerialSettingsReachTheExternalAdapterAndAnIpFlashGoesWhole) {
  world_ = kAdapterWorld;
  inOwnProcess(&NetUIEndToEnd::serialAndIpFlash);
}

// EX's serial port lists what its block supports and takes a new baud rate
// and parity; the listed IP adapter takes the whole flash file in blocks.
void NetUIEndToEnd::serialAndIpFlash() {
  SCOPED_TRACE(printerNames());
  auto* serial = showPage<wf::netui::PConAdS4>("EXTBOX_3_SER");
  ASSERT_NE(serial, nullptr);
  auto* baud = static_cast<CComboBox*>(serial->GetDlgItem(1055));
  ASSERT_EQ(baud->GetCount(), 5);
  CString text;
  baud->GetLBText(4, text);
  EXPECT_EQ(text.str(), "115,200");
  baud->UserSelect(4);
  static_cast<CComboBox*>(serial->GetDlgItem(1021))->UserSelect(2);  // Even
  static_cast<CButton*>(serial->GetDlgItem(IDOK))->Click();
  EXPECT_EQ(dialogs_.runs(2163), 0) << "the 7390 has no password";
  EXPECT_EQ(adapters_->call("EX.show port0.settings"), "ok 0F 10 00 10 E0 20 F0 10 E0 80 C0 80 02 58 00 3C");
  closePage();

  auto* ip = showPage<wf::netui::PConAdPR>("pb-ip");
  ASSERT_NE(ip, nullptr);
  const std::string path = std::string(WF_NETUI_TEST_DATA_DIR) + "/portbay-xle-3.2.0.prp";
  shell_.fileDialog.script({IDOK, path});
  static_cast<CButton*>(ip->GetDlgItem(1038))->Click();
  EXPECT_EQ(dialogs_.runs(2153), 1);
  EXPECT_EQ(dialogs_.runs(2163), 0) << "no password on the IP adapter";
  const wf::ModuleHandle corip = wf::loadModule("CORIP32.DLL");
  ASSERT_NE(corip, nullptr);
  const auto image = wf::moduleEntryAs<CorIp32FlashImageFn>(corip, "CorIp32FlashImage");
  ASSERT_NE(image, nullptr);
  std::vector<std::uint8_t> sent(6000);
  sent.resize(image(1, sent.data(), static_cast<std::uint32_t>(sent.size())));
  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> whole((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(sent.size(), 4999u);
  EXPECT_TRUE(sent == whole) << "the stand-in's image is the whole file";
  wf::freeModule(corip);
}

TEST_F(NetUIEndToEnd, ANewAddressRestartsPbThereAndANewPasswordIsStoredScrambled) {
  world_ = kAdapterWorld;
  inOwnProcess(&NetUIEndToEnd::addressAndPassword);
}

void NetUIEndToEnd::addressAndPassword() {
  SCOPED_TRACE(printerNames());
  auto* shown = showPage<wf::netui::PConAdPR>("PORTBAY_1_P1");
  ASSERT_NE(shown, nullptr);
  wf::netui::PConAdPR& page = *shown;
  dialogs_.on(2204, [](CDialog& box) { box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0); });
  page.SetDlgItemText(1065, "0000C04A10AB");
  static_cast<CButton*>(page.GetDlgItem(IDOK))->Click();
  EXPECT_EQ(dialogs_.runs(2204), 1);
  EXPECT_EQ(dialogs_.runs(2177), 0);
  EXPECT_TRUE(eventually([&] { return adapters_->call("PB.show node") == "ok 0000C04A10AB"; }));
  EXPECT_TRUE(eventually([&] { return adapters_->call("PB.show restarts") == "ok 1"; }));
  EXPECT_EQ(textOf(page, 1065), "0000C04A10AB");
  std::vector<std::string> info;
  dialogs_.on(2145, [&](CDialog& box) {
    for (int id : {1022, 1060}) {
      CString t;
      box.GetDlgItem(id)->GetWindowText(t);
      info.push_back(t.str());
    }
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  static_cast<CButton*>(page.GetDlgItem(1039))->Click();
  EXPECT_EQ(info, (std::vector<std::string>{"0000C04A1001", "0000C04A10AB"}));

  // Set Password, from "PBPASS" to "NEWPW1": stored scrambled with PB's universal address.
  dialogs_.on(2141, [](CDialog& box) {
    const std::pair<int, const char*> typed[] = {{1040, "PBPASS"}, {1041, "NEWPW1"}, {1042, "NEWPW1"}};
    for (const auto& [id, text] : typed) static_cast<CEdit*>(box.GetDlgItem(id))->TypeText(text);
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  static_cast<CButton*>(page.GetDlgItem(1015))->Click();
  EXPECT_EQ(dialogs_.runs(2141), 1);
  const auto encoded = wf::netui::EncodeAdapterPassword("NEWPW1", {0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01});
  std::string hex;
  for (std::uint8_t b : encoded) {
    char two[4];
    std::snprintf(two, sizeof two, hex.empty() ? "%02X" : " %02X", b);
    hex += two;
  }
  EXPECT_EQ(adapters_->call("PB.show var 6.13"), "ok " + hex);
}

TEST_F(NetUIEndToEnd, AdvancedSettingsAskForTheResetOnlyAfterAProtocolChange) {
  world_ = kAdapterWorld;
  inOwnProcess(&NetUIEndToEnd::advancedSettings);
}

void NetUIEndToEnd::advancedSettings() {
  SCOPED_TRACE(printerNames());
  auto* page = showPage<wf::netui::PConAdPR>("PORTBAY_1_P1");
  ASSERT_NE(page, nullptr);
  dialogs_.on(2204, [](CDialog& box) { box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0); });
  std::string contactShown;
  dialogs_.on(2140, [&](CDialog& box) {
    CString t;
    box.GetDlgItem(1051)->GetWindowText(t);
    contactShown = t.str();
    box.SetDlgItemText(1051, "Lab");
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  static_cast<CButton*>(page->GetDlgItem(1028))->Click();
  EXPECT_EQ(contactShown, "Network team");
  EXPECT_EQ(adapters_->call("PB.show var 6.10").rfind("ok 4C 61 62 00", 0), 0u);
  EXPECT_EQ(dialogs_.runs(2204), 0);

  dialogs_.on(2140, [&](CDialog& box) {
    static_cast<CButton*>(box.GetDlgItem(1049))->Click();  // AppleTalk off
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  static_cast<CButton*>(page->GetDlgItem(1028))->Click();
  EXPECT_EQ(dialogs_.runs(2204), 1);
  EXPECT_EQ(adapters_->call("PB.show var 9.0"), "ok 00");
  EXPECT_TRUE(eventually([&] { return adapters_->call("PB.show restarts") == "ok 1"; }));
  EXPECT_EQ(dialogs_.runs(2163), 1);
}

TEST_F(NetUIEndToEnd, TheWorkstationsDialogsFollowItsTransportsAndNetWareLogin) {
  inOwnProcess(&NetUIEndToEnd::workstationDialogs);
}

void NetUIEndToEnd::workstationDialogs() {
  const auto offered = [](UINT protocol) {
    NetUIFactoryProc factory = nullptr;
    CString caption("kept");
    const BOOL answer = NetUIQuerySettings(protocol, &factory, &caption);
    return std::make_pair(answer != FALSE, caption.str());
  };
  EXPECT_EQ(offered(1), std::make_pair(true, std::string("&NetWare")));
  EXPECT_EQ(offered(2), std::make_pair(true, std::string("&TCP/IP")));
  EXPECT_EQ(offered(16), std::make_pair(true, std::string("P&eer To Peer")));
  EXPECT_EQ(offered(8), std::make_pair(false, std::string("kept")));
  EXPECT_EQ(offered(4), std::make_pair(false, std::string(" ")));

  // FS1's login becomes a user's.
  const wf::ModuleHandle client = wf::loadModule("Cornwthk.DLL");
  ASSERT_NE(client, nullptr);
  const auto setLevel = wf::moduleEntryAs<decltype(&CornwthkSetAccessLevel)>(client, "CornwthkSetAccessLevel");
  ASSERT_NE(setLevel, nullptr);
  ASSERT_EQ(setLevel("FS1", 11), NW_SUCCESS);
  wf::freeModule(client);
  EXPECT_EQ(offered(1), std::make_pair(false, std::string("kept")));

  // The get wrapper on the logged-in check: the answer is the caller's, no box.
  ASSERT_TRUE(wf::netui::LoadBceFunctions());
  char buffer[48] = {};
  USHORT length = sizeof buffer;
  EXPECT_FALSE(wf::netui::BceGetNetInfoRetry(0xFFFF, 1, 8, buffer, &length, nullptr, nullptr));
  EXPECT_EQ(wf::netui::broker().lastResult, 0xFC16u);
  EXPECT_EQ(dialogs_.runs(2180), 0);
  wf::netui::FreeBceFunctions();
}

TEST_F(NetUIEndToEnd, AnAddedIpAdapterNotOnTheNetworkIsNamedThenListed) {
  inOwnProcess(&NetUIEndToEnd::addedIpAdapter);
}

void NetUIEndToEnd::addedIpAdapter() {
  ASSERT_TRUE(wf::netui::LoadBceFunctions());
  const net::IpAdapterEntry added{{10, 1, 1, 99}, "", "far-ip", "public"};
  wf::netui::broker().lastAddedAddress = net::dottedAddress(added.address);
  CString shown;
  dialogs_.on(2199, [&](CDialog& box) {
    box.GetDlgItemText(1235, shown);
    box.EndDialog(IDOK);
  });
  const auto bytes = net::buildIpAdapterEntry(added);
  EXPECT_TRUE(wf::netui::BceSetNetInfoRetry(0xFFFF, BCE_NET_IP, net::kItemIpAddAdapter, bytes.data(),
                                            net::ipAddRequestLength(added), nullptr));
  EXPECT_EQ(shown.str(), "10.1.1.99");

  wf::netui::takeReceivedIpAdapters();
  EXPECT_TRUE(wf::netui::BceGetNetInfoRetry(0xFFFF, BCE_NET_IP, net::kItemIpAdapterList, nullptr, nullptr,
                                            &wf::netui::receiveIpAdapter, nullptr));
  std::vector<std::string> lines;
  for (const auto& entry : wf::netui::takeReceivedIpAdapters()) lines.push_back(wf::netui::ipListLine(entry));
  EXPECT_EQ(lines, (std::vector<std::string>{"10.1.1.20\tpublic\tpb-ip\tLPT7", "10.1.1.99\tpublic\tfar-ip\t"}));
  wf::netui::FreeBceFunctions();

  // A secondary gets the same list over the mail channel's item stream.
  auto secondary = wf::testing::ChildProcess::withCommands("netui");
  EXPECT_EQ(secondary.call("register"), "ok 1");
  EXPECT_EQ(secondary.call("iplist"), "ok 0|10.1.1.20\tpublic\tpb-ip\tLPT7|10.1.1.99\tpublic\tfar-ip\t");
  secondary.call("quit", 100);
  EXPECT_EQ(secondary.waitExit(), 0);
}

}  // namespace
}  // namespace netuie2e
