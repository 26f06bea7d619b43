// ValuePool: free lists of small blocks by size, for the value objects of a decoded tree.
//
// A message decodes into dozens of objects of a few small sizes, freed together when the message
// goes. Blocks of up to kLargest bytes come from slabs of one size class each; a freed block goes
// back on its class's list and is handed out again before any new slab is taken. Larger blocks
// go to the global heap. Slabs are kept until the pool is destroyed, so a pool holds at most the
// peak of the blocks its owner had in use at once.
//
// The pool counts the blocks it has out (live()), so that a value that is never deleted shows
// even though its memory stays inside a slab. Under AddressSanitizer a block is poisoned while it
// is free, from its release to its next hand-out: a value used after its delete is reported as a
// use after poison, and bytes past the size asked for are poisoned while the block is out.
#pragma once

#include <cstddef>

#include "base/pool_poison.h"

namespace ASN1 {

class ValuePool {
 public:
  static constexpr size_t kGrain = 16;
  static constexpr size_t kLargest = 256;
  // Blocks a slab is cut into (at least kMinBlocks).
  static constexpr size_t kSlabBytes = 4096;
  static constexpr size_t kMinBlocks = 8;

  ValuePool() = default;
  ~ValuePool();
  ValuePool(const ValuePool&) = delete;
  ValuePool& operator=(const ValuePool&) = delete;

  // A block of at least `size` bytes, aligned as the global heap aligns; throws std::bad_alloc.
  void* allocate(size_t size);
  // Gives back a block of this pool (or the global heap's, above kLargest) of that size.
  void release(void* block, size_t size) noexcept;

  // Slabs taken from the global heap so far.
  size_t slabs() const { return slab_count_; }
  // Blocks handed out and not given back yet, of any size.
  size_t live() const { return live_; }

  // The calling thread's pool, used by the value objects' own operator new and delete. It goes
  // with its thread when no block of it is out then; otherwise it stays for the rest of the
  // process, since values of static storage may be freed after the thread's end.
  static ValuePool& of_thread();

 private:
  struct Block {
    Block* next;
  };
  // The first grain of every slab.
  struct SlabHead {
    SlabHead* next;
    size_t bytes;
  };
  static_assert(sizeof(SlabHead) <= kGrain, "a slab's head fits its first grain");
  static constexpr size_t kClasses = kLargest / kGrain;

  void refill(size_t index);

  Block* free_[kClasses] = {};
  SlabHead* slabs_ = nullptr;  // every slab, linked through its head
  size_t slab_count_ = 0;
  size_t live_ = 0;
};

}  // namespace ASN1
