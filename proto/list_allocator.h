// List_allocator: a fixed pool of N objects of type T in static storage, with no heap use.
//
// Blocks are handed out in first-in first-out order: allocate() takes the block at the head of
// the free list and deallocate() puts a block back at its tail, so a released block is handed out
// again only after every block that was free before it. The pool never grows: allocate() returns
// null when every block is in use. The critical-section policy CS brackets each list operation
// (lock(), unlock()); Dummy_critical_section does nothing, for a pool used by one thread.
//
// The free list is kept beside the blocks, not in them: a ring of block numbers in list order,
// with one "free" mark per block. Each block holds only its T and starts on a cache line, so
// taking a block touches that block alone (no neighbour's links), and a small T's first fields
// share a line with the first bytes it holds. With FIFO reuse every block handed out is the one
// freed longest ago, cold in the caches: this keeps it to as few lines as it can be.
//
// A block given back while it is free already stays on the free list once (handing it out twice
// would give it to two owners); deallocate() says so and counts it, and the owner decides what
// to log. Only a second release while the block is still free is seen: one that comes after the
// block was handed out anew looks like its new owner's, and the block then has two owners.
//
// Under AddressSanitizer each block is poisoned from its release to its next hand-out, so that
// the sanitizer reports a use after release; the pool's end unpoisons them all. The pool itself
// never touches a free block (its marks are beside the blocks), so the sanitizer sees a double
// release only where the owner touches the block it gives back, as the last handle of a packet
// reads and clears its count.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/pool_poison.h"

struct Dummy_critical_section {
  void lock() {}
  void unlock() {}
};

template <class T, unsigned N, class CS>
class List_allocator {
  // Block numbers fit the ring's 16-bit entries; the ring's free-running positions wrap round
  // cleanly only at a power of two.
  static_assert(N > 0 && N <= 65536 && (N & (N - 1)) == 0, "N: a power of two up to 65536");

 public:
  // Threads every block onto the free list in array order; `init` prepares each free T. Runs
  // once, out of line, so that the callers' fast paths stay lean around it.
  template <class Init>
  __attribute__((noinline, cold)) explicit List_allocator(Init init) {
    for (unsigned i = 0; i < N; ++i) {
      init(blocks_[i].item);
      ring_[i] = static_cast<uint16_t>(i);
      free_[i] = true;
      pool_poison(&blocks_[i], sizeof(Block));
    }
    tail_ = N;
  }
  // The blocks' memory outlives the pool (a pool on the stack, say): none of it stays poisoned.
  ~List_allocator() { pool_unpoison(blocks_, sizeof blocks_); }
  List_allocator(const List_allocator&) = delete;
  List_allocator& operator=(const List_allocator&) = delete;

  // The block at the head of the free list, or null when none is free.
  T* allocate() {
    cs_.lock();
    T* item = nullptr;
    if (head_ != tail_) {
      const std::size_t i = ring_[head_++ % N];
      free_[i] = false;
      item = &blocks_[i].item;
      pool_unpoison(item, sizeof(T));
    }
    cs_.unlock();
    return item;
  }

  // Puts a block taken from this pool back at the tail of the free list and returns true. A block
  // that is free already stays where it is: false, and counted.
  bool deallocate(T* item) {
    const auto i = static_cast<unsigned>(reinterpret_cast<Block*>(item) - blocks_);
    cs_.lock();
    const bool out = !free_[i];
    if (out) {
      free_[i] = true;
      ring_[tail_++ % N] = static_cast<uint16_t>(i);
      pool_poison(&blocks_[i], sizeof(Block));
    } else {
      ++released_twice_;
    }
    cs_.unlock();
    return out;
  }

  unsigned free_count() const { return tail_ - head_; }
  // Blocks given back while they were free.
  unsigned released_twice() const { return released_twice_; }
  static constexpr unsigned capacity() { return N; }

 private:
  struct alignas(64) Block {
    T item;
  };

  Block blocks_[N];
  // The free blocks' numbers in list order: positions head_ to tail_ (free-running, taken
  // modulo N), so tail_ - head_ of them.
  uint16_t ring_[N];
  // True while block i is on the free list.
  bool free_[N];
  unsigned head_ = 0;
  unsigned tail_ = 0;
  CS cs_;
  unsigned released_twice_ = 0;
};
