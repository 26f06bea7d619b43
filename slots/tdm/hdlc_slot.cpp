#include "slots/tdm/hdlc_slot.h"

#include <algorithm>
#include <iostream>

#include "asn1/abstract_data.h"
#include "asn1/per_encoder.h"
#include "base/ext_header.h"
#include "base/trace_ctl.h"
#include "proto/control_service.h"
#include "slotbase/device_values.h"
#include "slots/tdm/link_slot.h"

namespace {

constexpr unsigned kUpdateMs = 3000;
constexpr unsigned kResponseMs = 100;
constexpr unsigned kHeaderSize = 3;
// Octet 4 of a received frame with this bit set lets its package wait for more.
constexpr unsigned kMoreOctet = 4;
constexpr unsigned char kMoreBit = 0x80;
constexpr int kDataChannel = 1;
// An hdlcPackages signal must fit one frame of the control connection. What a package adds to the encoded signal
// beyond its body, at most (preamble, a fragmented length determinant, alignment), and what the
// message adds around the list.
constexpr unsigned kPackageOverhead = 8;
constexpr unsigned kSignalOverhead = 64;
constexpr unsigned kSignalBudget = Control::Service::max_message - kSignalOverhead;

}  // namespace

const TimerSpec::Spec<HdlcSlot> HdlcSlot::TUpdatespec{&HdlcSlot::OnUpdateTimer, kUpdateMs};

HdlcSlot::HdlcSlot(const LGCP::HdlcParams& params)
    : trunk(static_cast<int>(static_cast<uint32_t>(params.get_trunk().getValue()) - 1u)),
      address(static_cast<uint16_t>(params.get_address().getValue())) {
  hdlc.notify = this;
  hdlc.trunk = static_cast<uint32_t>(params.get_trunk().getValue());
  hdlc.param_trunk = hdlc.trunk;
  hdlc.log_level = params.get_log().getValue();
  if (traces.signallingHdlc) {
    std::clog << ext::header(this) << "trunk=" << trunk << ", address=" << address << std::endl;
  }
  update_timer.set(this, TUpdatespec);
  response.select_hdlcPackages();
}

HdlcSlot::~HdlcSlot() {
  hdlc.unbind();
  hdlc.deactivate();
}

void HdlcSlot::PutHeader(std::ostream& os) const { os << "HdlcSlot[" << trunk << "/*]: "; }

bool HdlcSlot::IActivate(const TERM::TermActivateParams&) {
  // A path that a later connection made onto the time slot keeps it: the channel would take its
  // place. So does another slot's HDLC channel that transmits there now.
  if (!LinkSlot::PathFree(*this, hdlc.tsA) || !LinkSlot::ClaimLine(*this, hdlc.tsA)) {
    OnDeactivated();
    return true;
  }
  iactivate();
  return true;
}

bool HdlcSlot::IDeactivate() {
  OnUpdateTimer();
  return true;
}

void HdlcSlot::iactivate() {
  if (hdlc.tsA < 0) {
    // Never connected: there is no channel to run on.
    refusalLogs.write(std::cerr, this, "no channel to activate HDLC on");
    OnDeactivated();
    return;
  }
  if (traces.signallingHdlc) {
    std::clog << ext::header(this) << "Try to activate HDCL, params.tdm = " << hdlc.tsA
              << std::endl;
  }
  if (!hdlc.activate()) {
    // The channel is closed: it sends on no time slot.
    LinkSlot::ReleaseLine(*this);
    OnDeactivated();
    return;
  }
  if (traces.signallingHdlc)
    std::clog << ext::header(this) << "HDLC activated successfully" << std::endl;
}

bool HdlcSlot::connect(const char* operation, int channel, bool replacing_source,
                       bool restoring) {
  if (traces.signallingHdlc) std::clog << ext::header(this) << operation << std::endl;
  // A peer without a channel of its own gives the channel no line: it stays where it is.
  if (channel == -1) return true;
  // The path of a refused reconnection put back: a channel that was closed there stays closed.
  if (restoring && !left_open_) {
    hdlc.tsA = channel;
    return true;
  }
  // One channel serves every connection; another slot's HDLC channel on that time slot keeps it.
  if (!LinkSlot::OneLine(*this, channel, replacing_source)) return false;
  if (!LinkSlot::ClaimLine(*this, channel)) return false;
  const int held = hdlc.tsA;
  hdlc.tsA = channel;
  hdlc.type = kDataChannel;
  iactivate();
  if (!hdlc.switch_refused()) return true;
  // The connection is refused: the slot keeps the time slot it had.
  hdlc.tsA = held;
  return false;
}

bool HdlcSlot::IHwMayConnectTransmitter(Slot& sink) {
  // The sink's source gives the line up as its path goes.
  return LinkSlot::MayRunOn(*this, sink.IGetReceiveChannel(), false, sink.source);
}

bool HdlcSlot::IHwMayConnectReceiver(Slot& from) {
  return LinkSlot::PathFree(*this, from.IGetTransmitChannel()) &&
         LinkSlot::MayRunOn(*this, from.IGetTransmitChannel(), true, nullptr);
}

bool HdlcSlot::IHwConnectTransmitter(Slot& sink) {
  return connect("IHwConnectTransmitter", sink.IGetReceiveChannel(), false, sink.source == this);
}

bool HdlcSlot::IHwConnectReceiver(Slot& from) {
  // The channel would transmit to the source's own output, which the source's source may feed.
  if (!LinkSlot::PathFree(*this, from.IGetTransmitChannel())) return false;
  // The source this one replaces leaves.
  return connect("IHwConnectReceiver", from.IGetTransmitChannel(), true, source == &from);
}

bool HdlcSlot::IHwDisconnectTransmitter(Slot& sink) {
  // The channel's release idles the line it runs on, once: the refusal of that idle byte is the
  // disconnection's. A line without the channel is idled as any sink's.
  const int line = sink.IGetReceiveChannel();
  if (line != hdlc.tsA || !hdlc.is_open()) Slot::IHwDisconnectTransmitter(sink);
  return leave_line(line, false, &sink);
}

bool HdlcSlot::IHwDisconnectReceiver(Slot& from) {
  Slot::IHwDisconnectReceiver(from);
  return leave_line(from.IGetTransmitChannel(), true, nullptr);
}

bool HdlcSlot::leave_line(int line, bool source_leaves, const Slot* sink_leaves) {
  // A connection the channel does not run on (a peer without a channel) takes nothing with it.
  bool idled = true;
  left_open_ = line == hdlc.tsA && hdlc.is_open();
  if (line == hdlc.tsA) {
    idled = hdlc.deactivate();
    LinkSlot::ReleaseLine(*this);
  }
  // With the last connection to its time slot the slot gives it up: an activation then finds
  // none.
  const int held = hdlc.tsA;
  const auto there = [held](int to) { return to == held; };
  if (!LinkSlot::PeerWhere(*this, there, source_leaves, sink_leaves)) hdlc.tsA = -1;
  return idled;
}

bool HdlcSlot::Ioctl(const LGCP::IoctlParams& params) {
  if (params.currentSelection() != LGCP::IoctlParams::e_hdlcPackages) return false;
  const auto& packages = params.get_hdlcPackages();
  std::vector<DeviceValue> sizes;
  for (const LGCP::HdlcPackage& package : packages) {
    sizes.push_back(DeviceValue{"package body length",
                                static_cast<int64_t>(package.get_body().size()), 0,
                                packet_max_size - kHeaderSize});
  }
  if (!Carries(sizes)) return false;
  // A connected slot's frames go to the line its connection leads to, or nowhere: a closed
  // channel takes none. A slot without a connection keeps them for the next one.
  if (!hdlc.is_open() && (source || !sinks.empty())) {
    refusalLogs.write(std::cerr, this, "packages refused: connected, the channel is closed");
    Slots::instance().Refuse(LGCP::ErrorCause::insufficientResources);
    return false;
  }
  // Frames the channel takes now leave room for the batch.
  if (hdlc.is_ready()) on_hdlc_ready();
  const unsigned room = ring.size() - ring.count();
  if (packages.size() > room) {
    refusalLogs.write(std::cerr, "transmit queue full", [&](std::ostream& os) {
      os << ext::header(this) << "transmit queue full: a batch of " << packages.size()
         << " refused, room for " << room;
    });
    Slots::instance().Refuse(LGCP::ErrorCause::insufficientResources);
    return false;
  }
  for (const LGCP::HdlcPackage& package : packages) {
    const ASN1::OCTET_STRING& body = package.get_body();
    Packet frame;
    frame.reserve_head(0);
    unsigned char* out = frame.put(kHeaderSize + static_cast<unsigned>(body.size()));
    out[0] = static_cast<unsigned char>(address >> 8);
    out[1] = static_cast<unsigned char>(address);
    out[2] = static_cast<uint8_t>(tx_sequence << 5) | rx_sequence;
    ++tx_sequence;
    std::copy(body.begin(), body.end(), out + kHeaderSize);
    if (traces.signallingHdlc) {
      std::clog << ext::header(this) << "enqueue package: " << frame.text() << std::endl;
    }
    ring.put(frame);
  }
  if (hdlc.is_ready()) on_hdlc_ready();
  return true;
}

void HdlcSlot::on_hdlc_ready() {
  Packet frame;
  while (ring.preview(&frame)) {
    if (!hdlc.hdlc_transmit(frame)) return;
    ring.get(frame);
    if (traces.signallingHdlc) {
      std::clog << ext::header(this) << "on_hdlc_ready " << frame.text() << std::endl;
    }
  }
}

void HdlcSlot::on_hdlc_receive(Packet& frame) {
  if (traces.signallingHdlc) {
    std::clog << ext::header(this) << "on_hdlc_receive " << frame.text() << std::endl;
  }
  // A frame too short to carry octet 4 cannot ask to wait.
  const bool more = frame.length() > kMoreOctet && (frame[kMoreOctet] & kMoreBit);
  enqResponce(frame);
  if (!more) {
    response_timer.reset();
    flushResponce();
  } else if (!response_timer.get()) {
    response_timer.set(kResponseMs, &HdlcSlot::flushResponce, this);
  }
}

void HdlcSlot::enqResponce(Packet& frame) {
  if (frame.length() < 2) {
    if (traces.signallingHdlc) {
      std::clog << ext::header(this) << "frame without an address dropped" << std::endl;
    }
    return;
  }
  const uint16_t to = frame.pull16_b();
  const uint8_t sequence = frame.length() > 0 ? frame.pull8() : 0;
  if (to != address) return;
  rx_sequence = sequence >> 5;
  const unsigned n = frame.length();
  // A longer string has no encoding, or the controller's decoder takes none: the whole signal
  // would be lost.
  const unsigned max_body = std::min<unsigned>(ASN1::MaximumStringSize,
                                               ASN1::PEREncoder::kMaxUnfragmented);
  if (n > max_body) {
    refusalLogs.write(std::cerr, "package too long for a signal", [&](std::ostream& os) {
      os << ext::header(this) << "package of " << n << " octets dropped, at most " << max_body
         << " fit a signal";
    });
    return;
  }
  // A signal holds as many packages as the controller's decoder takes and fits one TPKT frame;
  // a package that would overstep either goes into the next signal.
  auto& packages = response.get_hdlcPackages();
  if (packages.size() >= ASN1::MaximumArraySize ||
      response_octets_ + n + kPackageOverhead > kSignalBudget) {
    flushResponce();
  }
  LGCP::HdlcPackage package;
  const char* body = n ? reinterpret_cast<const char*>(frame.pull(n)) : "";
  package.get_body().assign(body, body + n);
  packages.push_back(package);
  response_octets_ += n + kPackageOverhead;
}

void HdlcSlot::flushResponce() {
  auto& packages = response.get_hdlcPackages();
  if (traces.signallingHdlc) {
    std::clog << ext::header(this) << "flushResponce: " << packages.size() << std::endl;
  }
  if (packages.size() > 0) OnIoctlResponse(response);
  packages.clear();
  response_octets_ = 0;
}

void HdlcSlot::on_hdlc_error(HDLC::Notify::Cause::Type) {
  std::clog << ext::header(this) << "on_hdlc_error" << std::endl;
  LinkSlot::ReleaseLine(*this);
  OnDeactivated();
}

void HdlcSlot::OnUpdateTimer() {
  update_timer.set(this, TUpdatespec);
  UpdateHDLC_Statistics();
}

void HdlcSlot::UpdateHDLC_Statistics() { LinkSlot::ReportHdlcLinkInfo(*this, hdlc); }
