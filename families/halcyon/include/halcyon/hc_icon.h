#pragma once
// CWFHalcIcon: the printer icon of the Halcyon colour printers (key 6). A
// Meridian icon with 29 family alerts stored with the printer (toner per
// colour, oil and waste bottles, jams, warnings, interventions), their
// table-driven decoding, and ten extra counter pairs per job-statistics line.
#include <atomic>

#include "meridian/meridian_icon.h"

// The stored record of this family: the Meridian part, then the family's
// alert mask (flag i in bit 28 - i).
#pragma pack(push, 1)
struct HALCYONBINARYDATA {
  MERIDIANBINARYDATA meridian;
  std::uint32_t storedAlerts;
};
#pragma pack(pop)
static_assert(sizeof(HALCYONBINARYDATA) == 116);

// The family's job-statistics record: pair k holds the two extra counters
// of input-source entry k + 1. Nothing fills them yet, so they stay 0.
struct HALCYONJSALERTDATA : WFPrtObj::JSALERTDATA {
  static constexpr int kPairs = 10;
  ULONG pairs[kPairs][2] = {};
};

class CWFHalcIcon : public CWFMeridianFamilyIcon<CWFHalcIcon, HALCYONBINARYDATA> {
  DECLARE_DYNCREATE(CWFHalcIcon)
 public:
  static constexpr int kFamilyAlertCount = 29;

  CWFHalcIcon();
  CWFHalcIcon(WFPrtObj* object, void* record);

  int BelongsToFamily(ULONG key) override;
  int IgnorePaperSizeInGraphic() override { return TRUE; }
  int SupportColorLevels() override { return TRUE; }

  CString GetGhostName() override;
  void DetermineModel() override;

  void CreateSpecificBinaryData(void* record) override;
  ULONG CreateHalcyonStoredAlerts() const;
  void RestoreHalcyonAlerts(ULONG mask);
  BOOL GetFamilyAlertFlag(int index) const { return m_familyAlerts[index].load(); }

  void ShowHelpforError() override;
  void UpdateAlertList(CWFAlertDlgList* list) override;
  void SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int store) override;
  ALERT_ACTION FilterAlerts(CWFAlertMsg* message) override;

  WFPrtObj::JSALERTDATA* AllocJobStatData() override;
  // "%lu,%lu" per slot, ten slots joined by ","; valid until the calling
  // thread's next call.
  const char* GetExtraJobStatFields(WFPrtObj::JSALERTDATA* data, USHORT count) override;
  virtual void ConstructorInit();

 protected:
  UINT ProcessUIRAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;
  UINT ProcessPaperJamAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data,
                             UINT handled) override;
  UINT ProcessWarningAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;
  UINT ProcessSupplyAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) override;

 public:
  // One row of the decoders' tables (defined with them).
  struct DecodedAlert;

 private:
  template <std::size_t N>
  UINT decode(const DecodedAlert (&table)[N], ALERTSUBTYPE subType, CWFAlert* alert, UINT count,
              WFPrtObj::WFPALERTDATA* data, UINT& handled);

  // Written on the user-interface thread, read on the alert thread.
  std::atomic<BOOL> m_familyAlerts[kFamilyAlertCount];
};
