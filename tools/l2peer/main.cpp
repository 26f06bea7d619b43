// orvex-l2peer lapd pri|bri user|network [LOG]
//
// One LAPD link on one HDLC channel of the board under $ORVEXD_ROOT (the simulated board, through
// the device seam), driven by lines on standard input and reporting on standard output, one
// flushed line each, hex in lower case:
//   in:  up (DL-ESTABLISH), down (DL-RELEASE), tx HEX (DL-DATA), info
//   out: channel N (first, the channel's switch channel), up, down TEXT, rx HEX, status TEXT,
//        flow busy|ready, info VALUE (the link information in value notation, on one line)
// The link's log goes to standard error, at level LOG (default 0). The program ends at the end
// of its input. Two of them joined with the simulator's `mcc join` make a D channel.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <string>

#include "base/device.h"
#include "base/event.h"
#include "base/multiplexer.h"
#include "hw/hdlc.h"
#include "hw/mcc_records.h"
#include "l2/isdn/lapd.h"
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

class Peer : public ProtocolsList, public ISDN::LAPD::Notify {
 public:
  Peer(ISDN::Side::type side, bool bri, unsigned log) : lapd_(new ISDN::LAPD(side, log)) {
    hdlc_.type = bri ? 2 : 1;
    hdlc_.notify = lapd_;
    lapd_->hdlc = &hdlc_;
    lapd_->notify = this;
    if (bri) lapd_->change_to_bri();
    add_protocol_tail(lapd_);
  }

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
  void OnLAPD_FlowStatusChange(ISDN::LAPD* l) override {
    say(l->flow_status() == ISDN::LAPD::FlowStatus::busy ? "flow busy" : "flow ready");
  }

 private:
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
      lapd_->activate();
    } else if (line == "down") {
      lapd_->deactivate();
    } else if (line.rfind("tx ", 0) == 0 && is_hex(line.substr(3))) {
      Packet p;
      lapd_->prepare_head(p);
      for (size_t i = 3; i + 1 < line.size(); i += 2)
        p.put8(static_cast<unsigned char>(std::stoul(line.substr(i, 2), nullptr, 16)));
      lapd_->message(p);
    } else if (line == "info") {
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
      say("info " + one_line);
    } else if (!line.empty()) {
      std::cerr << "orvex-l2peer: unknown command: " << line << std::endl;
    }
  }

  HDLC hdlc_;
  ISDN::LAPD* lapd_;
  Event input_;
  std::string pending_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string usage = "usage: orvex-l2peer lapd pri|bri user|network [LOG]";
  if (argc < 4 || argc > 5 || std::string(argv[1]) != "lapd") {
    std::cerr << usage << std::endl;
    return 2;
  }
  const std::string rate = argv[2], side = argv[3];
  if ((rate != "pri" && rate != "bri") || (side != "user" && side != "network") ||
      (argc == 5 &&
       (!*argv[4] || std::string(argv[4]).find_first_not_of("0123456789") != std::string::npos))) {
    std::cerr << usage << std::endl;
    return 2;
  }
  const unsigned log = argc == 5 ? unsigned(std::stoul(argv[4])) : 0;
  std::clog.rdbuf(std::cerr.rdbuf());
  Peer peer(side == "user" ? ISDN::Side::user : ISDN::Side::network, rate == "bri", log);
  if (!peer.start()) return 1;
  multiplexer.run(false, true);
  return 0;
}
