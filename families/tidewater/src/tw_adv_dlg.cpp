#include "tidewater/tw_adv_dlg.h"

#include <cstdlib>
#include <memory>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_list.h"
#include "framework/ddx.h"
#include "framework/dialog.h"
#include "framework/property_sheet.h"
#include "prtgui/prt_open_dlg.h"
#include "tidewater/tw_setting_rows.h"

namespace tidewater {
namespace {

using LONG = WFPrtObj::LONG;
using Printer = WFTidewaterPrtObj;

constexpr int kJamList = 1027;
constexpr int kTimeoutEdit = 1029;
constexpr int kPowerSaverEdit = 1030;
constexpr int kPageProtect = 1031;
constexpr int kAutoContinue = 1032;
constexpr int kHonorInit = 1033;
constexpr int kUsDefaults = 1034;
constexpr int kLfAfterCr = 1035;
constexpr int kCrAfterLf = 1036;
constexpr int kAdvancedSet = 1037;
constexpr int kAdvancedDefaults = 1038;
constexpr int kTestPage = 1039;
constexpr int kFlashDir = 1040;
constexpr int kFactoryDefaults = 1041;
constexpr int kPPDS = 1042;
constexpr UINT kConfirmFactoryDefaults = 504;
constexpr UINT kJamOn = 50161;
constexpr UINT kJamOff = 50162;
constexpr UINT kPPDSOff = 50163;  // the button's text while PPDS is off
constexpr UINT kPPDSOn = 50164;
constexpr UINT kAdvancedSetFailed = 50160;
constexpr UINT kPaperFontCommand = 50167;
constexpr UINT kPresentationCommand = 50168;

LONG readPPDS(SettingCall& call) {
  if (!call.ppdsCapable) {
    call.cache.SetPPDS(0);
    return 0;
  }
  return readAs<int, &Printer::bidiROPGetPPDSEnable, &CTwSettings::SetPPDS>(call);
}
// Rows in reading order; every row but PPDS owns a change flag.
enum Row {
  kJamRow,
  kPowerSaverRow,
  kTimeoutRow,
  kPageProtectRow,
  kAutoContinueRow,
  kHonorInitRow,
  kPPDSRow,
  kUsRow,
  kLfAfterCrRow,
  kCrAfterLfRow
};

constexpr PageSetting kAdvancedSettings[] = {
    {readAs<int, &Printer::bidiROPGetJamRecovery, &CTwSettings::SetJamRecovery>,
     sendFrom<&Printer::bidiROPSetJamRecovery, &CTwSettings::GetJamRecovery>,
     resetTo<&CTwSettings::SetJamRecovery, 2>, nullptr},
    {readAs<unsigned, &Printer::bidiROPGetPowerSaver, &CTwSettings::SetPowerSaver>,
     sendFrom<&Printer::bidiROPSetPowerSaver, &CTwSettings::GetPowerSaver>,
     resetTo<&CTwSettings::SetPowerSaver, 15u>, nullptr},
    {readAs<unsigned, &Printer::bidiROPGetPrintTimeout, &CTwSettings::SetTimeout>,
     sendFrom<&Printer::bidiROPSetPrintTimeout, &CTwSettings::GetTimeout>,
     resetTo<&CTwSettings::SetTimeout, 0u>, nullptr},
    {readAs<int, &Printer::bidiROPGetPageProtect, &CTwSettings::SetPageProtect>,
     sendFrom<&Printer::bidiROPSetPageProtect, &CTwSettings::GetPageProtect>,
     resetTo<&CTwSettings::SetPageProtect, 0>, nullptr},
    {readAs<int, &Printer::bidiROPGetAutoContinue, &CTwSettings::SetAutoContinue>,
     sendFrom<&Printer::bidiROPSetAutoContinue, &CTwSettings::GetAutoContinue>,
     resetTo<&CTwSettings::SetAutoContinue, 0>, nullptr},
    {readAs<int, &Printer::bidiROPGetHonorInit, &CTwSettings::SetHonorInit>,
     sendFrom<&Printer::bidiROPSetHonorInit, &CTwSettings::GetHonorInit>, nullptr, nullptr},
    {readPPDS, nullptr, nullptr, nullptr},
    // Unanswered, the printer is taken for a US one.
    {readUS, sendUS, nullptr, resetTo<&CTwSettings::SetUS, 1>},
    {readAs<int, &Printer::bidiROPGetLFafterCR, &CTwSettings::SetLFafterCR>,
     sendFrom<&Printer::bidiROPSetLFafterCR, &CTwSettings::GetLFafterCR>,
     resetTo<&CTwSettings::SetLFafterCR, 0>, nullptr},
    {readAs<int, &Printer::bidiROPGetCRafterLF, &CTwSettings::SetCRafterLF>,
     sendFrom<&Printer::bidiROPSetCRafterLF, &CTwSettings::GetCRafterLF>,
     resetTo<&CTwSettings::SetCRafterLF, 0>, nullptr},
};

const DWORD kHelpIDs[] = {1027,  10101, 1070,  10101, 1057,  10102, 1030,  10102, 1058,  10103, 1029,
                          10103, 1031,  10104, 1032,  10105, 1033,  10106, 1034,  10107, 1035,  10108,
                          1036,  10109, 1039,  10110, 1040,  10111, 1041,  10112, 1042,  10113, 1037,
                          10406, 1038,  10407, 1068,  0,     1088,  0,     1069,  0,     0,     0};

// The check boxes and their rows.
struct CheckRow {
  int id;
  Row row;
};
constexpr CheckRow kChecks[] = {{kPageProtect, kPageProtectRow}, {kAutoContinue, kAutoContinueRow},
                                {kHonorInit, kHonorInitRow},     {kUsDefaults, kUsRow},
                                {kLfAfterCr, kLfAfterCrRow},     {kCrAfterLf, kCrAfterLfRow}};

// The cached value a check box shows.
int cachedCheck(const CTwSettings& cache, int id) {
  switch (id) {
    case kPageProtect:
      return cache.GetPageProtect();
    case kAutoContinue:
      return cache.GetAutoContinue();
    case kHonorInit:
      return cache.GetHonorInit();
    case kUsDefaults:
      return cache.IsUS();
    case kLfAfterCr:
      return cache.GetLFafterCR();
    case kCrAfterLf:
      return cache.GetCRafterLF();
  }
  return 0;
}

}  // namespace

const PageTable kAdvancedTable{kAdvancedSettings, kAdvancedSetFailed};

UINT TidewaterAdvFunction(void* parameter) {
  std::unique_ptr<ActionBlock> block(static_cast<ActionBlock*>(parameter));
  if (!block) return 0;
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  CWFPrinterIcon* icon = list ? list->FindPrinterIcon(block->printer) : nullptr;
  if (!icon) return 0;
  WFPrtObj* object = icon->GetPrinterObj();
  if (auto* printer = dynamic_cast<WFTidewaterPrtObj*>(object)) {
    LONG rc = 0;
    switch (block->action) {
      case AdvancedAction::TestPage:
        rc = printer->bidiROPPrintTestPage();
        break;
      case AdvancedAction::PrintDirectory:
        rc = printer->bidiROPPrintDirectory();
        break;
      case AdvancedAction::FactoryDefaults:
        rc = printer->bidiROPSetFactoryDefaults();
        break;
      case AdvancedAction::PPDS:
        rc = printer->bidiROPSetPPDSEnable(block->ppds);
        break;
    }
    icon->BCEReturnCheck(rc);
    if (block->action == AdvancedAction::FactoryDefaults) {
      auto* host = dynamic_cast<CTwSettingsHost*>(icon);
      for (const PageRefresh& page : block->refresh) {
        if (!page.window || !page.table) continue;
        if (host) host->AddPendingQuery();
        QuerySettings(new SettingsBlock{block->printer, page.window, page.table, 0});
      }
    }
  }
  if (object) icon->ReleasePrinterObj();
  icon->ThreadUnlock();
  return 0;
}

}  // namespace tidewater

using tidewater::ActionBlock;
using tidewater::AdvancedAction;
using tidewater::cachedCheck;
using tidewater::CheckRow;
using tidewater::kAdvancedDefaults;
using tidewater::kAdvancedSet;
using tidewater::kAdvancedTable;
using tidewater::kAutoContinue;
using tidewater::kChecks;
using tidewater::kConfirmFactoryDefaults;
using tidewater::kCrAfterLf;
using tidewater::kFactoryDefaults;
using tidewater::kFlashDir;
using tidewater::kHelpIDs;
using tidewater::kHonorInit;
using tidewater::kJamList;
using tidewater::kJamOff;
using tidewater::kJamOn;
using tidewater::kJamRow;
using tidewater::kLfAfterCr;
using tidewater::kPageProtect;
using tidewater::kPaperFontCommand;
using tidewater::kPowerSaverEdit;
using tidewater::kPowerSaverRow;
using tidewater::kPPDS;
using tidewater::kPPDSOff;
using tidewater::kPPDSOn;
using tidewater::kPresentationCommand;
using tidewater::kTestPage;
using tidewater::kTimeoutEdit;
using tidewater::kTimeoutRow;
using tidewater::kUsDefaults;
using tidewater::TidewaterAdvFunction;

BEGIN_MESSAGE_MAP(CTwAdvDlg, CTwSettingsPage)
ON_BN_CLICKED(kTestPage, OnTidewaterTestPage)
ON_BN_CLICKED(kPPDS, OnEnablePPDS)
ON_BN_CLICKED(kAdvancedDefaults, OnAdvDefaults)
ON_BN_CLICKED(kAdvancedSet, OnAdvSet)
ON_BN_CLICKED(kFactoryDefaults, OnFactoryDefaults)
ON_BN_CLICKED(kFlashDir, OnFlashDir)
ON_BN_CLICKED(kAutoContinue, OnChangeAutoContinue)
ON_BN_CLICKED(kCrAfterLf, OnChangeCrAfterLf)
ON_BN_CLICKED(kHonorInit, OnChangeHonorInit)
ON_BN_CLICKED(kLfAfterCr, OnChangeLfAfterCr)
ON_BN_CLICKED(kPageProtect, OnChangePageProtect)
ON_BN_CLICKED(kUsDefaults, OnChangeUsDefaults)
ON_EN_CHANGE(kPowerSaverEdit, OnChangeEditPowerSaver)
ON_EN_CHANGE(kTimeoutEdit, OnChangeEditTimeout)
ON_CBN_SELCHANGE(kJamList, OnSelchangeJamRecovery)
END_MESSAGE_MAP()

CTwAdvDlg::CTwAdvDlg(CWFPrinterIcon* icon)
    : CTwSettingsPage(
          744, icon, kAdvancedTable,
          {"UpdateAdvanced() from CTwAdvDlg::OnInitDialog()", "SetAdvanced() from CTwAdvDlg::OnAdvSet()",
           "DefaultsAdvanced() from CTwAdvDlg::OnAdvDefaults()"}) {}

const DWORD* CTwAdvDlg::GetHelpIDs() {
  return kHelpIDs;
}

BOOL CTwAdvDlg::OnInitDialog() {
  CTwSettingsPage::OnInitDialog();
  CreateSpin(m_powerSaverSpin, kPowerSaverEdit, 0, 120,
             m_pSettings ? static_cast<int>(m_pSettings->GetPowerSaver()) : 0);
  CreateSpin(m_timeoutSpin, kTimeoutEdit, 0, 255,
             m_pSettings ? static_cast<int>(m_pSettings->GetTimeout()) : 0);
  m_jamList.ResetContent();
  m_jamList.AddString(FamilyString(kJamOn));
  m_jamList.AddString(FamilyString(kJamOff));
  m_jamList.SetCurSel(0);
  if (m_pIcon && m_pIcon->GetFlashSize() == 0) GetDlgItem(kFlashDir)->EnableWindow(FALSE);
  m_changes = 0;
  return TRUE;
}

void CTwAdvDlg::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  DDX_Control(dx, kAdvancedSet, m_setButton);
  DDX_Control(dx, kJamList, m_jamList);
  DDX_Control(dx, kPPDS, m_ppdsButton);
  if (!dx->m_bSaveAndValidate && m_pSettings) {
    m_powerSaver = m_pSettings->GetPowerSaver();
    m_timeout = m_pSettings->GetTimeout();
    int* checks[] = {&m_pageProtect, &m_autoContinue, &m_honorInit,
                     &m_usDefaults,  &m_lfAfterCr,    &m_crAfterLf};
    for (std::size_t i = 0; i < std::size(kChecks); ++i)
      *checks[i] = cachedCheck(*m_pSettings, kChecks[i].id);
    if (m_powerSaverSpin.GetSafeHwnd()) m_powerSaverSpin.SetPos(static_cast<int>(m_powerSaver));
    if (m_timeoutSpin.GetSafeHwnd()) m_timeoutSpin.SetPos(static_cast<int>(m_timeout));
    ShowPPDSText();
    m_ppdsButton.EnableWindow(m_pSettings->GetPPDSCapable());
    m_jamList.SetCurSel(m_pSettings->GetJamRecovery() == 2 ? 0 : 1);
  }
  DDX_Text(dx, kPowerSaverEdit, m_powerSaver);
  DDV_MinMaxUInt(dx, m_powerSaver, 0, 120);
  DDX_Text(dx, kTimeoutEdit, m_timeout);
  DDV_MinMaxUInt(dx, m_timeout, 0, 255);
  DDX_Check(dx, kPageProtect, m_pageProtect);
  DDX_Check(dx, kAutoContinue, m_autoContinue);
  DDX_Check(dx, kHonorInit, m_honorInit);
  DDX_Check(dx, kUsDefaults, m_usDefaults);
  DDX_Check(dx, kLfAfterCr, m_lfAfterCr);
  DDX_Check(dx, kCrAfterLf, m_crAfterLf);
}

void CTwAdvDlg::StoreControls() {
  m_pSettings->SetJamRecovery(m_jamList.GetCurSel() == 0 ? 2 : 1);
  m_pSettings->SetPowerSaver(m_powerSaver);
  m_pSettings->SetTimeout(m_timeout);
  m_pSettings->SetPageProtect(m_pageProtect ? 1 : 0);
  m_pSettings->SetAutoContinue(m_autoContinue ? 1 : 0);
  m_pSettings->SetHonorInit(m_honorInit ? 1 : 0);
  m_pSettings->SetUS(m_usDefaults ? 1 : 0);
  m_pSettings->SetLFafterCR(m_lfAfterCr ? 1 : 0);
  m_pSettings->SetCRafterLF(m_crAfterLf ? 1 : 0);
}

void CTwAdvDlg::ShowPPDSText() {
  if (m_pSettings && m_ppdsButton.GetSafeHwnd())
    m_ppdsButton.SetWindowText(FamilyString(m_pSettings->GetPPDS() ? kPPDSOn : kPPDSOff));
}

// ---- changes ----

UINT CTwAdvDlg::EditValue(int id) const {
  CString text;
  if (CWnd* edit = GetDlgItem(id)) edit->GetWindowText(text);
  return static_cast<UINT>(std::strtoul(text, nullptr, 10));
}

void CTwAdvDlg::CheckChanged(int id) {
  if (!m_pSettings) return;
  const auto* box = dynamic_cast<CButton*>(GetDlgItem(id));
  if (!box) return;
  for (const CheckRow& check : kChecks)
    if (check.id == id) NoteChange(check.row, (box->GetCheck() ? 1 : 0) != cachedCheck(*m_pSettings, id));
}

void CTwAdvDlg::OnChangeAutoContinue() {
  CheckChanged(kAutoContinue);
}
void CTwAdvDlg::OnChangeCrAfterLf() {
  CheckChanged(kCrAfterLf);
}
void CTwAdvDlg::OnChangeHonorInit() {
  CheckChanged(kHonorInit);
}
void CTwAdvDlg::OnChangeLfAfterCr() {
  CheckChanged(kLfAfterCr);
}
void CTwAdvDlg::OnChangePageProtect() {
  CheckChanged(kPageProtect);
}
void CTwAdvDlg::OnChangeUsDefaults() {
  CheckChanged(kUsDefaults);
}

void CTwAdvDlg::OnChangeEditPowerSaver() {
  if (m_pSettings) NoteChange(kPowerSaverRow, EditValue(kPowerSaverEdit) != m_pSettings->GetPowerSaver());
}

void CTwAdvDlg::OnChangeEditTimeout() {
  if (m_pSettings) NoteChange(kTimeoutRow, EditValue(kTimeoutEdit) != m_pSettings->GetTimeout());
}

void CTwAdvDlg::OnSelchangeJamRecovery() {
  if (m_pSettings) NoteChange(kJamRow, (m_jamList.GetCurSel() == 0 ? 2 : 1) != m_pSettings->GetJamRecovery());
}

// ---- buttons ----

void CTwAdvDlg::OnAdvSet() {
  SetChanged();
}

void CTwAdvDlg::OnAdvDefaults() {
  SetDefaults();
}

void CTwAdvDlg::StartAction(AdvancedAction action, const char* label) {
  WFAppServices* app = WFGetApp();
  if (!app || !m_pIcon) return;
  auto* block = new ActionBlock;
  block->action = action;
  block->printer = m_pIcon->GetPrinterHandle();
  block->ppds = m_pSettings ? m_pSettings->GetPPDS() : 0;
  if (action == AdvancedAction::FactoryDefaults) {
    auto* notebook = dynamic_cast<CPropertySheet*>(GetParent());
    const UINT commands[] = {kPaperFontCommand, kPresentationCommand};
    for (std::size_t i = 0; i < std::size(commands) && notebook; ++i) {
      const int index = m_pIcon->GetPageNum(commands[i]);
      if (auto* page = dynamic_cast<CTwSettingsPage*>(notebook->GetPage(index)); page && page->GetSafeHwnd())
        block->refresh[i] = {page->GetSafeHwnd(), &page->GetTable()};
    }
    block->refresh[2] = {GetSafeHwnd(), &GetTable()};
  }
  app->BeginThread(&TidewaterAdvFunction, block, 0, m_pIcon->BuildDescriptiveString(label));
}

void CTwAdvDlg::OnTidewaterTestPage() {
  StartAction(AdvancedAction::TestPage, "TidewaterAdvFunction() from CTwAdvDlg::OnTidewaterTestPage()");
}

void CTwAdvDlg::OnFlashDir() {
  StartAction(AdvancedAction::PrintDirectory, "TidewaterAdvFunction() from CTwAdvDlg::OnFlashDir()");
}

void CTwAdvDlg::OnEnablePPDS() {
  if (!m_pSettings) return;
  // The page does not wait for the printer: the cache and the text flip now.
  m_pSettings->SetPPDS(m_pSettings->GetPPDS() ? 0 : 1);
  ShowPPDSText();
  StartAction(AdvancedAction::PPDS, "TidewaterAdvFunction() from CTwAdvDlg::OnEnablePPDS()");
}

void CTwAdvDlg::OnFactoryDefaults() {
  INT_PTR answer = IDCANCEL;
  {
    wf::fw::ResourceHandleSwitch resources(m_pIcon ? m_pIcon->GetResourceInstance(0) : HINSTANCE{});
    CDialog confirm(kConfirmFactoryDefaults, this);
    answer = confirm.DoModal();
  }
  if (answer != IDOK) return;
  StartAction(AdvancedAction::FactoryDefaults, "TidewaterAdvFunction() from CTwAdvDlg::OnFactoryDefaults()");
}
