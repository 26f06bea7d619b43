#include "base/async_copy.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"

namespace {

using Status = ASync::Copy::Status;

struct Pipe {
  Pipe() {
    int p[2];
    EXPECT_EQ(::pipe2(p, O_CLOEXEC), 0);
    rd = Fd(p[0]);
    wr = Fd(p[1]);
  }
  Fd rd, wr;
};

// Reads whatever fd holds now.
std::string drain(const Fd& fd) {
  NonBlockMode(fd.get());
  std::string out;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd.get(), buf, sizeof buf)) > 0) out.append(buf, size_t(n));
  return out;
}

// True when every writer of the pipe is closed and nothing is left in it.
bool at_end(const Fd& rd) {
  NonBlockMode(rd.get());
  char c;
  return ::read(rd.get(), &c, 1) == 0;
}

void put(const Fd& fd, const std::string& data) {
  ASSERT_EQ(::write(fd.get(), data.data(), data.size()), ssize_t(data.size()));
}

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char('a' + (i * 7) % 26);
  return s;
}

class AsyncCopy : public AwakeLoopTest {
 protected:
  void SetUp() override {
    AwakeLoopTest::SetUp();
    old_pipe_ = std::signal(SIGPIPE, SIG_IGN);
  }
  void TearDown() override {
    copy_.reset();
    std::signal(SIGPIPE, old_pipe_);
    AwakeLoopTest::TearDown();
  }
  void OnDone(Status::Type s) { results_.push_back(s); }
  ASync::Copy& make(short flush) {
    copy_.reset(new ASync::Copy);
    copy_->Bind(new ASync::Copy::THandler<AsyncCopy>(&AsyncCopy::OnDone, this));
    ASync::Copy::EventsParams params;
    params.flush = flush;
    copy_->set_events(params);
    return *copy_;
  }

  std::unique_ptr<ASync::Copy> copy_;
  std::vector<Status::Type> results_;
  void (*old_pipe_)(int) = nullptr;
};

TEST_F(AsyncCopy, SourceEndingWhileAChunkWaitsFinishesTheChunkThenFlushes) {
  Pipe src, dst;
  ASSERT_EQ(::fcntl(dst.wr.get(), F_SETPIPE_SZ, 4096), 4096);
  const std::string data = pattern(6000);
  put(src.wr, data);
  ASync::Copy& copy = make(POLLWRNORM);
  copy.set_bufsize(8192);
  copy.Start(std::move(src.rd), std::move(dst.wr));
  EXPECT_EQ(copy.written(), 4096u);
  src.wr.close();
  turns(1);  // the source's end is not read while the chunk waits
  EXPECT_EQ(copy.status(), Status::Copying);
  std::string got = drain(dst.rd);
  turns(1);  // rest of the chunk, then the end of the source
  EXPECT_EQ(copy.status(), Status::Draining);
  EXPECT_TRUE(results_.empty());
  got += drain(dst.rd);  // the destination is writable again
  turns(1);
  EXPECT_EQ(results_, std::vector<Status::Type>{Status::Done});
  EXPECT_TRUE(got == data);
}

bool blocking(const Fd& fd) { return !(::fcntl(fd.get(), F_GETFL) & O_NONBLOCK); }

// O_NONBLOCK is shared with the caller's descriptors: they get back the mode they had, whether
// the copy ends or is destroyed.
// One read takes one frame of a packet source, cut to the buffer: the frame shows the size.
TEST_F(AsyncCopy, BufferSizeZeroMeans1024) {
  int sp[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sp), 0);
  Fd frames(sp[0]), writer(sp[1]);
  put(writer, pattern(2000));
  writer.close();
  Pipe dst;
  ASync::Copy& copy = make(0);
  copy.set_bufsize(0);
  copy.Start(std::move(frames), std::move(dst.wr));
  EXPECT_EQ(results_, std::vector<Status::Type>{Status::Done});
  EXPECT_EQ(drain(dst.rd), pattern(1024));
}

TEST_F(AsyncCopy, CallersDescriptorsKeepTheirBlockingMode) {
  for (bool destroyed : {false, true}) {
    SCOPED_TRACE(destroyed ? "destroyed" : "done");
    Pipe src, dst;
    ASSERT_TRUE(dst.wr.NonBlock());
    put(src.wr, "abc");
    if (!destroyed) src.wr.close();
    ASync::Copy& copy = make(0);
    copy.Start(Fd(src.rd), Fd(dst.wr));
    EXPECT_EQ(copy.status(), destroyed ? Status::Copying : Status::Done);
    if (destroyed) {
      EXPECT_FALSE(blocking(src.rd));
      copy_.reset();
    }
    EXPECT_TRUE(blocking(src.rd));
    EXPECT_FALSE(blocking(dst.wr));
  }
}

TEST_F(AsyncCopy, DestinationFailures) {
  // A destination whose reader goes away while the copy waits on it: a hang-up, error 0.
  {
    Pipe src, dst;
    ASSERT_EQ(::fcntl(dst.wr.get(), F_SETPIPE_SZ, 4096), 4096);
    put(src.wr, pattern(8192));
    ASync::Copy& copy = make(0);
    copy.Start(std::move(src.rd), std::move(dst.wr));
    EXPECT_EQ(copy.status(), Status::Copying);
    dst.rd.close();
    turns(1);
    EXPECT_EQ(results_, std::vector<Status::Type>{Status::Failed});
    EXPECT_EQ(copy.error(), 0);
  }
  // A write that fails at once keeps its errno.
  {
    results_.clear();
    Pipe src, dst;
    put(src.wr, "x");
    dst.rd.close();
    ASync::Copy& copy = make(0);
    copy.Start(std::move(src.rd), std::move(dst.wr));
    EXPECT_EQ(results_, std::vector<Status::Type>{Status::Failed});
    EXPECT_EQ(copy.error(), EPIPE);
  }
  // A source that cannot be read before anything was written.
  {
    results_.clear();
    Pipe dst;
    ASync::Copy& copy = make(0);
    copy.Start(Fd(), std::move(dst.wr));
    EXPECT_EQ(results_, std::vector<Status::Type>{Status::Failed});
    EXPECT_TRUE(at_end(dst.rd));
  }
}

TEST_F(AsyncCopy, DestroyingCancelsWithoutHandlerAndClosesDescriptors) {
  Pipe src, dst;
  ASync::Copy& copy = make(0);
  copy.Start(std::move(src.rd), std::move(dst.wr));
  EXPECT_EQ(copy.status(), Status::Copying);
  copy_.reset();
  EXPECT_TRUE(results_.empty());
  EXPECT_TRUE(at_end(dst.rd));
  EXPECT_EQ(::write(src.wr.get(), "x", 1), -1);
}

}  // namespace
