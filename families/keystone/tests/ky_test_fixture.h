#pragma once
// A Keystone icon of the family module on LPT3 with its decoders in reach,
// in the printer modules' application.
#include "keystone/ky_family.h"
#include "keystone/ky_icon.h"
#include "meridian/meridian_family.h"
#include "test_fixture.h"

namespace wf::testing {

class ProbeKyIcon : public CWFKstoneIcon {
 public:
  using CWFKstoneIcon::CWFKstoneIcon;
  using CWFKstoneIcon::ProcessPaperJamAlerts;
  using CWFKstoneIcon::ProcessUIRAlerts;
  using CWFKstoneIcon::ProcessWarningAlerts;
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new ProbeKyIcon(object, record); }
};

class KeystoneIconTest : public PrinterFixture {
 protected:
  static constexpr DWORD kProbeIds[] = {7};
  void SetUp() override {
    PrinterFixture::SetUp();
    InitMeridianGuiDLL(nullptr, &RegisterDLL);
    InitKeystoneGuiDLL(nullptr, &RegisterDLL);
    app_.soundEnabled = FALSE;
    app_.waveFiles[5] = "attention.wav";
    app_.waveFiles[20] = "offline.wav";
  }
  ProbeKyIcon* add(std::uint16_t handle, void* record = nullptr) {
    return addFamilyPrinter<ProbeKyIcon>(handle, "LPT3", 7, "Corvane Vireo N 17", kProbeIds,
                                         BCE_NET_LOCAL | 0x8000, record);
  }
  static CString family(UINT id) { return familyString(CWFKstoneIcon().GetResourceInstance(0), id); }
};

}  // namespace wf::testing
