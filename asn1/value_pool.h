// ValuePool: free lists of small blocks by size, for the value objects of a decoded tree.
//
// A message decodes into dozens of objects of a few small sizes, freed together when the message
// goes. Blocks of up to kLargest bytes come from slabs of one size class each; a freed block goes
// back on its class's list and is handed out again before any new slab is taken. Larger blocks
// go to the global heap. Slabs are kept until the pool is destroyed, so a pool holds at most the
// peak of the blocks its owner had in use at once.
#pragma once

#include <cstddef>

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

  // The calling thread's pool, used by the value objects' own operator new and delete. It lives
  // as long as the process: values of static storage may be freed after the thread's end.
  static ValuePool& of_thread();

 private:
  struct Block {
    Block* next;
  };
  static constexpr size_t kClasses = kLargest / kGrain;

  void refill(size_t index);

  Block* free_[kClasses] = {};
  Block* slabs_ = nullptr;  // every slab, linked through its first word
  size_t slab_count_ = 0;
};

}  // namespace ASN1
