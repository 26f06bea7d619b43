// The TPKT framing checked by an independent reader: tshark's TPKT dissector decodes a loopback
// capture of frames written by the stream and TPKT layers. Skipped where tshark is missing or
// may not capture on lo.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/fd.h"
#include "base/mux_clock.h"
#include "proto/strm_protocol.h"
#include "proto/tpkt.h"
#include "tests/proto/proto_testlib.h"

extern char** environ;

namespace {

// Every wait on tshark is bounded by this, so a stuck capture fails the test instead of hanging.
constexpr int kWaitMs = 20000;

class Tshark {
 public:
  bool start(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return false;
    out_ = Fd(out[0]);
    err_ = Fd(err[0]);
    Fd out_w(out[1]), err_w(err[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_w.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, err_w.get(), 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) pid_ = -1;
    return rc == 0;
  }
  ~Tshark() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // Reads stderr until a line contains `text`; false when tshark ends first.
  bool wait_stderr_for(const std::string& text) {
    while (err_text_.find(text) == std::string::npos)
      if (!read_some(err_, err_text_)) return false;
    return true;
  }
  // Reads one more stdout line; false at the end of the output.
  bool next_line(std::string& line) {
    for (;;) {
      size_t nl = out_text_.find('\n');
      if (nl != std::string::npos) {
        line = out_text_.substr(0, nl);
        out_text_.erase(0, nl + 1);
        return true;
      }
      if (!read_some(out_, out_text_)) return false;
    }
  }
  const std::string& errors() const { return err_text_; }

 private:
  static bool read_some(const Fd& fd, std::string& into) {
    pollfd entry{fd.get(), POLLIN, 0};
    if (::poll(&entry, 1, kWaitMs) != 1) return false;
    char buf[4096];
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n <= 0) return false;
    into.append(buf, n);
    return true;
  }

  pid_t pid_ = -1;
  Fd out_, err_;
  std::string out_text_, err_text_;
};

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::stringstream in(s);
  for (std::string part; std::getline(in, part, sep);) parts.push_back(part);
  return parts;
}

TEST(TpktTshark, DissectorReadsTheFramesWeWrite) {
  LoopbackListener listener;
  const std::string port = std::to_string(listener.port());

  Tshark tshark;
  if (!tshark.start({"tshark", "-l", "-n", "-i", "lo", "-f", "tcp port " + port, "-a",
                     "duration:60", "-d", "tcp.port==" + port + ",tpkt", "-T", "fields", "-e",
                     "tpkt.version", "-e", "tpkt.reserved", "-e", "tpkt.length"}))
    GTEST_SKIP() << "tshark is not installed";
  if (!tshark.wait_stderr_for("Capture started"))
    GTEST_SKIP() << "tshark may not capture on lo: " << tshark.errors();

  TcpPeer client = TcpPeer::connect(listener.port());
  TcpPeer server(listener.accept());
  ASSERT_TRUE(server.ok());

  Mux::TestClock::set(1'000'000'000ull);
  RecordingFamily stack;
  stack.add_protocol_tail(new StrmProtocol(client.fd()));
  stack.add_protocol_tail(new Tpkt_protocol);
  stack.activate();
  const std::vector<size_t> payloads = {3, 0, 300, Tpkt_protocol::max_payload, 1};
  for (size_t n : payloads) {
    Packet p;
    stack.prepare_head(p);
    if (n) std::memset(p.put(static_cast<unsigned>(n)), 0x5A, n);
    stack.message(p);
  }
  Mux::TestClock::release();
  EXPECT_TRUE(stack.reports.empty());

  std::vector<std::string> lengths;
  std::string line;
  while (lengths.size() < payloads.size() && tshark.next_line(line)) {
    std::vector<std::string> fields = split(line, '\t');
    if (fields.size() < 3 || fields[2].empty()) continue;  // an acknowledgement
    std::vector<std::string> versions = split(fields[0], ',');
    std::vector<std::string> reserved = split(fields[1], ',');
    for (const std::string& l : split(fields[2], ',')) lengths.push_back(l);
    for (const std::string& v : versions) EXPECT_EQ(v, "3");
    for (const std::string& r : reserved) EXPECT_EQ(r, "0");
  }
  EXPECT_EQ(lengths, (std::vector<std::string>{"7", "4", "304", "65535", "5"}));
}

}  // namespace
