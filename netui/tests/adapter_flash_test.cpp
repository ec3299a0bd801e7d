// Flash Network Card: the file checks, the blocks over each transport, the
// outcome notices, the class-16 server restore and the firmware re-read.
#include <random>

#include "adapter_fixture.h"
#include "adapter_flash.h"
#include "flash_files.h"
#include "port_pages.h"

namespace wf::netui::testing {
namespace {

constexpr UINT kTcpIp = 2;

class FlashTest : public AdapterFixture {
 protected:
  void SetUp() override {
    AdapterFixture::SetUp();
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("flash-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    AdapterFixture::TearDown();
  }

  PConAdIn& showAdapter(wf::net::NETADAPTERPARMS r, UINT protocol) {
    fakebce::reset();
    auto& page = makePage<PConAdIn>();
    page.SetAdapterValues(r, kPrinter, protocol);
    answerSupervisor(1, protocol);
    show(page);
    auto fresh = r;
    std::memset(fresh.Firmware, 0, sizeof fresh.Firmware);
    std::memcpy(fresh.Firmware, "3.2.0", 5);
    fakebce::pushGetNetInfo(kPrinter, protocol, 129, netAnswer(0, bytesOf(fresh)));
    for (uint16_t item : {11, 12, 13, 132, 133, 134}) fakebce::pushSetNetInfo(kPrinter, protocol, item, netAnswer(0));
    return page;
  }
  // Flashes `bytes` as a file; answers which notice told the outcome.
  int flash(PConAdIn& page, const std::string& bytes) { return flashPath(page, writeFile(dir_ / "f.prp", bytes)); }
  int flashPath(PConAdIn& page, const std::string& path) {
    shell_.fileDialog.script({IDOK, path});
    const int before = outcomes();
    click(page, 1038);
    EXPECT_EQ(outcomes() - before, 1);
    for (int id : {2153, 2154, 2155, 2156})
      if (dialogs_.runs(id) > noticeRuns_[id]) {
        noticeRuns_[id] = dialogs_.runs(id);
        return id;
      }
    return 0;
  }
  int outcomes() { return dialogs_.runs(2153) + dialogs_.runs(2154) + dialogs_.runs(2155) + dialogs_.runs(2156); }
  // (item, data bytes after the length word) of each set, the length word checked.
  static std::vector<std::pair<uint32_t, std::size_t>> blocksSent() {
    std::vector<std::pair<uint32_t, std::size_t>> blocks;
    for (const auto& call : fakebce::callsOf("BceSetNetInfo")) {
      std::size_t n = 0;
      if (call.code == 12 || call.code == 133) {
        EXPECT_GE(call.request.size(), 2u);
        uint16_t length = 0;
        std::memcpy(&length, call.request.data(), 2);
        n = call.request.size() - 2;
        EXPECT_EQ(length, n);
      }
      blocks.emplace_back(call.code, n);
    }
    return blocks;
  }
  static wf::net::NETADAPTERPARMS xle() {
    auto r = parallelXle();
    r.Control = 0x15;
    return r;
  }

  std::filesystem::path dir_;
  std::map<int, int> noticeRuns_;
};

using Blocks = std::vector<std::pair<uint32_t, std::size_t>>;

TEST_F(FlashTest, BlocksFollowTheTransportAndTheFileSize) {
  const struct {
    UINT protocol;
    std::size_t fileSize;
    Blocks blocks;
  } cases[] = {
      {kIpx, 215, {{132, 0}, {133, 1}, {134, 0}}},
      {kIpx, 3072, {{132, 0}, {133, 2858}, {134, 0}}},
      {kIpx, 3073, {{132, 0}, {133, 2858}, {133, 1}, {134, 0}}},
      {1, 7000, {{132, 0}, {133, 2858}, {133, 3072}, {133, 856}, {134, 0}}},
      {kTcpIp, 1000, {{11, 0}, {12, 512}, {12, 488}, {13, 0}}},
      {kTcpIp, 300, {{11, 0}, {12, 300}, {13, 0}}},
  };
  for (const auto& c : cases) {
    auto& page = showAdapter(xle(), c.protocol);
    FlashFileSpec spec;
    spec.data = flashData(c.fileSize - 214);
    const std::string file = flashFileBytes(spec);
    EXPECT_EQ(flash(page, file), 2153) << c.fileSize;
    EXPECT_EQ(blocksSent(), c.blocks) << c.fileSize << " over " << c.protocol;
    const auto sets = fakebce::callsOf("BceSetNetInfo");
    for (const auto& call : sets) EXPECT_EQ(call.netMask, c.protocol);
    if (c.protocol == kTcpIp) {
      std::string sent;
      for (const auto& call : sets)
        if (call.code == 12) sent += call.request.substr(2);
      EXPECT_EQ(sent, file) << "the whole file, header included";
    } else {
      EXPECT_EQ(sets.front().request, std::string("\x02\x01\x04\x03\x06\x05", 6));
      std::string sent;
      for (const auto& call : sets)
        if (call.code == 133) sent += call.request.substr(2);
      EXPECT_EQ(sent, spec.data);
    }
    EXPECT_STREQ(page.m_record.Firmware, "3.2.0");
  }
}

TEST_F(FlashTest, TheCheckedInFixtureGoesAsTwoBlocks) {
  auto& page = showAdapter(xle(), kIpx);
  EXPECT_EQ(flashPath(page, WF_NETUI_TEST_DATA_DIR "/portbay-xle-3.2.0.prp"), 2153);
  EXPECT_EQ(blocksSent(), (Blocks{{132, 0}, {133, 2858}, {133, 1927}, {134, 0}}));
  EXPECT_EQ(fakebce::callsOf("BceSetNetInfo")[1].request.substr(2, 3), std::string("\x03\x02\x00", 3));
}

TEST_F(FlashTest, BadFilesEndInTheirNoticeWithNothingSent) {
  FlashFileSpec ok;
  ok.data = flashData(500);
  const std::string good = flashFileBytes(ok);
  auto lengthField = [&](uint32_t value) {
    FlashFileSpec s = ok;
    s.lengthField = value;
    return flashFileBytes(s);
  };
  FlashFileSpec xl = ok;
  xl.banner = kXlBanner;
  std::string cutBanner = good;
  cutBanner[110] = '\0';  // the banner ends before it is whole
  const struct {
    const char* what;
    std::string bytes;
    int notice;
  } cases[] = {
      {"empty", "", 2154},
      {"214 bytes", good.substr(0, 214), 2155},
      {"no banner before the first zero", cutBanner, 2155},
      {"the XL banner", flashFileBytes(xl), 2155},
      {"length 0", lengthField(0), 2155},
      {"length short", lengthField(static_cast<uint32_t>(good.size() - 1)), 2155},
      {"length long", lengthField(static_cast<uint32_t>(good.size() + 1)), 2155},
      {"length all ones", lengthField(0xFFFFFFFF), 2155},
      {"trailing bytes", good + "xx", 2155},
  };
  for (const auto& c : cases) {
    auto& page = showAdapter(xle(), kIpx);
    EXPECT_EQ(flash(page, c.bytes), c.notice) << c.what;
    EXPECT_TRUE(itemsSet().empty()) << c.what;
    EXPECT_STREQ(page.m_record.Firmware, "3.1.0") << c.what;
  }
  auto& page = showAdapter(xle(), kIpx);
  EXPECT_EQ(flashPath(page, dir_.string()), 2154) << "a directory";
  EXPECT_EQ(flashPath(page, (dir_ / "missing.prp").string()), 2154);
  EXPECT_TRUE(itemsSet().empty());
}

TEST_F(FlashTest, ARefusedBlockEndsTheTransferWith2156) {
  auto& page = showAdapter(xle(), kIpx);
  fakebce::pushSetNetInfo(kPrinter, kIpx, 133, netAnswer(-2));  // after the first block's 0
  FlashFileSpec spec;
  spec.data = flashData(4000);
  EXPECT_EQ(flash(page, flashFileBytes(spec)), 2156);
  EXPECT_EQ(blocksSent(), (Blocks{{132, 0}, {133, 2858}, {133, 1142}}));
  EXPECT_STREQ(page.m_record.Firmware, "3.1.0");
}

TEST_F(FlashTest, TheFileDialogOffersTheClasssFilesFirstAndCancelSendsNothing) {
  const struct {
    uint8_t cls;
    const char* first;
  } cases[] = {{1, "Portbay Flash Files (*.pfc)|*.pfc|Portbay XL"},
               {16, "Portbay XL Flash Files (*.pxl)|*.pxl|Portbay Flash"},
               {2, "Portbay Xle Flash Files (*.prp)|*.prp|Portbay Flash"},
               {4, "Portbay Xle Flash Files (*.prp)|*.prp|Portbay Flash"}};
  for (const auto& c : cases) {
    auto r = xle();
    r.AdapterClass = c.cls;
    auto& page = showAdapter(r, kIpx);
    click(page, 1038);
    const auto request = shell_.fileDialog.calls().back();
    EXPECT_EQ(request.filter.rfind(c.first, 0), 0u) << request.filter;
    EXPECT_EQ(request.filter.substr(request.filter.size() - 21), "All Files (*.*)|*.*||");
    EXPECT_EQ(request.flags, OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
    EXPECT_TRUE(itemsSet().empty());
  }
  EXPECT_EQ(outcomes(), 0);

  // Declining the confirmation opens no file dialog.
  auto& page = showAdapter(xle(), kIpx);
  dialogs_.on(2191, press(IDCANCEL));
  const auto asked = shell_.fileDialog.calls().size();
  click(page, 1038);
  EXPECT_EQ(shell_.fileDialog.calls().size(), asked);
}

TEST_F(FlashTest, AnXlAdapterGetsItsFileServersBack) {
  wf::net::NWSERVERLIST servers{};
  servers.Count = 2;
  std::strcpy(servers.Names[0], "FS-ONE");
  std::strcpy(servers.Names[1], "FS-TWO");
  auto settingsWith = [](uint8_t second) {
    wf::net::NWSETTINGS s{};
    s.NvramAdapter = second;
    std::strcpy(s.LoginName, "PRINTQ");
    return s;
  };
  const struct {
    const char* what;
    uint8_t before, after;
    std::vector<uint32_t> netwareSets;
  } cases[] = {
      {"still configured: the list goes back", 1, 1, {3}},
      {"forgotten: the names go into the settings", 1, 0, {1}},
      {"never configured: nothing", 0, 0, {}},
  };
  for (const auto& c : cases) {
    auto r = xle();
    r.AdapterClass = wf::net::kClassSinglePortRuVa1;
    r.PortType = wf::net::kPortTypeSingle;
    auto& page = showAdapter(r, kIpx);
    fakebce::pushGetNetInfo(kPrinter, 1, 1, netAnswer(0, bytesOf(settingsWith(c.before))));
    fakebce::pushGetNetInfo(kPrinter, 1, 1, netAnswer(0, bytesOf(settingsWith(c.after))));
    fakebce::pushGetNetInfo(kPrinter, 1, 3, netAnswer(0, bytesOf(servers)));
    fakebce::pushSetNetInfo(kPrinter, 1, 1, netAnswer(0));
    fakebce::pushSetNetInfo(kPrinter, 1, 3, netAnswer(0));
    FlashFileSpec spec;
    spec.banner = kXlBanner;
    spec.data = flashData(10);
    EXPECT_EQ(flash(page, flashFileBytes(spec)), 2153) << c.what;
    std::vector<uint32_t> netware;
    for (const auto& call : fakebce::callsOf("BceSetNetInfo")) {
      if (call.netMask != 1) continue;
      netware.push_back(call.code);
      if (call.code == 3) EXPECT_EQ(call.request, bytesOf(servers));
      if (call.code == 1) {
        wf::net::NWSETTINGS sent{};
        ASSERT_EQ(call.request.size(), sizeof sent);
        std::memcpy(&sent, call.request.data(), sizeof sent);
        EXPECT_STREQ(sent.PrintServer, "FS-ONE");
        EXPECT_STREQ(sent.PrintServer2, "FS-TWO");
        EXPECT_STREQ(sent.LoginName, "PRINTQ");
      }
    }
    EXPECT_EQ(netware, c.netwareSets) << c.what;
  }
}

TEST_F(FlashTest, AProtectedMultiPortAdapterAsksThePasswordFirst) {
  auto& page = showAdapter(parallelXle(), kIpx);
  answerPassword("PBPASS", page.m_record);
  dialogs_.on(2163, press(IDCANCEL));
  click(page, 1038);
  EXPECT_EQ(dialogs_.runs(2163), 1);
  EXPECT_EQ(dialogs_.runs(2191), 0);
  EXPECT_TRUE(shell_.fileDialog.calls().empty());
}

TEST(FlashHeaderFuzz, AnyFirstBlockIsJudgedWithoutReadingPastIt) {
  std::mt19937 random(2153);
  const std::string good = flashFileBytes(FlashFileSpec{});
  for (int i = 0; i < 20000; ++i) {
    std::string bytes = good;
    bytes.resize(random() % 400);
    for (int flips = random() % 6; flips > 0 && !bytes.empty(); --flips)
      bytes[random() % bytes.size()] = static_cast<char>(random());
    auto block = std::make_unique<uint8_t[]>(bytes.size() + 1);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    const FlashOutcome outcome =
        checkFlashHeader(block.get(), bytes.size(), bytes.size(), flashBanner(wf::net::kClassMultiPort));
    if (bytes.size() <= 214) ASSERT_EQ(outcome, FlashOutcome::FormatInvalid);
  }
  EXPECT_EQ(checkFlashHeader(reinterpret_cast<const uint8_t*>(good.data()), good.size(), good.size(),
                             flashBanner(wf::net::kClassMultiPort)),
            FlashOutcome::Sent);
  EXPECT_EQ(checkFlashHeader(reinterpret_cast<const uint8_t*>(good.data()), good.size(), good.size(), nullptr),
            FlashOutcome::FormatInvalid);
}

}  // namespace
}  // namespace wf::netui::testing
