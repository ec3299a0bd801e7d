// Printer ports: their order, the port-list text and its reading.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ports.h"

namespace {

std::vector<std::string> names(CWFPortList& list) {
  std::vector<std::string> out;
  for (POSITION p = list.GetHeadPosition(); p;)
    out.emplace_back(static_cast<CWFPort*>(list.GetNext(p))->GetJSPortName());
  return out;
}

TEST(Ports, TextIsReadStrippedUpperCasedAndMalformedEntriesSkipped) {
  struct Case {
    const char* text;
    const char* written;
  };
  const Case cases[] = {
      {" lpt1: ;ne01:queue;bad", "LPT1:;NE01:QUEUE"},
      {"", ""},
      {"   ;;\t", ""},
      {"b:x;a:;a:x;b:", "A:;A:X;B:;B:X"},
      {"com1:a:b", "COM1:A:B"},  // the first ':' ends the port
  };
  for (const Case& c : cases) {
    CWFPortList list(c.text);
    EXPECT_STREQ(list.GetJSPortString(), c.written) << c.text;
  }
  CWFPortList parsed(" lpt1: ;ne01:queue;bad");
  ASSERT_EQ(parsed.GetCount(), 2);
  auto* first = static_cast<CWFPort*>(parsed.GetHead());
  EXPECT_EQ(first->GetType(), CWFPort::kAddress);
  EXPECT_EQ(first->GetPort(), "LPT1:");
  EXPECT_TRUE(first->GetConnection().IsEmpty());
  EXPECT_EQ(static_cast<CWFPort*>(parsed.GetTail())->GetConnection(), "QUEUE");
}

TEST(Ports, InsertKeepsOrderAndEqualPortsTheirArrival) {
  CWFPortList list;
  CWFPort* b = new CWFPort(1, "B:", nullptr);
  CWFPort* ax = new CWFPort(1, "A:", "X");
  CWFPort* a = new CWFPort(1, "A:", nullptr);
  CWFPort* aAgain = new CWFPort(2, "a:", nullptr);
  list.Insert(b);
  list.Insert(ax);
  list.Insert(a);
  list.Insert(aAgain);
  std::vector<CWFPort*> order;
  for (POSITION p = list.GetHeadPosition(); p;) order.push_back(static_cast<CWFPort*>(list.GetNext(p)));
  EXPECT_EQ(order, (std::vector<CWFPort*>{a, aAgain, ax, b}));
  EXPECT_FALSE(a->LessThan(aAgain));
  EXPECT_FALSE(aAgain->LessThan(a));
  EXPECT_TRUE(a->LessThan(ax));
  EXPECT_FALSE(ax->LessThan(a));
  list.RemoveAll();
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_STREQ(list.GetJSPortString(), "");
}

TEST(Ports, ListsMatchOnAnEqualPortNameIgnoringCase) {
  CWFPortList upper("LPT1:");
  CWFPortList lower("lpt1:");
  CWFPortList other("lpt2:;ne01:q");
  CWFPortList empty("");
  EXPECT_TRUE(upper.Matches(&lower));
  EXPECT_FALSE(upper.Matches(&other));
  EXPECT_FALSE(upper.Matches(&empty));
  EXPECT_FALSE(empty.Matches(&upper));
  CWFPortList withQueue("x:;NE01:Q");
  EXPECT_TRUE(other.Matches(&withQueue));
  EXPECT_EQ(names(withQueue), (std::vector<std::string>{"NE01:Q", "X:"}));
}

}  // namespace
