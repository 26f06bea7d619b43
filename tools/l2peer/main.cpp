// orvex-l2peer: one link-layer end on one HDLC channel of the board under $ORVEXD_ROOT (the
// simulated board, through the device seam), driven by lines on standard input. The help text
// below documents the program and its line protocol.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "base/device.h"
#include "base/event.h"
#include "base/multiplexer.h"
#include "hw/hdlc.h"
#include "hw/mcc_records.h"
#include "base/ext_header.h"
#include "l2/isdn/lapd.h"
#include "l2/isdn/lapd_nt.h"
#include "l2/ss7/slc.h"
#include "proto/protocol.h"

namespace {

std::string hex(const Packet& p) {
  std::string out;
  char octet[3];
  for (unsigned i = 0; i < p.length(); ++i) {
    std::snprintf(octet, sizeof octet, "%02x", p->data[i]);
    out += octet;
  }
  return out;
}

bool is_hex(const std::string& s) {
  return s.size() % 2 == 0 && s.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

void say(const std::string& line) { std::cout << line << std::endl; }

// One layer on one HDLC channel of the board, driven by the lines of standard input.
class Peer : public ProtocolsList {
 public:
  // Opens the channel and starts reading standard input; false when the board refuses.
  bool start() {
    if (!hdlc_.activate()) return false;
    const int channel = Device::ioctl(hdlc_.event.fd().get(), MccIoctl::kTimeslot, 0ul);
    if (channel < 0) {
      std::cerr << "orvex-l2peer: MCC_TIMESLOT: " << std::strerror(errno) << std::endl;
      return false;
    }
    say("channel " + std::to_string(channel));
    input_.Bind("Peer::on_input", &Peer::on_input, this);
    Fd input(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0));
    if (!input || !input.NonBlock()) {
      std::cerr << "orvex-l2peer: standard input: " << std::strerror(errno) << std::endl;
      return false;
    }
    input_.Schedule(std::move(input), POLLIN);
    return true;
  }

  void on_activated(Protocol*) override { say("up"); }
  void on_deactivated(Protocol*, Protocol_status status) override {
    say("down " + status->message());
  }
  void on_message(Packet& p) override { say("rx " + hex(p)); }
  void on_status(Protocol_status status) override { say("status " + status->message()); }

 protected:
  // The layer the commands drive, owned by this stack.
  Protocol* layer_ = nullptr;
  HDLC hdlc_;

 private:
  // The answer to "info", without the word.
  virtual std::string info() = 0;

  void on_input(int fd, short revents) {
    if (!(revents & (POLLIN | POLLHUP | POLLERR))) return;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      input_.Release();
      multiplexer.terminate();
      return;
    }
    pending_.append(buffer, size_t(n));
    for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      const std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      command(line);
    }
  }

  void command(const std::string& line) {
    if (line == "up") {
      layer_->activate();
    } else if (line == "down") {
      layer_->deactivate();
    } else if (line.rfind("tx ", 0) == 0 && is_hex(line.substr(3))) {
      Packet p;
      layer_->prepare_head(p);
      for (size_t i = 3; i + 1 < line.size(); i += 2)
        p.put8(static_cast<unsigned char>(std::stoul(line.substr(i, 2), nullptr, 16)));
      layer_->message(p);
    } else if (line == "info") {
      say("info " + info());
    } else if (!line.empty()) {
      std::cerr << "orvex-l2peer: unknown command: " << line << std::endl;
    }
  }

  Event input_;
  std::string pending_;
};

class LapdPeer : public Peer, public ISDN::LAPD::Notify {
 public:
  LapdPeer(ISDN::Side::type side, bool bri, unsigned log) : lapd_(new ISDN::LAPD(side, log)) {
    hdlc_.type = bri ? 2 : 1;
    hdlc_.notify = lapd_;
    lapd_->hdlc = &hdlc_;
    lapd_->notify = this;
    if (bri) lapd_->change_to_bri();
    // A basic-rate terminal starts without a TEI and asks for one.
    if (bri && side == ISDN::Side::user) lapd_->mdl_remove();
    add_protocol_tail(lapd_);
    layer_ = lapd_;
  }

  void OnLAPD_FlowStatusChange(ISDN::LAPD* l) override {
    say(l->flow_status() == ISDN::LAPD::FlowStatus::busy ? "flow busy" : "flow ready");
  }

 private:
  std::string info() override {
    ACP::IsdnLinkInfo info;
    lapd_->GetInfo(info);
    std::ostringstream text;
    text << info;
    std::string one_line;
    for (char c : text.str()) {
      const bool blank = c == '\n' || c == ' ';
      if (!blank || (!one_line.empty() && one_line.back() != ' ')) one_line += blank ? ' ' : c;
    }
    while (!one_line.empty() && one_line.back() == ' ') one_line.pop_back();
    return one_line;
  }

  ISDN::LAPD* lapd_;
};

// The network side of a basic-rate channel: its frames go to the channel from the stack's
// transmit, the channel's frames into its receive.
class NtPeer : public Peer, public HDLC::Notify {
 public:
  explicit NtPeer(unsigned log) : nt_(new ISDN::LAPD_NT) {
    hdlc_.type = 2;
    hdlc_.notify = this;
    nt_->set_log(log);
    add_protocol_tail(nt_);
    layer_ = nt_;
  }

  void transmit(Packet& p) override { hdlc_.hdlc_transmit(p); }
  void on_hdlc_receive(Packet& frame) override { nt_->receive(frame); }
  void on_hdlc_error(HDLC::Notify::Cause::Type) override { say("down channel failed"); }
  void on_hdlc_ready() override {}

 private:
  // The terminals' entries that hold a TEI.
  std::string info() override {
    std::ostringstream text;
    for (unsigned i = 0; i < ISDN::LAPD_NT::kUsers; ++i) {
      const ISDN::LAPD_NT_user& u = nt_->user(i);
      if (u.state() == ISDN::LAPD_NT_user::unassigned) continue;
      if (text.tellp() > 0) text << ' ';
      u.PutHeader(text);
    }
    return text.str();
  }

  ISDN::LAPD_NT* nt_;
};

// An SS7 link on a signalling-link channel.
class Ss7Peer : public Peer {
 public:
  explicit Ss7Peer(bool emergency) : slc_(new SS7::SLC) {
    hdlc_.type = 0;
    hdlc_.notify = slc_;
    slc_->hdlc = &hdlc_;
    slc_->emergency = emergency;
    add_protocol_tail(slc_);
    layer_ = slc_;
  }

 private:
  // The state, then the eight statistics counters.
  std::string info() override {
    const SS7::SLC::Statistics& s = slc_->statistics();
    std::ostringstream text;
    text << ext::quoted(slc_->state());
    for (uint32_t c : {s.su_sent, s.su_received, s.octets_sent, s.octets_received, s.tb_overflows,
                       s.rtb_size, s.retransmissions, s.nacks_sent})
      text << ' ' << c;
    return text.str();
  }

  SS7::SLC* slc_;
};

bool is_number(const char* text) {
  return *text && std::string(text).find_first_not_of("0123456789") == std::string::npos;
}

const char help_text[] =
    "usage: orvex-l2peer lapd pri|bri user|network [LOG] | nt [LOG] | ss7 [emergency] | -h\n"
    "\n"
    "One link-layer end on one HDLC channel of the board under $ORVEXD_ROOT (a simulated board):\n"
    "  lapd RATE SIDE   a LAPD link, primary (pri) or basic rate (bri), user or network side;\n"
    "                   a basic-rate user side asks for its TEI\n"
    "  nt               the network side of a basic-rate channel, with TEI management\n"
    "  ss7              an SS7 signalling link; emergency proving with \"emergency\"\n"
    "  LOG              the layer's log level (default 0); the log goes to standard error\n"
    "\n"
    "Standard input, one command a line:\n"
    "  up               activate the link\n"
    "  down             deactivate it\n"
    "  tx HEX           send a layer-3 message (lapd, nt) or an MSU (ss7), in hex\n"
    "  info             report the link's information\n"
    "The program ends at the end of its input.\n"
    "\n"
    "Standard output, one flushed line each, hex in lower case:\n"
    "  channel N        first: the channel's switch channel\n"
    "  up               the link is up\n"
    "  down TEXT        the link went down, and why\n"
    "  rx HEX           a layer-3 message or MSU received\n"
    "  status TEXT      a status the layer reports\n"
    "  flow busy|ready  the LAPD link's flow control (lapd)\n"
    "  info TEXT        the answer to info: lapd the link information in value notation on one\n"
    "                   line, nt the entries that hold a TEI, ss7 the state and the eight\n"
    "                   statistics counters\n"
    "\n"
    "Two of them on channels joined with the simulator's \"mcc join\" make a link.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 2 && (mode == "-h" || mode == "--help")) {
    std::cout << help_text;
    return 0;
  }
  std::unique_ptr<Peer> peer;
  std::clog.rdbuf(std::cerr.rdbuf());
  if (mode == "lapd" && (argc == 4 || (argc == 5 && is_number(argv[4])))) {
    const std::string rate = argv[2], side = argv[3];
    if ((rate == "pri" || rate == "bri") && (side == "user" || side == "network"))
      peer.reset(new LapdPeer(side == "user" ? ISDN::Side::user : ISDN::Side::network,
                              rate == "bri", argc == 5 ? unsigned(std::stoul(argv[4])) : 0));
  } else if (mode == "nt" && (argc == 2 || (argc == 3 && is_number(argv[2])))) {
    peer.reset(new NtPeer(argc == 3 ? unsigned(std::stoul(argv[2])) : 0));
  } else if (mode == "ss7" && (argc == 2 || (argc == 3 && std::string(argv[2]) == "emergency"))) {
    peer.reset(new Ss7Peer(argc == 3));
  }
  if (!peer) {
    std::cerr << help_text;
    return 2;
  }
  if (!peer->start()) return 1;
  multiplexer.run(false, true);
  return 0;
}
