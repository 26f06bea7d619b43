// Each line leaves in one write: over a datagram socket, one write is one datagram.
#include "base/line_stream_buf.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <ostream>
#include <string>
#include <vector>

#include "base/fd.h"

namespace {

using Strings = std::vector<std::string>;

Strings datagrams(const Fd& fd) {
  Strings got;
  char buf[65536];
  for (ssize_t n; (n = ::recv(fd.get(), buf, sizeof buf, MSG_DONTWAIT)) >= 0;) {
    got.emplace_back(buf, n);
  }
  return got;
}

TEST(LineStreamBuf, EachFinishedLineLeavesInOneWrite) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends), 0);
  Fd reader(ends[0]), writer(ends[1]);
  int size = 1 << 20;
  ::setsockopt(writer.get(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  ::setsockopt(reader.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  const std::string longer(5000, 'x');
  {
    LineStreamBuf buf(writer.get());
    std::ostream out(&buf);
    out << std::unitbuf;
    out << "count " << 42 << ' ' << 3.5 << std::endl;
    out << "two\nthree" << std::flush;
    EXPECT_EQ(datagrams(reader), (Strings{"count 42 3.5\n", "two\n"}));
    out << " and more " << longer << '\n' << "unfinished";
    EXPECT_EQ(datagrams(reader), Strings{"three and more " + longer + "\n"});
  }
  EXPECT_EQ(datagrams(reader), Strings{"unfinished"});
}

}  // namespace
