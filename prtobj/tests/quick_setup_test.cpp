// Quick Setup files received from and sent to a simulated printer on the
// transfer thread, with the progress posts the dialog sees.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "eventually.h"
#include "hostile_places.h"
#include "platform/message_queue.h"
#include "platform/window_messages.h"
#include "prtobj/thread_control.h"
#include "sim_printer.h"
#include "test_support.h"

namespace prtobjtest {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

fs::path scratch(const char* name) {
  return fs::temp_directory_path() / (std::to_string(::getpid()) + name);
}

// The dialog's side: a window collecting the posts, and the run until its end.
struct Dialog {
  Dialog() {
    window =
        wf::createWindow("QuickSetupTest", [this](wf::Hwnd, std::uint32_t msg, wf::WParam w, wf::LParam l) {
          if (msg == WM_WF_NOTIFICATION) posts.emplace_back(w, l);
          return wf::LResult{0};
        });
  }
  ~Dialog() { wf::destroyWindow(window); }

  // Pumps until DONE, or an error that ends the run before its loop.
  void waitForEnd() {
    wf::Message m;
    while (wf::getMessage(m)) {
      wf::dispatchMessage(m);
      if (!posts.empty() &&
          (posts.back().first == QS_NOTIFY_DONE ||
           (posts.back().first == QS_NOTIFY_ERROR && posts.back().second != QS_ERR_VARIABLE)))
        return;
    }
  }
  int steps() const {
    int n = 0;
    for (auto& p : posts) n += p.first == QS_NOTIFY_STEP;
    return n;
  }
  std::vector<std::pair<wf::WParam, wf::LParam>> ends() const {
    std::vector<std::pair<wf::WParam, wf::LParam>> out;
    for (auto& p : posts)
      if (p.first != QS_NOTIFY_STEP) out.push_back(p);
    return out;
  }

  wf::Hwnd window = 0;
  std::vector<std::pair<wf::WParam, wf::LParam>> posts;
};

using Posts = std::vector<std::pair<wf::WParam, wf::LParam>>;
const Posts kDone = {{QS_NOTIFY_DONE, 0}};

struct Case {
  const char* profile;
  WFPrtObj::ULONG type;
  const char* expected;
  int vars;
};
const Case kCases[] = {{"generic-7301.profile", 0, "generic-7301.psf", 70},
                       {"meridian-vireo10.profile", 1, "meridian-vireo10.psf", 74}};

TEST(PrtObjQuickSetup, ReceiveWritesTheExpectedFileAndSendSetsItBack) {
  for (const auto& c : kCases) {
    SimPrinter sim(shippedProfile(c.profile));
    std::unique_ptr<TestObj> obj(freshObject(c.type));
    sim.attach();
    const fs::path file = scratch("recv.psf");

    Dialog dialog;
    auto* control = new WFQSThreadControl(file.string(), nullptr, 0, obj.get(), 0, dialog.window, 10,
                                          WFQSThreadControl::WF_ACTION_RUN);
    WFPrtObj::ULONG steps = 0;
    ASSERT_EQ(obj->bidiQuickSetupReceive(control, &steps), 0);
    EXPECT_EQ(steps, static_cast<WFPrtObj::ULONG>(c.vars / 10));
    dialog.waitForEnd();
    delete control;
    EXPECT_EQ(dialog.ends(), kDone) << c.profile;
    EXPECT_EQ(dialog.steps(), (c.vars + 9) / 10);  // after variables 0, 10, 20, ...
    EXPECT_EQ(readFile(file), readFile(fs::path(WF_PRTOBJ_TEST_DATA) / c.expected)) << c.profile;

    // Another printer of the kind, every variable changed, gets the file back.
    SimPrinter other(shippedProfile(c.profile));
    other.model().update([](wf::sim::Profile& p) {
      for (auto& [var, value] : p.omVars) value = "changed";
    });
    other.attach();
    Dialog sendDialog;
    control = new WFQSThreadControl(file.string(), nullptr, 0, obj.get(), 1, sendDialog.window, 10,
                                    WFQSThreadControl::WF_ACTION_RUN);
    ASSERT_EQ(obj->bidiQuickSetupSend(control, &steps), 0);
    sendDialog.waitForEnd();
    delete control;
    EXPECT_EQ(sendDialog.ends(), kDone);
    EXPECT_EQ(sendDialog.steps(), c.vars / 10);  // after 10, 20, ... records
    // Every variable of the table is back; the printer's others keep the change.
    int restored = 0;
    for (const auto& [var, value] : sim.model().state().omVars)
      restored += other.model().state().omVars.at(var) == value;
    EXPECT_EQ(restored, c.vars) << c.profile;
    EXPECT_EQ(other.model().state().omVars.at(0x0037), "A:");  // "::" in the file
    fs::remove(file);
  }
}

TEST(PrtObjQuickSetup, SendEdgeFiles) {
  const struct {
    const char* name;
    std::string file;
    Posts posts;
    std::size_t sets;
  } cases[] = {
      {"header only", "MERBIDI", kDone, 0},
      {"no colon after header", std::string("MERBIDI\x00\x30\x01", 10), kDone, 0},
      {"BIDI file on a type-1 printer",
       std::string("BIDI\x00\x30\x01:", 8),
       {{QS_NOTIFY_ERROR, QS_ERR_HEADER}},
       0},
      {"colon inside the number",
       std::string("MERBIDI\x00\x30\x01:\x00:\x05:", 14),
       {{QS_NOTIFY_ERROR, QS_ERR_VARIABLE}, {QS_NOTIFY_DONE, 0}},
       1},
      {"failing variable",
       std::string("MERBIDI\x00\x30\x01:\x01\x51\x02:\x00\x31X:", 20),
       {{QS_NOTIFY_ERROR, QS_ERR_VARIABLE}, {QS_NOTIFY_DONE, 0}},
       2},
  };
  for (const auto& c : cases) {
    SimPrinter sim(shippedProfile("meridian-vireo10.profile"));
    auto knobs = sim.model().knobs();
    knobs.failVariables = {0x0151};
    sim.model().setKnobs(knobs);
    std::unique_ptr<TestObj> obj(freshObject(1));
    sim.attach();
    const fs::path file = scratch("send.psf");
    writeFile(file, c.file);
    Dialog dialog;
    auto* control = new WFQSThreadControl(file.string(), nullptr, 0, obj.get(), 1, dialog.window, 1,
                                          WFQSThreadControl::WF_ACTION_RUN);
    WFPrtObj::ULONG steps = 0;
    ASSERT_EQ(obj->bidiQuickSetupSend(control, &steps), 0);
    dialog.waitForEnd();
    delete control;
    EXPECT_EQ(dialog.ends(), c.posts) << c.name;
    EXPECT_EQ(fakebce::callsOf("BceSendBidi").size(), c.sets) << c.name;
    EXPECT_EQ(readFile(file), c.file) << c.name;  // a sent file is never changed
    fs::remove(file);
  }
}

TEST(PrtObjQuickSetup, APlaceThatIsNoFileIsNeitherSentNorWritten) {
  SimPrinter sim(shippedProfile("meridian-vireo10.profile"));
  std::unique_ptr<TestObj> obj(freshObject(1));
  sim.attach();
  const fs::path file = scratch("hostile.psf");
  const auto run = [&](bool send) {
    Dialog dialog;
    auto* control = new WFQSThreadControl(file.string(), nullptr, 0, obj.get(), send ? 1 : 0, dialog.window,
                                          1, WFQSThreadControl::WF_ACTION_RUN);
    WFPrtObj::ULONG steps = 0;
    EXPECT_EQ(send ? obj->bidiQuickSetupSend(control, &steps) : obj->bidiQuickSetupReceive(control, &steps),
              0);
    dialog.waitForEnd();
    delete control;
    return dialog.ends();
  };
  for (const auto& place : wf::testing::hostilePlaces()) {
    SCOPED_TRACE(place.what);
    wf::testing::makeHostile(place.kind, file);
    if (place.regular) {
      // Its header right, but far larger than any Quick Setup file.
      writeFile(file, "MERBIDI");
      fs::resize_file(file, 100 * 1024 * 1024);
      EXPECT_EQ(run(true), (Posts{{QS_NOTIFY_ERROR, QS_ERR_READ}}));
      continue;
    }
    EXPECT_EQ(run(true), (Posts{{QS_NOTIFY_ERROR, QS_ERR_OPEN}}));
    EXPECT_EQ(run(false), (Posts{{QS_NOTIFY_ERROR, QS_ERR_OPEN}}));
  }
  EXPECT_TRUE(fakebce::callsOf("BceSendBidi").empty());
}

TEST(PrtObjQuickSetup, FailingVariableOnReceiveLeavesNoFile) {
  SimPrinter sim(shippedProfile("meridian-vireo10.profile"));
  auto knobs = sim.model().knobs();
  knobs.failVariables = {0x0033};
  sim.model().setKnobs(knobs);
  std::unique_ptr<TestObj> obj(freshObject(1));
  sim.attach();
  const fs::path file = scratch("fail.psf");
  Dialog dialog;
  auto* control = new WFQSThreadControl(file.string(), nullptr, 0, obj.get(), 0, dialog.window, 5,
                                        WFQSThreadControl::WF_ACTION_RUN);
  WFPrtObj::ULONG steps = 0;
  ASSERT_EQ(obj->bidiQuickSetupReceive(control, &steps), 0);
  dialog.waitForEnd();
  // The dialog may delete the control on the error: the worker must not need it after.
  EXPECT_EQ(dialog.ends(), (Posts{{QS_NOTIFY_ERROR, QS_ERR_VARIABLE}, {QS_NOTIFY_DONE, 0}}));
  delete control;
  EXPECT_FALSE(fs::exists(file));
}

// A received file is made owner-only and never written through a link.
TEST(PrtObjQuickSetup, ReceivedFileIsOwnerOnlyAndNeverFollowsALink) {
  for (bool throughLink : {false, true}) {
    SimPrinter sim(shippedProfile("meridian-vireo10.profile"));
    std::unique_ptr<TestObj> obj(freshObject(1));
    sim.attach();
    const fs::path file = scratch("mode.psf"), target = scratch("target.psf");
    if (throughLink) fs::create_symlink(target, file);
    Dialog dialog;
    auto* control = new WFQSThreadControl(file.string(), nullptr, 0, obj.get(), 0, dialog.window, 10,
                                          WFQSThreadControl::WF_ACTION_RUN);
    WFPrtObj::ULONG steps = 0;
    ASSERT_EQ(obj->bidiQuickSetupReceive(control, &steps), 0);
    dialog.waitForEnd();
    delete control;
    if (throughLink) {
      EXPECT_EQ(dialog.ends(), (Posts{{QS_NOTIFY_ERROR, QS_ERR_OPEN}}));
      EXPECT_FALSE(fs::exists(target));
    } else {
      EXPECT_EQ(dialog.ends(), kDone);
      EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
                fs::perms::owner_read | fs::perms::owner_write);
    }
    fs::remove(file);
  }
}

TEST(PrtObjQuickSetup, StopWhileReceivingKeepsACompletePrefix) {
  SimPrinter sim(shippedProfile("generic-7301.profile"));
  std::unique_ptr<TestObj> obj(freshObject(0));
  fakebce::setResponder(
      [&](std::uint32_t code, const std::string& request) { return sim.ask(code, request); });
  const fs::path file = scratch("stop.psf");
  Dialog dialog;
  auto* control = new WFQSThreadControl(file.string(), nullptr, 0, obj.get(), 0, dialog.window, 1,
                                        WFQSThreadControl::WF_ACTION_RUN);
  // The stop is asked once the third variable has been read.
  fakebce::setResponder([&](std::uint32_t code, const std::string& request) {
    if (fakebce::callsOf("BceSendBidi").size() == 3)
      control->setWFThreadAction(WFQSThreadControl::WF_ACTION_STOP);
    return sim.ask(code, request);
  });
  WFPrtObj::ULONG steps = 0;
  ASSERT_EQ(obj->bidiQuickSetupReceive(control, &steps), 0);
  dialog.waitForEnd();
  delete control;
  EXPECT_EQ(dialog.ends(), kDone);
  const std::string expected = readFile(fs::path(WF_PRTOBJ_TEST_DATA) / "generic-7301.psf");
  const std::string got = readFile(file);
  EXPECT_EQ(fakebce::callsOf("BceSendBidi").size(), 3u);
  EXPECT_EQ(got, expected.substr(0, got.size()));
  EXPECT_EQ(std::count(got.begin(), got.end(), ':'), 3);
  fs::remove(file);
}

TEST(PrtObjQuickSetup, NoWindowMeansNoStepsAndNoPosts) {
  SimPrinter sim(shippedProfile("generic-7301.profile"));
  std::unique_ptr<TestObj> obj(freshObject(0));
  sim.attach();
  const fs::path file = scratch("quiet.psf");
  auto* control =
      new WFQSThreadControl(file.string(), nullptr, 0, obj.get(), 0, 0, 10, WFQSThreadControl::WF_ACTION_RUN);
  WFPrtObj::ULONG steps = 99;
  ASSERT_EQ(obj->bidiQuickSetupReceive(control, &steps), 0);
  EXPECT_EQ(steps, 0u);
  // Nothing is posted: wait for the file to be complete instead.
  const std::string expected = readFile(fs::path(WF_PRTOBJ_TEST_DATA) / "generic-7301.psf");
  EXPECT_TRUE(wf::testing::eventually([&] { return readFile(file) == expected; }));
  EXPECT_EQ(readFile(file), expected);
  wf::Message m;
  EXPECT_FALSE(wf::peekMessage(m, wf::PeekMode::Remove));
  delete control;
  fs::remove(file);
}

TEST(PrtObjQuickSetup, UnknownTypeHasNoQuickSetupAndVerifyComparesTheHeader) {
  std::unique_ptr<TestObj> obj(freshObject(WFPrtObj::kUnknownType));
  WFQSThreadControl control("x.psf", nullptr, 0, obj.get(), 0, 0, 1, WFQSThreadControl::WF_ACTION_RUN);
  WFPrtObj::ULONG steps = 0;
  EXPECT_EQ(obj->bidiQuickSetupReceive(&control, &steps), WFPrtObj::QS_NO_PSF_TYPE);
  EXPECT_EQ(obj->bidiQuickSetupSend(&control, &steps), WFPrtObj::QS_NO_PSF_TYPE);

  obj->setPrinterType(1);
  const fs::path file = scratch("verify.psf");
  for (const auto& [content, rc] :
       {std::pair<std::string, int>{"MERBIDIxx", 0}, {"BIDI\x00\x30\x01:", 2}, {"MER", 2}}) {
    writeFile(file, content);
    std::FILE* f = std::fopen(file.c_str(), "rb");
    std::fgetc(f);
    EXPECT_EQ(obj->verifyQuickSetupFile(f), rc) << content;
    if (rc == 0) {
      EXPECT_EQ(std::ftell(f), 0);
    }
    std::fclose(f);
  }
  fs::remove(file);
}

}  // namespace
}  // namespace prtobjtest
