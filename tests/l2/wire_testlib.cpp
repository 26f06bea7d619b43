#include <cstdio>
#include <map>

#include "tests/l2/l2_support.h"
#include "tests/l2/wire.h"

Wire::Wire(std::vector<std::string>* events) : events_(events) {
  a.name = "A";
  b.name = "B";
  a.wire_ = b.wire_ = this;
  a.peer_ = &b;
  b.peer_ = &a;
  dpc_.Bind(this, &Wire::deliver);
}

bool Wire::End::hdlc_transmit(Packet& frame) {
  if (refuse) {
    --refuse;
    return false;
  }
  if (in_flight_ >= capacity) {
    refused_ = true;
    return false;
  }
  const Packet& bytes = frame;
  std::string octets(reinterpret_cast<const char*>(bytes->data), frame.length());
  sent.push_back(octets);
  int copies = wire_->filter ? wire_->filter(*this, octets) : 1;
  if (wire_->events_)
    wire_->events_->push_back(name + ">" + peer_->name + " " + describe_frame(octets) +
                              (copies == 0  ? " (lost)"
                               : copies > 1 ? " (twice)"
                                            : ""));
  ++in_flight_;
  wire_->queue_.push_back({this, peer_, octets});
  for (int i = 1; i < copies; ++i) wire_->queue_.push_back({nullptr, peer_, octets});
  if (copies == 0) wire_->queue_.back().to = nullptr;
  wire_->dpc_.Activate();
  return true;
}

void Wire::inject(End& to, const std::string& frame) {
  queue_.push_back({nullptr, &to, frame});
  dpc_.Activate();
}

void Wire::clear() {
  queue_.clear();
  a.in_flight_ = b.in_flight_ = 0;
  dpc_.Deactivate();
}

void Wire::deliver() {
  for (size_t n = queue_.size(); n > 0 && !queue_.empty(); --n) {
    InFlight f = queue_.front();
    queue_.pop_front();
    if (f.from) --f.from->in_flight_;
    if (f.to && f.to->notify) {
      Packet p = packet_of(f.frame);
      f.to->notify->on_hdlc_receive(p);
    }
    if (f.from && f.from->refused_ && f.from->in_flight_ < f.from->capacity) {
      f.from->refused_ = false;
      if (f.from->notify) f.from->notify->on_hdlc_ready();
    }
  }
  if (queue_.empty()) dpc_.Deactivate();
}

std::string describe_frame(const std::string& f) {
  if (f.size() < 3) return "short";
  const unsigned char* o = reinterpret_cast<const unsigned char*>(f.data());
  char text[96];
  const unsigned cr = (o[0] >> 1) & 1, tei = o[1] >> 1, sapi = o[0] >> 2;
  const unsigned c = o[2];
  size_t header = 3;
  if ((c & 1) == 0 || (c & 3) == 1) {
    if (f.size() < 4) return "short";
    header = 4;
    static const char* const s[] = {"RR", "RNR", "REJ", "S?"};
    if ((c & 1) == 0)
      std::snprintf(text, sizeof text, "I ns=%u nr=%u p=%u", c >> 1, o[3] >> 1, o[3] & 1);
    else
      std::snprintf(text, sizeof text, "%s nr=%u pf=%u", s[(c >> 2) & 3], o[3] >> 1, o[3] & 1);
  } else {
    static const std::map<unsigned, const char*> names{
        {0x03, "UI"}, {0x0F, "DM"}, {0x43, "DISC"}, {0x63, "UA"}, {0x6F, "SABME"}, {0x87, "FRMR"}};
    const auto u = names.find(c & ~0x10u);
    const char* name = u == names.end() ? "U?" : u->second;
    std::snprintf(text, sizeof text, "%s pf=%u", name, (c >> 4) & 1);
  }
  std::string out = text;
  out += " cr=" + std::to_string(cr) + " tei=" + std::to_string(tei);
  if (sapi != 0) out += " sapi=" + std::to_string(sapi);
  if (f.size() > header) {
    out += " +";
    for (size_t i = header; i < f.size(); ++i) {
      std::snprintf(text, sizeof text, " %02X", o[i]);
      out += text;
    }
  }
  return out;
}
