#include "port_pages.h"

#include "factories.h"
#include "framework/ddx.h"
#include "notices.h"

namespace wf::netui {
namespace {

// One entry of a list: the bit of the record's mask and its text, fixed or
// from the string table.
struct BitText {
  uint16_t bit;
  UINT stringId;
  const char* fixed;
};

constexpr BitText kPrintModes[] = {{0x80, 2108, nullptr}, {0x40, 2109, nullptr}, {0x20, 2110, nullptr}};
constexpr BitText kBaudRates[] = {
    {0x8000, 0, "110"},     {0x4000, 0, "150"},     {0x2000, 0, "300"},     {0x1000, 0, "600"},
    {0x0800, 2113, nullptr}, {0x0400, 2114, nullptr}, {0x0200, 2115, nullptr}, {0x0100, 2116, nullptr},
    {0x0080, 2117, nullptr}, {0x0040, 2118, nullptr}, {0x0020, 2119, nullptr}, {0x0010, 2120, nullptr}};
constexpr BitText kParities[] = {
    {0x80, 2121, nullptr}, {0x40, 2122, nullptr}, {0x20, 2123, nullptr}, {0x10, 2124, nullptr}, {0x08, 2125, nullptr}};
constexpr BitText kDataBits[] = {{0x80, 0, "5"}, {0x40, 0, "6"}, {0x20, 0, "7"}, {0x10, 0, "8"}};
constexpr BitText kStopBits[] = {{0x80, 0, "1"}, {0x40, 2126, nullptr}, {0x20, 0, "2"}};

template <std::size_t N>
void fillBitList(CComboBox& list, const BitText (&table)[N], uint16_t supported) {
  list.ResetContent();
  for (const BitText& entry : table) {
    if (!(supported & entry.bit)) continue;
    CString text;
    if (entry.fixed)
      text = entry.fixed;
    else
      text.LoadString(entry.stringId);
    list.SetItemData(list.AddString(text), entry.bit);
  }
}

// Selects the entry of `current`; none when it is no single listed bit.
void selectBit(CComboBox& list, uint16_t current) {
  if (!list.GetSafeHwnd()) return;
  int found = -1;
  for (int i = 0; i < list.GetCount(); ++i)
    if (list.GetItemData(i) == current) found = i;
  list.SetCurSel(found);
}

// The bit of the selected entry; `current` when nothing is selected.
template <class T>
void readBit(const CComboBox& list, T& current) {
  if (!list.GetSafeHwnd()) return;
  const int index = list.GetCurSel();
  if (index >= 0) current = static_cast<T>(list.GetItemData(index));
}

template <class Page, Factory F>
CObject* makePortPage(const MakerContext& context) {
  auto* page = new Page;
  page->SetAdapterValues(context.record, context.printer, context.protocol);
  return page;
}
const bool portPagesRegistered = (setFactoryMaker(Factory::ConAdP4, &makePortPage<PConAdP4, Factory::ConAdP4>),
                                  setFactoryMaker(Factory::ConAdPR, &makePortPage<PConAdPR, Factory::ConAdPR>),
                                  setFactoryMaker(Factory::ConAdS4, &makePortPage<PConAdS4, Factory::ConAdS4>),
                                  setFactoryMaker(Factory::ConAdSR, &makePortPage<PConAdSR, Factory::ConAdSR>), true);

}  // namespace

BOOL CheckTimeout(long timeout, uint16_t maximum, CWnd* parent) {
  if (timeout <= maximum) return TRUE;
  NtcMaxTimeout notice(parent);
  notice.m_nMaxTimeout = maximum;
  notice.DoModal();
  return FALSE;
}

// ---- PConAdP4 ----

IMPLEMENT_DYNCREATE(PConAdP4, PConAdIn)
BEGIN_MESSAGE_MAP(PConAdP4, PConAdIn)
ON_EN_UPDATE(1058, OnTimeoutUpdate)
ON_CBN_SELCHANGE(1018, OnSettingChanged)
END_MESSAGE_MAP()

PConAdP4::PConAdP4(int templateId) : PConAdIn(templateId) {}

void PConAdP4::SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol) {
  PConAdIn::SetAdapterValues(record, printer, protocol);
  if (m_record.PortType == wf::net::kPortTypeParallel)
    m_nTimeout = m_record.ParallelVar4;
  else if (m_record.PortType == wf::net::kPortTypeSerial)
    m_nTimeout = m_record.SerialVar4;
}

uint16_t PConAdP4::maximumTimeout() const {
  if (m_record.PortType == wf::net::kPortTypeParallel) return m_record.ParallelVar3;
  if (m_record.PortType == wf::net::kPortTypeSerial) return m_record.SerialVar3;
  return 0;
}

void PConAdP4::DoDataExchange(CDataExchange* dx) {
  PConAdIn::DoDataExchange(dx);
  if (m_nPageKind < 4) DDX_Control(dx, 1018, m_cbPrintMode);
  DDX_Text(dx, 1058, m_nTimeout);
  DDV_MinMaxInt(dx, m_nTimeout, 0, 999999);
}

void PConAdP4::selectPrintMode() {
  if (parallelPort()) selectBit(m_cbPrintMode, m_record.ParallelVar6);
}

BOOL PConAdP4::OnInitDialog() {
  if (!PConAdIn::OnInitDialog()) return FALSE;
  const bool parallelPage = m_nPageKind == 2 || m_nPageKind == 3;
  if (parallelPage && m_cbPrintMode.GetSafeHwnd()) {
    m_cbPrintMode.ResetContent();
    if (parallelPort()) fillBitList(m_cbPrintMode, kPrintModes, m_record.ParallelVar5);
    selectPrintMode();
  }
  if (!(m_record.Control & 0x04)) {
    enableItem(1058, FALSE);
    if (parallelPage) enableItem(1018, FALSE);
  }
  return TRUE;
}

void PConAdP4::OnTimeoutUpdate() {
  if (writing_) return;
  enableApplyCancel(TRUE);
  if (!UpdateData(TRUE)) return;
  if (!CheckTimeout(m_nTimeout, maximumTimeout(), this)) {
    m_nTimeout = maximumTimeout();
    refreshControls();
  }
  focusItem(1058);
}

void PConAdP4::OnOK() {
  if (!applyEnabled() || !UpdateData(TRUE)) return;
  if (!CheckTimeout(m_nTimeout, maximumTimeout(), this)) return;
  if (m_record.PortType == wf::net::kPortTypeParallel)
    m_record.ParallelVar4 = static_cast<uint16_t>(m_nTimeout);
  else if (m_record.PortType == wf::net::kPortTypeSerial)
    m_record.SerialVar4 = static_cast<uint16_t>(m_nTimeout);
  if ((m_nPageKind == 2 || m_nPageKind == 3) && parallelPort()) readBit(m_cbPrintMode, m_record.ParallelVar6);
  PConAdIn::OnOK();
}

void PConAdP4::OnCancel() {
  if (m_nPageKind == 2 || m_nPageKind == 3) selectPrintMode();
  if (m_record.PortType == wf::net::kPortTypeParallel)
    m_nTimeout = m_record.ParallelVar4;
  else if (m_record.PortType == wf::net::kPortTypeSerial)
    m_nTimeout = m_record.SerialVar4;
  refreshControls();
  PConAdIn::OnCancel();
}

// ---- PConAdPR ----

IMPLEMENT_DYNCREATE(PConAdPR, PConAdP4)
BEGIN_MESSAGE_MAP(PConAdPR, PConAdP4)
ON_BN_CLICKED(1023, OnSettingChanged)
ON_BN_CLICKED(1024, OnSettingChanged)
ON_BN_CLICKED(1025, OnSettingChanged)
ON_BN_CLICKED(1028, OnAdvancedCmd)
ON_BN_CLICKED(1015, OnPasswordCmd)
END_MESSAGE_MAP()

PConAdPR::PConAdPR(int templateId) : PConAdP4(templateId) {}

void PConAdPR::npapFromRecord() {
  const uint8_t mode = m_record.NpapMode;
  m_nNpap = (mode & 0x02) ? 0 : (mode & 0x04) ? 1 : (mode & 0x01) ? 2 : -1;
}

void PConAdPR::SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol) {
  PConAdP4::SetAdapterValues(record, printer, protocol);
  npapFromRecord();
  m_strNpapActive.LoadString((m_record.NpapMode & 0x80) ? 2127 : 2128);
}

void PConAdPR::DoDataExchange(CDataExchange* dx) {
  PConAdP4::DoDataExchange(dx);
  if (m_nPageKind == 3) {
    DDX_Text(dx, 1019, m_strNpapActive);
    DDV_MaxChars(dx, m_strNpapActive, 5);
    DDX_Radio(dx, 1023, m_nNpap);
  }
}

BOOL PConAdPR::OnInitDialog() {
  if (!PConAdP4::OnInitDialog()) return FALSE;
  if (m_nPageKind == 3 && !(m_record.Control & 0x04))
    for (int id : {1023, 1024, 1025, 1019}) enableItem(id, FALSE);
  if ((m_nPageKind == 3 || m_nPageKind == 5) && !(m_record.Control & 0x02)) enableItem(1015, FALSE);
  return TRUE;
}

void PConAdPR::OnOK() {
  if (!applyEnabled() || !UpdateData(TRUE)) return;
  if (m_nPageKind == 3) {
    static constexpr uint8_t kModes[] = {0x02, 0x04, 0x01};
    if (m_nNpap >= 0 && m_nNpap < 3) m_record.NpapMode = kModes[m_nNpap];
  }
  PConAdP4::OnOK();
}

void PConAdPR::OnCancel() {
  refreshControls();
  if (m_nPageKind == 3) npapFromRecord();
  PConAdP4::OnCancel();
}

void PConAdPR::SetAdapterPassword() {
  wf::netui::SetAdapterPassword(m_nPrinter, m_nProtocol, m_uaa, this);
  focusItem(1015);
}

// ---- PConAdS4 ----

IMPLEMENT_DYNCREATE(PConAdS4, PConAdPR)
BEGIN_MESSAGE_MAP(PConAdS4, PConAdPR)
ON_CBN_SELCHANGE(1022, OnSettingChanged)
ON_CBN_SELCHANGE(1021, OnSettingChanged)
ON_CBN_SELCHANGE(1020, OnSettingChanged)
ON_CBN_SELCHANGE(1055, OnSettingChanged)
ON_BN_CLICKED(1056, OnSettingChanged)
ON_BN_CLICKED(1057, OnSettingChanged)
END_MESSAGE_MAP()

PConAdS4::PConAdS4(int templateId) : PConAdPR(templateId) {}

void PConAdS4::SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol) {
  PConAdPR::SetAdapterValues(record, printer, protocol);
  m_nHandshake = m_record.SerialVar14 == 0x80 ? 0 : m_record.SerialVar14 == 0x40 ? 1 : -1;
}

void PConAdS4::DoDataExchange(CDataExchange* dx) {
  PConAdPR::DoDataExchange(dx);
  DDX_Control(dx, 1022, m_cbStopBits);
  DDX_Control(dx, 1021, m_cbParity);
  DDX_Control(dx, 1020, m_cbDataBits);
  DDX_Control(dx, 1055, m_cbBaudRate);
  DDX_Radio(dx, 1056, m_nHandshake);
}

void PConAdS4::selectSerialValues() {
  selectBit(m_cbBaudRate, m_record.SerialVar6);
  selectBit(m_cbParity, m_record.SerialVar8);
  selectBit(m_cbDataBits, m_record.SerialVar10);
  selectBit(m_cbStopBits, m_record.SerialVar12);
}

BOOL PConAdS4::OnInitDialog() {
  if (!PConAdPR::OnInitDialog()) return FALSE;
  if (m_cbBaudRate.GetSafeHwnd()) {
    fillBitList(m_cbBaudRate, kBaudRates, m_record.SerialVar5);
    fillBitList(m_cbParity, kParities, m_record.SerialVar7);
    fillBitList(m_cbDataBits, kDataBits, m_record.SerialVar9);
    fillBitList(m_cbStopBits, kStopBits, m_record.SerialVar11);
    selectSerialValues();
  }
  if (!(m_record.SerialVar13 & 0x80)) enableItem(1056, FALSE);
  if (!(m_record.SerialVar13 & 0x40)) enableItem(1057, FALSE);
  if (!(m_record.Control & 0x04))
    for (int id : {1055, 1020, 1021, 1022, 1056, 1057}) enableItem(id, FALSE);
  return TRUE;
}

void PConAdS4::OnOK() {
  if (!applyEnabled() || !UpdateData(TRUE)) return;
  if (m_nHandshake == 0) m_record.SerialVar14 = 0x80;
  if (m_nHandshake == 1) m_record.SerialVar14 = 0x40;
  readBit(m_cbBaudRate, m_record.SerialVar6);
  readBit(m_cbDataBits, m_record.SerialVar10);
  readBit(m_cbParity, m_record.SerialVar8);
  readBit(m_cbStopBits, m_record.SerialVar12);
  PConAdPR::OnOK();
}

void PConAdS4::OnCancel() {
  selectSerialValues();
  PConAdPR::OnCancel();
}

// ---- PConAdSR ----

IMPLEMENT_DYNCREATE(PConAdSR, PConAdS4)
BEGIN_MESSAGE_MAP(PConAdSR, PConAdS4)
ON_BN_CLICKED(1246, OnSettingChanged)
ON_BN_CLICKED(1247, OnSettingChanged)
END_MESSAGE_MAP()

PConAdSR::PConAdSR(int templateId) : PConAdS4(templateId) {}

void PConAdSR::serialNpapFromRecord() {
  const uint8_t mode = m_record.NpapMode;
  m_nSerialNpap = (mode & 0x02) ? 0 : (mode & 0x01) ? 1 : -1;
}

void PConAdSR::SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol) {
  PConAdS4::SetAdapterValues(record, printer, protocol);
  serialNpapFromRecord();
}

void PConAdSR::DoDataExchange(CDataExchange* dx) {
  PConAdS4::DoDataExchange(dx);
  DDX_Radio(dx, 1246, m_nSerialNpap);
}

BOOL PConAdSR::OnInitDialog() {
  if (!PConAdS4::OnInitDialog()) return FALSE;
  if (!(m_record.Control & 0x04)) {
    enableItem(1246, FALSE);
    enableItem(1247, FALSE);
  }
  return TRUE;
}

void PConAdSR::OnOK() {
  if (!applyEnabled() || !UpdateData(TRUE)) return;
  if (m_nSerialNpap == 0) m_record.NpapMode = 0x02;
  if (m_nSerialNpap == 1) m_record.NpapMode = 0x01;
  PConAdS4::OnOK();
}

void PConAdSR::OnCancel() {
  serialNpapFromRecord();
  PConAdS4::OnCancel();
}

}  // namespace wf::netui
