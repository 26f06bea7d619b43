// orvexd: the gateway daemon's entry.
//
// Reads the configuration file and the command line, installs the signal handlers, takes the
// root's daemon lock (another daemon serving the root stops the start), ends the program
// groups that a daemon killed before its clean-up left running, builds the slot factories and
// the board-level singletons, idles the switch outputs a slot can set (a daemon that was killed
// left its paths there), optionally becomes a daemon, writes the PID file, binds the control
// services to the control server in their dispatch order, accepts the controller on the control
// port and runs the event loop until SIGTERM or SIGINT. The control services and the factories
// are process-lifetime singletons, destroyed at exit.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "base/child_groups.h"
#include "base/child_wait.h"
#include "base/daemon.h"
#include "base/dpc.h"
#include "base/ini_file.h"
#include "base/ini_ignored.h"
#include "base/line_stream_buf.h"
#include "base/multiplexer.h"
#include "base/path.h"
#include "base/pid_file.h"
#include "base/trace_ctl.h"
#include "base/version.h"
#include "base/written_file.h"
#include "board/bus_ctl.h"
#include "board/e1_ctl.h"
#include "board/hw_tests.h"
#include "board/spi_ctrl.h"
#include "control/ctrl_server.h"
#include "control/heartbeat_ctl.h"
#include "hw/hw_mux.h"
#include "monitoring/monitoring_ctl.h"
#include "proto/acceptor_check.h"
#include "server/startup/command_line.h"
#include "server/startup/daemon_lock.h"
#include "server/startup/signal_checks.h"
#include "server/startup/signals.h"
#include "slotbase/slot_factory.h"
#include "slotbase/slots.h"
#include "slots/media/modem_factory.h"
#include "slots/media/rtp_ext_factory.h"
#include "slots/media/rtp_factory.h"
#include "slots/media/t38_soft_factory.h"
#include "slots/tdm/echo_factory.h"
#include "slots/tdm/ext_factory.h"
#include "slots/tdm/hdlc_slot_factory.h"
#include "slots/tdm/isdn_factory.h"
#include "slots/tdm/map_factory.h"
#include "slots/tdm/mcc_factory.h"
#include "slots/tdm/mixer_factory.h"
#include "slots/tdm/pstn_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "slots/tdm/voice_factory.h"

namespace {

// Each factory joins the head of the chain, so the chain ends up newest first, in front of the
// trunk factories built before main. The order of construction: Map, Pstn, Rtp, Modem, Mixer,
// Ext, Mcc, Echo, Voice, T38Soft, Isdn, RtpLEMZ, RtpED137, HdlcSlot.
void BuildSlotFactories() {
  // The trunk factories are static objects, already in the chain; this keeps them linked in.
  LinkTrunkFactories();
  MapFactory::instance();
  PstnFactory::instance();
  RtpFactory::instance();
  ModemFactory::instance();
  Mixer::MixerFactory::instance();
  ExtFactory::instance();
  MccFactory::instance();
  EchoFactory::instance();
  VoiceFactory::instance();
  T38SoftFactory::instance();
  IsdnFactory::instance();
  RtpLEMZFactory::instance();
  RtpED137Factory::instance();
  HdlcSlotFactory::instance();
}

void RunDaemon() {
  Daemon::Params params;
  std::ostringstream name;
  name << "orx-" << Version::current;
  params.name = name.str();
  Daemon::Init(params);
}

// The order of binding is the order in which every command is offered.
void BindServices() {
  ctrlServer.Bind(&HeartBeatCtl::instance());
  ctrlServer.Bind(&Slots::instance());
  ctrlServer.Bind(&HwTests::instance());
  ctrlServer.Bind(&BusCtl::instance());
  ctrlServer.Bind(&E1Ctl::instance());
  ctrlServer.Bind(&spiCtrl::instance());
  ctrlServer.Bind(&MonitoringCtl::instance());
}

// A configuration that cannot be read leaves the defaults in force; only a missing one is
// normal enough to pass unmentioned.
void ReadConfiguration(IniFile::File& config) {
  const std::string path = Path::board(configFile);
  if (config.Open(path)) {
    traces = TraceCtl();
    traces.Configure(*config["traces"]);
  } else if (errno == EFBIG) {
    std::cerr << "configuration " << path << " not read: larger than " << IniFile::File::kMaxSize
              << " bytes; defaults apply" << std::endl;
  } else if (errno != ENOENT) {
    std::cerr << "configuration " << path << " not read: " << std::strerror(errno)
              << "; defaults apply" << std::endl;
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  // Each log line in one write, until daemon mode sends the streams elsewhere.
  LineStreamBuf::UseForStandardStreams();
  if (!Path::make_root_absolute()) {
    std::cerr << "ORVEXD_ROOT " << Path::root() << " is relative and the working directory "
              << "cannot be read: " << std::strerror(errno) << std::endl;
    return 2;
  }
  // A root that is no directory stops the start, once the command line has had its say (help
  // and version need no board); no configuration is looked for under it.
  const bool rooted = Path::root_is_directory();
  const int root_error = errno;
  IniFile::File config;
  if (rooted) ReadConfiguration(config);

  Signals::Install();

  CommandLine line;
  int status = ParseCommandLine(argc, argv, line, std::cout, std::cerr,
                                [] { BusCtl::instance().DisableControl(); });
  if (status >= 0) return status;
  if (!rooted) {
    std::cerr << "ORVEXD_ROOT " << Path::root() << ": " << std::strerror(root_error)
              << "; not started" << std::endl;
    return 1;
  }

  // One daemon serves a root: a second one would take the board from under it.
  DaemonLock lock("server");
  switch (lock.take()) {
    case DaemonLock::kTaken:
      break;
    case DaemonLock::kServed:
      std::cerr << "another orvexd serves this root (" << lock.path() << " is locked); not started"
                << std::endl;
      return 1;
    case DaemonLock::kFailed:
      std::cerr << "lock " << lock.path() << ": " << WrittenFile::failure(errno)
                << "; started without it" << std::endl;
      break;
  }

  // What a daemon that did not clean up left running still holds channels and modems.
  ChildGroups::start();
  BuildSlotFactories();
  HwMux::instance();
  IdleFixedOutputs();
  // Configured from the file as read, an empty one included.
  MonitoringCtl::instance().Configure(config);
  IniFile::ReportIgnored(config, std::cerr);

  if (line.daemon) RunDaemon();

  Linux::Run pid_file("server");
  std::cout << "Starting server [" << Version::current << "], port=" << line.port << std::endl;

  BindServices();
  ChildWait::Activate();
  Dpc check_signals;
  check_signals.Bind(new DpcHandler1(CheckSignals));
  check_signals.Activate();

  if (!ctrlServer.Activate(new Control::AcceptorNetCheckConnection(line.port)))
    std::cerr << "control server: no acceptor on port " << line.port << std::endl;
  multiplexer.run(true, true);
  ctrlServer.Deactivate();

  check_signals.Deactivate();
  check_signals.Bind(nullptr);
  return 0;
}
