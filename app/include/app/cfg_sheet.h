#pragma once
// The settings sheet: six pages over the application's global settings.
// Each page keeps a working value per setting (bound to its control) and a
// remembered one for Cancel, and applies, remembers and reverts on the
// sheet's word; pages whose window was never made take no part.
#include <array>
#include <ctime>

#include "framework/controls.h"
#include "framework/cstring.h"
#include "framework/dialog.h"
#include "framework/property_sheet.h"
#include "prtgui/wf_property_page.h"

constexpr UINT IDD_CFG_OPTIONS = 153;
constexpr UINT IDD_CFG_CONFIRM = 136;
constexpr UINT IDD_CFG_STATUS = 667;
constexpr UINT IDD_CFG_SOUND = 135;
constexpr UINT IDD_CFG_JOBSTATS = 668;
constexpr UINT IDD_CFG_DRIVER = 860;
constexpr UINT IDD_DELETE_JOBS = 669;

// Options.
constexpr UINT IDC_CFG_ENUMALL = 1085;
constexpr UINT IDC_CFG_GHOSTS = 1136;
constexpr UINT IDC_CFG_BIDITRACE = 1135;
constexpr UINT IDC_CFG_RESTORE = 1087;
// Confirmations and Status Notification.
constexpr UINT IDC_CFG_MOVECONF = 1007;
constexpr UINT IDC_CFG_COPYCONF = 1008;
constexpr UINT IDC_CFG_DELETECONF = 1009;
constexpr UINT IDC_CFG_TOPMOST = 844;
constexpr UINT IDC_CFG_FOCUS = 841;
constexpr UINT IDC_CFG_FLASH = 843;
constexpr UINT IDC_CFG_MINSOUNDS = 842;
// Sound Setup.
constexpr UINT IDC_SND_EVENTS = 1000;
constexpr UINT IDC_SND_FILES = 1033;
constexpr UINT IDC_SND_DIRECTORY = 1034;
constexpr UINT IDC_SND_ENABLE = 1004;
constexpr UINT IDC_SND_PLAY = 1003;
constexpr UINT IDC_SND_BROWSE = 1002;
constexpr UINT IDC_SND_DEFAULTS = 1042;
// Job Statistics and Delete Jobs.
constexpr UINT IDC_JS_TRACKING = 1066;
constexpr UINT IDC_JS_FILE = 1067;
constexpr UINT IDC_JS_BROWSE = 845;
constexpr UINT IDC_JS_BOUNDED = 1069;
constexpr UINT IDC_JS_SIZE = 1070;
constexpr UINT IDC_JS_DELETE = 846;
constexpr UINT IDC_DJ_DAY = 1106;
constexpr UINT IDC_DJ_DAYSPIN = 1107;
constexpr UINT IDC_DJ_MONTH = 1109;
constexpr UINT IDC_DJ_YEAR = 1112;
constexpr UINT IDC_DJ_YEARSPIN = 1113;
// Driver Update.
constexpr UINT IDC_DU_AUTO = 1247;
constexpr UINT IDC_DU_PATH = 1248;
constexpr UINT IDC_DU_BROWSE = 1249;
constexpr UINT IDC_DU_RESET = 1250;
constexpr UINT IDC_DU_START = 1251;

// A page of the sheet.
class CWFCfgPage : public CWFPropertyPage {
 public:
  CWFCfgPage(UINT templateId, const char* helpFile)
      : CWFPropertyPage(static_cast<int>(templateId), helpFile) {}
  // The working values into the application.
  virtual void Apply() = 0;
  // Remembered := working.
  virtual void Remember() = 0;
  // Working := remembered, then Apply.
  virtual void Revert() = 0;

 protected:
  // A check box: the controls into the working values, the page changed.
  void OnChanged();
};

class COptionsPage : public CWFCfgPage {
 public:
  COptionsPage();
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;
  void Apply() override;
  void Remember() override;
  void Revert() override;

  BOOL m_bEnumAll, m_bGhosts, m_bBidiTrace;

 protected:
  void OnRestore();
  DECLARE_MESSAGE_MAP()

 private:
  BOOL m_bEnumAllWas, m_bGhostsWas, m_bBidiTraceWas;
};

class CConfirmPage : public CWFCfgPage {
 public:
  CConfirmPage();
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;
  void Apply() override;
  void Remember() override;
  void Revert() override;

  BOOL m_bMove, m_bCopy, m_bDelete;

 protected:
  DECLARE_MESSAGE_MAP()

 private:
  BOOL m_bMoveWas, m_bCopyWas, m_bDeleteWas;
};

class CStatusNotifyPage : public CWFCfgPage {
 public:
  CStatusNotifyPage();
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;
  void Apply() override;
  void Remember() override;
  void Revert() override;

  BOOL m_bTopmost, m_bFocus, m_bFlash, m_bMinSounds;

 protected:
  DECLARE_MESSAGE_MAP()

 private:
  BOOL m_bTopmostWas, m_bFocusWas, m_bFlashWas, m_bMinSoundsWas;
};

class CSoundPage : public CWFCfgPage {
 public:
  static constexpr int kEvents = 41;
  CSoundPage();
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;
  void Apply() override;
  void Remember() override;
  void Revert() override;

  BOOL m_bEnabled = FALSE;
  std::array<CString, kEvents> m_files;  // the working copy, by event

 protected:
  void OnEventChanged();
  void OnSoundChosen();
  void OnBrowse();
  void OnPlay();
  void OnEnable();
  void OnDefaults();
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  struct Entry;
  void open();
  void showFile(const CString& file);
  void refreshFromEntries();
  void freeEntries();
  void enableSoundButtons();
  Entry* selectedEntry() const;

  BOOL m_bEnabledWas = FALSE;
};

class CJobStatsPage : public CWFCfgPage {
 public:
  CJobStatsPage();
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;
  void Apply() override;
  void Remember() override;
  void Revert() override;

  BOOL m_bTracking = FALSE;
  CString m_strFile;
  BOOL m_bBounded = FALSE;
  UINT m_nSize = 1;
  std::time_t m_deleteBefore = 0;  // pending for the sheet's life; 0: none

 protected:
  void OnBounded();
  void OnSizeChanged();
  void OnBrowse();
  void OnDeleteJobs();
  DECLARE_MESSAGE_MAP()

 private:
  void enableSize();
  void applyValues();
  BOOL m_bTrackingWas = FALSE;
  CString m_strFileWas;
  BOOL m_bBoundedWas = FALSE;
  UINT m_nSizeWas = 1;
};

class CDriverUpdatePage : public CWFCfgPage {
 public:
  CDriverUpdatePage();
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;
  void Apply() override;
  void Remember() override;
  void Revert() override;

  BOOL m_bAuto = FALSE;
  CString m_strPath;

 protected:
  void OnBrowse();
  void OnReset();
  void OnStart();
  DECLARE_MESSAGE_MAP()

 private:
  BOOL m_bAutoWas = FALSE;
  CString m_strPathWas;
};

// Delete Jobs: the day before which job records go, as local midnight.
class CDeleteJobsDlg : public CDialog {
 public:
  explicit CDeleteJobsDlg(CWnd* parent);
  BOOL OnInitDialog() override;
  void OnOK() override;

  CString m_strMonth;
  int m_nDay;
  int m_nYear;
  std::time_t m_cutOff = 0;

  // Days of `month` (1-12) in `year`.
  static int DaysIn(int month, int year);

 protected:
  void OnMonthChanged();
  void OnYearChanged();
  LRESULT OnHelp(WPARAM, LPARAM helpInfo);
  LRESULT OnHelpContextMenu(WPARAM window, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  void fitDays();
  CSpinButtonCtrl m_daySpin;  // made at run time
  CSpinButtonCtrl m_yearSpin;
};

class CCfgPs : public CPropertySheet {
 public:
  CCfgPs(CWnd* parent, UINT startPage);
  ~CCfgPs() override;

  // The sheet that is open, if any: a second request brings it forward.
  static CCfgPs* Open();
  // Runs modally; a start page outside the six is the first.
  static void Show(CWnd* parent, int startPage);

  // Members in the order they apply, remember and revert.
  CStatusNotifyPage m_statusPage;
  CSoundPage m_soundPage;
  CConfirmPage m_confirmPage;
  CJobStatsPage m_jobStatsPage;
  COptionsPage m_optionsPage;
  CDriverUpdatePage m_driverPage;

 protected:
  void OnApplyNow();
  void OnOK();
  void OnCancel();
  LRESULT OnHelp(WPARAM, LPARAM);
  LRESULT OnHelpContextMenu(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  std::array<CWFCfgPage*, 6> membersInOrder();
};
