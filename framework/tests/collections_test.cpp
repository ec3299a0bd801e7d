#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/collections.h"

namespace {

std::string contents(const CStringList& list) {
  std::string out;
  for (POSITION p = list.GetHeadPosition(); p;) out += list.GetNext(p).str() + ",";
  return out;
}

std::string reversed(const CStringList& list) {
  std::string out;
  for (POSITION p = list.GetTailPosition(); p;) out += list.GetPrev(p).str() + ",";
  return out;
}

}  // namespace

TEST(List, PositionsSurviveRemovalOfOtherNodes) {
  CStringList list;
  POSITION a = list.AddTail("a");
  POSITION b = list.AddTail("b");
  POSITION c = list.AddTail("c");
  POSITION d = list.AddTail("d");
  POSITION e = list.AddTail("e");

  list.RemoveAt(b);
  list.RemoveAt(d);
  EXPECT_STREQ(list.GetAt(c), "c");
  EXPECT_EQ(contents(list), "a,c,e,");
  EXPECT_EQ(reversed(list), "e,c,a,");

  // The held positions keep walking correctly across the gaps.
  POSITION walk = a;
  list.GetNext(walk);
  EXPECT_EQ(walk, c);
  list.GetNext(walk);
  EXPECT_EQ(walk, e);

  list.RemoveHead();
  list.RemoveTail();
  EXPECT_EQ(list.GetHeadPosition(), c);
  EXPECT_EQ(list.GetTailPosition(), c);
  list.SetAt(c, "C");
  EXPECT_STREQ(list.GetHead(), "C");
  EXPECT_EQ(list.GetCount(), 1);
}

TEST(List, RemovingWhileWalkingWithTheNextPosition) {
  CPtrList list;
  int values[6] = {0, 1, 2, 3, 4, 5};
  for (int& v : values) list.AddTail(&v);
  // The common idiom: take the next position before removing the current.
  for (POSITION p = list.GetHeadPosition(); p;) {
    POSITION here = p;
    int* v = static_cast<int*>(list.GetNext(p));
    if (*v % 2) list.RemoveAt(here);
  }
  std::vector<int> left;
  for (POSITION p = list.GetHeadPosition(); p;) left.push_back(*static_cast<int*>(list.GetNext(p)));
  EXPECT_EQ(left, (std::vector<int>{0, 2, 4}));
}

TEST(List, InsertionsAtEveryPlace) {
  CStringList list;
  list.InsertBefore(nullptr, "m");  // empty list: becomes head and tail
  POSITION m = list.GetHeadPosition();
  list.InsertBefore(m, "l");
  list.InsertAfter(m, "n");
  list.InsertAfter(nullptr, "z");   // null: the tail
  list.InsertBefore(nullptr, "a");  // null: the head
  list.AddHead("0");
  list.InsertAfter(list.GetTailPosition(), "zz");
  EXPECT_EQ(contents(list), "0,a,l,m,n,z,zz,");
  EXPECT_EQ(reversed(list), "zz,z,n,m,l,a,0,");
  EXPECT_EQ(list.GetCount(), 7);

  CStringList other;
  other.AddTail("x");
  other.AddTail("y");
  list.AddHead(&other);
  list.AddTail(&other);
  EXPECT_EQ(contents(list), "x,y,0,a,l,m,n,z,zz,x,y,");
}

TEST(List, FindAndFindIndex) {
  CStringList list;
  POSITION first = list.AddTail("LPT1:");
  list.AddTail("LPT2:");
  POSITION again = list.AddTail("LPT1:");
  EXPECT_EQ(list.Find("LPT1:"), first);
  EXPECT_EQ(list.Find("LPT1:", first), again);
  EXPECT_EQ(list.Find("LPT1:", again), nullptr);
  EXPECT_EQ(list.Find("lpt1:"), nullptr);
  EXPECT_EQ(list.FindIndex(0), first);
  EXPECT_EQ(list.FindIndex(2), again);
  EXPECT_EQ(list.FindIndex(3), nullptr);
  EXPECT_EQ(list.FindIndex(-1), nullptr);

  CObList objects;
  CPtrArray a, b;  // not lists: a list pointer would append that list
  objects.AddTail(&a);
  POSITION pb = objects.AddTail(&b);
  EXPECT_EQ(objects.Find(&b), pb);
  EXPECT_EQ(objects.RemoveHead(), &a);
  objects.RemoveAll();
  EXPECT_TRUE(objects.IsEmpty());
  EXPECT_EQ(objects.GetHeadPosition(), nullptr);
}

TEST(PtrArray, GrowsInsertsAndRemoves) {
  CPtrArray array;
  int x = 1, y = 2, z = 3;
  EXPECT_EQ(array.Add(&x), 0);
  array.SetAtGrow(3, &z);  // fills the gap with nulls
  EXPECT_EQ(array.GetSize(), 4);
  EXPECT_EQ(array.GetAt(1), nullptr);
  EXPECT_EQ(array[3], &z);
  array.InsertAt(1, &y, 2);
  EXPECT_EQ(array.GetSize(), 6);
  EXPECT_EQ(array.GetAt(2), &y);
  array.RemoveAt(0, 3);
  EXPECT_EQ(array.GetUpperBound(), 2);
  EXPECT_EQ(array.GetAt(2), &z);
  array.ElementAt(0) = &x;
  EXPECT_EQ(array.GetAt(0), &x);
  array.SetSize(0);
  EXPECT_EQ(array.GetSize(), 0);
}
