#include "proto/list_allocator.h"

#include <gtest/gtest.h>

#include <new>
#include <vector>

namespace {

struct Item {
  int mark;
  char bytes[100];
};

using Pool = List_allocator<Item, 8, Dummy_critical_section>;

// Blocks come out in array order, then in the order they were given back; a block given back
// twice is on the free list once, so it is never handed to two owners, and it is counted.
TEST(ListAllocatorTest, FirstInFirstOutAndEachFreeBlockOnce) {
  int inits = 0;
  Pool pool([&](Item& item) { item.mark = ++inits; });
  EXPECT_EQ(inits, 8);
  EXPECT_EQ(pool.free_count(), 8u);

  std::vector<Item*> taken;
  while (Item* item = pool.allocate()) taken.push_back(item);
  ASSERT_EQ(taken.size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(taken[i]->mark, i + 1);
  EXPECT_EQ(pool.free_count(), 0u);

  struct Case {
    std::vector<int> give_back;  // indexes into `taken`
    std::vector<int> then_taken;
    unsigned released_twice;  // in all, so far
  } cases[] = {
      {{5, 2, 7}, {5, 2, 7}, 0},
      {{3, 3}, {3}, 1},
      {{1, 6, 1, 6, 0}, {1, 6, 0}, 3},
  };
  for (const Case& c : cases) {
    size_t refused = 0;
    for (int i : c.give_back) refused += !pool.deallocate(taken[i]);
    EXPECT_EQ(refused, c.give_back.size() - c.then_taken.size());
    EXPECT_EQ(pool.released_twice(), c.released_twice);
    EXPECT_EQ(pool.free_count(), c.then_taken.size());
    for (int i : c.then_taken) EXPECT_EQ(pool.allocate(), taken[i]);
    EXPECT_EQ(pool.allocate(), nullptr);
  }
}

#ifdef ORVEX_POOL_POISONS
// A block is poisoned from its release to its next hand-out; the padding behind its item stays
// poisoned while it is out. A pool that goes leaves none of its memory poisoned: that memory
// (a stack frame, say) serves other things next.
TEST(ListAllocatorTest, FreeBlocksArePoisonedUntilThePoolGoes) {
  alignas(Pool) unsigned char memory[sizeof(Pool)];
  Pool& pool = *new (memory) Pool([](Item&) {});
  Item* item = pool.allocate();
  const auto* bytes = reinterpret_cast<const unsigned char*>(item);
  EXPECT_FALSE(pool_poisoned(bytes));
  EXPECT_FALSE(pool_poisoned(bytes + sizeof(Item) - 1));
  EXPECT_TRUE(pool_poisoned(bytes + sizeof(Item)));
  pool.deallocate(item);
  for (size_t i = 0; i < sizeof(Item); ++i) ASSERT_TRUE(pool_poisoned(bytes + i)) << i;
  pool.~Pool();
  for (size_t i = 0; i < sizeof memory; ++i) ASSERT_FALSE(pool_poisoned(memory + i)) << i;
}
#endif

}  // namespace
