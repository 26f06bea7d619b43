// What a LAPD link tells about itself: state texts, status reports with the state record,
// management error texts, the link information and the statistics.
#include <iostream>

#include "base/ext_header.h"
#include "l2/isdn/lapd.h"
#include "l2/isdn/lapd_internal.h"

namespace ISDN {

namespace {

const char* running_text(bool running) { return running ? "running" : "stopped"; }

}  // namespace

std::ostream& operator<<(std::ostream& os, Side::type side) {
  return os << (side == Side::user ? "user" : "network");
}

const char* statetext(unsigned state) {
  static const char* const texts[] = {"TEI unassigned",
                                      "Assign awaiting TEI",
                                      "Establish awaiting TEI",
                                      "TEI assigned",
                                      "Awaiting establishment",
                                      "Awaiting release",
                                      "Multiple frame established",
                                      "Timer recovery"};
  return state < 8 ? texts[state] : "(unknown)";
}

void LAPDFullState::out(std::ostream& os) const {
  const char* line = "\n   - ";
  os << line << "state: " << statetext(state) << line << "self: TEI=" << self_tei
     << ", SAPI=" << self_sapi << ", busy=" << own_busy << line << "peer: TEI=" << peer_tei
     << ", SAPI=" << peer_sapi << ", busy=" << peer_busy << line << "counters: VS=" << vs
     << ", VA=" << va << ", VR=" << vr << ", RC=" << rc << line
     << "internal signals: AckRQ=" << ack_rq << ", RetrRQ=" << retr_rq << ", QueuedUp=" << queued_up
     << line << "flags: L3Initiated=" << l3_initiated << ", Establishable=" << establishable
     << ", RejectException=" << reject_exception << line << "timers: T200 "
     << running_text(t200_running) << ", T202 " << running_text(t202_running) << ", T203 "
     << running_text(t203_running);
}

void LAPD::Stats::out(std::ostream& os) const {
  os << "\n   - timers expire count: T200: " << t200 << ", T202: " << t202 << ", T203: " << t203
     << "\n   - errors: " << errors << ", retrains: " << retrains
     << "\n   - queue overflows: out: " << out_overflows << ", ack: " << ack_overflows;
}

LAPD::Status::Status(LAPD* lapd, const std::string& text)
    : Protocol_status_error(lapd, text),
      LAPDFullState(lapd ? lapd->full_state() : LAPDFullState()) {}

void LAPD::Status::out(std::ostream& os) const {
  os << message();
  LAPDFullState::out(os);
}

void LAPD::on_error(unsigned code) {
  static const char* const texts[] = {
      "Supervisory (F = 1)",
      "DM (F = 1)",
      "UA (F = 1)",
      "UA (F = 0)",
      "Receipt of DM response (F = 0)",
      "Peer initiated re-establishment - SABME",
      "Unsuccessful retransmission (N200 times) - SABME",
      "Unsuccessful retransmission (N200 times) - DISC",
      "Unsuccessful retransmission (N200 times) - Status enquiry",
      "Other - N(R) error",
      "Other - Receipt of FRMR response",
      "Other - Receipt of undefined frame",
      "Other - Receipt of I field not permitted",
      "Other - Receipt of frame with wrong size",
      "Other - N201 error",
      "Tei Assign - Tei denied",
  };
  const char* text = "Other - Unknown";
  for (unsigned bit = 0; bit < 16; ++bit)
    if (code == 1u << bit) text = texts[bit];
  on_error(text);
}

void LAPD::on_error(const char* text) {
  report(make_status<Status>(this, text));
  if (entry_) return;
  Entry entry(this);
  flush(entry);
}

Protocol_status LAPD::status() { return make_status<Status>(this, "current status"); }

bool LAPD::GetInfo(ACP::IsdnLinkInfo& info) const {
  info.set_msuTxCount(int32_t(stats_.tx_messages));
  info.set_msuRxCount(int32_t(stats_.rx_messages));
  info.set_mT200(int32_t(stats_.t200));
  info.set_mT203(int32_t(stats_.t203));
  info.set_errors(int32_t(stats_.errors));
  info.set_retrains(int32_t(stats_.retrains));
  info.set_rejected(int32_t(stats_.rejected));
  info.set_badconfirm(int32_t(stats_.bad_confirmations));
  info.set_outOverflows(int32_t(stats_.out_overflows));
  info.set_ackOverflows(int32_t(stats_.ack_overflows));
  info.set_lapdState(static_cast<ACP::LAPDState::NamedNumber>(state));
  info.set_rc(int32_t(rc));
  info.set_peerBusy(peer_busy);
  info.set_ownBusy(own_busy);
  info.set_rejException(reject_exception);
  info.set_ackPending(false);
  info.set_l3Initiated(l3_initiated);
  info.set_establishable(establishable);
  info.set_queuedUpRQ(queued_up);
  info.set_retrRQ(retr_rq);
  info.set_ackRQ(ack_rq);
  info.set_t200run(t200_running);
  info.set_t203run(t203_running);
  info.set_vs(int32_t(unsigned(vs)));
  info.set_va(int32_t(unsigned(va)));
  info.set_vr(int32_t(unsigned(vr)));
  info.set_queueOut(int32_t(out_q_.count()));
  info.set_queueAck(int32_t(ack_q_.count()));
  if (info.compare(last_info_) == 0) return false;
  last_info_ = info;
  return true;
}

void LAPD::show_stat() const {
  std::cout << " - current state: ";
  LAPDFullState::out(std::cout);
  std::cout << "\n - statistics: ";
  stats_.out(std::cout);
  std::cout << "\n";
}

}  // namespace ISDN
