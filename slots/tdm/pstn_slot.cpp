#include "slots/tdm/pstn_slot.h"

#include <iostream>

#include "slots/tdm/link_slot.h"

namespace {

constexpr unsigned kUpdateMs = 3000;
constexpr int kMaxTrunk = 3;
constexpr int kMaxTimeslot = 31;
// HDLC channel types.
constexpr int kSs7Channel = 0;
constexpr int kPriChannel = 1;
constexpr int kBriChannel = 2;

PstnSlot::Mode ModeOf(const LGCP::PstnParams& p) {
  if (!p.is_isdn()) return PstnSlot::kSs7OrCas;
  const LGCP::IsdnParams& isdn = p.get_isdn();
  if (isdn.get_type().getValue() != LGCP::IsdnType::bri) return PstnSlot::kPri;
  return isdn.get_side().is_network() ? PstnSlot::kBriNetwork : PstnSlot::kBriUser;
}

int TrunkOf(const LGCP::PstnParams& p) {
  if (p.is_isdn()) return p.get_isdn().get_trunk().getValue();
  if (p.is_ss7()) return p.get_ss7().get_trunk().getValue();
  return p.get_cas().get_trunk().getValue();
}

}  // namespace

const TimerSpec::Spec<PstnSlot> PstnSlot::TUpdatespec{&PstnSlot::OnUpdateTimer, kUpdateMs};

PstnSlot::PstnSlot(const LGCP::PstnParams& params)
    : mode(ModeOf(params)),
      trunk_index(TrunkOf(params) - 1),
      lapd(mode == kPri || mode == kBriUser ? new ISDN::LAPD(ISDN::Side::user, 0) : nullptr) {
  hdlc.notify = this;
  if (lapd) {
    const LGCP::IsdnParams& p = params.get_isdn();
    lapd->side = p.get_side().is_network() ? ISDN::Side::network : ISDN::Side::user;
    lapd->trunk = static_cast<uint32_t>(p.get_trunk().getValue());
    lapd->log = static_cast<unsigned>(p.get_log().getValue());
    lapd->hdlc = &hdlc;
    lapd->notify = this;
    hdlc_notify_ = lapd;
    hdlc.log_level = p.get_log().getValue();
    hdlc.trunk = lapd->trunk;
    if (mode == kBriUser) lapd->change_to_bri();
    add_protocol_tail(lapd);
  }
  update_timer_.set(this, TUpdatespec);
}

PstnSlot::~PstnSlot() {
  // The channel's callbacks stop before the layer goes; the channel goes after it, as the layer
  // may still reach it while it is deleted.
  hdlc.unbind();
  delete lapd;
}

void PstnSlot::on_hdlc_receive(Packet& frame) {
  if (hdlc_notify_) hdlc_notify_->on_hdlc_receive(frame);
}

void PstnSlot::on_hdlc_error(HDLC::Notify::Cause::Type cause) {
  if (hdlc_notify_) hdlc_notify_->on_hdlc_error(cause);
}

void PstnSlot::on_hdlc_ready() {
  if (hdlc_notify_) hdlc_notify_->on_hdlc_ready();
}

void PstnSlot::report_isdn() {
  if (lapd) LinkSlot::ReportIsdnLinkInfo(*this, *lapd);
}

void PstnSlot::on_activated(Protocol*) {
  report_isdn();
  OnActivated();
}

void PstnSlot::on_deactivated(Protocol*, Protocol_status) {
  report_isdn();
  OnUpdateTimer();
  OnDeactivated();
}

void PstnSlot::on_message(Packet& p) {
  const unsigned char* data = static_cast<const Packet&>(p)->data;
  OnUserData(std::vector<char>(data, data + p.length()));
}

void PstnSlot::OnLAPD_FlowStatusChange(ISDN::LAPD* l) {
  LGCP::IoctlResponse r;
  r.select_isdnLinkStatus() = l->flow_status() == ISDN::LAPD::FlowStatus::busy
                                  ? LGCP::IsdnLinkStatus::congested
                                  : LGCP::IsdnLinkStatus::normal;
  OnIoctlResponse(r);
}

void PstnSlot::OnTrunkStatus(unsigned, const ACP::TrunkState::NamedNumber&) {}

bool PstnSlot::IActivate(const TERM::TermActivateParams&) {
  activate_link();
  return true;
}

bool PstnSlot::IDeactivate() {
  deactivate();
  return true;
}

bool PstnSlot::IUserData(const std::vector<char>& data) {
  const char* refusal = lapd ? LinkSlot::LapdRefusal(*lapd) : "no link layer";
  return LinkSlot::SendUserData(*this, *this, refusal, data);
}

bool PstnSlot::Ioctl(const LGCP::IoctlParams&) { return false; }

void PstnSlot::activate_link() {
  if (!hdlc.activate()) {
    OnDeactivated();
    return;
  }
  activate();
}

bool PstnSlot::IHwConnectReceiver(Slot& peer) {
  if (!basic_rate()) {
    // Signed: a peer that is not on a trunk (-1) passes.
    const int trunk = peer.GetTrunk();
    if (trunk > kMaxTrunk) {
      std::cerr << "pstn-slot: invalid trunk number: " << trunk << std::endl;
      return false;
    }
    const int timeslot = peer.GetTrunkTimeSlot();
    if (timeslot > kMaxTimeslot) {
      std::cerr << "pstn-slot: invalid timeslot: " << timeslot << std::endl;
      return false;
    }
    hdlc.param_trunk = static_cast<uint32_t>(trunk);
    hdlc.param_timeslot = static_cast<uint32_t>(timeslot);
  }
  hdlc.tsA = peer.IGetTransmitChannel();
  hdlc.type = mode == kSs7OrCas ? kSs7Channel : mode == kPri ? kPriChannel : kBriChannel;
  if (basic_rate() && hdlc.tsB == -1) return true;
  activate_link();
  return true;
}

bool PstnSlot::IHwConnectTransmitter(Slot& peer) {
  if (!basic_rate()) return true;
  hdlc.tsB = peer.IGetReceiveChannel();
  if (hdlc.tsA != -1) activate_link();
  return true;
}

bool PstnSlot::IHwDisconnectTransmitter(Slot& peer) {
  if (basic_rate()) deactivate();
  return Slot::IHwDisconnectTransmitter(peer);
}

bool PstnSlot::IHwDisconnectReceiver(Slot& peer) {
  deactivate();
  return Slot::IHwDisconnectReceiver(peer);
}

void PstnSlot::OnUpdateTimer() {
  update_timer_.set(this, TUpdatespec);
  LinkSlot::ReportHdlcLinkInfo(*this, hdlc);
  report_isdn();
}
