#include "slots/tdm/pstn_slot.h"

#include <iostream>

#include "board/e1_ctl.h"
#include "slots/tdm/line_trunks.h"
#include "slots/tdm/link_slot.h"

namespace {

constexpr unsigned kUpdateMs = 3000;
constexpr int kMaxTrunk = E1Ctl::kTrunks - 1;
constexpr int kMaxTimeslot = 31;
// HDLC channel types.
constexpr int kSs7Channel = 0;
constexpr int kPriChannel = 1;
constexpr int kBriChannel = 2;
// The LAPD states in which the data link does nothing (Q.921 TEI unassigned, TEI assigned).
constexpr uint32_t kLapdTeiUnassigned = 0;
constexpr uint32_t kLapdTeiAssigned = 3;

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

void InvalidTrunk(LogThrottles& logs, int trunk) {
  logs.write(std::cerr, "invalid trunk number", [&](std::ostream& os) {
    PstnSlot::PutLogHeader(os);
    os << "invalid trunk number: " << trunk;
  });
}

}  // namespace

bool PstnSlot::TrunkInRange(const LGCP::PstnParams& params, LogThrottles& logs) {
  const Mode mode = ModeOf(params);
  const int trunk = TrunkOf(params);
  if (IsLineTrunk(mode == kBriUser || mode == kBriNetwork, trunk)) return true;
  InvalidTrunk(logs, trunk);
  return false;
}

const TimerSpec::Spec<PstnSlot> PstnSlot::TUpdatespec{&PstnSlot::OnUpdateTimer, kUpdateMs};

PstnSlot::PstnSlot(const LGCP::PstnParams& params)
    : mode(ModeOf(params)),
      trunk_index(static_cast<unsigned>(TrunkOf(params)) - 1u),
      slc(params.is_ss7() ? new SS7::SLC : nullptr),
      lapd(mode == kPri || mode == kBriUser ? new ISDN::LAPD(ISDN::Side::user, 0) : nullptr),
      lapd_nt(mode == kBriNetwork ? new ISDN::LAPD_NT : nullptr) {
  hdlc.notify = this;
  if (slc) {
    const LGCP::SS7Params& p = params.get_ss7();
    slc->hdlc = &hdlc;
    slc->trunk = static_cast<unsigned>(p.get_trunk().getValue());
    slc->slc = static_cast<unsigned>(p.get_slc().getValue());
    slc->dpc = static_cast<unsigned>(p.get_dpc().getValue());
    slc->emergency = p.get_emergency().getValue();
    hdlc_notify_ = slc;
    hdlc.trunk = slc->trunk;
    add_protocol_tail(slc);
  }
  if (lapd_nt) {
    lapd_nt->set_log(static_cast<unsigned>(params.get_isdn().get_log().getValue()));
    add_protocol_tail(lapd_nt);
  }
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
  delete slc;
  delete lapd;
  delete lapd_nt;
  paramLogs.flush(&PutLogHeader);
}

void PstnSlot::on_hdlc_receive(Packet& frame) {
  if (hdlc_notify_) hdlc_notify_->on_hdlc_receive(frame);
  if (lapd_nt) receive(frame);
}

void PstnSlot::transmit(Packet& p) {
  if (lapd_nt) hdlc.hdlc_transmit(p);
}

void PstnSlot::on_hdlc_error(HDLC::Notify::Cause::Type cause) {
  LinkSlot::ReleaseLine(*this);
  if (hdlc_notify_) hdlc_notify_->on_hdlc_error(cause);
}

void PstnSlot::on_hdlc_ready() {
  if (hdlc_notify_) hdlc_notify_->on_hdlc_ready();
}

void PstnSlot::report_isdn() {
  if (lapd) LinkSlot::ReportIsdnLinkInfo(*this, *lapd);
}

void PstnSlot::report_ss7() {
  if (!slc) return;
  const SS7::SLC::Statistics& s = slc->statistics();
  LGCP::IoctlResponse r;
  ACP::SS7LinkInfo& info = r.select_ss7LinkInfo();
  info.set_msuTxCount(static_cast<int32_t>(s.su_sent));
  info.set_msuRxCount(static_cast<int32_t>(s.su_received));
  info.set_octetsTx(static_cast<int32_t>(s.octets_sent));
  info.set_octetsRx(static_cast<int32_t>(s.octets_received));
  info.set_speedRx(0);
  info.set_speedTx(0);
  info.set_overflowCntr(static_cast<int32_t>(s.tb_overflows));
  info.set_rtbSize(static_cast<int32_t>(s.rtb_size));
  info.set_repeatCntr(static_cast<int32_t>(s.retransmissions));
  info.set_badSeqCntr(static_cast<int32_t>(s.nacks_sent));
  info.get_ss7state() = static_cast<ACP::SS7State::NamedNumber>(slc->state());
  OnIoctlResponse(r);
}

void PstnSlot::on_activated(Protocol*) {
  report_isdn();
  report_ss7();
  OnActivated();
}

void PstnSlot::on_deactivated(Protocol*, Protocol_status) {
  report_isdn();
  report_ss7();
  OnUpdateTimer();
  OnDeactivated();
}

void PstnSlot::on_message(Packet& p) { OnUserData(LinkSlot::Octets(p)); }

void PstnSlot::OnLAPD_FlowStatusChange(ISDN::LAPD* l) {
  LGCP::IoctlResponse r;
  r.select_isdnLinkStatus() = l->flow_status() == ISDN::LAPD::FlowStatus::busy
                                  ? LGCP::IsdnLinkStatus::congested
                                  : LGCP::IsdnLinkStatus::normal;
  OnIoctlResponse(r);
}

void PstnSlot::OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state) {
  if (!slc || trunk != trunk_index || state == last_trunk_state) return;
  last_trunk_state = state;
  slc->OnTrunkHardStatus(state == ACP::TrunkState::normal);
}

bool PstnSlot::IActivate(const TERM::TermActivateParams&) {
  // A layer at work keeps its channel: the layer would not start again on a new one, which then
  // stayed silent. An SS7 link in service reports itself activated again, one aligning goes on;
  // a LAPD takes the DL-ESTABLISH where it runs.
  if (hdlc.is_open() && layer_started()) {
    activate();
    return true;
  }
  // A path that a later connection made onto the time slot keeps it: the channel would take its
  // place.
  if (!LinkSlot::PathFree(*this, hdlc.transmit_channel())) {
    OnDeactivated();
    return true;
  }
  activate_link();
  return true;
}

bool PstnSlot::layer_started() const {
  if (slc) return slc->state() != SS7::SLC::State::idle;
  if (lapd) {
    const uint32_t state = lapd->full_state().state;
    return state != kLapdTeiUnassigned && state != kLapdTeiAssigned;
  }
  return false;
}

bool PstnSlot::IDeactivate() {
  deactivate();
  return true;
}

const char* PstnSlot::refusal(const std::vector<char>& data) const {
  if (lapd) return LinkSlot::LapdRefusal(*lapd, data.size());
  // A control frame holds less than 64 kilooctets.
  const unsigned size = static_cast<unsigned>(data.size());
  if (slc) return slc->refusal(size);
  if (lapd_nt) {
    if (!hdlc.is_open()) return LinkSlot::kChannelClosed;
    return lapd_nt->refusal(reinterpret_cast<const unsigned char*>(data.data()), size);
  }
  return "no link layer";
}

bool PstnSlot::IUserData(const std::vector<char>& data) {
  return LinkSlot::SendUserData(*this, *this, refusal(data), data);
}

bool PstnSlot::Ioctl(const LGCP::IoctlParams& params) {
  if (!slc) return false;
  if (params.currentSelection() == LGCP::IoctlParams::e_ss7RqBSN) {
    LGCP::IoctlResponse r;
    r.select_ss7BSN() = static_cast<int32_t>(slc->bsnt());
    OnIoctlResponse(r);
    return true;
  }
  if (params.currentSelection() != LGCP::IoctlParams::e_ss7Log) return false;
  const auto& l = static_cast<const LGCP::SS7L2Log&>(*params.getSelection());
  slc->log.state = l.get_state().getValue();
  slc->log.raw_receive = l.get_raw_receive().getValue();
  slc->log.raw_transmit = l.get_raw_transmit().getValue();
  slc->log.mtp_transmit = l.get_mtp_transmit().getValue();
  slc->log.mtp_receive = l.get_mtp_receive().getValue();
  slc->log.mtp_activate = l.get_mtp_activate().getValue();
  slc->log.timers = l.get_timers().getValue();
  slc->log.msu_processing = l.get_msu_processing().getValue();
  return true;
}

bool PstnSlot::activate_link() {
  if (!LinkSlot::ClaimLine(*this, hdlc.transmit_channel())) {
    OnDeactivated();
    return false;
  }
  // SS7 alignment starts from idle only: a link at work on the old channel goes there first.
  if (slc && slc->state() != SS7::SLC::State::idle) deactivate();
  if (!hdlc.activate()) {
    // The channel is closed: it sends on no time slot.
    LinkSlot::ReleaseLine(*this);
    OnDeactivated();
    return !hdlc.switch_refused();
  }
  activate();
  return true;
}

bool PstnSlot::IHwMayConnectReceiver(Slot& peer) {
  // On basic rate only the switch refuses: the transmitter connection holds the line.
  if (basic_rate()) return true;
  // Signed: a peer that is not on a trunk (-1) passes.
  const int trunk = peer.GetTrunk();
  if (trunk > kMaxTrunk) {
    InvalidTrunk(paramLogs, trunk);
    return false;
  }
  const int timeslot = peer.GetTrunkTimeSlot();
  if (timeslot > kMaxTimeslot) {
    paramLogs.write(std::cerr, "invalid timeslot", [&](std::ostream& os) {
      PutLogHeader(os);
      os << "invalid timeslot: " << timeslot;
    });
    return false;
  }
  // Another slot's HDLC channel or path on that time slot keeps it; this one stays where it is.
  return LinkSlot::PathFree(*this, peer.IGetTransmitChannel()) &&
         LinkSlot::LineFree(*this, peer.IGetTransmitChannel());
}

bool PstnSlot::IHwMayConnectTransmitter(Slot& peer) {
  // The channel transmits to one sink's line; the source's gives its receiving way. The peer's
  // source gives the line up as its path goes.
  return !basic_rate() ||
         LinkSlot::MayRunOn(*this, peer.IGetReceiveChannel(), true, peer.source);
}

bool PstnSlot::IHwConnectReceiver(Slot& peer) {
  if (!basic_rate()) {
    if (!IHwMayConnectReceiver(peer) || !LinkSlot::ClaimLine(*this, peer.IGetTransmitChannel())) {
      return false;
    }
    hdlc.param_trunk = static_cast<uint32_t>(peer.GetTrunk());
    hdlc.param_timeslot = static_cast<uint32_t>(peer.GetTrunkTimeSlot());
  }
  hdlc.type = mode == kSs7OrCas ? kSs7Channel : mode == kPri ? kPriChannel : kBriChannel;
  const bool waits = basic_rate() && hdlc.tsB == -1;
  return join_line(hdlc.tsA, peer.IGetTransmitChannel(), waits);
}

bool PstnSlot::IHwConnectTransmitter(Slot& peer) {
  if (!basic_rate()) return true;
  const int line = peer.IGetReceiveChannel();
  if (!LinkSlot::OneLine(*this, line, true) || !LinkSlot::ClaimLine(*this, line)) return false;
  return join_line(hdlc.tsB, line, hdlc.tsA == -1);
}

bool PstnSlot::join_line(int& channel, int line, bool waits) {
  const int held = channel;
  channel = line;
  if (waits || activate_link()) return true;
  // The connection is refused: an activation must not open the channel on its line.
  channel = held;
  return false;
}

bool PstnSlot::IHwDisconnectTransmitter(Slot&) {
  // Outside basic rate the transmitter connection switched nothing: the peer's output carries
  // this slot's channel, or another slot's, or idles already, and stays as it is.
  if (!basic_rate()) return true;
  return leave_line(hdlc.tsB);
}

bool PstnSlot::IHwDisconnectReceiver(Slot&) {
  // The slot has no receive channel of its own: the connection is the channel that the
  // receiver connection placed on the peer's time slot.
  return leave_line(hdlc.tsA);
}

bool PstnSlot::leave_line(int& channel) {
  deactivate();
  const bool idled = hdlc.deactivate();
  LinkSlot::ReleaseLine(*this);
  channel = -1;
  return idled;
}

void PstnSlot::OnUpdateTimer() {
  update_timer_.set(this, TUpdatespec);
  LinkSlot::ReportHdlcLinkInfo(*this, hdlc);
  report_isdn();
  report_ss7();
}
