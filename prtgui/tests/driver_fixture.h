#pragma once
// A monitored printer on LPT1 with the process's spooler stand-in holding
// its queues, scripted message boxes and the "Choose Driver" dialog acted on
// through the framework's modal hook.
#include <string>
#include <vector>

#include "common/driver_dlg.h"
#include "framework/controls.h"
#include "framework/scripted_shell.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "tag_items.h"
#include "test_fixture.h"

namespace wf::testing {

class DriverFixture : public PrinterFixture {
 protected:
  static constexpr const char* kPS = "Corvane PS";
  static constexpr const char* kPCL = "Corvane PCL 5B";
  static constexpr const char* kPCL5C = "Corvane PCL 5C";
  static constexpr const char* kText = "Plain Text";

  void SetUp() override {
    PrinterFixture::SetUp();
    auto& s = spool::spooler();
    s.clear();
    s.addDriver(kPS, "C:\\DRIVERS\\CORPS.DRV", "Monitor");
    s.addDriver(kPCL, "C:\\DRIVERS\\CVPCL5B.DRV", "Monitor");
    s.addDriver(kPCL5C, "C:/drivers/cvpcl5c.drv", "Monitor");
    s.addDriver(kText, "C:\\DRIVERS\\TTY.DRV", "Monitor");
    printer_ = addLocal(11, "LPT1:");
    list_.NewPrinterIcon(printer_, nullptr);
    icon_ = icons().at(0);
  }
  void TearDown() override {
    spool::spooler().clear();
    PrinterFixture::TearDown();
  }

  static void queue(const char* name, const char* port, const char* driver) {
    spool::spooler().addPrinter(name, port, driver);
  }
  // Picks line `index` of the chooser and ends it with `answer`.
  void choose(int index, int answer = IDOK) {
    dialogs_.on(IDD_CHOOSE_DRIVER, [this, index, answer](CDialog& d) {
      auto* list = static_cast<CListBox*>(d.GetDlgItem(IDC_DRIVER_LIST));
      for (int i = 0; i < list->GetCount(); ++i) {
        CString line;
        list->GetText(i, line);
        lines_.push_back(line.str());
      }
      selectedAtStart_ = list->GetCurSel();
      lastDriverAtStart_ = icon_->GetLastDriver() ? icon_->GetLastDriver() : "";
      if (index >= 0) list->UserSelect(index);
      d.EndDialog(answer);
    });
  }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& call : shell_.messageBox.calls()) texts.push_back(call.text);
    return texts;
  }
  static std::string driversKey() {
    return std::string("Software\\Corvane\\Wrenfield\\1.0\\Settings\\Drivers");
  }
  static void setDriversValue(const char* name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, driversKey().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              0);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(key);
  }

  fw::ScriptedShell shell_;
  fw::ScriptedDialogs dialogs_;
  ScriptedPrtObj* printer_ = nullptr;
  CWFPrinterIcon* icon_ = nullptr;
  std::vector<std::string> lines_;
  int selectedAtStart_ = -2;
  std::string lastDriverAtStart_;
};

}  // namespace wf::testing
