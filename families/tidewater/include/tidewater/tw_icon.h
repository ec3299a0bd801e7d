#pragma once
// CWFTwIcon: the printer icon of the Tidewater family (keys 3 and 8). A
// Meridian icon with the printer's panel settings cache, the three settings
// pages of a locally connected printer, the six panel lights, two family
// alerts (6141, 6140) stored with the printer, and the PPDS test.
#include <array>
#include <optional>

#include "meridian/meridian_icon.h"
#include "tidewater/tw_settings.h"

// The stored record of this family: the Meridian part, then the family's
// alert mask (bit 1: alert 6141, bit 0: alert 6140).
#pragma pack(push, 1)
struct TIDEWATERBINARYDATA {
  MERIDIANBINARYDATA meridian;
  std::uint32_t storedAlerts;
};
#pragma pack(pop)
static_assert(sizeof(TIDEWATERBINARYDATA) == 116);

class CWFTwIcon : public CWFMeridianFamilyIcon<CWFTwIcon, TIDEWATERBINARYDATA>, public CTwSettingsHost {
  DECLARE_DYNCREATE(CWFTwIcon)
 public:
  // Menu commands, also the views of the three extra pages.
  static constexpr UINT kAdvancedCommand = 50166;
  static constexpr UINT kPaperFontCommand = 50167;
  static constexpr UINT kPresentationCommand = 50168;
  using Lights = std::array<BYTE, 6>;

  CWFTwIcon();
  CWFTwIcon(WFPrtObj* object, void* record);
  ~CWFTwIcon() override;

  int BelongsToFamily(ULONG key) override;

  CString GetGhostName() override;
  void DetermineModel() override;
  int IgnorePaperSizeInGraphic() override { return 1; }
  void OnConnectionUpdated() override;

  void CreateSpecificBinaryData(void* record) override;
  // Bit 1: alert 6141, bit 0: alert 6140.
  ULONG CreateTidewaterStoredAlerts() const;
  void RestoreTidewaterAlerts(ULONG mask);
  BOOL GetFamilyAlertFlag(int index) const { return m_familyAlerts[index]; }

  UINT NumExtraPages() override;
  void AddExtraOpenPages(CPropertySheet* sheet) override;
  int AddExtraOpenTabs(CMenu* menu) override;
  int GetExtraPageNum(UINT* index, int* found, UINT command) override;
  int HandleExtraMenuCmd(UINT command) override;
  // Bit 11 or any of bits 16 to 24 of the connection word: PJL reaches the printer.
  BOOL IsPJLConnect();

  void SetOpPanelText(CWFPanelAlertMsg* message) override;
  void UpdateOpPanelText() override;
  void FreeOPPanelData() override;
  void FreeOPPanelData(void* data) override { CWFMeridianIcon::FreeOPPanelData(data); }
  // The six panel lights (0 off, 1 on, 2 blinking), copied under
  // "OpPanelData"; none when no panel text was had or the lock was not had
  // within 3000 ms.
  std::optional<Lights> GetROPData();

  void ShowHelpforError() override;
  void UpdateAlertList(CWFAlertDlgList* list) override;
  void SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int store) override;
  ALERT_ACTION FilterAlerts(CWFAlertMsg* message) override;

  CString GetTidewaterMutex() override;
  BOOL GetPPDSCapable() override;

  virtual void ConstructorInit();

 protected:
  void AddStatusPage(CPropertySheet* sheet) override;
  void AddOpPanelPage(CPropertySheet* sheet) override;
  void AddStatsPage(CPropertySheet* sheet) override;

  UINT ProcessUIRAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;

 private:
  bool extraPagesShown();
  void tellNetType();
  // Lights from the cached panel text; the caller holds "OpPanelData".
  void takeLights();

  BOOL m_familyAlerts[2] = {1, 1};
  std::optional<Lights> m_lights;
};
