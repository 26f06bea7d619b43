#include "asn1/value_pool.h"

#include <algorithm>
#include <new>

namespace ASN1 {

// Free blocks are poisoned; the pool opens what it reads or writes itself (a free block's link,
// a slab before it goes back to the heap).

ValuePool::~ValuePool() {
  while (slabs_) {
    SlabHead* slab = slabs_;
    slabs_ = slab->next;
    pool_unpoison(slab, slab->bytes);
    ::operator delete(slab);
  }
}

void* ValuePool::allocate(size_t size) {
  if (size == 0 || size > kLargest) {
    void* p = ::operator new(size);
    ++live_;
    return p;
  }
  size_t index = (size - 1) / kGrain;
  if (!free_[index]) refill(index);
  Block* b = free_[index];
  pool_unpoison(b, sizeof(Block));
  free_[index] = b->next;
  pool_poison(b, sizeof(Block));
  pool_unpoison(b, size);
  ++live_;
  return b;
}

void ValuePool::release(void* block, size_t size) noexcept {
  if (!block) return;
  --live_;
  if (size == 0 || size > kLargest) {
    ::operator delete(block);
    return;
  }
  Block* b = static_cast<Block*>(block);
  size_t index = (size - 1) / kGrain;
  pool_unpoison(b, sizeof(Block));
  b->next = free_[index];
  free_[index] = b;
  pool_poison(b, (index + 1) * kGrain);
}

void ValuePool::refill(size_t index) {
  const size_t block = (index + 1) * kGrain;
  const size_t count = std::max(kMinBlocks, kSlabBytes / block);
  // The slab's first grain links it to the others; the blocks follow.
  const size_t bytes = kGrain + block * count;
  char* slab = static_cast<char*>(::operator new(bytes));
  slabs_ = new (slab) SlabHead{slabs_, bytes};
  ++slab_count_;
  for (size_t i = count; i-- > 0;) {
    Block* b = reinterpret_cast<Block*>(slab + kGrain + i * block);
    b->next = free_[index];
    free_[index] = b;
    pool_poison(b, block);
  }
}

namespace {

thread_local ValuePool* thread_pool = nullptr;
thread_local bool thread_ended = false;

// Destroyed at the end of its thread: the thread's pool goes with it unless a block of it is
// still out (a value of static storage, destroyed later, or one never deleted).
struct ThreadEnd {
  ~ThreadEnd() {
    thread_ended = true;
    if (thread_pool && thread_pool->live() == 0) {
      delete thread_pool;
      thread_pool = nullptr;
    }
  }
};

ValuePool* new_thread_pool() {
  // A pool made after the thread's end (by a destructor that runs later) stays to the end.
  if (!thread_ended) {
    thread_local ThreadEnd end;
    (void)end;
  }
  return new ValuePool;
}

}  // namespace

ValuePool& ValuePool::of_thread() {
  if (!thread_pool) thread_pool = new_thread_pool();
  return *thread_pool;
}

}  // namespace ASN1
