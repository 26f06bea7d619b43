// The shared test helpers keep the process as they found it: a loop turn leaves the loop
// runnable, a board root is given back, a capture gives its stream back.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "base/dpc.h"
#include "base/event.h"
#include "base/fd.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"
#include "tests/support/stream_capture.h"
#include "tests/support/temp_root.h"

namespace {

// A pipe whose read end is served by the loop; each read activates a deferred call.
class Reader {
 public:
  Reader() {
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    write_end_ = Fd(ends[1]);
    event_.Bind("Reader", &Reader::on_readable, this);
    event_.Schedule(Fd(ends[0]), POLLIN);
    later_.Bind(this, &Reader::on_later);
  }
  ~Reader() { event_.Release(); }
  void poke() { EXPECT_EQ(::write(write_end_.get(), "x", 1), 1); }

  int reads = 0;
  int deferred = 0;

 private:
  void on_readable(int fd, short) {
    char c;
    while (::read(fd, &c, 1) == 1) ++reads;
    later_.Activate();
  }
  void on_later() {
    ++deferred;
    later_.Deactivate();
  }

  Fd write_end_;
  Event event_;
  Dpc later_;
};

using TestSupport = LoopTest;

TEST_F(TestSupport, LoopTurnLeavesTheLoopRunnable) {
  Reader reader;
  turns();
  reader.poke();
  run_loop_turn();
  EXPECT_EQ(reader.reads, 1);
  EXPECT_EQ(reader.deferred, 1) << "what the handler deferred has run by the turn's end";
  EXPECT_FALSE(MultiplexerProbe::terminating());

  // The turns after it still serve.
  reader.poke();
  turns();
  turns();
  EXPECT_EQ(reader.reads, 2);
  EXPECT_EQ(reader.deferred, 2);
}

TEST(TestSupportRoot, GivesTheOuterRootBackAndRemovesItsTree) {
  TempRoot outer;
  std::string inner_path;
  {
    TempRoot inner;
    inner_path = inner.path();
    EXPECT_EQ(std::string(std::getenv("ORVEXD_ROOT")), inner_path);
    EXPECT_TRUE(std::filesystem::is_directory(inner_path + "/dev"));
  }
  EXPECT_EQ(std::string(std::getenv("ORVEXD_ROOT")), outer.path());
  EXPECT_FALSE(std::filesystem::exists(inner_path));
}

TEST(TestSupportCapture, TakesLinesAndGivesTheStreamBack) {
  std::streambuf* const original = std::clog.rdbuf();
  {
    StreamCapture log(std::clog);
    std::clog << "one\ntwo" << std::endl;
    EXPECT_EQ(log.take_lines(), (Lines{"one", "two"}));
    EXPECT_EQ(log.take(), "");
  }
  EXPECT_EQ(std::clog.rdbuf(), original);
}

}  // namespace
