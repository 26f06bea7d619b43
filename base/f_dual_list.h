// F_dual_list: an intrusive doubly linked list. Items derive from F_dual_list_item<T>, which
// holds the links, so linking and unlinking never allocate. The list owns nothing: destroying
// it leaves its items alone.
//
// Each item also records which list holds it; membership is read from that record, never from
// the links, so removing an item that is on another list (or on none) is caught instead of
// corrupting both lists. Removal clears the item's links.
#pragma once

#include <cstddef>

template <class T>
class F_dual_list;

template <class T>
class F_dual_list_item {
 public:
  F_dual_list_item() = default;
  // An item's links belong to the list that holds it; a copy starts on no list.
  F_dual_list_item(const F_dual_list_item&) {}
  F_dual_list_item& operator=(const F_dual_list_item&) { return *this; }

  T* next_item() const { return next_; }
  T* prev_item() const { return prev_; }
  // True while `list` holds the item.
  bool on(const F_dual_list<T>& list) const { return list_ == &list; }
  bool listed() const { return list_ != nullptr; }

 private:
  friend class F_dual_list<T>;
  T* next_ = nullptr;
  T* prev_ = nullptr;
  F_dual_list<T>* list_ = nullptr;
};

template <class T>
class F_dual_list {
 public:
  class iterator {
   public:
    explicit iterator(T* item = nullptr) : item_(item) {}
    iterator& operator++() {
      item_ = item_->next_item();
      return *this;
    }
    T& operator*() const { return *item_; }
    T* operator->() const { return item_; }
    T* get() const { return item_; }
    bool operator!=(const iterator& o) const { return item_ != o.item_; }
    bool operator==(const iterator& o) const { return item_ == o.item_; }

   private:
    T* item_;
  };

  F_dual_list() = default;
  F_dual_list(const F_dual_list&) = delete;
  F_dual_list& operator=(const F_dual_list&) = delete;

  // Appends `item`.
  void push_back(T* item) { insert_after(last_, item); }
  void insert_to_tail(T* item) { push_back(item); }
  void insert_to_head(T* item) { insert_after(nullptr, item); }

  // Links `item` directly after `pos` (at the head when `pos` is null; `pos` must be on this
  // list). An item still on a list is taken off it first.
  void insert_after(T* pos, T* item) {
    if (F_dual_list* holder = link(item).list_) holder->remove(item);
    link(item).prev_ = pos;
    T* next = pos ? link(pos).next_ : first_;
    link(item).next_ = next;
    if (next)
      link(next).prev_ = item;
    else
      last_ = item;
    if (pos)
      link(pos).next_ = item;
    else
      first_ = item;
    link(item).list_ = this;
    ++count_;
  }

  // Unlinks `item` when this list holds it; returns it, or null when it was not here.
  T* remove(T* item) {
    if (!item || !link(item).on(*this)) return nullptr;
    F_dual_list_item<T>& l = link(item);
    if (l.prev_)
      link(l.prev_).next_ = l.next_;
    else
      first_ = l.next_;
    if (l.next_)
      link(l.next_).prev_ = l.prev_;
    else
      last_ = l.prev_;
    l.next_ = l.prev_ = nullptr;
    l.list_ = nullptr;
    --count_;
    return item;
  }

  T* remove_from_head() { return remove(first_); }

  unsigned size() const { return count_; }
  unsigned count() const { return count_; }
  bool empty() const { return count_ == 0; }
  T* first() const { return first_; }
  T* last_item() const { return last_; }
  iterator begin() const { return iterator(first_); }
  iterator last() const { return iterator(last_); }
  iterator end() const { return iterator(); }

 private:
  static F_dual_list_item<T>& link(T* item) { return *item; }

  T* first_ = nullptr;
  T* last_ = nullptr;
  unsigned count_ = 0;
};
