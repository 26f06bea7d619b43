// Where values keep their parts: the pool of value objects, a SEQUENCE's field pointers and
// presence bits held in the object up to a size and on the heap beyond.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "asn1/field_vector.h"
#include "asn1/sequence.h"
#include "asn1/value_pool.h"
#include "asn1/values.h"
#include "tests/support/values_left.h"

namespace ASN1 {
namespace {

[[maybe_unused]] const bool kValuesChecked = ValuesLeft::check_every_test();

TEST(ValuePool, BlocksAreDistinctAlignedAndReusedBeforeNewSlabs) {
  ValuePool pool;
  for (size_t size : {size_t{1}, size_t{16}, size_t{17}, size_t{104}, size_t{256}, size_t{257},
                      size_t{4000}}) {
    SCOPED_TRACE(size);
    std::vector<void*> blocks;
    std::set<uintptr_t> seen;
    for (int i = 0; i < 40; ++i) {
      void* b = pool.allocate(size);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % alignof(std::max_align_t), 0u);
      std::memset(b, i, size);  // the whole size is the caller's
      EXPECT_TRUE(seen.insert(reinterpret_cast<uintptr_t>(b)).second) << "handed out twice";
      blocks.push_back(b);
    }
    for (int i = 0; i < 40; ++i)
      EXPECT_EQ(*static_cast<unsigned char*>(blocks[i]), i) << "blocks overlap";
    const size_t slabs = pool.slabs();
    for (void* b : blocks) pool.release(b, size);
    for (int i = 0; i < 40; ++i) blocks[i] = pool.allocate(size);
    EXPECT_EQ(pool.slabs(), slabs) << "freed blocks serve again";
    EXPECT_EQ(pool.live(), 40u);
    for (void* b : blocks) pool.release(b, size);
    EXPECT_EQ(pool.live(), 0u);
  }
}

#ifdef ORVEX_POOL_POISONS
TEST(ValuePool, BlocksArePoisonedFromTheirReleaseToTheirNextHandOut) {
  ValuePool pool;
  for (size_t size : {size_t{1}, size_t{8}, size_t{17}, size_t{104}, size_t{256}}) {
    SCOPED_TRACE(size);
    const size_t block = (size + ValuePool::kGrain - 1) / ValuePool::kGrain * ValuePool::kGrain;
    auto* b = static_cast<unsigned char*>(pool.allocate(size));
    EXPECT_FALSE(pool_poisoned(b));
    EXPECT_FALSE(pool_poisoned(b + size - 1));
    if (size < block) {
      EXPECT_TRUE(pool_poisoned(b + size)) << "the bytes past the size asked for";
    }
    pool.release(b, size);
    for (size_t i = 0; i < block; ++i) ASSERT_TRUE(pool_poisoned(b + i)) << "free byte " << i;
    EXPECT_EQ(pool.allocate(size), b);
    EXPECT_FALSE(pool_poisoned(b + size - 1));
    pool.release(b, size);
  }
}

// Reads the last byte of the value's memory after the delete, through a pointer the compiler
// cannot follow, as a dangling one would be. (A call through the value would meet clang's check
// of the object's type first: the free block's link overwrites its vptr.)
int read_after_delete() {
  INTEGER* value = new INTEGER(7);
  INTEGER* volatile kept = value;
  delete value;
  return reinterpret_cast<const volatile unsigned char*>(kept)[sizeof(INTEGER) - 1];
}

TEST(ValuePoolDeathTest, AValueReadAfterItsDeleteIsReported) {
  EXPECT_DEATH(read_after_delete(), "AddressSanitizer: use-after-poison");
}
#endif

TEST(ValuePool, AThreadsPoolGoesWithTheThread) {
  // LeakSanitizer, at the end of the process, finds the pool of a thread that kept it.
  const size_t here = ValuePool::of_thread().live();
  size_t there = 1;
  std::thread([&] {
    std::vector<std::unique_ptr<INTEGER>> values;
    for (int i = 0; i < 100; ++i) values.emplace_back(new INTEGER(i));
    values.clear();
    there = ValuePool::of_thread().live();
  }).join();
  EXPECT_EQ(there, 0u);
  EXPECT_EQ(ValuePool::of_thread().live(), here);
}

TEST(SequenceStorage, PresenceBitsSurviveGrowingAndShrinkingAcrossTheInlineSize) {
  SEQUENCE::BitMap map;
  // Each step: new size, bits to set after it, bits expected set afterwards (all others clear).
  struct Step {
    unsigned size;
    std::vector<unsigned> set;
    std::vector<unsigned> expected;
  };
  const Step steps[] = {
      {10, {0, 9}, {0, 9}},
      {100, {70, 99}, {0, 9, 70, 99}},  // to the heap, the first bits kept
      {71, {}, {0, 9, 70}},             // shrinks within the heap
      {64, {63}, {0, 9, 63}},           // back in the object
      {9, {}, {0}},
      {128, {}, {0}},                   // the bits dropped before come back clear
      {0, {}, {}},
      {3, {1}, {1}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.size);
    map.resize(s.size);
    for (unsigned i : s.set) map.set(i);
    EXPECT_EQ(map.size(), s.size);
    std::vector<unsigned> on;
    for (unsigned i = 0; i < 140; ++i)
      if (map[i]) on.push_back(i);
    EXPECT_EQ(on, s.expected);
    EXPECT_EQ(map.any(), !s.expected.empty());
    EXPECT_EQ(map.used(s.size), s.expected.empty() ? 0u : s.expected.back() + 1);
  }
}

TEST(SequenceStorage, FieldPointersSwapAndCopyInlineAndOnTheHeap) {
  AbstractData* p[9];
  for (int i = 0; i < 9; ++i) p[i] = reinterpret_cast<AbstractData*>(uintptr_t{16} * (i + 1));
  FieldVector small, large;
  small.assign(3, nullptr);
  small[1] = p[0];
  for (AbstractData* x : p) large.push_back(x);
  FieldVector copy(large);
  small.swap(large);
  ASSERT_EQ(small.size(), 9u);
  ASSERT_EQ(large.size(), 3u);
  EXPECT_EQ(large[1], p[0]);
  EXPECT_EQ(large[0], nullptr);
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(small[i], p[i]);
    EXPECT_EQ(copy[i], p[i]);
  }
  copy = large;
  EXPECT_EQ(copy.size(), 3u);
  EXPECT_EQ(copy[1], p[0]);
}

}  // namespace
}  // namespace ASN1
