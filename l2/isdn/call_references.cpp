#include "l2/isdn/call_references.h"

#include <algorithm>

namespace ISDN {

Layer3Read read_layer3_head(const unsigned char* message, unsigned length, Layer3Head& head) {
  if (length < 2) return Layer3Read::kTooShort;
  // The length in bits 4-1; the flag in bit 8 of the first value octet.
  head.octets = message[1] & 0x0F;
  if (head.octets > 2) return Layer3Read::kBadLength;
  if (length < 3 + head.octets) return Layer3Read::kTooShort;
  head.value = 0;
  head.flag = false;
  if (head.octets > 0) {
    head.flag = message[2] & 0x80;
    head.value = message[2] & 0x7F;
    if (head.octets == 2) head.value = head.value << 8 | message[3];
  }
  head.type = message[2 + head.octets];
  return Layer3Read::kOk;
}

unsigned CallReferences::find(CallOrigin origin, unsigned value, unsigned char tei) const {
  unsigned i = 0;
  while (i < count_ && !(matches(calls_[i], origin, value) && calls_[i].tei == tei)) ++i;
  return i;
}

bool CallReferences::holds(CallOrigin origin, unsigned value, unsigned char tei) const {
  return find(origin, value, tei) < count_;
}

bool CallReferences::use(CallOrigin origin, unsigned value, unsigned char tei, Call& forgotten) {
  const unsigned at = find(origin, value, tei);
  if (at < count_) {
    calls_[at].last_use = ++uses_;
    return true;
  }
  bool room = true;
  if (count_ == kLimit) {
    const auto older = [](const Call& a, const Call& b) { return a.last_use < b.last_use; };
    const Call* oldest = std::min_element(calls_, calls_ + count_, older);
    forgotten = *oldest;
    remove_at(unsigned(oldest - calls_));
    room = false;
  }
  Call& c = calls_[count_++];
  c = Call{};
  c.origin = origin;
  c.value = static_cast<uint16_t>(value);
  c.tei = tei;
  c.last_use = ++uses_;
  return room;
}

void CallReferences::remove_at(unsigned i) {
  std::copy(calls_ + i + 1, calls_ + count_, calls_ + i);
  --count_;
}

void CallReferences::end(CallOrigin origin, unsigned value, unsigned char tei) {
  const unsigned at = find(origin, value, tei);
  if (at < count_) remove_at(at);
}

template <class Match>
void CallReferences::remove_where(Match match) {
  count_ = unsigned(std::remove_if(calls_, calls_ + count_, match) - calls_);
}

void CallReferences::forget(unsigned char tei) {
  remove_where([tei](const Call& c) { return c.tei == tei; });
}

const CallReferences::Call* CallReferences::holder(CallOrigin origin, unsigned value,
                                                   unsigned& holders) const {
  const Call* last = nullptr;
  holders = 0;
  for (const Call* c = calls_; c != calls_ + count_; ++c) {
    if (!matches(*c, origin, value)) continue;
    ++holders;
    if (!last || c->last_use > last->last_use) last = c;
  }
  return last;
}

bool CallReferences::note_ambiguity(CallOrigin origin, unsigned value) {
  bool news = false;
  for (Call* c = calls_; c != calls_ + count_; ++c) {
    if (!matches(*c, origin, value)) continue;
    news = news || !c->ambiguity_logged;
    c->ambiguity_logged = true;
  }
  return news;
}

void CallReferences::network_setup(unsigned value) {
  remove_where([this, value](const Call& c) { return matches(c, CallOrigin::kNetwork, value); });
  setups_[setups_next_] = static_cast<uint16_t>(value);
  setups_next_ = (setups_next_ + 1) % kLimit;
  if (setups_count_ < kLimit) ++setups_count_;
}

bool CallReferences::network_set_up(unsigned value) const {
  return std::find(setups_, setups_ + setups_count_, value) != setups_ + setups_count_;
}

}  // namespace ISDN
