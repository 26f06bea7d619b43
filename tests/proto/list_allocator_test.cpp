#include "proto/list_allocator.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "proto/huge_pages.h"

namespace {

struct Item {
  int mark;
  char bytes[100];
};

using Pool = List_allocator<Item, 8, Dummy_critical_section>;

// The storage is offered to `prepare` before any block is set up, whatever it does with it;
// blocks come out in array order, then in the order they were given back; a block given back
// twice is on the free list once, so it is never handed to two owners.
TEST(ListAllocatorTest, FirstInFirstOutAndEachFreeBlockOnce) {
  int inits = 0;
  const char* storage = nullptr;
  std::size_t bytes = 0;
  Pool pool([&](Item& item) { item.mark = ++inits; },
            [&](void* at, std::size_t size) {
              EXPECT_EQ(inits, 0);
              storage = static_cast<const char*>(at);
              bytes = size;
            });
  EXPECT_EQ(inits, 8);
  EXPECT_EQ(pool.free_count(), 8u);

  std::vector<Item*> taken;
  while (Item* item = pool.allocate()) taken.push_back(item);
  ASSERT_EQ(taken.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(taken[i]->mark, i + 1);
    const char* at = reinterpret_cast<const char*>(taken[i]);
    EXPECT_TRUE(at >= storage && at + sizeof(Item) <= storage + bytes) << i;
  }
  EXPECT_EQ(pool.free_count(), 0u);

  struct Case {
    std::vector<int> give_back;  // indexes into `taken`
    std::vector<int> then_taken;
  } cases[] = {
      {{5, 2, 7}, {5, 2, 7}},
      {{3, 3}, {3}},
      {{1, 6, 1, 6, 0}, {1, 6, 0}},
  };
  for (const Case& c : cases) {
    for (int i : c.give_back) pool.deallocate(taken[i]);
    EXPECT_EQ(pool.free_count(), c.then_taken.size());
    for (int i : c.then_taken) EXPECT_EQ(pool.allocate(), taken[i]);
    EXPECT_EQ(pool.allocate(), nullptr);
  }
}

// A refusal is logged and reported, never fatal; a range without a whole page is not asked for.
TEST(HugePagesTest, RefusalIsLoggedAndHarmless) {
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  void* gone = ::mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(gone, MAP_FAILED);
  ASSERT_EQ(::munmap(gone, 4 * page), 0);

  testing::internal::CaptureStderr();
  EXPECT_FALSE(advise_huge_pages("test store", gone, 4 * page));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("test store: huge pages refused: "),
            std::string::npos);

  testing::internal::CaptureStderr();
  EXPECT_TRUE(advise_huge_pages("test store", static_cast<char*>(gone) + 1, page));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
