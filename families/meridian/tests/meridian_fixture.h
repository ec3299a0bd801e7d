#pragma once
// The printer modules' test application with the Meridian family
// registered: keys 1 and 5 make CWFMeridianIcons.
#include "meridian/meridian_family.h"
#include "meridian/meridian_icon.h"
#include "test_fixture.h"

namespace wf::testing {

class MeridianFixture : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    InitMeridianGuiDLL(nullptr, &RegisterDLL);
  }
  // A bidi printer of the family on a local port, in the list.
  CWFMeridianIcon* addMeridian(std::uint16_t handle, const char* port, ULONG family = 1,
                               const char* model = "Corvane Vireo 12", void* record = nullptr) {
    ScriptedPrtObj* printer = addLocal(handle, port, family, model);
    list_.NewPrinterIcon(printer, record);
    return dynamic_cast<CWFMeridianIcon*>(icons().back());
  }
  ScriptedPrtObj* printer(std::uint16_t handle) {
    return static_cast<ScriptedPrtObj*>(app_.printers[handle]);
  }
  static CString text(UINT id) {
    CString s;
    s.LoadString(id);
    return s;
  }
};

}  // namespace wf::testing
