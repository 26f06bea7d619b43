// The road of the modem slots' tests: the TDM slots' road (a controller on loopback, the slot
// registry, the simulated board) with the modem factory, child waits, and orvex-stub linked in
// the root as pppd and the fax programs. Slot 1 is the modem under test, slot 2 a trunk slot.
// Every child a test leaves behind is killed and reaped when it ends.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "base/child_wait.h"
#include "slots/media/modem_factory.h"
#include "slots/media/t38_soft_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/slots_tdm/slot_road.h"
#include "tests/support/processes.h"
#include "tests/support/temp_root.h"

class ModemRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    ChildWait::Activate();
    T38SoftFactory::instance();
    ModemFactory::instance();
    LinkTrunkFactories();
    for (const char* program : {"/usr/local/sbin/pppd", "/usr/local/sbin/fax", "/usr/local/bin/fax",
                                "/usr/local/sbin/t38"}) {
      const std::string path = root() + program;
      ASSERT_EQ(std::system(("mkdir -p $(dirname " + path + ")").c_str()), 0);
      install(program);
    }
  }
  void SetUp() override {
    SlotRoad::SetUp();
    sim("mctl modems 4");
  }
  void TearDown() override {
    run({"{ seq 90, slot 1, pdu command : destroy : NULL }",
         "{ seq 91, slot 2, pdu command : destroy : NULL }"});
    until([](const Lines&) { return ModemFactory::instance().modems.empty(); });
    for (const char* program : {"/usr/local/sbin/pppd", "/usr/local/sbin/fax", "/usr/local/bin/fax",
                                "/usr/local/sbin/t38"}) {
      for (const char* kind : {"argv", "ignore", "exit", "auth", "replies", "say", "stdout"}) {
        remove_stub(program, kind);
      }
    }
    seen.clear();
    // A program that a failed test left running must not outlive it (nor hold its output).
    reap_children(board().pid());
    SlotRoad::TearDown();
  }

  static std::string root() { return board().root(); }
  // Links orvex-stub at `program` under the root (again).
  static void install(const std::string& program) {
    const std::string path = root() + program;
    ::unlink(path.c_str());
    ASSERT_EQ(::symlink(ORVEX_STUB, path.c_str()), 0) << path;
  }
  static void stub(const std::string& program, const std::string& kind, const std::string& text) {
    std::ofstream(root() + program + "." + kind) << text;
  }
  static void remove_stub(const std::string& program, const std::string& kind) {
    ::unlink((root() + program + "." + kind).c_str());
  }

  // Creates trunk slot 2 and connects it to the modem (seq 3): what came back from the connect.
  Lines connect_trunk() {
    run({"{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }"});
    return run({"{ seq 3, slot 2, pdu command : connect : 1 }"});
  }
  // `got` and what arrives until it holds `n` messages.
  Lines collect(Lines got, size_t n) {
    for (const auto& m : until([&](const Lines& l) { return got.size() + l.size() >= n; })) {
      got.push_back(m);
    }
    return got;
  }
  // The arguments the stub at `program` was started with, once it has written them; what the
  // controller received meanwhile goes to `seen`.
  Lines started(const std::string& program) {
    const std::string path = root() + program + ".argv";
    struct stat st;
    for (const auto& m : until([&](const Lines&) { return ::stat(path.c_str(), &st) == 0; })) {
      seen.push_back(m);
    }
    Lines args;
    std::istringstream in(read_file(path));
    for (std::string line; std::getline(in, line);) args.push_back(line);
    remove_stub(program, "argv");
    return args;
  }
  // Destroys the modem (seq 9), whose pppd ends at the hang-up, and waits for the answer.
  void destroy_modem() {
    Lines got = run({"{ seq 9, slot 1, pdu command : destroy : NULL }"});
    const std::string done = wire(reply(9, 1, "success : NULL"));
    for (const auto& m : until([&](const Lines& l) { return !l.empty() && l.back() == done; })) {
      got.push_back(m);
    }
    EXPECT_EQ(got.back(), done);
  }
  // A call on modem slot `slot` (made with `params`), heard through trunk slot `slot` + 1 on
  // `line`, by default timeslot `slot` of trunk 0 (seqs 50 to 52).
  void call_modem(int slot, const std::string& params = "cid \"\", cdid \"\"",
                  std::string line = "") {
    const std::string modem = std::to_string(slot), trunk = std::to_string(slot + 1);
    if (line.empty()) line = "trunk 0, timeslot " + modem;
    run({"{ seq 50, slot " + modem + ", pdu command : create : modem : { " + params + " } }",
         "{ seq 51, slot " + trunk + ", pdu command : create : trunk : { " + line + " } }",
         "{ seq 52, slot " + trunk + ", pdu command : connect : " + modem + " }"});
  }
  // Destroys the slots of call_modem(slot) (seqs 53 and 54).
  void end_call(int slot) {
    run({"{ seq 53, slot " + std::to_string(slot) + ", pdu command : destroy : NULL }",
         "{ seq 54, slot " + std::to_string(slot + 1) + ", pdu command : destroy : NULL }"});
  }
  // The tty of the modem that a new data call gets ("/dev/mdmN" under the root): call_modem(),
  // whose slots are destroyed again.
  std::string next_call_modem(int slot) {
    call_modem(slot);
    const Lines args = started("/usr/local/sbin/pppd");
    const size_t before = ModemFactory::instance().modems.size();
    end_call(slot);
    until([&](const Lines&) { return ModemFactory::instance().modems.size() < before; });
    return args.size() == 4 ? args[3].substr(root().size()) : "no pppd";
  }
  // The lines of `log` that open with `prefix`.
  static Lines lines_of(StreamCapture& log, const std::string& prefix) {
    Lines picked;
    for (const auto& l : log.take_lines()) {
      if (l.compare(0, prefix.size(), prefix) == 0) picked.push_back(l);
    }
    return picked;
  }

  // Whether a line holding `text` comes to `log` (bounded wait).
  bool logged(StreamCapture& log, const std::string& text) {
    bool found = false;
    until([&](const Lines&) {
      for (const auto& l : log.take_lines()) found = found || l.find(text) != std::string::npos;
      return found;
    });
    return found;
  }

  Lines seen;
};
