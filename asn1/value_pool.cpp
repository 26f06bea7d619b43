#include "asn1/value_pool.h"

#include <algorithm>
#include <new>

namespace ASN1 {

ValuePool::~ValuePool() {
  while (slabs_) {
    Block* next = slabs_->next;
    ::operator delete(slabs_);
    slabs_ = next;
  }
}

void* ValuePool::allocate(size_t size) {
  if (size == 0 || size > kLargest) return ::operator new(size);
  size_t index = (size - 1) / kGrain;
  if (!free_[index]) refill(index);
  Block* b = free_[index];
  free_[index] = b->next;
  return b;
}

void ValuePool::release(void* block, size_t size) noexcept {
  if (!block) return;
  if (size == 0 || size > kLargest) {
    ::operator delete(block);
    return;
  }
  Block* b = static_cast<Block*>(block);
  size_t index = (size - 1) / kGrain;
  b->next = free_[index];
  free_[index] = b;
}

void ValuePool::refill(size_t index) {
  const size_t block = (index + 1) * kGrain;
  const size_t count = std::max(kMinBlocks, kSlabBytes / block);
  // The slab's first grain links it to the others; the blocks follow.
  char* slab = static_cast<char*>(::operator new(kGrain + block * count));
  reinterpret_cast<Block*>(slab)->next = slabs_;
  slabs_ = reinterpret_cast<Block*>(slab);
  ++slab_count_;
  for (size_t i = count; i-- > 0;) {
    Block* b = reinterpret_cast<Block*>(slab + kGrain + i * block);
    b->next = free_[index];
    free_[index] = b;
  }
}

ValuePool& ValuePool::of_thread() {
  thread_local ValuePool* pool = new ValuePool;
  return *pool;
}

}  // namespace ASN1
