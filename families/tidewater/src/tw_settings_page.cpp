#include "tidewater/tw_settings_page.h"

#include <cstdint>
#include <memory>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_list.h"
#include "common/wait_objects.h"
#include "framework/control_styles.h"
#include "framework/shell_calls.h"
#include "platform/clock.h"
#include "prtgui/prt_open_dlg.h"

namespace tidewater {
namespace {

// What a worker tells its page once the printer is let go.
struct Report {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

Report setVarComplete(bool ok, const PageTable& table) {
  return ok ? Report{WM_WF_SETVARCOMPLETE, 1, 0}
            : Report{WM_WF_SETVARCOMPLETE, 0, static_cast<LPARAM>(table.failureString)};
}

// Runs `work` for the block's printer under its settings mutex, with the
// borrowed object when it is a Tidewater one (else null), then posts the
// report to the page while the notebook is open. A printer gone from the
// list, or of another family, ends the worker silently.
template <class Work>
UINT runWorker(void* parameter, Work work) {
  std::unique_ptr<SettingsBlock> block(static_cast<SettingsBlock*>(parameter));
  if (!block || !block->table) return 0;
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  CWFPrinterIcon* icon = list ? list->FindPrinterIcon(block->printer) : nullptr;
  if (!icon) return 0;
  if (auto* host = dynamic_cast<CTwSettingsHost*>(icon)) {
    Report report;
    {
      CMutex mutex(host->GetTidewaterMutex());
      mutex.Wait(wf::kInfinite);
      WFPrtObj* object = icon->GetPrinterObj();
      report = work(*icon, *host, dynamic_cast<WFTidewaterPrtObj*>(object), *block);
      if (object) icon->ReleasePrinterObj();
      mutex.Release();
    }
    if (icon->GetOpenDlgHandle() && block->page)
      ::PostMessage(block->page, report.message, report.wParam, report.lParam);
  }
  icon->ThreadUnlock();
  return 0;
}

}  // namespace

UINT QuerySettings(void* parameter) {
  return runWorker(parameter, [](CWFPrinterIcon& icon, CTwSettingsHost& cache, WFTidewaterPrtObj* printer,
                                 const SettingsBlock& block) {
    bool answered = printer != nullptr;
    const bool ppds = printer && cache.GetPPDSCapable();
    for (const PageSetting& row : block.table->settings) {
      if (!row.read) continue;
      if (answered) {
        SettingCall call{*printer, cache, ppds};
        if (icon.BCEReturnCheck(row.read(call))) continue;
        answered = false;
      }
      if (row.unread) row.unread(cache);
    }
    return Report{WM_WF_UPDATEPAGE, 0, 0};
  });
}

UINT SendSettings(void* parameter) {
  return runWorker(parameter, [](CWFPrinterIcon& icon, CTwSettingsHost& cache, WFTidewaterPrtObj* printer,
                                 const SettingsBlock& block) {
    // Without the printer nothing was sent, though the page stored the values.
    if (!printer) return setVarComplete(false, *block.table);
    const auto& rows = block.table->settings;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (!rows[i].send || !(block.flags & (ChangeFlags{1} << i))) continue;
      SettingCall call{*printer, cache, false};
      if (!icon.BCEReturnCheck(rows[i].send(call))) return setVarComplete(false, *block.table);
    }
    return setVarComplete(true, *block.table);
  });
}

UINT DefaultSettings(void* parameter) {
  return runWorker(parameter, [](CWFPrinterIcon& icon, CTwSettingsHost& cache, WFTidewaterPrtObj* printer,
                                 const SettingsBlock& block) {
    bool ok = printer != nullptr;
    for (const PageSetting& row : block.table->settings) {
      if (!row.reset) continue;
      row.reset(cache);
      if (ok && row.send) {
        SettingCall call{*printer, cache, false};
        ok = icon.BCEReturnCheck(row.send(call)) != FALSE;
      }
    }
    return setVarComplete(ok, *block.table);
  });
}

}  // namespace tidewater

BEGIN_MESSAGE_MAP(CTwSettingsPage, CWFPropertyPage)
ON_MESSAGE(WM_WF_UPDATEPAGE, OnWfUpdate)
ON_MESSAGE(WM_WF_SETVARCOMPLETE, OnWfSetVarComplete)
END_MESSAGE_MAP()

CTwSettingsPage::CTwSettingsPage(UINT templateId, CWFPrinterIcon* icon, const tidewater::PageTable& table,
                                 Labels labels)
    : CWFPropertyPage(static_cast<int>(templateId), "VIREOE.HLP"),
      m_pIcon(icon),
      m_pSettings(dynamic_cast<CTwSettingsHost*>(icon)),
      m_table(table),
      m_labels(labels) {}

BOOL CTwSettingsPage::OnInitDialog() {
  CWFPropertyPage::OnInitDialog();
  m_bDataValid = FALSE;
  Start(&tidewater::QuerySettings, m_labels.query);
  if (m_pSettings) m_pSettings->AddPendingQuery();
  CString reading;
  reading.LoadString(451);
  ShowMessage(reading);
  return TRUE;
}

void CTwSettingsPage::Start(UINT (*worker)(void*), const char* label, tidewater::ChangeFlags flags) {
  WFAppServices* app = WFGetApp();
  if (!app || !m_pIcon) return;
  auto* block = new tidewater::SettingsBlock;
  block->printer = m_pIcon->GetPrinterHandle();
  block->page = GetSafeHwnd();
  block->table = &m_table;
  block->flags = flags;
  app->BeginThread(worker, block, 0, m_pIcon->BuildDescriptiveString(label));
}

void CTwSettingsPage::ShowMessage(const CString& text) {
  if (auto* notebook = dynamic_cast<CPrtOpenDlg*>(GetParent())) notebook->UpdateMessage(text);
}

void CTwSettingsPage::CreateSpin(CSpinButtonCtrl& spin, int buddy, short lower, short upper, int position) {
  CWnd* edit = GetDlgItem(buddy);
  if (!edit) return;
  CRect place;
  edit->GetWindowRect(&place);
  CPoint corner(place.right, place.top);
  ScreenToClient(&corner);
  spin.CreateEx(
      0, UPDOWN_CLASS, "",
      WS_CHILD | WS_VISIBLE | UDS_ARROWKEYS | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_WRAP | UDS_NOTHOUSANDS,
      corner.x, corner.y, 16, place.Height(), GetSafeHwnd());
  spin.SetRange(lower, upper);
  spin.SetBuddy(edit);
  spin.SetPos(position);
}

CString CTwSettingsPage::FamilyString(UINT id) const {
  wf::fw::ResourceHandleSwitch resources(m_pIcon ? m_pIcon->GetResourceInstance(0) : HINSTANCE{});
  CString text;
  text.LoadString(id);
  return text;
}

void CTwSettingsPage::NoteChange(int row, bool differs) {
  if (!m_bDataValid || !differs) return;
  m_changes |= tidewater::ChangeFlags{1} << row;
  if (CWnd* set = SetButton()) set->EnableWindow(TRUE);
}

void CTwSettingsPage::SetChanged() {
  if (!m_pSettings || !UpdateData(TRUE)) return;
  StoreControls();
  Start(&tidewater::SendSettings, m_labels.set, m_changes);
}

void CTwSettingsPage::SetDefaults() {
  m_bDefaultsPending = TRUE;
  Start(&tidewater::DefaultSettings, m_labels.defaults);
}

LRESULT CTwSettingsPage::OnWfUpdate(WPARAM, LPARAM) {
  UpdateData(FALSE);
  m_bDataValid = TRUE;
  if (m_pSettings && m_pSettings->DropPendingQuery() == 0 && m_pIcon) ShowMessage(m_pIcon->GetStatus());
  return 0;
}

LRESULT CTwSettingsPage::OnWfSetVarComplete(WPARAM success, LPARAM text) {
  if (!success) {
    CString caption;
    caption.LoadString(138);
    MessageBox(GetSafeHwnd(), FamilyString(static_cast<UINT>(text)), caption, MB_OK | MB_ICONEXCLAMATION);
    return 0;
  }
  if (m_bDefaultsPending) {
    UpdateData(FALSE);
    m_bDefaultsPending = FALSE;
  }
  if (CWnd* set = SetButton()) set->EnableWindow(FALSE);
  m_changes = 0;
  return 0;
}
