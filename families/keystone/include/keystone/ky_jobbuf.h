#pragma once
// The Keystone job-buffering page and the progress dialog that carries its
// changes out. The page shows the disk, the buffer partition and the
// buffering switch of each port; the dialog runs each change on a worker,
// waits for the printer's confirming alert and offers the power-on reset
// that makes the changes take effect. Workers reach the page and the dialog
// only by posting to their windows.
#include <cstdint>
#include <vector>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "prtgui/wf_property_page.h"
#include "wfprm/wfprm.h"

class CWFKstoneIcon;

// Posted to the progress dialog by its workers (and by the icon, see
// ky_icon.h for 1185, 1189 and 1190): change the partition; change one port
// (lParam the set ports); ask for the power-on reset (wParam the active,
// lParam the set ports).
constexpr UINT WM_KY_JBPARTITION = 1186;
constexpr UINT WM_KY_JBPORTCHANGE = 1187;
constexpr UINT WM_KY_JBPOR = 1188;

namespace keystone {

// One bit per port kind in the 16-bit port masks: kind 0 0x01, 1 0x02,
// 2 0x04, 3 0x08, 5 0x20; 0 for any other kind.
std::uint16_t portBit(std::uint32_t kind);
// The port of a mask bit; any other bit gives port 0.
RM_PORTID portId(std::uint16_t bit);

struct PortMasks {
  std::uint16_t present = 0;  // every listed port
  std::uint16_t active = 0;   // buffering now
  std::uint16_t set = 0;      // buffering after the next power-on reset
  bool operator==(const PortMasks&) const = default;
};
// The first `count` entries of a summary (no more than it holds).
PortMasks foldSummary(const std::vector<RM_JOBBUFFSUMMARY>& ports, std::uint32_t count);

// The new partition percent after scroll code `code` from `current`; a
// result of 1 to 9 snaps to 0 below `current` and to 10 otherwise.
int scrolledPercent(UINT code, int thumb, int current);

// What the reading worker posts to the page with WM_WF_UPDATEPAGE.
struct JobBufInfo {
  std::uint32_t diskSize = 0;  // bytes
  std::uint32_t percent = 0;
  PortMasks ports;
};

// What the workers carry: allocated by the starter, freed by the worker.
struct QueryRequest {
  USHORT printer;
  HWND page;
};
struct PartitionRequest {
  USHORT printer;
  HWND dialog;
  int percent;
};
struct PortRequest {
  USHORT printer;
  HWND dialog;
  std::uint16_t wanted;
  std::uint16_t set;
};
struct AlertRequest {
  USHORT printer;
  HWND dialog;
  int percent;
  std::uint16_t wanted;
};
struct ResetRequest {
  USHORT printer;
  HWND dialog;
};

}  // namespace keystone

class CKYJobBuf : public CWFPropertyPage {
 public:
  explicit CKYJobBuf(CWFKstoneIcon* icon);

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;

  void OnHScroll(UINT code, UINT position, CScrollBar* bar);
  void OnApplyChanges();
  void OnReread();
  void OnPortBox();
  LRESULT OnUpdatePage(WPARAM, LPARAM info);

  // Starts the worker that reads the printer's job buffering for the page.
  void QueryJBInfo();
  static UINT QueryJBInfoWorker(void* request);

  int GetNewPercent() const { return m_newPercent; }
  int GetCurrentPercent() const { return m_currentPercent; }
  std::uint16_t GetWantedPorts() const { return m_wanted; }
  BOOL IsModified() const { return m_bModified; }

 protected:
  // Enabling and the shown texts from the members.
  void UpdatePage();
  void ReadPortBoxes();
  void Recompute() { m_bModified = m_newPercent != m_currentPercent || m_wanted != m_active; }
  CString FamilyString(UINT id) const;

  CString m_newPercentText;
  CString m_newMegabytesText;
  CString m_currentPercentText;
  CString m_diskMegabytesText;
  BOOL m_portBoxes[5] = {};
  CWFKstoneIcon* m_pIcon;
  BOOL m_bAdmin = FALSE;
  BOOL m_bFirstActivation = FALSE;
  BOOL m_bModified = FALSE;
  std::uint32_t m_diskSize = 0;
  int m_newPercent = 0;
  int m_currentPercent = 0;
  std::uint16_t m_present = 0;
  std::uint16_t m_wanted = 0;
  std::uint16_t m_active = 0;
  std::uint16_t m_set = 0;
  DECLARE_MESSAGE_MAP()
};

class CKYJBStatus : public CDialog {
 public:
  CKYJBStatus(CKYJobBuf* page, CWFKstoneIcon* icon, int newPercent, int currentPercent, std::uint16_t wanted,
              std::uint16_t active, std::uint16_t set);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  LRESULT OnArmed(WPARAM, LPARAM);
  LRESULT OnPartition(WPARAM, LPARAM);
  LRESULT OnPortChange(WPARAM, LPARAM set);
  LRESULT OnPOR(WPARAM active, LPARAM set);
  LRESULT OnAlert(WPARAM, LPARAM kind);
  LRESULT OnError(WPARAM caption, LPARAM text);

  // A confirming alert said the changes need a power-on reset.
  BOOL NeedsPOR() const { return m_bPOR; }

  static UINT DoPartition(void* request);
  static UINT DoPortChange(void* request);
  static UINT DoAlert(void* request);
  static UINT DoPOR(void* request);

 protected:
  void ShowStatus(UINT id);
  template <class Request>
  void Start(UINT (*worker)(void*), Request* request, const char* label);

  CString m_status;
  CKYJobBuf* m_pPage;
  CWFKstoneIcon* m_pIcon;
  int m_newPercent;
  int m_currentPercent;
  std::uint16_t m_wanted;
  std::uint16_t m_active;
  std::uint16_t m_set;
  BOOL m_bPOR = FALSE;
  DECLARE_MESSAGE_MAP()
};
