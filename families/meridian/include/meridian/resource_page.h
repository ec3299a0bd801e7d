#pragma once
// The resource page of the Meridian family's notebook (and of the families
// derived from it): the files on the printer's flash and disk in one list,
// and the copy, move, delete and format dialogs, each waiting for the
// printer's result. The icon does the work; these start it and show it.
#include "framework/dialog.h"
#include "framework/list_ctrl.h"
#include "meridian/res_mgmt_item.h"
#include "prtgui/prt_pages.h"

class CWFMeridianIcon;
class CMerOResourceMgmt;

// The file list: each item's data is a CWFResMgmtItem the list owns.
class CMerOResDir : public CListCtrl {
  DECLARE_DYNCREATE(CMerOResDir)
 public:
  CMerOResDir();
  explicit CMerOResDir(CMerOResourceMgmt* page);

  // The new item's index; -1 (item not taken) when the list holds a file of
  // the same name on the same device.
  int AddResItem(CWFResMgmtItem* item);
  // The first selected item's data; null when nothing is selected.
  CWFResMgmtItem* GetSelectedItem() const;
  // Ascending by `column`, ties by description; the column is kept.
  void SortByColumn(int column);
  int GetSortColumn() const { return m_sortColumn; }
  void OnGetDispInfo(NMHDR* header);
  void OnColumnClick(NMHDR* header);
  void OnInsertItem(NMHDR* header);

  virtual void DeleteAllResItems();

  int OnCreate(LPCREATESTRUCT cs);
  void OnDestroy();
  void OnLButtonDown(UINT flags, CPoint point);

 protected:
  // Repaints the list, reads the page back and repaints it.
  void refreshPage(BOOL save);

  int m_sortColumn = 1;
  CMerOResourceMgmt* m_pPage = nullptr;
  DECLARE_MESSAGE_MAP()
};

class CMerOResourceMgmt : public CPrtOResourceMgmt {
 public:
  explicit CMerOResourceMgmt(CWFPrinterIcon* icon);
  ~CMerOResourceMgmt() override;
  CMerOResourceMgmt(const CMerOResourceMgmt&) = delete;
  CMerOResourceMgmt& operator=(const CMerOResourceMgmt&) = delete;

  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  void ConstructorInit() override;
  void QueryDisk() override;
  void OnListingDone() override;
  void OnNewItem(LPARAM item) override;
  void OnResRefresh() override;
  void ExchangeResourceInfo(CDataExchange* dx) override;
  void OnLVNGetDispInfo(NMHDR* header, LRESULT* result) override;
  void OnLVNColumnClick(NMHDR* header, LRESULT* result) override;
  void OnLVNInsertItem(NMHDR* header, LRESULT* result) override;
  void OnResCopy() override;
  void OnResMove() override;
  void OnResDelete() override;
  void OnResFormat() override;
  void OnDownloadFont() override;
  void OnDownloadDemo() override;
  void OnDownloadOverlay() override;
  virtual void StartListing();

  CWFMeridianIcon* GetMeridianIcon() const { return m_pMerIcon; }
  CMerOResDir* GetList() const { return m_pList; }

 protected:
  // Runs one operation dialog; it is deleted after.
  void runDialog(CDialog* dialog);

  CString m_diskFree;
  CString m_flashFree;
  int m_files = 0;
  CWFMeridianIcon* m_pMerIcon = nullptr;
  CMerOResDir* m_pList = nullptr;
  BOOL m_bAdmin = FALSE;
  BOOL m_bListingRequested = FALSE;
  DECLARE_MESSAGE_MAP()
};

// What the four operation dialogs share: the status line, the device icon,
// the registration with the icon while waiting, the result, Cancel, help.
class CMerOResDlg : public CDialog {
 public:
  CMerOResDlg(UINT templateId, CMerOResourceMgmt* page);
  ~CMerOResDlg() override;
  CMerOResDlg(const CMerOResDlg&) = delete;
  CMerOResDlg& operator=(const CMerOResDlg&) = delete;

  void OnOK() override;
  void OnCancel() override;
  LRESULT OnResOpResult(WPARAM, LPARAM text);
  LRESULT OnHelp(WPARAM, LPARAM helpInfo);
  LRESULT OnHelpContextMenu(WPARAM window, LPARAM);

  BOOL IsFinished() const { return m_bFinished; }

 protected:
  // The icon's registration of this dialog (0 withdraws it).
  virtual void Register(HWND window) = 0;
  // OK while not finished: check, then start the operation.
  virtual void Start() = 0;
  virtual const DWORD* HelpIDs() const = 0;
  // Control 1022 shows the flash (2) or disk (1) picture.
  void ShowDevice(UINT device);
  // Status 40041, OK disabled, focus on Cancel, registered.
  void ShowRunning();
  CWFMeridianIcon* Icon() const;

  CString m_status;
  int m_choice = 0;
  CMerOResourceMgmt* m_pPage;
  BOOL m_bFinished = FALSE;
  HICON m_icons[2] = {};
  DECLARE_MESSAGE_MAP()
};

// Copy (545), move (546) and delete (547) of the page's selected file.
class CMerOResFileDlg : public CMerOResDlg {
 public:
  enum Operation { kCopy, kMove, kDelete };
  CMerOResFileDlg(Operation operation, CMerOResourceMgmt* page);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

 protected:
  void Register(HWND window) override;
  void Start() override;
  const DWORD* HelpIDs() const override;

  Operation m_operation;
  CString m_description;
  CString m_fileName;
  CString m_deviceText;
  UINT m_source = 1;
  UINT m_destination = 2;
  ULONG m_size = 0;
};

// Format (548) of the flash or the disk.
class CMerOResFormatDlg : public CMerOResDlg {
 public:
  explicit CMerOResFormatDlg(CMerOResourceMgmt* page);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnFlash();
  void OnDisk();

 protected:
  void Register(HWND window) override;
  void Start() override;
  const DWORD* HelpIDs() const override;

  UINT m_target = 2;
  DECLARE_MESSAGE_MAP()
};
