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
  // Ends the daemon with `sig`; after SIGKILL, which leaves every program running, a new daemon
  // has answered its first command: none of `pids` may run by then.
  void end_daemon_then(int sig, const std::vector<pid_t>& pids) {
    end_daemon(sig);
    if (sig != SIGKILL) {
      EXPECT_EQ(records(), std::vector<std::string>{}) << "removed by the daemon's end";
      return;
    }
    EXPECT_EQ(alive_of(pids).size(), pids.size()) << "the killed daemon's programs run on";
    restart_daemon();
    EXPECT_EQ(alive_of(pids), std::vector<pid_t>{}) << "ended before the first command";
    const std::string output = daemon_.output();
    size_t lines = 0;
    for (size_t at = 0; (at = output.find(": left running by an earlier daemon, killed\n", at)) !=
                        std::string::npos;
         ++at) {
      ++lines;
    }
    EXPECT_EQ(lines, pids.size() / 2) << "one line for each program's group";
  }
  // The names in the folder of the program groups' records.
  std::vector<std::string> records() const {
    return names_in(board_.root() + "/var/run/server-groups");
  }
  // The modems of the pool that are held.
  std::vector<std::string> held_modems() {
    std::vector<std::string> held;
    wait_until([&] {
      held.clear();
      for (const std::string& m : board_.command("mctl show")) {
        if (m.find(" held ") != std::string::npos) held.push_back(m);
      }
      return held.empty();
    }, wait_ms);
    return held;
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
// back; also when both ignore SIGTERM, killed at the bound. A daemon killed outright leaves
// them to the next start, which ends them before its first command. No record of their groups
// is left.
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
      {"daemon's SIGKILL, SIGTERM ignored", SIGKILL, true},
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
      end_daemon_then(c.end, pids);
    }
    EXPECT_EQ(left_running(pids, kGraceMs + wait_ms), std::vector<pid_t>{});
    EXPECT_EQ(held_channels(), std::vector<std::string>{});
    EXPECT_TRUE(wait_until([&] { return records().empty(); }, wait_ms));
    if (c.end != 0 && c.end != SIGKILL) restart_daemon();
  }
}

// pppd, or a fax transfer, run through a modem's execfile wrapper; both ignore the hang-up that
// the slot's end sends, so only the end of the daemon ends them: its own, or, after SIGKILL,
// the next start. The modems come back.
TEST_F(SlotPrograms, ExecfileWrapperAndItsChildEndWithTheDaemon) {
  constexpr int kModems = 3;
  const std::string wrapper = board_.root() + "/pppd-wrapper";
  const struct {
    const char* name;
    int end;
    bool fax;
  } cases[] = {
      {"pppd, SIGTERM", SIGTERM, false},
      {"pppd, Ctrl-C", SIGINT, false},
      {"pppd, SIGKILL", SIGKILL, false},
      {"fax transfer, SIGKILL", SIGKILL, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_wrapper(wrapper, "HUP");
    const std::string create = std::string("create : modem : { cid \"\", cdid \"\", ") +
                               (c.fax ? "fax NULL, " : "") + "execfile \"" + wrapper + "\"" +
                               (c.fax ? ", execargs { \"x\" }" : "") + " }";
    int seq = 1;
    for (int modem = 1; modem <= kModems; ++modem) {
      const int trunk = modem + kModems;
      const std::string m = std::to_string(modem);
      ASSERT_EQ(answer(command(seq, modem, create)), wire(success(seq, modem)));
      ++seq;
      ASSERT_EQ(answer(command(seq, trunk, "create : trunk : { trunk 0, timeslot " + m + " }")),
                wire(success(seq, trunk)));
      ++seq;
      ASSERT_EQ(answer(command(seq, trunk, "connect : " + m)), wire(success(seq, trunk)));
      ++seq;
    }
    const std::vector<pid_t> pids = started(kModems);
    ASSERT_EQ(pids.size(), 2u * kModems);
    end_daemon_then(c.end, pids);
    EXPECT_EQ(left_running(pids, wait_ms), std::vector<pid_t>{});
    if (c.end != SIGKILL) restart_daemon();
    EXPECT_EQ(held_modems(), std::vector<std::string>{});
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
