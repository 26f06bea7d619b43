#include "base/mux_select.h"

#include <algorithm>

namespace Mux {

void Set::clear() {
  FD_ZERO(&set_);
  max_ = -1;
}

bool Set::add(int fd) {
  if (fd < 0 || fd >= FD_SETSIZE) return false;
  FD_SET(fd, &set_);
  max_ = std::max(max_, fd);
  return true;
}

void Set::remove(int fd) {
  if (!contains(fd)) return;
  FD_CLR(fd, &set_);
  while (max_ >= 0 && !FD_ISSET(max_, &set_)) --max_;
}

bool Set::contains(int fd) const {
  return fd >= 0 && fd < FD_SETSIZE && FD_ISSET(fd, &set_);
}

int max_fd(const Set& a, const Set& b) { return std::max(a.max(), b.max()); }

int max_fd(const Set& a, const Set& b, const Set& c) { return std::max(max_fd(a, b), c.max()); }

namespace {

fd_set* or_null(Set* s) { return s && s->max() >= 0 ? s->get() : nullptr; }

int do_select(Set* r, Set* w, Set* e, const timeval* timeout) {
  int highest = -1;
  for (const Set* s : {r, w, e})
    if (s) highest = std::max(highest, s->max());
  struct ::timeval tv;
  if (timeout) {
    tv.tv_sec = timeout->tv_sec;
    tv.tv_usec = timeout->tv_usec;
  }
  return ::select(highest + 1, or_null(r), or_null(w), or_null(e), timeout ? &tv : nullptr);
}

}  // namespace

int select(Set& r, Set& w, Set& e, const timeval& timeout) {
  return do_select(&r, &w, &e, &timeout);
}

int select(Set& r, Set& w, Set& e) { return do_select(&r, &w, &e, nullptr); }

int select(Set& r, Set& w) { return do_select(&r, &w, nullptr, nullptr); }

int select(Set& r) { return do_select(&r, nullptr, nullptr, nullptr); }

int select_rd(Set& r, const timeval& timeout) { return do_select(&r, nullptr, nullptr, &timeout); }

int select_wr(Set& w, const timeval& timeout) { return do_select(nullptr, &w, nullptr, &timeout); }

}  // namespace Mux
