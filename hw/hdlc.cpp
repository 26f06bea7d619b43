#include "hw/hdlc.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <poll.h>
#include <unistd.h>

#include "base/device.h"
#include "base/ext_header.h"
#include "base/trace_ctl.h"
#include "hw/hw_mux.h"
#include "hw/mcc_channel.h"

namespace {

constexpr uint32_t kRxPacketSize = 512;
constexpr uint32_t kRxThreshold = 1;
constexpr uint32_t kTxThreshold = 4;

// The controller mode of each channel type.
constexpr int kModes[] = {3, 0, 1};

class NullNotify : public HDLC::Notify {
 public:
  void on_hdlc_receive(Packet&) override {}
  void on_hdlc_error(Cause::Type) override {}
  void on_hdlc_ready() override {}
};

NullNotify stub;

}  // namespace

HDLC::HDLC() : HDLC(HwMux::instance()) {}

HDLC::HDLC(HwMux& mux) : mux_(mux) { unbind(); }

HDLC::~HDLC() { release_channel(); }

void HDLC::unbind() { notify = &stub; }

void HDLC::PutHeader(std::ostream& os) const {
  os << "hdlc [" << trunk << "/" << param_timeslot << "]: ";
}

bool HDLC::activate() {
  // Outputs that other slots fed from the channel: a reopen that gets the same channel back
  // feeds them again.
  const int previous = channel_;
  const std::vector<int> others = others_fed();
  deactivate();
  switch_refused_ = false;
  txSU = txDiscard = txError = txOverflow = rxSU = 0;
  if (type < 0 || type > 2) {
    std::cerr << ext::header(this) << "no controller mode for channel type " << type << std::endl;
    return false;
  }
  std::ostringstream header;
  PutHeader(header);
  Fd fd = OpenMccChannel(header.str(), O_RDWR | O_NONBLOCK,
                         {static_cast<uint32_t>(kModes[type]), kRxPacketSize, 0, kRxThreshold,
                          kTxThreshold});
  if (!fd) return false;
  int channel = Device::ioctl(fd.get(), MccIoctl::kTimeslot, 0ul);
  if (channel < 0) {
    std::cerr << ext::header(this) << "MCC_TIMESLOT fail: " << std::strerror(errno) << std::endl;
    return false;
  }
  channel_ = channel;
  transmits_to_ = transmit_channel();
  // A channel the switch does not wire carries no line: it goes back (the descriptor closes).
  // No time slot (-1) asks for no path: the channel is joined to another on the board itself.
  const auto wired = [this](int input, int output) {
    return input < 0 || output < 0 || mux_.Connect(input, output);
  };
  // Outputs whose idling the switch refused when the channel's last owner let it go still carry
  // it: this owner's frames would go out there too.
  const bool unshared = channel == previous || mux_.Release(channel);
  if (!unshared || !wired(channel, transmits_to_) || !wired(tsA, channel)) {
    release_channel();
    switch_refused_ = true;
    return false;
  }
  if (channel == previous) {
    for (int output : others) mux_.Connect(channel, output);
  }
  event.Bind("HDLC::OnEvent", &HDLC::on_event, this);
  event.Schedule(std::move(fd), POLLIN | POLLOUT);
  ready = false;
  ++generation_;
  if (traces.signallingHdlc) std::clog << ext::header(this) << "activated" << std::endl;
  return true;
}

bool HDLC::deactivate() {
  const bool idled = release_channel();
  event.Release();
  ready = false;
  ++generation_;
  if (traces.signallingHdlc) std::clog << ext::header(this) << "deactivated" << std::endl;
  return idled;
}

bool HDLC::hdlc_transmit(Packet& frame) {
  unsigned length = frame.length();
  if (length == 0) return true;
  if (!is_open()) {
    ++txDiscard;
    return false;
  }
  if (traces.signallingHdlc) std::clog << "HDLC[" << trunk << "]: tx " << frame.text() << std::endl;
  const Packet& bytes = frame;
  for (;;) {
    if (::write(event.fd().get(), bytes->data, length) >= 0) {
      ++txSU;
      return true;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      ready = false;
      event.set_events(POLLIN | POLLOUT);
    } else {
      ++txError;
    }
    return false;
  }
}

void HDLC::on_event(int, short revents) {
  unsigned generation = generation_;
  if (revents & (POLLIN | POLLERR | POLLHUP)) {
    do_read();
    if (generation != generation_) return;
    // A hang-up with nothing left to read: the channel is gone.
    if (revents & (POLLERR | POLLHUP)) {
      read_failed(EPIPE);
      return;
    }
  }
  if ((revents & POLLOUT) && !ready) {
    ready = true;
    event.set_events(POLLIN);
    notify->on_hdlc_ready();
  }
}

void HDLC::do_read() {
  if (traces.signallingHdlc) std::clog << ext::header(this) << "do_read" << std::endl;
  if (!is_open()) {
    std::clog << ext::header(this) << "do_read: !m_event.IsActive()" << std::endl;
    return;
  }
  unsigned generation = generation_;
  for (;;) {
    Packet packet;
    packet.reserve_head(0);
    ssize_t n = ::read(event.fd().get(), packet->tail, packet._tailroom());
    if (n > 0) {
      packet.put(static_cast<unsigned>(n));
      if (traces.signallingHdlc) {
        std::clog << "HDLC[" << trunk << "]: rx " << packet.text() << std::endl;
      }
      ++rxSU;
      notify->on_hdlc_receive(packet);
      if (generation != generation_) return;
      continue;
    }
    if (n == 0) return;  // no frame: the drain ends
    if (errno == EINTR) continue;
    if (errno != EAGAIN) read_failed(errno);
    return;
  }
}

std::vector<int> HDLC::others_fed() const {
  std::vector<int> fed = mux_.outputs_of(channel_);
  fed.erase(std::remove(fed.begin(), fed.end(), transmits_to_), fed.end());
  return fed;
}

bool HDLC::release_channel() {
  if (channel_ < 0) return true;
  const bool idled = mux_.Release(channel_);
  channel_ = -1;
  transmits_to_ = -1;
  return idled;
}

void HDLC::read_failed(int error) {
  std::cerr << ext::header(this) << "read error: " << std::strerror(error) << std::endl;
  deactivate();
  notify->on_hdlc_error(Notify::Cause::read_error);
}
