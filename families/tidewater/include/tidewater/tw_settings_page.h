#pragma once
// The base of the Tidewater settings pages. A page shows some settings of
// the icon's cache; its table says how each one is read from the printer,
// sent to it and reset. Workers do the traffic under the printer's settings
// mutex and report to the page window by posted messages, only while the
// icon's notebook is open; the page itself reads and writes the cache on the
// interface thread.
#include <cstdint>
#include <span>

#include "common/printer_icon.h"
#include "framework/controls.h"
#include "prtgui/wf_property_page.h"
#include "tidewater/tw_settings.h"
#include "wfpo_tid/wfpo_tid.h"

// A set or defaults run ended: wParam 1 for success, 0 for failure; lParam
// 0 or the family string that tells the failure.
constexpr UINT WM_WF_SETVARCOMPLETE = WM_USER + 150;

namespace tidewater {

// What a row's calls work on.
struct SettingCall {
  WFTidewaterPrtObj& printer;
  CTwSettings& cache;
  bool ppdsCapable;
};

// One setting of a page.
struct PageSetting {
  // Reads the printer's value into the cache; null: the page never reads it.
  WFPrtObj::LONG (*read)(SettingCall& call);
  // Sends the cached value; null: the page never sends it.
  WFPrtObj::LONG (*send)(SettingCall& call);
  // Writes the default into the cache; null: Defaults leave it alone.
  void (*reset)(CTwSettings& cache);
  // What the cache gets when the reading stopped before the row.
  void (*unread)(CTwSettings& cache);
};

struct PageTable {
  std::span<const PageSetting> settings;
  UINT failureString;  // family string shown when a set or defaults run failed
};

// Change flags: bit n for row n of the page's table.
using ChangeFlags = std::uint32_t;

// What the workers carry; allocated by the page, freed by the worker.
struct SettingsBlock {
  USHORT printer = 0;
  HWND page = 0;
  const PageTable* table = nullptr;
  ChangeFlags flags = 0;  // set runs only
};

// The workers: read every row in order, stopping at the first failure;
// send the flagged rows, stopping at the first failure; write every default
// into the cache, sending while nothing failed.
UINT QuerySettings(void* block);
UINT SendSettings(void* block);
UINT DefaultSettings(void* block);

}  // namespace tidewater

class CTwSettingsPage : public CWFPropertyPage {
 public:
  // Labels of the page's three work items.
  struct Labels {
    const char* query;
    const char* set;
    const char* defaults;
  };

  CTwSettingsPage(UINT templateId, CWFPrinterIcon* icon, const tidewater::PageTable& table, Labels labels);

  BOOL OnInitDialog() override;

  LRESULT OnWfUpdate(WPARAM, LPARAM);
  LRESULT OnWfSetVarComplete(WPARAM success, LPARAM text);

  CWFPrinterIcon* GetIcon() const { return m_pIcon; }
  const tidewater::PageTable& GetTable() const { return m_table; }
  tidewater::ChangeFlags GetChangeFlags() const { return m_changes; }
  BOOL IsDataValid() const { return m_bDataValid; }

 protected:
  // Copies the controls into the cache, after they passed their checks.
  virtual void StoreControls() = 0;
  // The Set button; disabled while nothing changed.
  virtual CWnd* SetButton() = 0;

  // Reads and checks the controls, stores them and sends the changed rows.
  void SetChanged();
  // Resets the rows of the table and sends them.
  void SetDefaults();
  // A control of row `row` now shows `differs` from the cache.
  void NoteChange(int row, bool differs);
  // The family string `id`, from the icon's resource library.
  CString FamilyString(UINT id) const;
  // Starts a worker on a new block for this page.
  void Start(UINT (*worker)(void*), const char* label, tidewater::ChangeFlags flags = 0);
  // The notebook's status line.
  void ShowMessage(const CString& text);
  // Creates `spin` at the right of the edit `buddy`, as the pages' up-down
  // controls are: arrow keys, integer buddy, wrapping, no thousands separator.
  void CreateSpin(CSpinButtonCtrl& spin, int buddy, short lower, short upper, int position);

  CWFPrinterIcon* m_pIcon;
  CTwSettingsHost* m_pSettings;  // the icon's cache; null for an icon of another family
  const tidewater::PageTable& m_table;
  Labels m_labels;
  tidewater::ChangeFlags m_changes = 0;
  BOOL m_bDataValid = FALSE;
  BOOL m_bDefaultsPending = FALSE;
  DECLARE_MESSAGE_MAP()
};
