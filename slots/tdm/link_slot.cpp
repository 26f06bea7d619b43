#include "slots/tdm/link_slot.h"

#include <cstring>
#include <iostream>

#include "base/ext_header.h"
#include "proto/packet.h"
#include "slotbase/slots.h"
#include "slotbase/switch_channels.h"

namespace LinkSlot {

namespace {

// `kind` names the reason; `reason` is the text of this refusal. The line's opening is the
// kind's text, so that the count written when the slot ends reads as the lines it counts.
void LogRefusal(Slot& slot, const std::string& kind, const std::string& reason) {
  slot.refusalLogs.write(std::cerr, "userData refused: " + kind, [&](std::ostream& os) {
    os << ext::header(&slot) << "userData refused: " << reason;
  });
}

}  // namespace

bool SendUserData(Slot& slot, ProtocolsFamily& family, const char* refusal,
                  const std::vector<char>& data) {
  if (!refusal && packet_pool().free_count() < kPoolReserve) refusal = "packet pool low";
  if (refusal) {
    LogRefusal(slot, refusal, refusal);
    return false;
  }
  Packet p;
  family.prepare_head(p);
  if (p._tailroom() < data.size()) {
    LogRefusal(slot, "too long", std::to_string(data.size()) + " bytes do not fit a packet");
    return false;
  }
  if (!data.empty()) std::memcpy(p.put(static_cast<unsigned>(data.size())), data.data(), data.size());
  family.message(p);
  return true;
}

std::vector<char> Octets(const Packet& p) {
  if (p.length() == 0) return {};
  const unsigned char* data = p->data;
  return std::vector<char>(data, data + p.length());
}

bool LineFree(Slot& slot, int output, const Slot* leaving) {
  if (output < 0) return true;
  const Slot* holder = SwitchChannels::instance().Holder(SwitchChannels::Use::link, output);
  if (!holder || holder == &slot || holder == leaving) return true;
  slot.refusalLogs.write(std::cerr, "time slot held", [&](std::ostream& os) {
    os << ext::header(&slot) << "time slot held: the HDLC channel of " << *holder
       << " transmits to switch channel " << output;
  });
  return false;
}

bool ClaimLine(Slot& slot, int output) {
  if (output < 0) return true;
  if (!LineFree(slot, output)) return false;
  ReleaseLine(slot);
  return SwitchChannels::instance().Claim(SwitchChannels::Use::link, output, slot);
}

bool PathFree(Slot& slot, int output) {
  if (output < 0) return true;
  for (Slot* fed : Slots::instance().GetLive()) {
    if (fed->IGetReceiveChannel() != output || !fed->source || fed->source == &slot) continue;
    // A source without a transmit channel (a link slot) switched no path there: its own channel,
    // if any, is held as its line (ClaimLine).
    if (fed->source->IGetTransmitChannel() < 0) continue;
    slot.refusalLogs.write(std::cerr, "time slot fed", [&](std::ostream& os) {
      os << ext::header(&slot) << "time slot fed: " << *fed->source << " transmits to switch channel "
         << output;
    });
    return false;
  }
  return true;
}

bool MayRunOn(Slot& slot, int line, bool but_source, const Slot* leaving) {
  return line == -1 || (OneLine(slot, line, but_source) && LineFree(slot, line, leaving));
}

void ReleaseLine(Slot& slot) { SwitchChannels::instance().Release(SwitchChannels::Use::link, slot); }

bool OneLine(Slot& slot, int output, bool but_source) {
  const auto elsewhere = [output](int line) { return line >= 0 && line != output; };
  const Slot* other = PeerWhere(slot, elsewhere, but_source, nullptr);
  if (!other) return true;
  slot.refusalLogs.write(std::cerr, "connection to another line", [&](std::ostream& os) {
    os << ext::header(&slot) << "connection refused: the channel serves " << *other
       << ", not switch channel " << output;
  });
  return false;
}

const char* LapdRefusal(const ISDN::LAPD& lapd, size_t size) {
  // A closed channel (hung up, or not opened yet) takes no frame until it is activated again.
  if (!lapd.hdlc || !lapd.hdlc->is_open()) return kChannelClosed;
  return lapd.refusal(size > ~0u ? ~0u : static_cast<unsigned>(size));
}

void ReportHdlcLinkInfo(Slot& slot, const HDLC& hdlc) {
  LGCP::IoctlResponse info;
  LGCP::HdlcLinkInfo& counters = info.select_hdlcLinkInfo();
  counters.set_txSU(static_cast<int32_t>(hdlc.txSU));
  counters.set_txDiscard(static_cast<int32_t>(hdlc.txDiscard));
  counters.set_txError(static_cast<int32_t>(hdlc.txError));
  counters.set_txOverflow(static_cast<int32_t>(hdlc.txOverflow));
  counters.set_rxSU(static_cast<int32_t>(hdlc.rxSU));
  slot.OnIoctlResponse(info);
}

void ReportIsdnLinkInfo(Slot& slot, const ISDN::LAPD& lapd) {
  LGCP::IoctlResponse r;
  if (lapd.GetInfo(r.select_isdnLinkInfo())) slot.OnIoctlResponse(r);
}

}  // namespace LinkSlot
