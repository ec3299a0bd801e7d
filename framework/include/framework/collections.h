#pragma once
// The framework's lists and pointer array. A list position is the address of
// its node: it stays valid while other nodes are added or removed and is
// null past either end. Reaching past the end, or using a position of a
// removed node, is a caller's error as it was on the original framework.
#include <cassert>
#include <cstddef>
#include <vector>

#include "framework/cstring.h"
#include "framework/object.h"

struct __POSITION;
using POSITION = __POSITION*;

namespace wf::fw {

template <class T>
class ListOf : public CObject {
 public:
  explicit ListOf(int /*blockSize*/ = 10) {}
  ~ListOf() override { RemoveAll(); }

  int GetCount() const { return count_; }
  BOOL IsEmpty() const { return count_ == 0; }

  T& GetHead() {
    assert(head_);
    return head_->value;
  }
  const T& GetHead() const {
    assert(head_);
    return head_->value;
  }
  T& GetTail() {
    assert(tail_);
    return tail_->value;
  }
  const T& GetTail() const {
    assert(tail_);
    return tail_->value;
  }

  T RemoveHead() {
    assert(head_);
    return take(head_);
  }
  T RemoveTail() {
    assert(tail_);
    return take(tail_);
  }

  POSITION AddHead(const T& value) { return InsertBefore(GetHeadPosition(), value); }
  POSITION AddTail(const T& value) { return InsertAfter(GetTailPosition(), value); }
  void AddHead(const ListOf* other) {
    for (POSITION p = other->GetTailPosition(); p;) AddHead(other->GetPrev(p));
  }
  void AddTail(const ListOf* other) {
    for (POSITION p = other->GetHeadPosition(); p;) AddTail(other->GetNext(p));
  }
  void RemoveAll() {
    while (head_) take(head_);
  }

  POSITION GetHeadPosition() const { return pos(head_); }
  POSITION GetTailPosition() const { return pos(tail_); }
  // The element at `p`; `p` moves on to the next (previous) node.
  T& GetNext(POSITION& p) {
    Node* n = node(p);
    p = pos(n->next);
    return n->value;
  }
  const T& GetNext(POSITION& p) const {
    Node* n = node(p);
    p = pos(n->next);
    return n->value;
  }
  T& GetPrev(POSITION& p) {
    Node* n = node(p);
    p = pos(n->prev);
    return n->value;
  }
  const T& GetPrev(POSITION& p) const {
    Node* n = node(p);
    p = pos(n->prev);
    return n->value;
  }

  T& GetAt(POSITION p) { return node(p)->value; }
  const T& GetAt(POSITION p) const { return node(p)->value; }
  void SetAt(POSITION p, const T& value) { node(p)->value = value; }
  void RemoveAt(POSITION p) { take(node(p)); }

  // A null position inserts at the head (before) or the tail (after).
  POSITION InsertBefore(POSITION p, const T& value) {
    Node* at = p ? node(p) : head_;
    Node* n = new Node{value, at ? at->prev : nullptr, at};
    link(n);
    return pos(n);
  }
  POSITION InsertAfter(POSITION p, const T& value) {
    Node* at = p ? node(p) : tail_;
    Node* n = new Node{value, at, at ? at->next : nullptr};
    link(n);
    return pos(n);
  }

  // First node equal to `value` after `startAfter` (from the head when null).
  POSITION Find(const T& value, POSITION startAfter = nullptr) const {
    for (Node* n = startAfter ? node(startAfter)->next : head_; n; n = n->next)
      if (n->value == value) return pos(n);
    return nullptr;
  }
  POSITION FindIndex(int index) const {
    if (index < 0 || index >= count_) return nullptr;
    Node* n = head_;
    while (index-- > 0) n = n->next;
    return pos(n);
  }

 private:
  struct Node {
    T value;
    Node* prev;
    Node* next;
  };
  static Node* node(POSITION p) {
    assert(p);
    return reinterpret_cast<Node*>(p);
  }
  static POSITION pos(Node* n) { return reinterpret_cast<POSITION>(n); }

  void link(Node* n) {
    (n->prev ? n->prev->next : head_) = n;
    (n->next ? n->next->prev : tail_) = n;
    ++count_;
  }
  T take(Node* n) {
    (n->prev ? n->prev->next : head_) = n->next;
    (n->next ? n->next->prev : tail_) = n->prev;
    --count_;
    T value = std::move(n->value);
    delete n;
    return value;
  }

  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  int count_ = 0;
};

template <class T>
class ArrayOf : public CObject {
 public:
  int GetSize() const { return static_cast<int>(items_.size()); }
  int GetUpperBound() const { return GetSize() - 1; }
  void SetSize(int size, int /*growBy*/ = -1) { items_.resize(static_cast<std::size_t>(size)); }
  void FreeExtra() { items_.shrink_to_fit(); }
  void RemoveAll() { items_.clear(); }

  T GetAt(int i) const { return items_.at(index(i)); }
  void SetAt(int i, T value) { items_.at(index(i)) = value; }
  T& ElementAt(int i) { return items_.at(index(i)); }
  T& operator[](int i) { return ElementAt(i); }
  T operator[](int i) const { return GetAt(i); }

  // Grows the array with empty elements when `i` lies past its end.
  void SetAtGrow(int i, T value) {
    if (i >= GetSize()) SetSize(i + 1);
    SetAt(i, value);
  }
  int Add(T value) {
    items_.push_back(value);
    return GetUpperBound();
  }
  void InsertAt(int i, T value, int count = 1) {
    if (i >= GetSize()) SetSize(i);
    items_.insert(items_.begin() + i, static_cast<std::size_t>(count), value);
  }
  void RemoveAt(int i, int count = 1) {
    assert(i >= 0 && count >= 0 && i + count <= GetSize());
    items_.erase(items_.begin() + i, items_.begin() + i + count);
  }

 private:
  static std::size_t index(int i) { return static_cast<std::size_t>(i); }
  std::vector<T> items_;
};

}  // namespace wf::fw

class CObList : public wf::fw::ListOf<CObject*> {
  DECLARE_DYNAMIC(CObList)
 public:
  using ListOf::ListOf;
};

class CPtrList : public wf::fw::ListOf<void*> {
  DECLARE_DYNAMIC(CPtrList)
 public:
  using ListOf::ListOf;
};

class CStringList : public wf::fw::ListOf<CString> {
  DECLARE_DYNAMIC(CStringList)
 public:
  using ListOf::ListOf;
  POSITION Find(LPCSTR value, POSITION startAfter = nullptr) const {
    return ListOf::Find(CString(value), startAfter);
  }
};

class CPtrArray : public wf::fw::ArrayOf<void*> {
  DECLARE_DYNAMIC(CPtrArray)
};
