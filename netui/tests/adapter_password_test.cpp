// The adapter password: the scrambling, the per-adapter check with its
// prompt, and Set Password with its dialog's filter.
#include <fstream>
#include <random>
#include <sstream>

#include "adapter_fixture.h"
#include "adapter_password_tables.h"

namespace wf::netui::testing {
namespace {

class AdapterPasswordTest : public AdapterFixture {};

TEST(AdapterPasswordTables, OffsetsAreNibblesAndEachRowAPermutation) {
  for (const auto& row : kPasswordOffsets)
    for (uint8_t v : row) EXPECT_LE(v, 15);
  for (const auto& row : kPasswordPermutations) {
    bool seen[9] = {};
    for (uint8_t p : row) {
      ASSERT_TRUE(p >= 1 && p <= 8);
      EXPECT_FALSE(seen[p]);
      seen[p] = true;
    }
  }
}

TEST(AdapterPasswordScrambling, EncodeThenDecodeGivesTheUpperCasedTextUnderEveryKey) {
  const struct {
    const char* text;
    const char* decoded;
  } cases[] = {{"PBPASS", "PBPASS"}, {"abc9", "ABC9"}, {"ABCDEFGH", "ABCDEFGH"}, {"ABCDEFGHIJ", "ABCDEFGH"}, {"Z", "Z"}};
  std::mt19937 random(52);
  for (int key = 0; key < 64; ++key) {
    UniversalAddress uaa{0, 0, 0xC0, 0x4A, static_cast<uint8_t>(random()), static_cast<uint8_t>(random())};
    for (const auto& c : cases) {
      const ScrambledPassword s = EncodeAdapterPassword(c.text, uaa);
      EXPECT_NE(s[0] | s[1] | s[2], 0);
      EXPECT_EQ(DecodeAdapterPassword(s, uaa), c.decoded) << c.text << " key " << int(uaa[4]) << "," << int(uaa[5]);
    }
  }
  const UniversalAddress uaa{0, 0, 0xC0, 0x4A, 0x10, 0x01};
  EXPECT_EQ(EncodeAdapterPassword("", uaa), ScrambledPassword{});
  EXPECT_EQ(DecodeAdapterPassword(ScrambledPassword{}, uaa), "");
  // The key matters: another adapter's bytes 4 and 5 give other bytes.
  EXPECT_NE(EncodeAdapterPassword("PBPASS", uaa), EncodeAdapterPassword("PBPASS", {0, 0, 0xC0, 0x4A, 0x10, 0xAB}));
}

TEST(AdapterPasswordScrambling, DecodingAnyBytesGivesAtMostEightCharacters) {
  std::mt19937 random(131);
  for (int i = 0; i < 20000; ++i) {
    ScrambledPassword in;
    for (auto& b : in) b = static_cast<uint8_t>(random());
    UniversalAddress uaa;
    for (auto& b : uaa) b = static_cast<uint8_t>(random());
    const std::string out = DecodeAdapterPassword(in, uaa);
    ASSERT_LE(out.size(), 8u);
    ASSERT_EQ(out.find('\0'), std::string::npos);
    if (in[0] == 0) ASSERT_TRUE(out.empty());
  }
}

// The prompt typed into as given, one text per run, then OK; an empty text: Cancel.
class PasswordPrompts {
 public:
  explicit PasswordPrompts(std::vector<const char*> typed) : typed_(std::move(typed)) {}
  wf::fw::DialogAction action() {
    return [this](CDialog& box) {
      const char* text = typed_[std::min(next_++, typed_.size() - 1)];
      if (!*text) {
        box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
        return;
      }
      box.SetDlgItemText(1076, text);
      box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
    };
  }

 private:
  std::vector<const char*> typed_;
  std::size_t next_ = 0;
};

TEST_F(AdapterPasswordTest, CheckAsksUntilRightOncePerAdapterAndAfterEveryNewPage) {
  const auto pb = parallelXle();
  auto other = pb;
  other.UniversalAddress[5] = 0x02;

  // No password: no prompt.
  fakebce::pushGetNetInfo(kPrinter, kIpx, 131, netAnswer(0, std::string(8, '\0')));
  EXPECT_TRUE(CheckAdapterPassword(kPrinter, kIpx, uaaOf(pb), nullptr));
  EXPECT_EQ(dialogs_.runs(2163), 0);

  // Wrong, then right: 2162 once. (Each phase scripts afresh: the last answer repeats.)
  fakebce::reset();
  answerPassword("PBPASS", pb);
  PasswordPrompts typed({"WRONG", "PBPASS"});
  dialogs_.on(2163, typed.action());
  EXPECT_TRUE(CheckAdapterPassword(kPrinter, kIpx, uaaOf(pb), nullptr));
  EXPECT_EQ(dialogs_.runs(2163), 2);
  EXPECT_EQ(dialogs_.runs(2162), 1);
  EXPECT_EQ(broker().module, nullptr) << "its own binding freed";

  // The same adapter passes at once; another adapter still asks.
  const auto readsBefore = fakebce::callsOf("BceGetNetInfo").size();
  EXPECT_TRUE(CheckAdapterPassword(kPrinter, kIpx, uaaOf(pb), nullptr));
  EXPECT_EQ(fakebce::callsOf("BceGetNetInfo").size(), readsBefore);
  fakebce::reset();
  answerPassword("OTHER", other);
  PasswordPrompts cancel({""});
  dialogs_.on(2163, cancel.action());
  EXPECT_FALSE(CheckAdapterPassword(kPrinter, kIpx, uaaOf(other), nullptr));
  EXPECT_EQ(dialogs_.runs(2163), 3);

  // A new page forgets what was verified.
  {
    forgetVerifiedAdapters();
    fakebce::reset();
    answerPassword("PBPASS", pb);
    EXPECT_FALSE(CheckAdapterPassword(kPrinter, kIpx, uaaOf(pb), nullptr));
    EXPECT_EQ(dialogs_.runs(2163), 4);
  }
}

TEST_F(AdapterPasswordTest, AShortOrFailedReadFailsWithoutAPrompt) {
  const auto pb = parallelXle();
  fakebce::pushGetNetInfo(kPrinter, kIpx, 131, netAnswer(0, "\x11\x22\x33"));
  EXPECT_FALSE(CheckAdapterPassword(kPrinter, kIpx, uaaOf(pb), nullptr));
  dialogs_.on(2177, press(IDCANCEL));
  dialogs_.on(2180, press(IDCANCEL));
  fakebce::pushGetNetInfo(kPrinter, kIpx, 131, netAnswer(-5));
  EXPECT_FALSE(CheckAdapterPassword(kPrinter, kIpx, uaaOf(pb), nullptr));
  EXPECT_EQ(dialogs_.runs(2163), 0);
}

TEST_F(AdapterPasswordTest, ANestedCheckLeavesTheCallersBindingUsable) {
  const auto pb = parallelXle();
  ASSERT_TRUE(LoadBceFunctions());
  const auto module = broker().module;
  answerPassword("PBPASS", pb);
  PasswordPrompts typed({"PBPASS"});
  dialogs_.on(2163, typed.action());
  EXPECT_TRUE(CheckAdapterPassword(kPrinter, kIpx, uaaOf(pb), nullptr));
  EXPECT_EQ(broker().module, module);
  fakebce::pushSetNetInfo(kPrinter, kIpx, 136, netAnswer(0));
  EXPECT_TRUE(BceSetNetInfoRetry(kPrinter, kIpx, 136, nullptr, 0, nullptr));
  EXPECT_EQ(itemsSet(), std::vector<uint32_t>{136});
}

// One run of Set Password: what it types (through the keyboard) and the button.
struct SetPwdRun {
  const char* oldText;
  const char* newText;
  const char* verifyText;
  int button;
};

class SetPwdRuns {
 public:
  explicit SetPwdRuns(std::vector<SetPwdRun> runs) : runs_(std::move(runs)) {}
  wf::fw::DialogAction action() {
    return [this](CDialog& box) {
      const SetPwdRun& run = runs_[std::min(next_++, runs_.size() - 1)];
      oldEnabled.push_back(box.GetDlgItem(1040)->IsWindowEnabled());
      okEnabledAtOpen.push_back(box.GetDlgItem(IDOK)->IsWindowEnabled());
      const std::pair<int, const char*> edits[] = {{1040, run.oldText}, {1041, run.newText}, {1042, run.verifyText}};
      for (const auto& [id, text] : edits) {
        auto* edit = static_cast<CEdit*>(box.GetDlgItem(id));
        if (!edit->IsWindowEnabled()) continue;
        box.SetDlgItemText(id, "");
        edit->TypeText(text);
      }
      box.SendMessage(WM_COMMAND, MAKELONG(run.button, BN_CLICKED), 0);
    };
  }
  std::vector<bool> oldEnabled, okEnabledAtOpen;

 private:
  std::vector<SetPwdRun> runs_;
  std::size_t next_ = 0;
};

TEST_F(AdapterPasswordTest, SetPasswordAsksAgainAfterAWrongOldOrAMismatchThenSetsTheEncoding) {
  const auto pb = parallelXle();
  answerPassword("PBPASS", pb);
  fakebce::pushSetNetInfo(kPrinter, kIpx, 131, netAnswer(0));
  SetPwdRuns runs({{"nope", "NEWPW1", "NEWPW1", IDOK},
                   {"pbpass", "NEWPW1", "NEWPW2", IDOK},
                   {"pbpass", "newpw1", "NEWPW1", IDOK}});
  dialogs_.on(2141, runs.action());
  SetAdapterPassword(kPrinter, kIpx, uaaOf(pb), nullptr);
  EXPECT_EQ(dialogs_.runs(2141), 3);
  EXPECT_EQ(dialogs_.runs(2151), 1);
  EXPECT_EQ(dialogs_.runs(2152), 1);
  EXPECT_EQ(runs.oldEnabled, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(runs.okEnabledAtOpen, (std::vector<bool>{false, false, false}));
  const auto sets = fakebce::callsOf("BceSetNetInfo");
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].code, 131u);
  ScrambledPassword sent;
  ASSERT_EQ(sets[0].request.size(), 8u);
  std::memcpy(sent.data(), sets[0].request.data(), 8);
  EXPECT_EQ(DecodeAdapterPassword(sent, uaaOf(pb)), "NEWPW1");
  EXPECT_EQ(broker().module, nullptr);
}

TEST_F(AdapterPasswordTest, WithoutAPasswordTheOldEditIsDisabledAndCancelSendsNothing) {
  const auto pb = parallelXle();
  fakebce::pushGetNetInfo(kPrinter, kIpx, 131, netAnswer(0, std::string(8, '\0')));
  SetPwdRuns runs({{"", "ONE", "TWO", IDCANCEL}});
  dialogs_.on(2141, runs.action());
  SetAdapterPassword(kPrinter, kIpx, uaaOf(pb), nullptr);
  EXPECT_EQ(runs.oldEnabled, std::vector<bool>{false});
  EXPECT_TRUE(itemsSet().empty());
}

TEST_F(AdapterPasswordTest, TheNewAndVerifyEditsTakeOnlyDigitsAndLettersAndBeepOtherwise) {
  std::vector<std::string> shown;
  std::vector<std::string> pasted;
  bool okAfterTyping = false;
  dialogs_.on(2141, [&](CDialog& box) {
    auto* edit = static_cast<CEdit*>(box.GetDlgItem(1041));
    edit->TypeText("a");
    shown.push_back(textOf(box, 1041).str());
    okAfterTyping = box.GetDlgItem(IDOK)->IsWindowEnabled();
    edit->TypeText("-");
    shown.push_back(textOf(box, 1041).str());
    box.SetDlgItemText(1042, "AB C");  // a paste
    pasted.push_back(textOf(box, 1042).str());
    box.SetDlgItemText(1042, "ABC");
    pasted.push_back(textOf(box, 1042).str());
    box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
  });
  AdSetPwd dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(shown, (std::vector<std::string>{"A", "A"}));
  EXPECT_EQ(pasted, (std::vector<std::string>{"", "ABC"}));
  EXPECT_TRUE(okAfterTyping);
  const auto sounds = shell_.sound.calls();
  ASSERT_EQ(sounds.size(), 2u);
  for (const auto& s : sounds) {
    EXPECT_EQ(s.frequency, 1000u);
    EXPECT_EQ(s.durationMs, 1000u);
  }
}

}  // namespace
}  // namespace wf::netui::testing

namespace wf::netui::testing {
namespace {

// The simulated adapter PB of the adapter pages' world holds "PBPASS".
TEST(AdapterPasswordScrambling, TheAdapterPagesWorldHoldsPbpassForPb) {
  std::ifstream file(std::string(WF_SIM_SCENARIO_DIR) + "/netui-adapters.scenario");
  ASSERT_TRUE(file);
  std::string line, bytes;
  while (std::getline(file, line))
    if (line.rfind("PB.var 6.13 = ", 0) == 0) bytes = line.substr(14);
  ScrambledPassword scrambled{};
  std::istringstream hex(bytes);
  for (auto& b : scrambled) {
    unsigned value = 0;
    ASSERT_TRUE(hex >> std::hex >> value) << bytes;
    b = static_cast<uint8_t>(value);
  }
  EXPECT_EQ(DecodeAdapterPassword(scrambled, {0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01}), "PBPASS");
}

}  // namespace
}  // namespace wf::netui::testing
