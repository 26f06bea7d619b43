// List_allocator: a fixed pool of N objects of type T in static storage, with no heap use.
//
// Each block holds its free-list links followed by one T. Free blocks are kept on an intrusive
// list; allocate() takes the head and deallocate() puts a block back at the tail, so blocks are
// handed out again in first-in first-out order. The pool never grows: allocate() returns null
// when every block is in use. The critical-section policy CS brackets each list operation
// (lock(), unlock()); Dummy_critical_section does nothing, for a pool used by one thread.
#pragma once

#include "base/f_dual_list.h"

struct Dummy_critical_section {
  void lock() {}
  void unlock() {}
};

template <class T, unsigned N, class CS>
class List_allocator {
 public:
  struct List_storage : F_dual_list_item<List_storage> {
    T item;
  };

  // Threads every block onto the free list in array order; `init` prepares each free T.
  template <class Init>
  explicit List_allocator(Init init) {
    for (List_storage& b : blocks_) {
      init(b.item);
      free_.push_back(&b);
    }
  }
  List_allocator(const List_allocator&) = delete;
  List_allocator& operator=(const List_allocator&) = delete;

  // The block at the head of the free list, or null when none is free.
  T* allocate() {
    cs_.lock();
    List_storage* b = free_.remove_from_head();
    cs_.unlock();
    return b ? &b->item : nullptr;
  }

  // Puts a block taken from this pool back at the tail of the free list.
  void deallocate(T* item) {
    cs_.lock();
    free_.push_back(storage_of(item));
    cs_.unlock();
  }

  unsigned free_count() const { return free_.count(); }
  static constexpr unsigned capacity() { return N; }

 private:
  // The block holding `item`: the item sits at the same distance from the start of every block.
  List_storage* storage_of(T* item) {
    const auto item_at =
        reinterpret_cast<char*>(&blocks_[0].item) - reinterpret_cast<char*>(&blocks_[0]);
    return reinterpret_cast<List_storage*>(reinterpret_cast<char*>(item) - item_at);
  }

  List_storage blocks_[N];
  F_dual_list<List_storage> free_;
  CS cs_;
};
