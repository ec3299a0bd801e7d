// The Meridian resource page, its file list and the four operation dialogs,
// offscreen in a sheet of their own; the notebook's forwarding is played by
// calling the page's operations.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "common/notebook_messages.h"
#include "framework/controls.h"
#include "framework/global_memory.h"
#include "framework/scripted_shell.h"
#include "meridian/resource_page.h"
#include "meridian_fixture.h"
#include "platform/message_queue.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"

namespace wf::testing {
namespace {

constexpr ULONG kAdmin = 0x8000;

CWFResMgmtItem* item(UINT device, const char* name, const char* size, const char* description,
                     const char* id = "X") {
  WFPrtObj::DEVICEDIRECTORYDATA d;
  d.device = device;
  d.name = name;
  d.id = id;
  d.type = "font";
  d.size = size;
  d.description = description;
  return new CWFResMgmtItem(d, device == 2 ? "Flash" : "Disk");
}

class ResourcePageTest : public MeridianFixture {
 protected:
  void SetUp() override {
    MeridianFixture::SetUp();
    wf::setTimeScaleForTest(0.001);
  }
  void TearDown() override {
    close();
    runQueuedWork();
    wf::setTimeScaleForTest(1.0);
    MeridianFixture::TearDown();
  }
  // A Meridian printer with these storage sizes (free = size) and connections.
  void make(ULONG flash, ULONG disk, ULONG connections = BCE_NET_LOCAL | kAdmin) {
    const std::uint16_t handle = ++handle_;
    printer_ = addLocal(handle, "LPT1", 1, "Corvane Vireo 12");
    fakebce::setPrtInfoFor(handle, prtInfo(handle, "LPT1", connections));
    printer_->storage.flashSize = printer_->storage.flashFree = flash;
    printer_->storage.diskSize = printer_->storage.diskFree = disk;
    list_.NewPrinterIcon(printer_, nullptr);
    icon_ = dynamic_cast<CWFMeridianIcon*>(icons().back());
    ASSERT_NE(icon_, nullptr);
    icon_->UpdateStorageOptions();
  }
  void open() {
    page_ = new CMerOResourceMgmt(icon_);
    sheet_ = std::make_unique<CPropertySheet>("Resources");
    sheet_->AddPage(page_);
    ASSERT_TRUE(sheet_->Create());
    ASSERT_NE(page_->GetSafeHwnd(), 0u);
    list_ctl_ = page_->GetList();
    ASSERT_NE(list_ctl_->GetSafeHwnd(), 0u);
    EXPECT_EQ(list_ctl_->GetDlgCtrlID(), 1039);
  }
  void close() {
    if (sheet_) sheet_->DestroyWindow();
    sheet_.reset();
    delete page_;
    page_ = nullptr;
  }
  bool enabled(int id) { return page_->GetDlgItem(id)->IsWindowEnabled() != FALSE; }
  CString shown(int id) {
    CString text;
    page_->GetDlgItem(id)->GetWindowText(text);
    return text;
  }
  void select(int index) {
    list_ctl_->SetItemState(index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  std::vector<std::string> column(int sub) {
    std::vector<std::string> out;
    for (int i = 0; i < list_ctl_->GetItemCount(); ++i) out.push_back(list_ctl_->GetItemText(i, sub).str());
    return out;
  }
  void clickColumn(int sub) {
    NMLISTVIEW info{};
    info.hdr.idFrom = 1039;
    info.hdr.code = LVN_COLUMNCLICK;
    info.iItem = -1;
    info.iSubItem = sub;
    page_->SendMessage(WM_NOTIFY, 1039, reinterpret_cast<LPARAM>(&info));
  }
  // Runs `command` on the page with `action` acting on the dialog of `templateId`.
  void runDialog(UINT templateId, int command, std::function<void(CDialog&)> action) {
    dialogs_.on(templateId, std::move(action));
    page_->SendMessage(WM_COMMAND, MAKELONG(command, BN_CLICKED), 0);
  }
  static CString itemText(CDialog& d, int id) {
    CString text;
    d.GetDlgItem(id)->GetWindowText(text);
    return text;
  }
  static int checked(CDialog& d, int id) { return static_cast<CButton*>(d.GetDlgItem(id))->GetCheck(); }
  static bool on(CDialog& d, int id) { return d.GetDlgItem(id)->IsWindowEnabled() != FALSE; }
  static HICON picture(CDialog& d) { return static_cast<CStatic*>(d.GetDlgItem(1022))->GetIcon(); }
  static void press(CDialog& d, int id) { d.SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), 0); }

  wf::fw::ScriptedShell shell_;
  wf::fw::ScriptedDialogs dialogs_;
  std::uint16_t handle_ = 40;
  ScriptedPrtObj* printer_ = nullptr;
  CWFMeridianIcon* icon_ = nullptr;
  CMerOResourceMgmt* page_ = nullptr;
  CMerOResDir* list_ctl_ = nullptr;
  std::unique_ptr<CPropertySheet> sheet_;
};

// ---- The page ----

TEST_F(ResourcePageTest, ButtonsFollowTheDevicesTheSelectionTheRightsAndTheConnection) {
  struct Case {
    ULONG flash, disk;
    bool selected, admin, connected;
    bool copyMove, remove, format, list, flashFields, diskFields;
  } cases[] = {
      {2048, 100000, true, true, true, true, true, true, true, true, true},
      {2048, 100000, false, true, true, false, false, true, true, true, true},
      {2048, 100000, true, false, true, false, false, false, true, true, true},
      {2048, 0, true, true, false, false, true, true, true, true, false},
      {0, 100000, true, true, true, false, true, true, true, false, true},
      {0, 0, false, true, true, false, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.flash << "/" << c.disk << " sel " << c.selected << " admin "
                                      << c.admin << " conn " << c.connected);
    make(c.flash, c.disk, (c.connected ? BCE_NET_LOCAL : 0) | (c.admin ? kAdmin : 0));
    open();
    if (c.flash || c.disk) {
      page_->OnNewItem(reinterpret_cast<LPARAM>(item(c.flash ? 2 : 1, "a.fnt", "10", "Alpha")));
      if (c.selected) select(0);
    }
    icon_->SetListingState(4);
    page_->UpdateData(FALSE);
    EXPECT_EQ(enabled(1045), c.copyMove);
    EXPECT_EQ(enabled(1046), c.copyMove);
    EXPECT_EQ(enabled(1047), c.remove);
    EXPECT_EQ(enabled(1048), c.format);
    EXPECT_EQ(list_ctl_->IsWindowEnabled() != FALSE, c.list);
    EXPECT_EQ(enabled(1050) && enabled(1053), c.list);
    EXPECT_EQ(enabled(1051) && enabled(1054), c.flashFields);
    EXPECT_EQ(enabled(1052) && enabled(1055), c.diskFields);
    EXPECT_EQ(enabled(1049), c.list) << "Refresh once the listing is idle";
    for (int id : {1056, 1057, 1058}) EXPECT_EQ(enabled(id), c.connected) << id;
    EXPECT_EQ(shown(1053), c.list ? "1" : "0");
    EXPECT_EQ(shown(1054), c.flash ? "2,048" : "0");
    EXPECT_EQ(shown(1055), c.disk ? "100,000" : "0");
    close();
  }
}

TEST_F(ResourcePageTest, ColumnsSortAscendingSizesAsNumbersTiesByDescription) {
  make(2048, 100000);
  open();
  EXPECT_EQ(list_ctl_->GetColumnCount(), 4);
  EXPECT_EQ(list_ctl_->GetColumnHeading(2), text(40033));
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(1, "b", "1000", "beta", "B")));
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(2, "c", "900", "Gamma", "C")));
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(2, "a", "1000", "Alpha", "A")));
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(1, "d", "12K", "delta", "D")));
  clickColumn(2);
  EXPECT_EQ(column(0), (std::vector<std::string>{"delta", "Gamma", "Alpha", "beta"}));
  clickColumn(2);
  EXPECT_EQ(column(0), (std::vector<std::string>{"delta", "Gamma", "Alpha", "beta"})) << "never descending";
  clickColumn(0);
  EXPECT_EQ(column(0), (std::vector<std::string>{"Alpha", "beta", "delta", "Gamma"}));
  // A listing's end re-sorts by the column clicked last.
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(1, "e", "1", "Epsilon", "E")));
  page_->OnListingDone();
  EXPECT_EQ(column(0), (std::vector<std::string>{"Alpha", "beta", "delta", "Epsilon", "Gamma"}));
  EXPECT_EQ(column(3), (std::vector<std::string>{"A", "B", "D", "E", "C"}));
}

TEST_F(ResourcePageTest, ByDefaultTheDeviceColumnSortsAndAFileReportedTwiceIsListedOnce) {
  make(2048, 100000);
  open();
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(2, "f.fnt", "1", "Flash font")));
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(1, "f.fnt", "1", "Disk font")));
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(2, "f.fnt", "1", "Flash font again")));
  EXPECT_EQ(list_ctl_->GetItemCount(), 2) << "the same name on the other device is another file";
  page_->OnListingDone();
  EXPECT_EQ(column(1), (std::vector<std::string>{"Disk", "Flash"}));
  EXPECT_EQ(shown(1053), "2");
}

TEST_F(ResourcePageTest, DescriptionsAreCutOnlyInTheDisplayBuffer) {
  make(2048, 0);
  open();
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(2, "long.fnt", "1", std::string(500, 'd').c_str())));
  NMLVDISPINFO info{};
  char buffer[16];
  info.hdr.idFrom = 1039;
  info.hdr.code = LVN_GETDISPINFO;
  info.item.mask = LVIF_TEXT;
  info.item.lParam = static_cast<LPARAM>(list_ctl_->GetItemData(0));
  info.item.pszText = buffer;
  info.item.cchTextMax = sizeof buffer;
  page_->SendMessage(WM_NOTIFY, 1039, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(std::string(buffer), std::string(15, 'd'));
  EXPECT_EQ(list_ctl_->GetSelectedItem(), nullptr);
  EXPECT_EQ(reinterpret_cast<CWFResMgmtItem*>(list_ctl_->GetItemData(0))->GetDescription().GetLength(), 500);
}

TEST_F(ResourcePageTest, RefreshWaitsForTheRunningListingAndThenIsEnabled) {
  make(2048, 0);
  open();
  EXPECT_EQ(runQueuedWork().size(), 1u) << "the first activation arms and lists";
  EXPECT_FALSE(icon_->IsNewListingAllowed()) << "the flash is being listed";
  page_->UpdateData(FALSE);
  EXPECT_FALSE(enabled(1049));
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(2, "a", "1", "A")));
  page_->SendMessage(WM_COMMAND, MAKELONG(1049, BN_CLICKED), 0);
  EXPECT_EQ(list_ctl_->GetItemCount(), 0);
  EXPECT_TRUE(runQueuedWork().empty()) << "remembered, not started";
  page_->UpdateData(FALSE);
  EXPECT_FALSE(enabled(1049));
  icon_->SetListingState(4);
  icon_->SetRMListView(FALSE);
  page_->UpdateData(FALSE);
  EXPECT_TRUE(enabled(1049));
  EXPECT_TRUE(icon_->GetRMListView());
  icon_->ReleaseRMListView();
}

TEST_F(ResourcePageTest, QueryDiskListsTheDiskOnAWorkerOnlyWhenThereIsOne) {
  make(2048, 0);
  open();
  runQueuedWork();
  page_->QueryDisk();
  EXPECT_TRUE(runQueuedWork().empty());
  close();
  make(2048, 500);
  open();
  runQueuedWork();
  page_->QueryDisk();
  EXPECT_EQ(runQueuedWork(), std::vector<std::string>{"[Corvane Vireo 12 - LPT1] StartDeviceList()"});
  EXPECT_EQ(printer_->calls().back(), "bidiDeviceFileListing 1");
}

// ---- The dialogs ----

TEST_F(ResourcePageTest, EachDialogStartsByTheItemsDevice) {
  make(2048, 100000);
  open();
  struct Case {
    UINT templateId;
    int command;
    UINT device;
    UINT status;
    int checkedRadio, disabledRadio;
  } cases[] = {{545, 1045, 1, 40035, 1020, 1021}, {545, 1045, 2, 40035, 1021, 1020},
               {546, 1046, 1, 40038, 1020, 1021}, {546, 1046, 2, 40038, 1021, 1020},
               {547, 1047, 1, 40043, 1021, 1020}, {547, 1047, 2, 40043, 1020, 1021}};
  std::map<UINT, HICON> pictures;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.templateId << " device " << c.device);
    list_ctl_->DeleteAllResItems();
    page_->OnNewItem(reinterpret_cast<LPARAM>(item(c.device, "f.fnt", "10", "The font")));
    select(0);
    bool ran = false;
    runDialog(c.templateId, c.command, [&](CDialog& d) {
      ran = true;
      EXPECT_EQ(itemText(d, 1027), text(c.status));
      EXPECT_EQ(itemText(d, 1018), "The font");
      EXPECT_EQ(itemText(d, 1019), icon_->familyString(c.device == 2 ? 498 : 497));
      EXPECT_EQ(checked(d, c.checkedRadio), BST_CHECKED);
      EXPECT_EQ(checked(d, c.disabledRadio), BST_UNCHECKED);
      EXPECT_FALSE(on(d, c.disabledRadio));
      EXPECT_NE(picture(d), nullptr);
      // The picture names the device the radio names.
      const UINT shownDevice = c.checkedRadio == 1020 ? 2 : 1;
      pictures.emplace(shownDevice, picture(d));
      press(d, IDCANCEL);
    });
    EXPECT_TRUE(ran);
  }
  EXPECT_EQ(pictures.size(), 2u);

  // Format: the flash first when there is one, the radios switch the picture.
  runDialog(548, 1048, [&](CDialog& d) {
    EXPECT_EQ(itemText(d, 1027), text(40046));
    EXPECT_EQ(checked(d, 1020), BST_CHECKED);
    EXPECT_TRUE(on(d, 1020));
    EXPECT_TRUE(on(d, 1021));
    const HICON flash = picture(d);
    press(d, 1021);
    EXPECT_NE(picture(d), flash);
    press(d, 1020);
    EXPECT_EQ(picture(d), flash);
    press(d, IDCANCEL);
  });
}

TEST_F(ResourcePageTest, FormatWithOneDeviceOffersOnlyIt) {
  make(0, 100000);
  open();
  runDialog(548, 1048, [&](CDialog& d) {
    EXPECT_EQ(itemText(d, 1027), text(40058));
    EXPECT_FALSE(on(d, 1020));
    EXPECT_TRUE(on(d, 1021));
    EXPECT_EQ(checked(d, 1021), BST_CHECKED);
    press(d, IDOK);
    EXPECT_EQ(itemText(d, 1027), text(40041));
    EXPECT_FALSE(on(d, IDOK));
    EXPECT_FALSE(on(d, 1021));
    EXPECT_EQ(icon_->GetRMFmtWindow(), d.GetSafeHwnd());
    icon_->ReleaseRMFmtWindow();
    press(d, IDCANCEL);
  });
  EXPECT_EQ(runQueuedWork().back(), "[Corvane Vireo 12 - LPT1] FormatResourceFunc()");
  EXPECT_EQ(printer_->calls().back(), "bidiDeviceFormat 1");
}

TEST_F(ResourcePageTest, AFileAsLargeAsTheFreeSpaceDoesNotFitAndTheNextOkRefreshes) {
  make(2048, 100000);
  open();
  runQueuedWork();
  icon_->SetListingState(4);
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(1, "big.fnt", "2048", "Big")));
  select(0);
  runDialog(545, 1045, [&](CDialog& d) {
    press(d, IDOK);
    EXPECT_EQ(itemText(d, 1027), text(40042));
    EXPECT_TRUE(app_.ThreadMgrQIsEmpty()) << "no request";
    EXPECT_EQ(icon_->GetRMCopyWindow(), HWND(0));
    icon_->ReleaseRMCopyWindow();
    press(d, IDOK);
  });
  EXPECT_EQ(list_ctl_->GetItemCount(), 0) << "the second OK refreshed the page";
  EXPECT_EQ(runQueuedWork(), std::vector<std::string>{"[Corvane Vireo 12 - LPT1] ArmRMAlerts()"});
}

TEST_F(ResourcePageTest, AResultEndsTheWaitAndCancelWithdrawsTheDialog) {
  make(2048, 100000);
  open();
  runQueuedWork();
  icon_->SetListingState(4);
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(2, "logo.ovl", "1024", "Company logo")));
  select(0);
  page_->GetDlgItem(1049)->EnableWindow(FALSE);
  runDialog(545, 1045, [&](CDialog& d) {
    press(d, IDOK);
    EXPECT_EQ(itemText(d, 1027), text(40041));
    EXPECT_FALSE(on(d, IDOK));
    EXPECT_EQ(icon_->GetRMCopyWindow(), d.GetSafeHwnd());
    icon_->ReleaseRMCopyWindow();
    // The result arrives.
    d.SendMessage(WM_WF_RESOPRESULT, 0, reinterpret_cast<LPARAM>(wf::fw::globalTextCopy("Copied.")));
    EXPECT_EQ(itemText(d, 1027), "Copied.");
    EXPECT_TRUE(on(d, IDOK));
    EXPECT_FALSE(on(d, IDCANCEL));
    EXPECT_EQ(icon_->GetRMCopyWindow(), HWND(0));
    icon_->ReleaseRMCopyWindow();
    press(d, IDCANCEL);
  });
  EXPECT_EQ(runQueuedWork(), std::vector<std::string>{"[Corvane Vireo 12 - LPT1] CopyResourceFunc()"});
  EXPECT_EQ(printer_->calls().back(), "bidiDeviceCopyFile logo.ovl 2 1 0");
  EXPECT_TRUE(enabled(1049)) << "Cancel enables Refresh";

  // Cancelled while waiting: a late result finds nobody.
  select(0);
  runDialog(546, 1046, [&](CDialog& d) {
    press(d, IDOK);
    press(d, IDCANCEL);
  });
  EXPECT_EQ(icon_->GetRMMoveWindow(), HWND(0));
  icon_->ReleaseRMMoveWindow();
  runQueuedWork();
  const std::size_t blocks = wf::fw::liveGlobalBlocks();
  printer_->resAlerts[7] = WFPrtObj::DEVICEMGMTALERTDATA{18, 0, 0, 0, ""};
  CWFAlert late(printer_->getBCEHandle(), printer_, 7, 1525, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE,
                FALSE, FALSE);
  icon_->ProcessResMgmtAlert(&late);
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), blocks);
}

TEST_F(ResourcePageTest, ANotebookClosedUnderAWaitingDialogEndsTheDialogFirst) {
  make(2048, 100000);
  ASSERT_TRUE(icon_->OpenPrinterA(WF_VIEW_RESOURCES));
  runQueuedWork();
  CPrtOpenFrame* frame = icon_->GetOpenFrame();
  ASSERT_NE(frame, nullptr);
  auto* page = dynamic_cast<CMerOResourceMgmt*>(frame->GetNotebook()->GetActivePage());
  ASSERT_NE(page, nullptr);
  icon_->SetListingState(4);
  page->OnNewItem(reinterpret_cast<LPARAM>(item(2, "logo.ovl", "1024", "Company logo")));
  page->GetList()->SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  bool ran = false;
  dialogs_.on(545, [&](CDialog& d) {
    ran = true;
    press(d, IDOK);
    // The printer went silent: the request's check closes the notebook.
    frame->SendMessage(WM_CLOSE, 0, 0);
    EXPECT_EQ(icon_->GetOpenFrame(), frame) << "not under the running dialog";
    EXPECT_EQ(icon_->GetRMCopyWindow(), HWND(0)) << "the dialog was cancelled";
    icon_->ReleaseRMCopyWindow();
  });
  page->SendMessage(WM_COMMAND, MAKELONG(1045, BN_CLICKED), 0);
  EXPECT_TRUE(ran);
  // Once the dialog's loop has returned, the close comes again.
  runQueuedWork();
  EXPECT_EQ(icon_->GetOpenFrame(), nullptr);
  EXPECT_EQ(icon_->GetOpenDlgHandle(), HWND(0));
  // Its late result finds no window.
  const std::size_t blocks = wf::fw::liveGlobalBlocks();
  printer_->resAlerts[9] = WFPrtObj::DEVICEMGMTALERTDATA{20, 0, 0, 0, ""};
  CWFAlert late(printer_->getBCEHandle(), printer_, 9, 1525, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE,
                FALSE, FALSE);
  icon_->ProcessResMgmtAlert(&late);
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), blocks);
}

TEST_F(ResourcePageTest, HelpInEachDialogAsksItsOwnIds) {
  make(2048, 100000);
  open();
  page_->OnNewItem(reinterpret_cast<LPARAM>(item(2, "a", "1", "A")));
  select(0);
  using Table = std::vector<std::pair<DWORD, DWORD>>;
  struct Case {
    UINT templateId;
    int command;
    Table ids;
  } cases[] = {{545, 1045, {{1018, 1300}, {1019, 1301}, {1020, 1302}, {1021, 1303}}},
               {546, 1046, {{1018, 1400}, {1019, 1401}, {1020, 1402}, {1021, 1403}}},
               {547, 1047, {{1018, 1500}, {1019, 1501}, {1020, 1502}, {1021, 1503}}},
               {548, 1048, {{1020, 1600}, {1021, 1601}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.templateId);
    const std::size_t before = shell_.help.calls().size();
    runDialog(c.templateId, c.command, [&](CDialog& d) {
      HELPINFO info;
      info.iCtrlId = 1020;
      info.hItemHandle = d.GetDlgItem(1020)->GetSafeHwnd();
      d.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
      d.SendMessage(WM_CONTEXTMENU, static_cast<WPARAM>(d.GetDlgItem(1021)->GetSafeHwnd()), 0);
      press(d, IDCANCEL);
    });
    const auto all = shell_.help.calls();
    ASSERT_EQ(all.size(), before + 2);
    const std::vector<wf::fw::HelpRequest> calls(all.begin() + static_cast<long>(before), all.end());
    EXPECT_EQ(calls[0].command, HELP_WM_HELP);
    EXPECT_EQ(calls[1].command, HELP_CONTEXTMENU);
    for (const auto& call : calls) {
      EXPECT_EQ(call.controlTable, c.ids);
      EXPECT_NE(call.helpFile.find("WRENFLD.HLP"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace wf::testing
