// The Keystone notebook: its extra pages and menu entries, the tray levels
// page and the status page's picture.
#include <gtest/gtest.h>

#include <vector>

#include "common/notebook_messages.h"
#include "framework/menu.h"
#include "framework/scripted_shell.h"
#include "keystone/ky_status.h"
#include "keystone/ky_tray_levels.h"
#include "ky_test_fixture.h"
#include "platform/message_queue.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"
#include "window_shot.h"
#include "window_steps.h"

namespace wf::testing {
namespace {

constexpr COLORREF kFill = 0xFF0000;
constexpr COLORREF kWarn = 0x0000FF;

class KeystonePagesTest : public KeystoneIconTest {
 protected:
  void TearDown() override {
    // Notebooks close before their icons go, and the work they leave runs.
    for (CWFPrinterIcon* icon : icons())
      if (CWnd* frame = icon->GetOpenFrame()) frame->SendMessage(WM_CLOSE);
    pump();
    KeystoneIconTest::TearDown();
  }
  ProbeKyIcon* make(std::uint16_t handle, std::vector<WFPrtObj::INPUTBIN> trays, bool bidi = true) {
    families_.RegisterDLL(nullptr, "Probe", 0, &ProbeKyIcon::create, kProbeIds, 1, nullptr);
    ScriptedPrtObj* printer = addLocal(handle, "LPT3", 7, "Corvane Vireo N 17");
    printer->caps.bidiActive = bidi ? TRUE : FALSE;
    printer->inputBins = std::move(trays);
    fakebce::setPrtInfoFor(
        handle, prtInfo(handle, "LPT3", BCE_NET_LOCAL | 0x8000, static_cast<std::uint8_t>(handle)));
    list_.NewPrinterIcon(printer, nullptr);
    auto* icon = dynamic_cast<ProbeKyIcon*>(icons().back());
    if (icon) icon->UpdateInputChars();
    return icon;
  }
  // Opens the notebook and activates its page of type Page.
  template <class Page>
  Page* open(CWFPrinterIcon* icon) {
    EXPECT_TRUE(icon->OpenPrinterA(0));
    runQueuedWork();
    pump();
    CPrtOpenDlg* notebook = icon->GetOpenFrame()->GetNotebook();
    for (int i = 0; i < notebook->GetPageCount(); ++i) {
      if (!dynamic_cast<Page*>(notebook->GetPage(i))) continue;
      EXPECT_TRUE(notebook->SetActivePage(i));
      runQueuedWork();
      pump();
      return dynamic_cast<Page*>(notebook->GetPage(i));
    }
    return nullptr;
  }
  static void refresh(CWFPrinterIcon* icon) {
    ::PostMessage(icon->GetOpenDlgHandle(), WM_WF_UPDATEPAGE, 0, 0);
    pump();
  }
  static CString text(CWnd* page, int id) {
    CString out;
    page->GetDlgItem(id)->GetWindowText(out);
    return out;
  }
  static bool shown(CWnd* page, int id) { return page->GetDlgItem(id)->IsWindowVisible(); }
  // The colour at the bottom of a gauge: the level's, or the empty part's.
  static COLORREF bottom(CGasGauge& gauge) {
    WindowShot shot(gauge);
    EXPECT_TRUE(shot.ok);
    return shot.at(shot.width / 2, shot.height - 3);  // inside the outline
  }

  wf::fw::ScriptedShell shell_;
};

const std::vector<WFPrtObj::INPUTBIN> kTwoTrays = {{3, 7103, 250, "Tray 1", 2, 1},
                                                   {4, 7104, 500, "Tray 2", 2, 1}};

TEST_F(KeystonePagesTest, TwoExtraPagesAndTheirMenuEntriesOnlyWithBidi) {
  ProbeKyIcon* icon = make(50, kTwoTrays);
  EXPECT_EQ(icon->NumExtraPages(), 2u);
  CMenu menu;
  ASSERT_TRUE(menu.CreatePopupMenu());
  EXPECT_TRUE(icon->AddExtraOpenTabs(&menu));
  ASSERT_EQ(menu.GetMenuItemCount(), 2);
  EXPECT_EQ(menu.GetMenuItemID(0), 49004u);
  EXPECT_EQ(menu.GetMenuItemID(1), 621u);
  CString label;
  menu.GetMenuString(1, label, MF_BYPOSITION);
  EXPECT_EQ(label, family(621));
  const struct {
    UINT command;
    UINT index;
    int answer;
  } pages[] = {{49004, 4, 1}, {621, 5, 1}, {32771, 5, 0}};
  for (const auto& p : pages) {
    UINT index = 3;
    int found = 0;
    EXPECT_EQ(icon->GetExtraPageNum(&index, &found, p.command), p.answer) << p.command;
    EXPECT_EQ(index, p.index) << p.command;
    EXPECT_EQ(found, 1) << p.command;
  }
  EXPECT_EQ(icon->HandleExtraMenuCmd(32771), 0);
  EXPECT_EQ(icon->HandleExtraMenuCmd(621), 1);
  runQueuedWork();
  pump();
  ASSERT_NE(icon->GetOpenFrame(), nullptr);
  CPrtOpenDlg* notebook = icon->GetOpenFrame()->GetNotebook();
  EXPECT_NE(dynamic_cast<CKYTrayLevels*>(notebook->GetActivePage()), nullptr) << "opened on the tray levels";
  icon->GetOpenFrame()->SendMessage(WM_CLOSE);
  pump();

  ProbeKyIcon* plain = make(51, kTwoTrays, false);
  EXPECT_EQ(plain->NumExtraPages(), 0u);
  CMenu none;
  ASSERT_TRUE(none.CreatePopupMenu());
  EXPECT_FALSE(plain->AddExtraOpenTabs(&none));
  EXPECT_EQ(none.GetMenuItemCount(), 0);
  UINT index = 3;
  int found = 0;
  EXPECT_FALSE(plain->GetExtraPageNum(&index, &found, 621));
  EXPECT_EQ(index, 3u);
  EXPECT_EQ(found, 0);
}

TEST_F(KeystonePagesTest, AttachedTraysShowTheirLevelsAndAreReadAgainAtEachRefresh) {
  ProbeKyIcon* icon = make(52, kTwoTrays);
  icon->SetTrayLevel(4, 2);  // tray 2 at about 30 percent
  CKYTrayLevels* page = open<CKYTrayLevels>(icon);
  ASSERT_NE(page, nullptr);
  // Trays 7103 and 7104 with label, level name and gauge; the optional tray and the unused places not.
  for (int id : {1070, 1078, 1071, 1079}) EXPECT_TRUE(shown(page, id)) << id;
  for (int id : {1072, 1083, 1074, 1075, 1076, 1092, 1084, 1089, 1090, 1091, 1080, 1081, 1082})
    EXPECT_FALSE(shown(page, id)) << id;
  EXPECT_EQ(text(page, 1078), icon->GetTrayLevelName(7103));
  EXPECT_EQ(text(page, 1079), icon->GetTrayLevelName(7104));
  EXPECT_FALSE(text(page, 1079).IsEmpty());
  EXPECT_TRUE(page->GetGauge(7103).IsWindowVisible());
  EXPECT_TRUE(page->GetGauge(7104).IsWindowVisible());
  EXPECT_FALSE(page->GetGauge(7105).IsWindowVisible());
  EXPECT_EQ(page->GetGauge(7104).GetDlgCtrlID(), 1081);
  // The gauges lie on their places.
  CRect place, gauge;
  page->GetDlgItem(1080)->GetWindowRect(&place);
  page->GetGauge(7103).GetWindowRect(&gauge);
  EXPECT_EQ(gauge, place);
  EXPECT_EQ(bottom(page->GetGauge(7103)), kFill) << "full";
  EXPECT_EQ(bottom(page->GetGauge(7104)), kWarn) << "30 percent is the warning level";
  // The tray the table lacks: no level name, an empty gauge.
  EXPECT_EQ(text(page, 1083), CString());
  EXPECT_NE(bottom(page->GetGauge(7105)), kWarn);
  EXPECT_NE(bottom(page->GetGauge(7105)), kFill);

  icon->SetTrayLevel(3, 1);
  icon->SetTrayLevel(4, 7);
  refresh(icon);
  EXPECT_EQ(text(page, 1078), icon->GetTrayLevelName(7103));
  EXPECT_EQ(bottom(page->GetGauge(7103)), kWarn);
  EXPECT_EQ(bottom(page->GetGauge(7104)), kFill);
}

TEST_F(KeystonePagesTest, AnUnattachedTrayStaysHiddenThoughItsGaugeHasALevel) {
  // Tray 7104 missing; the optional tray 7105 attached and almost empty.
  ProbeKyIcon* icon = make(53, {{3, 7103, 250, "Tray 1", 2, 1}, {5, 7105, 500, "Tray 3", 2, 1}});
  icon->SetTrayLevel(5, 1);
  CKYTrayLevels* page = open<CKYTrayLevels>(icon);
  ASSERT_NE(page, nullptr);
  for (int id : {1070, 1078, 1072, 1083}) EXPECT_TRUE(shown(page, id)) << id;
  for (int id : {1071, 1079}) EXPECT_FALSE(shown(page, id)) << id;
  EXPECT_FALSE(page->GetGauge(7104).IsWindowVisible());
  EXPECT_TRUE(page->GetGauge(7105).IsWindowVisible());
  EXPECT_EQ(bottom(page->GetGauge(7105)), kWarn);
  refresh(icon);
  EXPECT_FALSE(page->GetGauge(7104).IsWindowVisible());
  EXPECT_FALSE(shown(page, 1071));
}

int mismatchesWith(WindowShot& shot, UINT id) {
  wf::fw::ResourceHandleSwitch resources(CWFKstoneIcon().GetResourceInstance(id));
  LoadedBitmap bitmap(id);
  if (!bitmap.ok) return -1;
  int wrong = 0;
  for (int y = 0; y < bitmap.size.cy; ++y)
    for (int x = 0; x < bitmap.size.cx; ++x) wrong += shot.at(2 + x, 2 + y) != bitmap.at(x, y);
  return wrong;
}

TEST_F(KeystonePagesTest, ThePictureIsOneFamilyBitmapByHardErrorAndOptionalTray) {
  const struct {
    const char* what;
    bool optionalTray;
    UINT hardError;
    UINT picture;
  } cases[] = {{"the printer", false, 0, 3600},
               {"with the optional tray", true, 0, 4600},
               {"a jam", false, 3510, 3510},
               {"a jam with the optional tray", true, 3510, 4510},
               {"the family's own jam with the optional tray", true, 4524, 5524}};
  std::uint16_t handle = 60;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto trays = kTwoTrays;
    if (c.optionalTray) trays.push_back({5, 7105, 500, "Tray 3", 2, 1});
    ProbeKyIcon* icon = make(handle++, trays);
    CKYStatus* page = open<CKYStatus>(icon);
    ASSERT_NE(page, nullptr);
    if (c.hardError) {
      CWFAlert jam(icon->GetPrinterHandle(), nullptr, 1, 101, CWFAlert::ACTIVE, 0, 6190, TRUE, FALSE, TRUE,
                   FALSE);
      jam.SetSubType(ALERT_SUBTYPE_PAPERJAM);
      icon->GetAlertStorage().LogEvent(&jam, "Paper jam", CFilename(), c.hardError);
      refresh(icon);
    }
    EXPECT_EQ(page->GetPictureId(), c.picture);
    // The bitmap alone: nothing of the base page's options is drawn on it.
    WindowShot shot(*page->GetDlgItem(1001));
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(mismatchesWith(shot, c.picture), 0);
    EXPECT_EQ(page->DecodeImage(nullptr, CPoint()), 1);
    icon->GetOpenFrame()->SendMessage(WM_CLOSE);
    pump();
  }
}

TEST_F(KeystonePagesTest, AHardErrorWithoutABitmapLeavesThePicture) {
  ProbeKyIcon* icon = make(70, kTwoTrays);
  CKYStatus* page = open<CKYStatus>(icon);
  ASSERT_NE(page, nullptr);
  CWFAlert odd(70, nullptr, 1, 102, CWFAlert::ACTIVE, 0, 6111, TRUE, FALSE, TRUE, FALSE);
  odd.SetSubType(ALERT_SUBTYPE_PAPERJAM);
  icon->GetAlertStorage().LogEvent(&odd, "Paper jam", CFilename(), 9999);
  refresh(icon);
  WindowShot shot(*page->GetDlgItem(1001));
  EXPECT_EQ(mismatchesWith(shot, 3600), 0);
}

// Every bitmap the page can ask for is the family's own: the printer, and
// each hard error the decoders store (the base's, Meridian's, the family's),
// with and without the optional tray.
TEST(KeystonePictures, EveryReachablePictureIsInTheFamilysLibrary) {
  HINSTANCE library = wf::loadModule("KYGUIDLL.DLL");
  ASSERT_TRUE(library);
  for (UINT id : {3600u, 3504u, 3505u, 3506u, 3509u, 3510u, 3511u, 3512u, 3513u, 3515u, 4524u})
    for (UINT picture : {id, id + 1000}) {
      EXPECT_NE(wf::fw::findResourceIn(library, wf::fw::res::Type::Bitmap, picture), nullptr) << picture;
    }
  wf::freeModule(library);
}

}  // namespace
}  // namespace wf::testing
