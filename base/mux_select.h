// Descriptor sets and select(2) wrappers.
//
// A Mux::Set is an fd_set together with the highest descriptor in it (negative while empty), so
// the wrappers can pass select(2) the right count and leave empty sets out.
#pragma once

#include <sys/select.h>

#include "base/mux_clock.h"

namespace Mux {

class Set {
 public:
  Set() { clear(); }

  void clear();
  // False for a negative descriptor or one that an fd_set cannot hold (FD_SETSIZE and above).
  bool add(int fd);
  void remove(int fd);
  bool contains(int fd) const;

  // The highest descriptor in the set; negative when it is empty.
  int max() const { return max_; }
  fd_set* get() { return &set_; }

 private:
  fd_set set_;
  int max_ = -1;
};

int max_fd(const Set& a, const Set& b);
int max_fd(const Set& a, const Set& b, const Set& c);

// select(2) over the sets; an empty set is passed as null. Each returns select(2)'s result, and
// select(2) leaves in each set only the descriptors that are ready (the highest descriptor is
// kept as it was).
int select(Set& r, Set& w, Set& e, const timeval& timeout);
int select(Set& r, Set& w, Set& e);
int select(Set& r, Set& w);
int select(Set& r);
int select_rd(Set& r, const timeval& timeout);
int select_wr(Set& w, const timeval& timeout);

}  // namespace Mux
