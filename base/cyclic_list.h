// Containers::CyclicList: a node of a circular doubly linked list. A list head is itself a node;
// an empty head, like a node on no list, points to itself both ways. Users derive their items
// from CyclicList and link them behind a head with push_back; iteration runs from the head's
// next node until it comes back to the head.
#pragma once

namespace Containers {

class CyclicList {
 public:
  template <class Ref, class Ptr>
  class TIterator {
   public:
    explicit TIterator(Ptr node = nullptr) : node_(node) {}
    TIterator& operator++() {
      node_ = node_->next_;
      return *this;
    }
    Ref operator*() const { return *node_; }
    Ptr operator->() const { return node_; }
    bool operator==(const TIterator& o) const { return node_ == o.node_; }
    bool operator!=(const TIterator& o) const { return node_ != o.node_; }

   private:
    Ptr node_;
  };
  using iterator = TIterator<CyclicList&, CyclicList*>;
  using const_iterator = TIterator<const CyclicList&, const CyclicList*>;

  CyclicList() { InternalInit(); }
  CyclicList(const CyclicList&) = delete;
  CyclicList& operator=(const CyclicList&) = delete;
  // A node destroyed while linked leaves the ring closed behind it.
  ~CyclicList() { unlink(); }

  void InternalInit() { next_ = prev_ = this; }
  // Joins prev and next, dropping whatever lay between them from the ring.
  static void InternalDel(CyclicList* prev, CyclicList* next) {
    prev->next_ = next;
    next->prev_ = prev;
  }

  // Links `node` (which must be on no list) before this head, that is at the list's tail.
  void push_back(CyclicList* node) {
    node->unlink();
    node->prev_ = prev_;
    node->next_ = this;
    prev_->next_ = node;
    prev_ = node;
  }
  // Takes this node off its ring; it then points to itself again.
  void unlink() {
    InternalDel(prev_, next_);
    InternalInit();
  }
  bool linked() const { return next_ != this; }
  bool empty() const { return next_ == this; }

  CyclicList* next() const { return next_; }
  CyclicList* prev() const { return prev_; }
  iterator begin() { return iterator(next_); }
  iterator end() { return iterator(this); }
  const_iterator begin() const { return const_iterator(next_); }
  const_iterator end() const { return const_iterator(this); }

 private:
  CyclicList* next_;
  CyclicList* prev_;
};

}  // namespace Containers
