// List_allocator: a fixed pool of N objects of type T in static storage, with no heap use.
//
// Each block holds its free-list links followed by one T. Free blocks are kept on a doubly linked
// list; allocate() takes the head and deallocate() puts a block back at the tail, so blocks are
// handed out again in first-in first-out order. The pool never grows: allocate() returns null
// when every block is in use. The critical-section policy CS brackets each list operation
// (lock(), unlock()); Dummy_critical_section does nothing, for a pool used by one thread.
#pragma once

#include <cstddef>
#include <new>

struct Dummy_critical_section {
  void lock() {}
  void unlock() {}
};

template <class T, unsigned N, class CS>
class List_allocator {
 public:
  struct List_storage {
    List_storage* next;
    List_storage* prev;
    T item;
  };

  // Threads every block onto the free list in array order; `init` prepares each free T.
  template <class Init>
  explicit List_allocator(Init init) {
    for (unsigned i = 0; i < N; ++i) {
      init(blocks_[i].item);
      link_tail(&blocks_[i]);
    }
  }
  List_allocator(const List_allocator&) = delete;
  List_allocator& operator=(const List_allocator&) = delete;

  // The block at the head of the free list, or null when none is free.
  T* allocate() {
    cs_.lock();
    List_storage* b = head_;
    if (b) {
      head_ = b->next;
      if (head_)
        head_->prev = nullptr;
      else
        tail_ = nullptr;
      b->next = b->prev = nullptr;
      --count_;
    }
    cs_.unlock();
    return b ? &b->item : nullptr;
  }

  // Puts a block taken from this pool back at the tail of the free list.
  void deallocate(T* item) {
    cs_.lock();
    link_tail(storage_of(item));
    cs_.unlock();
  }

  unsigned free_count() const { return count_; }
  static constexpr unsigned capacity() { return N; }

 private:
  static List_storage* storage_of(T* item) {
    return reinterpret_cast<List_storage*>(reinterpret_cast<unsigned char*>(item) -
                                           offsetof(List_storage, item));
  }
  void link_tail(List_storage* b) {
    b->next = nullptr;
    b->prev = tail_;
    if (tail_)
      tail_->next = b;
    else
      head_ = b;
    tail_ = b;
    ++count_;
  }

  List_storage blocks_[N];
  List_storage* head_ = nullptr;
  List_storage* tail_ = nullptr;
  unsigned count_ = 0;
  CS cs_;
};
