// Modem slots on the simulated modem pool and generic-HDLC interfaces, with orvex-stub in place
// of pppd and the fax programs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/child_stop.h"
#include "base/child_wait.h"
#include "slots/media/dsp_modem_slot.h"
#include "slots/media/hdlc_modem_slot.h"
#include "slots/media/modem_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/slots_media/modem_road.h"
#include "tests/support/processes.h"

namespace {

std::string modem(const std::string& params) {
  return "{ seq 1, slot 1, pdu command : create : modem : " + params + " }";
}

struct CommandLine {
  const char* name;
  std::string params;
  Lines args;        // after the program; "ROOT" stands for the root
  const char* mctl;  // modem 0 as the simulator shows it
};

TEST_F(ModemRoad, PppdCommandLines) {
  Lines seventy;
  std::string list;
  for (int i = 0; i < 70; ++i) {
    seventy.push_back("a" + std::to_string(i));
    list += (i ? ", \"a" : "\"a") + std::to_string(i) + "\"";
  }
  const Lines sixty_two(seventy.begin(), seventy.begin() + 62);
  for (const CommandLine& c : {
           CommandLine{
               "originate with a number",
               "{ cid \"1234\", cdid \"\", ddm { ddmV110, ddm7BIT }, dmp { { offset 3, "
               "value 9 } }, originate NULL }",
               {"file", "ROOT/usr/local/etc/ppp/coptions", "ROOT/dev/mdm0", "remotenumber", "1234"},
               "0 ts=1536 held ddm=5 dmp=3:9 state=originate"},
           CommandLine{"answer without a number",
                       "{ cid \"\", cdid \"\" }",
                       {"file", "ROOT/usr/local/etc/ppp/aoptions", "ROOT/dev/mdm0"},
                       "0 ts=1536 held ddm=0 dmp= state=answer"},
           CommandLine{"execargs, 62 of 70", "{ cid \"1\", cdid \"\", execargs { " + list + " } }",
                       sixty_two, "0 ts=1536 held ddm=0 dmp= state=answer"},
       }) {
    SCOPED_TRACE(c.name);
    run({modem(c.params)});
    EXPECT_EQ(connect_trunk(), wires({stream(1, "transmitter", 1536), stream(1, "receiver", 1536),
                                      reply(3, 2, "success : NULL")}));
    Lines expected{root() + "/usr/local/sbin/pppd"};
    for (const auto& a : c.args) {
      expected.push_back(a.compare(0, 4, "ROOT") ? a : root() + a.substr(4));
    }
    EXPECT_EQ(started("/usr/local/sbin/pppd"), expected);
    EXPECT_EQ(board().command("mctl show").at(0), c.mctl);
    destroy_modem();
    EXPECT_EQ(board().command("mctl show").at(0), "0 ts=1536 free ddm=0 dmp= state=idle");
  }
}

// The start line names the program that runs, the controller's execfile too, and writes the
// cid escaped: a newline or another control byte in it cannot end the line. A slot deleted while
// its program still runs (the controller left) names its own kind in the kill line.
TEST_F(ModemRoad, LogLinesNameTheProgramAndTheKind) {
  struct Case {
    const char* name;
    std::string params;
    std::string program;
    const char* line;  // after "program=PROGRAM"
  };
  const std::string other = root() + "/usr/local/bin/fax";
  for (const Case& c : {
           Case{"pppd", "{ cid \"12\n34\", cdid \"\" }", "/usr/local/sbin/pppd",
                " cid=\"12\\x0a34\""},
           Case{"execfile", "{ cid \"a\"\"b\x01\", cdid \"\", execfile \"" + other + "\" }",
                "/usr/local/bin/fax", " cid=\"a\\\"b\\x01\""},
       }) {
    SCOPED_TRACE(c.name);
    stub(c.program, "ignore", "");
    run({modem(c.params)});
    StreamCapture log(std::clog);
    connect_trunk();
    started(c.program);
    const Lines lines = lines_of(log, "01:dsp-modem: pppd executed");
    ASSERT_EQ(lines.size(), 1u);
    const std::string head = "01:dsp-modem: pppd executed program=\"" + root() + c.program + "\"";
    EXPECT_EQ(lines[0].substr(0, lines[0].rfind(" pid=")), head + c.line);
    EXPECT_NE(controller_leaves().find("01:dsp-modem: pppd isn't terminated, killing ...\n"),
              std::string::npos);
    EXPECT_TRUE(ModemFactory::instance().modems.empty()) << "a deleted slot is still listed";
    remove_stub(c.program, "ignore");
    ASSERT_TRUE(ctl_.connect("127.0.0.1", port_, 1000)) << ctl_.error();
    turns(3);
  }
}

TEST_F(ModemRoad, StopSequenceWhenPppdIgnoresHangUp) {
  stub("/usr/local/sbin/pppd", "ignore", "");
  run({modem("{ cid \"\", cdid \"\" }")});
  connect_trunk();
  started("/usr/local/sbin/pppd");
  StreamCapture err(std::cerr);
  EXPECT_EQ(run({"{ seq 9, slot 1, pdu command : destroy : NULL }"}), Lines{});
  advance(4999);
  EXPECT_EQ(arrived(), Lines{});
  EXPECT_EQ(err.take(), "01:dsp-modem: sent HUP to pppd.\n");
  advance(1);
  EXPECT_EQ(arrived(), wires({reply(9, 1, "success : NULL")}));
  EXPECT_EQ(err.take(),
            "01:dsp-modem: pppd terminate timeout!\n"
            "01:dsp-modem: pppd isn't terminated, killing ...\n");
  EXPECT_TRUE(ModemFactory::instance().modems.empty());
}

TEST_F(ModemRoad, CallThatEndsByItselfAborts) {
  stub("/usr/local/sbin/pppd", "exit", "3");
  run({modem("{ cid \"\", cdid \"\" }")});
  EXPECT_EQ(collect(connect_trunk(), 4),
            wires({stream(1, "transmitter", 1536), stream(1, "receiver", 1536),
                   reply(3, 2, "success : NULL"), signal(1, "abort : 768")}));
  // No child is left: the destroy completes at once.
  EXPECT_EQ(run({"{ seq 9, slot 1, pdu command : destroy : NULL }"}),
            wires({reply(9, 1, "success : NULL")}));
}

struct FaxEnd {
  const char* name;
  int exit;  // -1: killed by SIGKILL
  const char* log;
  int pages;
  int abort;
};

TEST_F(ModemRoad, FaxTransferArgumentsAndStatuses) {
  std::string list;
  for (int i = 0; i < 70; ++i) list += (i ? ", \"f" : "\"f") + std::to_string(i) + "\"";
  for (const FaxEnd& f : {FaxEnd{"three pages", 3, "", 3, 0x300},
                          FaxEnd{"killed", -1, "01:dsp-modem: fax transfer failed", 0, 9}}) {
    SCOPED_TRACE(f.name);
    if (f.exit >= 0) stub("/usr/local/sbin/fax", "exit", std::to_string(f.exit));
    run({modem("{ cid \"\", cdid \"\", fax NULL, execargs { " + list + " } }")});
    StreamCapture log(std::clog);
    seen = connect_trunk();
    const Lines args = started("/usr/local/sbin/fax");
    ASSERT_EQ(args.size(), 63u);
    EXPECT_EQ(Lines(args.begin(), args.begin() + 4),
              (Lines{root() + "/usr/local/sbin/fax", "-m", "0", "f0"}));
    EXPECT_EQ(args.back(), "f59");
    // The daemon has left the modem to the fax program, and keeps it from other calls.
    EXPECT_EQ(board().command("mctl show").at(0), "0 ts=1536 free ddm=0 dmp= state=idle");
    EXPECT_TRUE(ModemFactory::instance().pool.marked(0));
    if (f.exit < 0) ::kill(ModemFactory::instance().dsp_modems.front()->pid, SIGKILL);
    const std::string pages = std::to_string(f.pages);
    EXPECT_EQ(collect(seen, 5),
              wires({stream(1, "transmitter", 1536), stream(1, "receiver", 1536),
                     reply(3, 2, "success : NULL"),
                     signal(1,
                            "modemProceeding : acct : { octetsOut { low 0, high 0 }, octetsIn "
                            "{ low " +
                                pages +
                                ", high 0 }, packetsOut { low 0, high 0 }, "
                                "packetsIn { low 0, high 0 }, time { low 0, high 0 } }"),
                     signal(1, "abort : " + std::to_string(f.abort))}));
    Lines expected{"01:dsp-modem: fax transfer executed modem=0 ts=1536",
                   "01:dsp-modem: fax terminated with code " + std::to_string(f.abort)};
    if (*f.log) expected.push_back(f.log);
    expected.push_back("01:dsp-modem: pages received: " + pages);
    EXPECT_EQ(lines_of(log, "01:dsp-modem: "), expected);
    remove_stub("/usr/local/sbin/fax", "exit");
    run({"{ seq 9, slot 1, pdu command : destroy : NULL }"});
    EXPECT_FALSE(ModemFactory::instance().pool.marked(0));
  }
}

// The receiver is asked to end by the destroy, which goes at once; one that ignores the request
// is killed when the grace runs out, as pppd is.
TEST_F(ModemRoad, FaxReceiverIsWatchedAndEndedByTheDestroy) {
  for (const bool ignores : {false, true}) {
    SCOPED_TRACE(ignores ? "ignores SIGTERM" : "ends at SIGTERM");
    if (ignores) stub("/usr/local/bin/fax", "ignore", "");
    run({modem("{ cid \"\", cdid \"\", fax NULL }")});
    StreamCapture log(std::clog);
    connect_trunk();
    const Lines args = started("/usr/local/bin/fax");
    ASSERT_EQ(args.size(), 5u);
    EXPECT_EQ(Lines(args.begin(), args.begin() + 4),
              (Lines{root() + "/usr/local/bin/fax", "-m", "0", "receive"}));
    // "/var/fax-HH-MM-SS-m0.g3": the time and the modem.
    EXPECT_EQ(args[4].substr(0, root().size() + 9), root() + "/var/fax-");
    EXPECT_EQ(args[4].substr(root().size() + 17), "-m0.g3");
    EXPECT_EQ(lines_of(log, "01:dsp-modem: "),
              Lines{"01:dsp-modem: fax receiver executed modem=0 ts=1536"});
    const pid_t pid = static_cast<DspModemSlot*>(Slots::instance().GetLive().front())->receiver_pid;
    EXPECT_EQ(run({"{ seq 9, slot 1, pdu command : destroy : NULL }"}),
              wires({reply(9, 1, "success : NULL")}));
    // The modem is kept from other calls while the receiver may still use it, and no longer;
    // the daemon holds no descriptor of it meanwhile.
    const auto marked = [] { return ModemFactory::instance().pool.marked(0); };
    if (ignores) {
      advance(ChildStop::kGraceMs - 1);
      EXPECT_TRUE(alive(pid));
      EXPECT_TRUE(marked());
      EXPECT_EQ(board().command("mctl show").at(0).substr(0, 15), "0 ts=1536 free ");
      advance(1);
    }
    until([&](const Lines&) { return !alive(pid) && !marked(); });
    EXPECT_FALSE(alive(pid)) << "the receiver outlives its slot";
    EXPECT_FALSE(marked());
    remove_stub("/usr/local/bin/fax", "ignore");
    run({"{ seq 91, slot 2, pdu command : destroy : NULL }"});
  }
}

TEST_F(ModemRoad, NoFreeModemAbortsAtTheFirstStream) {
  sim("mctl modems 0");
  StreamCapture err(std::cerr);
  run({modem("{ cid \"\", cdid \"\" }")});
  // The modem has no channel to be switched to.
  EXPECT_EQ(connect_trunk(), wires({signal(1, "abort : 16"), stream(1, "receiver", -1),
                                    reply(3, 2, "error : connectFail")}));
  EXPECT_EQ(err.take(), "01:dsp-modem: insufficient resources : Device or resource busy\n");
  LGCP::Resources report;
  ModemFactory::instance().Query(report);
  EXPECT_EQ(report.get_modem().getValue(), 0);
  sim("mctl modems 4");
  ModemFactory::instance().Query(report);
  EXPECT_EQ(report.get_modem().getValue(), 4);
}

TEST_F(ModemRoad, DigitalModemOnAGenericHdlcInterface) {
  sim("net hdlc 0 7");
  LGCP::Resources report;
  auto free_count = [&] {
    ModemFactory::instance().Query(report);
    return report.get_digital_modems().getValue();
  };
  EXPECT_EQ(free_count(), 1);
  run({modem("{ cid \"\", cdid \"\", ddm { ddmV110 } }")});
  ASSERT_EQ(ModemFactory::instance().hdlc_modems.size(), 1u);
  EXPECT_EQ(ModemFactory::instance().free_interfaces.size(), 0u);
  // Another digital call finds no interface: a DSP modem takes it.
  run(
      {"{ seq 4, slot 3, pdu command : create : modem : { cid \"\", cdid \"\", ddm { ddmV110 } } "
       "}"});
  EXPECT_EQ(ModemFactory::instance().dsp_modems.size(), 1u);
  // The interface the slot holds is not offered again, however it shows.
  EXPECT_EQ(free_count(), 0);

  EXPECT_EQ(connect_trunk(), wires({stream(1, "receiver", 7), reply(3, 2, "success : NULL")}));
  EXPECT_EQ(output(7), "1");
  EXPECT_EQ(started("/usr/local/sbin/pppd"),
            (Lines{root() + "/usr/local/sbin/pppd", "file", root() + "/usr/local/etc/ppp/ioptions",
                   "hdlc0"}));
  EXPECT_EQ(board().command("net show"), Lines{"hdlc0 flags=0x10 proto=ppp channel=7"});
  destroy_modem();
  EXPECT_EQ(board().command("net show"), Lines{"hdlc0 flags=0x10 proto=hdlc channel=7"});
  EXPECT_EQ(ModemFactory::instance().free_interfaces, std::list<std::string>{"hdlc0"});
  run({"{ seq 5, slot 3, pdu command : destroy : NULL }"});
  EXPECT_EQ(free_count(), 1);
  sim("net remove 0");
  ModemFactory::instance().IQuery();
}

}  // namespace
