// The typed clients' parsing: what a helper writes becomes the values a
// test compares, and what it cannot read fails loudly instead of quietly
// giving a wrong value.
#include <gtest/gtest.h>
#include <signal.h>

#include "bce_answers.h"
#include "typed_child.h"

namespace wf::testing {
namespace {

TEST(TypedChildParsing, NamedValuesKeepBlanksAndOrder) {
  const std::vector<std::string> words = {"r=0", "v5=105", "Desc", "5", "F5.DLL", "data=", "len=8"};
  const auto ordered = orderedValues(words);
  ASSERT_EQ(ordered.size(), 4u);
  EXPECT_EQ(ordered[1], (std::pair<std::string, std::string>{"v5", "105 Desc 5 F5.DLL"}));
  EXPECT_EQ(ordered[2], (std::pair<std::string, std::string>{"data", ""}));
  EXPECT_EQ(namedValues(words).at("len"), "8");
  // A value that itself holds "=" stays whole after the first one.
  EXPECT_EQ(namedValues({"reply=a=b"}).at("reply"), "a=b");
  EXPECT_THROW(namedValues({"unnamed", "r=0"}), ChildError);
}

TEST(TypedChildParsing, ListsSplitWithEmptyPartsKept) {
  EXPECT_EQ(splitList("", ','), std::vector<std::string>{});
  EXPECT_EQ(splitList("a", ','), std::vector<std::string>{"a"});
  EXPECT_EQ(splitList("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));
}

TEST(TypedChildParsing, PostedAlertsAndRepliesReadTheBrokerHelpersFormat) {
  EXPECT_EQ(PostedAlert::parse("1525:2000b:0"), (PostedAlert{1525, 2, 11, 0}));
  EXPECT_EQ(PostedAlert::parse("1524:30065:ff"), (PostedAlert{1524, 3, 101, 0xff}));
  for (const char* bad : {"", "1525", "1525:zz:0", "x:1:2"})
    EXPECT_THROW(PostedAlert::parse(bad), ChildError) << bad;

  EXPECT_EQ(BufferReply::parse(ChildAnswer::parse("ok 0 3 AABBCC")), (BufferReply{0, 3, "AABBCC"}));
  EXPECT_EQ(BufferReply::parse(ChildAnswer::parse("ok -15 0 -")), (BufferReply{-15, 0, ""}));
  EXPECT_THROW(BufferReply::parse(ChildAnswer::parse("ok 0 3")), std::out_of_range);
  EXPECT_EQ(Written::parse(ChildAnswer::parse("ok -25 0")), (Written{-25, 0}));
}

// Against the helper itself: its answers come through, its refusals throw
// with its reason, and a helper that is gone fails the call.
TEST(TypedChild, AnswersComeThroughAndRefusalsThrowWithTheReason) {
  TypedChild child{ChildProcess("wf-testchild")};  // its own commands only
  const ChildAnswer pong = child.expectOk("ping");
  EXPECT_EQ(pong.field(0), "pong");
  EXPECT_EQ(pong.number(1), child.pid());
  try {
    child.expectOk("no-such-command");
    ADD_FAILURE() << "an err answer passed";
  } catch (const ChildError& e) {
    EXPECT_NE(std::string(e.what()).find("unknown command no-such-command"), std::string::npos) << e.what();
  }
  child.process().kill(SIGKILL);
  EXPECT_THROW(child.expectText("ping"), ChildError);
}

}  // namespace
}  // namespace wf::testing
