#pragma once
// Adapter pages in a modeless notebook over the scripted broker: records to
// start from, the supervisor answer, the boxes answered by default, and the
// items the pages sent.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adapter_password.h"
#include "framework/controls.h"
#include "framework/property_sheet.h"
#include "netui_fixture.h"
#include "transports/common/net_items.h"

namespace wf::netui::testing {

constexpr USHORT kPrinter = 7;
constexpr UINT kIpx = 4;

inline fakebce::NetAnswer netAnswer(int32_t rc, std::string bytes = {}) {
  fakebce::NetAnswer a;
  a.rc = rc;
  a.bytes = std::move(bytes);
  return a;
}

template <class T>
std::string bytesOf(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// A multi-port adapter's parallel port, Ethernet, supervisor rights in Control.
inline wf::net::NETADAPTERPARMS parallelXle() {
  wf::net::NETADAPTERPARMS r{};
  r.Control = 0x17;
  r.AdapterClass = wf::net::kClassMultiPort;
  r.PortType = wf::net::kPortTypeParallel;
  r.Media = wf::net::kMediaEthernet;
  r.NpapMode = 0x02;
  r.Features = 0x06;
  const uint8_t node[6] = {0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01};
  std::memcpy(r.Address, node, 6);
  std::memcpy(r.UniversalAddress, node, 6);
  std::memcpy(r.Firmware, "3.1.0", 5);
  std::memcpy(r.ProductId, "PB-4", 4);
  std::memcpy(r.ModelId, "XLE", 3);
  r.ParallelVar5 = 0xE0;
  r.ParallelVar6 = 0x80;
  r.ParallelVar3 = 600;
  r.ParallelVar4 = 60;
  return r;
}

inline UniversalAddress uaaOf(const wf::net::NETADAPTERPARMS& r) {
  UniversalAddress uaa;
  std::memcpy(uaa.data(), r.UniversalAddress, 6);
  return uaa;
}

class AdapterFixture : public NetUIFixture {
 protected:
  void SetUp() override {
    NetUIFixture::SetUp();
    ASSERT_TRUE(owner_.CreateEx(0, "AfxWnd", "owner", WS_POPUP, 0, 0, 600, 400, 0));
    // Boxes a case does not answer itself: OK, or Cancel for the ones that ask.
    for (UINT id : {2143u, 2144u, 2150u, 2151u, 2152u, 2153u, 2154u, 2155u, 2156u, 2162u, 2181u, 2190u, 2191u,
                    2204u, 2206u, 2145u, 2148u})
      dialogs_.on(id, press(IDOK));
    for (UINT id : {2163u, 2141u, 2140u, 2177u, 2180u}) dialogs_.on(id, press(IDCANCEL));
  }
  void TearDown() override {
    if (sheet_) sheet_->DestroyWindow();
    sheet_.reset();
    pages_.clear();
    owner_.DestroyWindow();
    NetUIFixture::TearDown();
  }

  // Item 135 with supervisor rights (or none) for the page's next initialisation.
  static void answerSupervisor(uint8_t supervisor = 1, UINT protocol = kIpx) {
    wf::net::NETADAPTERINFO info{};
    info.Supervisor = supervisor;
    fakebce::pushGetNetInfo(kPrinter, protocol, wf::net::kItemAdapterInfo, netAnswer(0, bytesOf(info)));
  }
  static void answerPassword(const std::string& password, const wf::net::NETADAPTERPARMS& r, UINT protocol = kIpx) {
    const ScrambledPassword s = EncodeAdapterPassword(password, uaaOf(r));
    fakebce::pushGetNetInfo(kPrinter, protocol, wf::net::kItemPassword,
                            netAnswer(0, std::string(reinterpret_cast<const char*>(s.data()), 8)));
  }

  // A page that outlives every notebook it is shown in.
  template <class Page>
  Page& makePage() {
    pages_.push_back(std::make_unique<Page>());
    return static_cast<Page&>(*pages_.back());
  }

  // Shows `page` in a notebook of its own.
  void show(CPropertyPage& page) {
    sheet_ = std::make_unique<CPropertySheet>("Printer", &owner_);
    sheet_->AddPage(&page);
    ASSERT_TRUE(sheet_->Create(&owner_));
    ASSERT_NE(page.GetSafeHwnd(), 0u);
  }

  // As the user's click: an automatic radio or check box changes, then its parent hears.
  static void click(CWnd& page, int id) {
    auto* button = dynamic_cast<CButton*>(page.GetDlgItem(id));
    ASSERT_NE(button, nullptr) << id;
    button->Click();
  }
  static void choose(CWnd& page, int id, int index) {
    auto* list = dynamic_cast<CComboBox*>(page.GetDlgItem(id));
    ASSERT_NE(list, nullptr) << id;
    list->UserSelect(index);
  }
  static CString textOf(CWnd& page, int id) {
    CString text;
    if (CWnd* item = page.GetDlgItem(id)) item->GetWindowText(text);
    return text;
  }
  static bool enabled(CWnd& page, int id) {
    CWnd* item = page.GetDlgItem(id);
    return item && item->IsWindowEnabled();
  }
  static std::vector<std::string> listTexts(CWnd& page, int id) {
    std::vector<std::string> texts;
    auto* list = dynamic_cast<CComboBox*>(page.GetDlgItem(id));
    for (int i = 0; list && i < list->GetCount(); ++i) {
      CString t;
      list->GetLBText(i, t);
      texts.push_back(t.str());
    }
    return texts;
  }
  static std::string selectedText(CWnd& page, int id) {
    auto* list = dynamic_cast<CComboBox*>(page.GetDlgItem(id));
    CString t;
    if (list && list->GetCurSel() >= 0) list->GetLBText(list->GetCurSel(), t);
    return t.str();
  }

  // The items set, in order, and the record of the last item-129 set.
  static std::vector<uint32_t> itemsSet() {
    std::vector<uint32_t> items;
    for (const auto& call : fakebce::callsOf("BceSetNetInfo")) items.push_back(call.code);
    return items;
  }
  static wf::net::NETADAPTERPARMS lastRecordSent() {
    wf::net::NETADAPTERPARMS r{};
    for (const auto& call : fakebce::callsOf("BceSetNetInfo"))
      if (call.code == wf::net::kItemAdapterParms && call.request.size() == sizeof r)
        std::memcpy(&r, call.request.data(), sizeof r);
    return r;
  }

  CWnd owner_;
  std::vector<std::unique_ptr<CPropertyPage>> pages_;
  std::unique_ptr<CPropertySheet> sheet_;
};

}  // namespace wf::netui::testing
