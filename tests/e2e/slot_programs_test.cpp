// The programs that slots run, on orvexd and the simulated board: wrapper scripts in place of
// the T.38 program and of a modem's pppd (the create's execfile), whose children end with them
// and hold no channel after the slot or the daemon is gone; and programs that cannot run,
// named in the daemon's output.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/daemon_on_board.h"
#include "tests/support/processes.h"
#include "tests/support/temp_root.h"

namespace {

class SlotPrograms : public DaemonOnBoard {
 protected:
  void SetUp() override {
    DaemonOnBoard::SetUp();
    ASSERT_EQ(std::system(("mkdir -p " + board_.root() + "/usr/local/sbin").c_str()), 0);
  }
  void TearDown() override {
    for (pid_t pid : pids_in(pids_)) ::kill(pid, SIGKILL);
  }

  // Writes at `path` a wrapper script that records its pid and its child's, then runs the child
  // (which keeps its standard input) and waits for it; both ignore `ignored` when it is given.
  void write_wrapper(const std::string& path, const char* ignored) {
    ::unlink(path.c_str());
    ::unlink(pids_.c_str());
    std::ofstream(path) << "#!/bin/sh\n"
                        << (ignored ? std::string("trap '' ") + ignored + "\n" : "") << "echo $$ >> "
                        << pids_ << "\n/bin/sh -c 'echo $$ >> " << pids_ << "; exec sleep 1000'\n";
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
  }
  // The pids of `count` wrappers and of their children, once written.
  std::vector<pid_t> started(size_t count) {
    std::vector<pid_t> pids;
    wait_until([&] { return (pids = pids_in(pids_)).size() == 2 * count; }, wait_ms);
    return pids;
  }
  // Ends the daemon with `sig`.
  void end_daemon(int sig) {
    ASSERT_TRUE(daemon_.signal(sig));
    int status;
    ASSERT_TRUE(daemon_.wait_exit(status));
  }
  // A new daemon, served by the controller.
  void restart_daemon() {
    ASSERT_TRUE(daemon_.start({"--port", std::to_string(port_)}));
    attach();
  }
  // Waits (bounded by `ms`) until none of `pids` runs: those still running, which are killed.
  static std::vector<pid_t> left_running(const std::vector<pid_t>& pids, int ms) {
    wait_until([&] { return alive_of(pids).empty(); }, ms);
    const std::vector<pid_t> left = alive_of(pids);
    for (pid_t pid : left) ::kill(pid, SIGKILL);
    return left;
  }

  const std::string pids_ = board_.root() + "/program.pids";
};

std::string command(int seq, int slot, const std::string& pdu) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) + ", pdu command : " +
         pdu + " }";
}

const char* const kT38Create =
    "create : t38soft : { dhost { iaddr \"127.0.0.1\", port 5000 }, shost { iaddr "
    "\"127.0.0.1\", port 6000 }, rx-packet-size 160, rx-threshold 1, tx-threshold 2, args { } }";

// The T.38 program is a wrapper script whose child inherits the channel as its standard input.
// Whether the slot goes by its destroy or by the daemon's end (SIGTERM, or Ctrl-C of a
// foreground daemon: its SIGINT alone), the script and its child end and the channels come
// back; also when both ignore SIGTERM, killed at the bound.
TEST_F(SlotPrograms, T38WrapperAndItsChildEndWithTheSlot) {
  constexpr int kSlots = 3;
  constexpr int kGraceMs = 5000;
  const std::string program = board_.root() + "/usr/local/sbin/t38";
  const struct {
    const char* name;
    int end;  // 0: destroy; else the signal that ends the daemon
    bool ignores;
  } cases[] = {
      {"destroy", 0, false},
      {"destroy, SIGTERM ignored", 0, true},
      {"daemon's SIGTERM", SIGTERM, false},
      {"daemon's Ctrl-C, SIGTERM ignored", SIGINT, true},
  };
  int seq = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_wrapper(program, c.ignores ? "TERM" : nullptr);
    for (int slot = 1; slot <= kSlots; ++slot, ++seq) {
      ASSERT_EQ(answer(command(seq, slot, kT38Create)), wire(success(seq, slot)));
    }
    const std::vector<pid_t> pids = started(kSlots);
    ASSERT_EQ(pids.size(), 2u * kSlots);
    ASSERT_EQ(board_.command("mcc channels").size(), size_t(kSlots));
    if (c.end == 0) {
      for (int slot = 1; slot <= kSlots; ++slot, ++seq) {
        ASSERT_EQ(answer(command(seq, slot, "destroy : NULL")), wire(success(seq, slot)));
      }
    } else {
      end_daemon(c.end);
    }
    EXPECT_EQ(left_running(pids, kGraceMs + wait_ms), std::vector<pid_t>{});
    EXPECT_EQ(held_channels(), std::vector<std::string>{});
    if (c.end != 0) restart_daemon();
  }
}

// pppd run through a modem's execfile wrapper; both ignore the hang-up that the slot's end
// sends, so only the end of the daemon ends them.
TEST_F(SlotPrograms, ExecfileWrapperAndItsChildEndWithTheDaemon) {
  constexpr int kModems = 3;
  const std::string wrapper = board_.root() + "/pppd-wrapper";
  for (const int end : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(end == SIGTERM ? "SIGTERM" : "Ctrl-C");
    write_wrapper(wrapper, "HUP");
    int seq = 1;
    for (int modem = 1; modem <= kModems; ++modem) {
      const int trunk = modem + kModems;
      const std::string m = std::to_string(modem);
      ASSERT_EQ(answer(command(seq, modem, "create : modem : { cid \"\", cdid \"\", execfile \"" +
                                               wrapper + "\" }")),
                wire(success(seq, modem)));
      ++seq;
      ASSERT_EQ(answer(command(seq, trunk, "create : trunk : { trunk 0, timeslot " + m + " }")),
                wire(success(seq, trunk)));
      ++seq;
      ASSERT_EQ(answer(command(seq, trunk, "connect : " + m)), wire(success(seq, trunk)));
      ++seq;
    }
    const std::vector<pid_t> pids = started(kModems);
    ASSERT_EQ(pids.size(), 2u * kModems);
    end_daemon(end);
    EXPECT_EQ(left_running(pids, wait_ms), std::vector<pid_t>{});
    restart_daemon();
  }
}

// A program that cannot run is named with the reason, after the slot's log header; the slot
// ends as the exit code of a program that cannot run tells.
TEST_F(SlotPrograms, ProgramThatCannotRunIsNamed) {
  const std::string sbin = board_.root() + "/usr/local/sbin/";
  const struct {
    const char* name;
    std::string create;  // slot 1; a trunk slot 2 connected to it starts a modem's program
    bool modem;
    std::string line;
    const char* abort;
  } cases[] = {
      {"t38", kT38Create, false,
       "t38soft: cannot run " + sbin + "t38: No such file or directory", "abort : 60672"},
      {"pppd", "create : modem : { cid \"\", cdid \"\" }", true,
       "01:dsp-modem: cannot run " + sbin + "pppd: No such file or directory", "abort : 512"},
      {"execfile", "create : modem : { cid \"\", cdid \"\", execfile \"/nonexistent/wrapper\" }",
       true, "01:dsp-modem: cannot run /nonexistent/wrapper: No such file or directory",
       "abort : 512"},
      {"fax transfer", "create : modem : { cid \"\", cdid \"\", fax NULL, execargs { \"x\" } }",
       true, "01:dsp-modem: cannot run " + sbin + "fax: No such file or directory", "abort : 512"},
  };
  int seq = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(answer(command(seq, 1, c.create)), wire(success(seq, 1)));
    ++seq;
    if (c.modem) {
      EXPECT_EQ(answer(command(seq, 2, "create : trunk : { trunk 0, timeslot 1 }")),
                wire(success(seq, 2)));
      ++seq;
      EXPECT_EQ(answer(command(seq, 2, "connect : 1")), wire(success(seq, 2)));
      ++seq;
    }
    EXPECT_EQ(signal("abort"), wire("{ slot 1, pdu signal : " + std::string(c.abort) + " }"));
    EXPECT_TRUE(daemon_.wait_output(c.line + "\n")) << daemon_.output();
    for (int slot : {1, 2}) answer(command(seq++, slot, "destroy : NULL"));
  }
}

}  // namespace
