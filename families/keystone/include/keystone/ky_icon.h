#pragma once
// CWFKstoneIcon: the printer icon of the Keystone family (key 7). A Meridian
// icon with six family alerts stored with the printer and the family's
// decoding of intervention, jam and warning alerts (paper low from the
// input tray levels).
#include <atomic>

#include "meridian/meridian_icon.h"

// The stored record of this family: the Meridian part, then the family's
// alert mask (bit 5: first table row … bit 0: last row).
#pragma pack(push, 1)
struct KEYSTONEBINARYDATA {
  MERIDIANBINARYDATA meridian;
  std::uint32_t storedAlerts;
};
#pragma pack(pop)
static_assert(sizeof(KEYSTONEBINARYDATA) == 116);

// Posted to the job-buffering window: resource alerts armed; a change
// confirmed (lParam the alert kind); an error (wParam caption id, lParam
// text id, both family strings).
constexpr UINT WM_KY_JBARMED = 1185;
constexpr UINT WM_KY_JBALERT = 1189;
constexpr UINT WM_KY_JBERROR = 1190;

class CWFKstoneIcon : public CWFMeridianFamilyIcon<CWFKstoneIcon, KEYSTONEBINARYDATA> {
  DECLARE_DYNCREATE(CWFKstoneIcon)
 public:
  static constexpr int kFamilyAlertCount = 6;

  CWFKstoneIcon();
  CWFKstoneIcon(WFPrtObj* object, void* record);

  int BelongsToFamily(ULONG key) override;

  CString GetGhostName() override;
  void DetermineModel() override;
  int SupportInputLevels() override { return 1; }
  // 1 with the job-buffering partition's percent; 2 when it could not be had.
  short GetSpoolBufferPercent(int check, unsigned char* percent) override;

  // Two extra pages with bidi: job buffering (49004), then tray levels (621).
  UINT NumExtraPages() override;
  void AddExtraOpenPages(CPropertySheet* sheet) override;
  int AddExtraOpenTabs(CMenu* menu) override;
  int GetExtraPageNum(UINT* index, int* found, UINT command) override;
  int HandleExtraMenuCmd(UINT command) override;

  void CreateSpecificBinaryData(void* record) override;
  ULONG CreateKeystoneStoredAlerts() const;
  void RestoreKeystoneAlerts(ULONG mask);
  BOOL GetFamilyAlertFlag(int index) const { return m_familyAlerts[index]; }

  // "<49009> - <tray name> - <level name>" from the input status entry of
  // `tray` (its level noted on the way); empty without one.
  CString GetPaperLowErrorString(WORD tray);

  void ShowHelpforError() override;
  void UpdateAlertList(CWFAlertDlgList* list) override;
  void SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int store) override;
  ALERT_ACTION FilterAlerts(CWFAlertMsg* message) override;

  BOOL DigestResMgmtData(CWFAlert* alert, WFPrtObj::DEVICEMGMTALERTDATA data) override;
  // Keeps `window` as the job-buffering window and arms (or disarms) the
  // resource alerts on a worker; turning on tells the window how it went.
  virtual void ActivateResMgmtAlertsNotify(int on, HWND window);
  virtual void ConstructorInit();
  HWND GetRMDiskBufWindow() const { return m_jobBufWindow; }
  static UINT ArmRMAlertsNotify(void* request);

  using CWFMeridianIcon::postTextToNotebook;
  // A power-on reset with the alert capture released around it, taken again
  // (up to ten tries a second apart) with the mask as it stands then.
  enum class ResetOutcome { kDone, kRefused, kNotRecaptured };
  ResetOutcome PowerOnReset(WFPrtObj& object);

 protected:
  void AddStatusPage(CPropertySheet* sheet) override;
  UINT ProcessUIRAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;
  UINT ProcessPaperJamAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data,
                             UINT handled) override;
  UINT ProcessWarningAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;

 private:
  void armNotify(BOOL on);

  BOOL m_familyAlerts[kFamilyAlertCount] = {1, 1, 1, 1, 1, 1};
  std::atomic<HWND> m_jobBufWindow{0};
};
