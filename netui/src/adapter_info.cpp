#include "adapter_info.h"

#include <cstring>

#include "adapter_page.h"
#include "framework/ddx.h"

namespace wf::netui {
namespace {

constexpr DWORD kAdInfoHelp[] = {1059, 5700, 1213, 5700, 1022, 5800, 1214, 5800, 1060, 5701, 1215, 5701, 1062,
                                 5703, 1216, 5703, 1133, 5801, 1217, 5801, 1134, 5802, 1218, 5802, 0,    0};
constexpr DWORD kAdInfoXHelp[] = {1059, 5700, 1213, 5700, 1060, 5701, 1215, 5701, 1061, 5702, 1219, 5702, 1062,
                                  5703, 1216, 5703, 1023, 5704, 1220, 5704, 1063, 5705, 1221, 5705, 0,    0};

// A text longer than its field is shown cut to it, so OK never refuses it.
void exchangeText(CDataExchange* dx, int id, CString& text, int maxChars) {
  if (!dx->m_bSaveAndValidate && text.GetLength() > maxChars) text = text.Left(maxChars);
  DDX_Text(dx, id, text);
  DDV_MaxChars(dx, text, maxChars);
}

CString stringOf(UINT id) {
  CString s;
  s.LoadString(id);
  return s;
}

CString mediaText(uint8_t media) {
  if (media == wf::net::kMediaTokenRing) return stringOf(2111);
  if (media == wf::net::kMediaEthernet) return stringOf(2112);
  return CString();
}

}  // namespace

CString recordText(const char* field, std::size_t size) {
  return CString(std::string(field, strnlen(field, size)).c_str());
}

AdInfo::AdInfo(CWnd* parent) : CWFDialog(2145, parent) {}

void AdInfo::DoDataExchange(CDataExchange* dx) {
  exchangeText(dx, 1134, m_strModel, 7);
  exchangeText(dx, 1022, m_strUaa, 12);
  exchangeText(dx, 1060, m_strLaa, 12);
  exchangeText(dx, 1062, m_strFirmware, 12);
  exchangeText(dx, 1059, m_strType, 20);
  exchangeText(dx, 1133, m_strPart, 10);
}

const DWORD* AdInfo::GetHelpIDs() {
  return kAdInfoHelp;
}

AdInfoX::AdInfoX(CWnd* parent) : CWFDialog(2148, parent) {}

void AdInfoX::DoDataExchange(CDataExchange* dx) {
  exchangeText(dx, 1062, m_strFirmware, 12);
  exchangeText(dx, 1060, m_strLaa, 12);
  exchangeText(dx, 1061, m_strModel, 10);
  exchangeText(dx, 1059, m_strType, 20);
  exchangeText(dx, 1023, m_strFlash, 5);
  exchangeText(dx, 1063, m_strExtendedLaa, 5);
}

const DWORD* AdInfoX::GetHelpIDs() {
  return kAdInfoXHelp;
}

void PConAdIn::ShowAdapterInfo() {
  const auto& r = m_record;
  switch (r.AdapterClass) {
    case wf::net::kClass7390: {
      AdInfoX info(this);
      info.m_strFirmware = recordText(r.Firmware);
      info.m_strLaa = m_strAppliedAddress;
      info.m_strModel = recordText(r.ModelId);
      info.m_strType = mediaText(r.Media);
      info.m_strFlash = stringOf((r.Features & 0x02) ? 2127 : 2128);
      info.m_strExtendedLaa = stringOf((r.Features & 0x01) ? 2128 : 2127);
      info.DoModal();
      break;
    }
    case wf::net::kClassSinglePort:
    case wf::net::kClassMultiPort:
    case wf::net::kClassMultiPortSerial:
    case wf::net::kClassSinglePortRuVa1: {
      AdInfo info(this);
      info.m_strModel = recordText(r.ModelId);
      info.m_strUaa = adapterAddressText(r.UniversalAddress);
      info.m_strLaa = m_strAppliedAddress;
      info.m_strFirmware = recordText(r.Firmware);
      info.m_strType = mediaText(r.Media);
      info.m_strPart = recordText(r.ProductId);
      info.DoModal();
      break;
    }
    default:
      return;
  }
  focusItem(1039);
}

}  // namespace wf::netui
