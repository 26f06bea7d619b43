#include "proto/clean_queue.h"

#include <gtest/gtest.h>

#include "proto/cyclic.h"
#include "proto/packet.h"

namespace {

Packet tagged(unsigned char tag) {
  Packet p;
  p.reserve_head(0);
  p.put8(tag);
  return p;
}

unsigned char tag_of(const Packet& p) { return p[0]; }

TEST(CleanQueue, FillsWrapsAndRefusesWhenFull) {
  CleanQueue<Packet, 7> q;
  EXPECT_EQ(q.size(), 7u);
  for (unsigned char i = 0; i < 7; ++i) EXPECT_TRUE(q.put(tagged(i)));
  EXPECT_FALSE(q.put(tagged(7)));
  EXPECT_FALSE(q.append(tagged(7)));
  EXPECT_EQ(q.count(), 7u);

  Packet out;
  ASSERT_TRUE(q.get(out));
  EXPECT_EQ(tag_of(out), 0);
  EXPECT_TRUE(q.put(tagged(7)));  // wraps into the freed slot
  for (unsigned char want = 1; want <= 7; ++want) {
    ASSERT_TRUE(q.get(&out));
    EXPECT_EQ(tag_of(out), want);
  }
  EXPECT_TRUE(q.empty());
}

TEST(CleanQueue, OrderOfPutAppendGetAndGetLast) {
  CleanQueue<Packet, 135> q;
  Packet out;
  q.put(tagged('A'));
  q.put(tagged('B'));
  q.append(tagged('C'));  // wraps back from slot 0
  const char expected[] = {'C', 'A', 'B'};
  for (char want : expected) {
    ASSERT_TRUE(q.get(out));
    EXPECT_EQ(tag_of(out), want);
  }

  q.put(tagged('A'));
  q.put(tagged('B'));
  ASSERT_TRUE(q.get_last(&out));
  EXPECT_EQ(tag_of(out), 'B');
  ASSERT_TRUE(q.get(out));
  EXPECT_EQ(tag_of(out), 'A');
}

TEST(CleanQueue, PacketsGoBackToThePoolAsTheyLeave) {
  const unsigned free_before = packet_pool().free_count();
  {
    CleanQueue<Packet, 120> q;
    for (unsigned char i = 0; i < 5; ++i) q.put(tagged(i));
    EXPECT_EQ(packet_pool().free_count(), free_before - 5);

    Packet out;
    q.get(out);
    out.reset();
    EXPECT_EQ(packet_pool().free_count(), free_before - 4);
    q.get_last(&out);
    out.reset();
    EXPECT_EQ(packet_pool().free_count(), free_before - 3);

    q.clear();
    EXPECT_EQ(packet_pool().free_count(), free_before);
    EXPECT_TRUE(q.empty());
    EXPECT_TRUE(q.put(tagged(1)));
    q.put(tagged(2));
  }
  EXPECT_EQ(packet_pool().free_count(), free_before);
}

using Seq = Cyclic<unsigned int, 127u>;

TEST(Cyclic, WindowTest) {
  struct Case {
    unsigned a, b, c;
    bool inside;
  } cases[] = {
      {120, 125, 3, true}, {120, 2, 3, true},  {120, 4, 3, false}, {120, 119, 3, false},
      {5, 4, 10, false},   {7, 7, 7, true},    {0, 127, 127, true}, {1, 0, 127, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " <= " << c.b << " <= " << c.c);
    EXPECT_EQ(Seq(c.a) <= Seq(c.b) <= Seq(c.c), c.inside);
  }
}

}  // namespace
