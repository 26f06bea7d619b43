#include <gtest/gtest.h>

#include <unistd.h>

#include "base/fd.h"
#include "base/mux_select.h"

namespace {

TEST(MuxSet, HighestDescriptor) {
  Mux::Set s;
  EXPECT_LT(s.max(), 0);
  EXPECT_FALSE(s.add(-1));
  EXPECT_FALSE(s.add(FD_SETSIZE));
  EXPECT_LT(s.max(), 0);
  EXPECT_TRUE(s.add(0));
  EXPECT_TRUE(s.add(9));
  EXPECT_TRUE(s.add(4));
  EXPECT_EQ(s.max(), 9);
  s.remove(9);
  EXPECT_EQ(s.max(), 4);
  s.remove(7);
  EXPECT_EQ(s.max(), 4);
  s.remove(0);
  s.remove(4);
  EXPECT_LT(s.max(), 0);
  EXPECT_FALSE(s.contains(4));
  s.add(3);
  s.clear();
  EXPECT_FALSE(s.contains(3));

  Mux::Set a, b, c;
  a.add(2);
  b.add(12);
  EXPECT_EQ(Mux::max_fd(a, c), 2);
  EXPECT_EQ(Mux::max_fd(a, b, c), 12);
}

struct Pipe {
  Pipe() {
    int p[2];
    EXPECT_EQ(::pipe(p), 0);
    r = Fd(p[0]);
    w = Fd(p[1]);
  }
  Fd r, w;
};

TEST(MuxSet, SelectReportsReadyDescriptors) {
  Pipe idle, busy;
  ASSERT_EQ(::write(busy.w.get(), "x", 1), 1);
  const Mux::timeval zero{0, 0};

  Mux::Set r;
  r.add(idle.r.get());
  EXPECT_EQ(Mux::select_rd(r, zero), 0);

  r.clear();
  r.add(idle.r.get());
  r.add(busy.r.get());
  EXPECT_EQ(Mux::select_rd(r, zero), 1);
  EXPECT_TRUE(r.contains(busy.r.get()));
  EXPECT_FALSE(r.contains(idle.r.get()));

  Mux::Set w;
  w.add(idle.w.get());
  EXPECT_EQ(Mux::select_wr(w, zero), 1);

  // Empty sets are left out; a read set, a write set and an empty exception set.
  Mux::Set r2, w2, e;
  r2.add(busy.r.get());
  w2.add(idle.w.get());
  EXPECT_EQ(Mux::select(r2, w2, e, zero), 2);
  Mux::Set r3;
  r3.add(busy.r.get());
  EXPECT_EQ(Mux::select(r3), 1);
}

}  // namespace
