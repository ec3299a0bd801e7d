// The Tidewater status and operator-panel pages end to end: the helper
// process shows them over the real broker; the printer on LPT2 is simulated
// here, so its lights, the panel class it was asked for, the button codes
// it received and its Quick Setup variables are checked on its side.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "child/prtgui_child.h"
#include "eventually.h"
#include "printer_fixture.h"
#include "sim/printer/port_server.h"
#include "test_dirs.h"

namespace sim = wf::sim;
namespace fs = std::filesystem;
using wf::testing::PanelLampsView;
using wf::testing::PrtGuiChild;

namespace {

constexpr int kPanelView = 32772;
constexpr int kStatusPage = 0, kPanelPage = 1;
constexpr int kPanelIdOk = 1, kPanelIdCancel = 2;
const std::string kReady = "The printer is ready.";
const std::string kService =
    "The printer needs service: note the pattern and call your service representative.";
const std::string kQuestion =
    "For Quick Setup to work properly, the printer(s) you are setting up must not be printing jobs.  Choose "
    "OK "
    "to continue Quick Setup, or choose Cancel to cancel Quick Setup.";
const std::string kDone = "Quick Setup has completed successfully.";
using Ints = std::vector<int>;

class TidewaterPanel : public wf::testing::PrinterHelperTest {
 protected:
  void SetUp() override {
    PrinterHelperTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(startOn(2, "tidewater-pagecrest2", Family::Tidewater));
    const auto view = app->open(handle, kPanelView);
    ASSERT_TRUE(view.open);
    ASSERT_EQ(view.currentPage, kPanelPage);
  }
  // The printer shows `lights` (then its usual text) and announces its panel.
  void raise(const std::string& lights) {
    model->update([&](sim::Profile& p) { p.panelText = lights + "READY"; });
    ASSERT_TRUE(server->raisePanelAlert());
  }
  PanelLampsView lampsOnceTheyShow(int page, const Ints& states) {
    PanelLampsView view;
    EXPECT_TRUE(wf::testing::eventually([&] { return (view = app->lamps(handle, page)).states == states; }))
        << ::testing::PrintToString(view.states);
    return view;
  }
};

TEST_F(TidewaterPanel, TheLightsBlinkAndAreNamedAndTheButtonIsPressed) {
  EXPECT_EQ(model->enabledAlerts() & 0x10000, 0x10000u) << "the page captured the panel class";
  EXPECT_EQ(app->worked("UpdateROPData() from CTwOpPanel::OnSetActive()"), 1);
  // The profile's lights: the ready pattern.
  PanelLampsView view = lampsOnceTheyShow(kPanelPage, {1, 0, 0, 0, 0, 0});
  EXPECT_EQ(view.text, kReady);
  EXPECT_EQ(view.lit, (Ints{1, 0, 0, 0, 0, 0}));
  // Shown again while armed: nothing more is asked.
  app->lamps(handle, kStatusPage);
  app->lamps(handle, kPanelPage);
  EXPECT_EQ(app->worked("UpdateROPData()"), 1);

  raise(std::string(6, '\x02'));
  view = lampsOnceTheyShow(kPanelPage, {2, 2, 2, 2, 2, 2});
  EXPECT_EQ(view.text, kService);
  EXPECT_TRUE(view.blinking);
  app->blink();
  const PanelLampsView blinked = app->lamps(handle, kPanelPage);
  for (int i = 0; i < 6; ++i) EXPECT_NE(blinked.lit[i], view.lit[i]) << "lamp " << i << " toggles";
  EXPECT_EQ(lampsOnceTheyShow(kStatusPage, {2, 2, 2, 2, 2, 2}).blinking, true);

  raise(std::string("\x01\0\0\0\0\0", 6));
  view = lampsOnceTheyShow(kPanelPage, {1, 0, 0, 0, 0, 0});
  EXPECT_EQ(view.text, kReady);
  EXPECT_FALSE(view.blinking) << "every lamp left the blink list";
  EXPECT_EQ(lampsOnceTheyShow(kStatusPage, {1, 0, 0, 0, 0, 0}).lit, (Ints{1, 0, 0, 0, 0, 0}));

  app->control(handle, kPanelPage, 1000, PrtGuiChild::Act::Click);
  EXPECT_TRUE(wf::testing::eventually([&] { return model->buttonsPressed().size() == 1; }));
  app->control(handle, kPanelPage, 1001, PrtGuiChild::Act::Click);
  EXPECT_TRUE(wf::testing::eventually([&] { return model->buttonsPressed().size() == 2; }));
  EXPECT_EQ(model->buttonsPressed(), (std::vector<std::uint8_t>{2, 4}));
}

TEST_F(TidewaterPanel, QuickSetupReceivesAndSendsThePrintersVariables) {
  const fs::path saved = wf::testing::testRuntimeDir() / "tidewater.psf";
  EXPECT_EQ(app->quickSetupOnPage(handle, kPanelPage, true, saved.string()),
            (wf::testing::PageQuickSetup{1, {kDone}}));
  ASSERT_TRUE(fs::exists(saved));

  const auto before = model->state().omVars;
  model->update([](sim::Profile& p) {
    for (auto& [var, value] : p.omVars) value = "changed";
  });
  // Cancel on the question: no file dialog, nothing sent.
  auto run = app->quickSetupSend(handle, kPanelPage, kPanelIdCancel, {});
  EXPECT_EQ(run.fileDialogs, 0);
  EXPECT_EQ(run.boxes, std::vector<std::string>{kQuestion});
  for (const auto& [var, value] : model->state().omVars) EXPECT_EQ(value, "changed") << var;

  // Another printer's file is refused with this printer's name; the dialog comes again.
  const fs::path foreign = wf::testing::testRuntimeDir() / "foreign.psf";
  fs::copy_file(fs::path(WF_PRTOBJ_TEST_DATA) / "generic-7301.psf", foreign);
  run = app->quickSetupSend(handle, kPanelPage, kPanelIdOk, {foreign.string(), saved.string()});
  EXPECT_EQ(run.fileDialogs, 2);
  EXPECT_TRUE(run.ended);
  const std::string name = app->icons().at(0).name;
  EXPECT_EQ(run.boxes,
            (std::vector<std::string>{
                kQuestion, "The Quick Setup file and the printer " + name + " do not match.", kDone}));
  int back = 0;
  const auto after = model->state().omVars;
  for (const auto& [var, value] : before) back += after.at(var) == value;
  EXPECT_EQ(back, 74) << "every variable of the file";
}

}  // namespace
