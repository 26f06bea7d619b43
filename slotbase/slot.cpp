#include "slotbase/slot.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>

#include "slotbase/device_values.h"
#include "slotbase/slot_factory.h"
#include "slotbase/slot_graph.h"
#include "slotbase/slots.h"

namespace {

// Codes of the tone detector (DSP event codes): fax tones, and IVA codes in bits 8 and up.
constexpr uint32_t kToneCED = 17;
constexpr uint32_t kToneCNG = 18;
constexpr uint32_t kLastDTMF = 127;
constexpr int kLastIVA = 20;
constexpr int kIVARingOff = 21;
// Room for a printed BSS score, its terminating zero included.
constexpr size_t kScoreSize = 31;

// Sends `value` as the signal alternative that `select` chooses.
template <typename T, typename V>
void send_as(Slot& slot, T& (LGCP::Signal::*select)(), const V& value) {
  LGCP::Signal s;
  (s.*select)() = value;
  slot.SendSignal(s);
}

LGCP::Stream stream(bool open, int channel) {
  LGCP::Stream s;
  if (open) {
    s.select_active() = channel;
  } else {
    s.select_inactive();
  }
  return s;
}

}  // namespace

bool Slot::IHwConnectTransmitter(Slot& sink) { return MuxConnect(*this, sink); }
bool Slot::IHwConnectReceiver(Slot& source) { return MuxConnect(source, *this); }
bool Slot::IHwDisconnectTransmitter(Slot& sink) { return MuxDisconnect(sink); }
bool Slot::IHwDisconnectReceiver(Slot&) { return MuxDisconnect(*this); }

void Slot::Put(std::ostream& os) const {
  if (number <= Slots::max_slot) {
    const char fill = os.fill('0');
    os << std::setw(2) << number;
    os.fill(fill);
  } else if (number != no_number) {
    os << 'i' << number;
  } else {
    os << "na";
  }
  os << ':' << GetName();
}

void Slot::PutHeader(std::ostream& os) const {
  Put(os);
  os << ": ";
}

bool Slot::Carries(const std::vector<DeviceValue>& values) {
  return AllCarried(values, refusalLogs, this);
}

std::ostream& operator<<(std::ostream& os, const Slot& s) {
  s.Put(os);
  return os;
}

void Slot::SendSignal(const LGCP::Signal& s) { Slots::instance().SendSlotSignal(number, s); }

void Slot::OnTonecEvent(const LGCP::TonecEvent& e) {
  send_as(*this, &LGCP::Signal::select_tonec, e);
}

void Slot::OnNumber(const std::string& text) { send_as(*this, &LGCP::Signal::select_number, text); }

void Slot::OnModem(const TERM::ModemProceeding& m) {
  send_as(*this, &LGCP::Signal::select_modemProceeding, m);
}

void Slot::OnModem(const TERM::ModemInformation& m) {
  send_as(*this, &LGCP::Signal::select_modemInformation, m);
}

void Slot::OnActivated() {
  LGCP::Signal s;
  s.select_activated();
  SendSignal(s);
}

void Slot::OnDeactivated() {
  send_as(*this, &LGCP::Signal::select_deactivated, LGCP::DeactivateCause::networkError);
}

void Slot::OnAbort(int cause) { send_as(*this, &LGCP::Signal::select_abort, cause); }

void Slot::OnUserData(const std::vector<char>& data) {
  LGCP::Signal s;
  s.select_userData().assign(data.begin(), data.end());
  SendSignal(s);
}

void Slot::OnChangeInputStream(bool open) {
  if (open == inputStream) return;
  LGCP::Signal s;
  if (open) {
    s.select_receiver() = stream(true, IGetReceiveChannel());
  } else {
    Disconnect(*this);
    s.select_receiver() = stream(false, 0);
  }
  inputStream = open;
  SendSignal(s);
}

void Slot::OnChangeOutputStream(bool open) {
  if (open == outputStream) return;
  LGCP::Signal s;
  s.select_transmitter() = stream(open, IGetTransmitChannel());
  if (!open) {
    for (size_t n = sinks.size(); n > 0; --n) {
      if (sinks.empty()) {
        std::cerr << "mux: internal error: expected slots not exists." << std::endl;
        break;
      }
      Disconnect(*sinks.front());
    }
  }
  outputStream = open;
  SendSignal(s);
}

void Slot::OnIoctlResponse(const LGCP::IoctlResponse& r) {
  send_as(*this, &LGCP::Signal::select_ioctl, r);
}

void Slot::OnRtpRadioEvent(const TERM::RtpRadioRequest& r) {
  send_as(*this, &LGCP::Signal::select_rtpExt, r);
}

void Slot::OnVADEvent(const LGCP::VADEvent& e) { send_as(*this, &LGCP::Signal::select_vad, e); }

void Slot::OnProtoLemzEvent(const LEMZGW::ProtoLemzPackets& p) {
  send_as(*this, &LGCP::Signal::select_protoLemz, p);
}

void Slot::OnSDEvent(const LGCP::SDEvent& e) { send_as(*this, &LGCP::Signal::select_sd, e); }

void Slot::OnRtpEvent(const LGCP::RtpEvent& e) { send_as(*this, &LGCP::Signal::select_rtp, e); }

void Slot::processTonecEvent(const Hardware::TonecReceiver::Params& p) {
  LGCP::TonecEvent e;
  e.set_timestamp(static_cast<int32_t>(p.timestamp));
  LGCP::TonecCode& code = e.get_event();
  if (p.code == kToneCED) {
    code.select_ced();
  } else if (p.code == kToneCNG) {
    code.select_cng();
  } else if (p.code <= kLastDTMF) {
    code.select_dtmf() = p.code;
  } else {
    const int iva = static_cast<int32_t>(p.code) >> 8;
    if (iva >= 1 && iva <= kLastIVA) {
      code.select_iva().select_code() = iva;
    } else if (iva == kIVARingOff) {
      code.select_iva().select_ringoff();
    } else {
      std::cerr << "bad DTMF code, ignored." << std::endl;
      return;
    }
  }
  OnTonecEvent(e);
}

void Slot::processToneGenEvent() {
  LGCP::TonecEvent e;
  e.set_timestamp(0);
  e.get_event().select_dtmfDone();
  OnTonecEvent(e);
}

void Slot::processToneFltEvent(const dsproc_tone_event* event) {
  // The presence flag is the byte at offset 4: the first byte of w1 as the board stores it.
  unsigned char presence;
  std::memcpy(&presence, reinterpret_cast<const unsigned char*>(event) + 4, 1);
  LGCP::TonecEvent e;
  e.set_timestamp(0);
  LGCP::TonePresence& tone = e.get_event().select_tone_presence();
  tone.set_freq(static_cast<int32_t>(event->w0));
  tone.set_presence(presence != 0);
  OnTonecEvent(e);
}

void Slot::processVADEvent(const Hardware::DSProcVADEvent& event) {
  if (event.rx < 0 && event.tx < 0) {
    std::cerr << "bad VAD event, ignored." << std::endl;
    return;
  }
  LGCP::VADEvent e;
  if (event.rx >= 0) e.set_vad_rx(event.rx != 0);
  if (event.tx >= 0) e.set_vad_tx(event.tx != 0);
  OnVADEvent(e);
}

void Slot::processFlagsEvent(const dsproc_flags_event* event) {
  using namespace DsprocFlag;
  if (event->mask & (kVadRx | kVadTx)) {
    LGCP::VADEvent e;
    if (event->mask & kVadRx) e.set_vad_rx((event->flags & kVadRx) != 0);
    if (event->mask & kVadTx) e.set_vad_tx((event->flags & kVadTx) != 0);
    OnVADEvent(e);
  }
  if (event->mask & kSelcal) {
    LGCP::Signal s;
    s.select_selcal().set_in_progress((event->flags & kSelcal) != 0);
    SendSignal(s);
  }
}

void Slot::processBSSEvent(const dsproc_bss_event* event) {
  char score[kScoreSize];
  std::snprintf(score, sizeof score, "%4.6f", static_cast<double>(event->score));
  LGCP::Signal s;
  s.select_bss().set_score(score);
  SendSignal(s);
}

void Slot::processSDEvent(const Hardware::DSProcSDEvent& event) {
  if (event.sd_rx < 0) {
    std::cerr << "bad SD event, ignored." << std::endl;
    return;
  }
  LGCP::SDEvent e;
  e.set_sd_rx(event.sd_rx != 0);
  OnSDEvent(e);
}

void Slot::processRtpEvent(const rtp_event& event) {
  if (event.type != kRtpEventPD) return;
  LGCP::RtpEvent e;
  LGCP::RtpPDEvent& pd = e.select_pd();
  pd.set_value(static_cast<int32_t>(event.value));
  pd.set_timeout(static_cast<int32_t>(event.timeout));
  OnRtpEvent(e);
}

bool Slot::BeforeDestroy() {
  if (!IBeforeDestroy()) return false;
  if (!factory) {
    std::cerr << "slot: internal error!!! BeforeDestroy() not connected to factory" << std::endl;
  } else {
    factory->Remove(this);
  }
  return true;
}

void Slot::on_release() {
  if (!releasing) return;
  if (factory) factory->Remove(this);
  Slots::instance().on_release(this);
}

void Slot::LogicalConnect(Slot& from) {
  source = &from;
  std::list<Slot*>& list = from.sinks;
  list.push_back(this);
  list.sort(std::less<Slot*>());
  list.unique();
}

void Slot::LogicalDisconnect() {
  if (!source) return;
  source->sinks.remove(this);
  source = nullptr;
}
