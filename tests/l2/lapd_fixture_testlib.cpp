#include <cstdio>
#include <map>

#include "tests/l2/lapd_fixture.h"
#include "tests/support/loop_turns.h"

Layer3::Layer3(const std::string& name, ISDN::Side::type side, HdlcWire::End& end,
               std::vector<std::string>* events, HdlcWire* wire)
    : lapd(new ISDN::LAPD(side, 0)), name_(name), events_(events), wire_(wire) {
  lapd->hdlc = &end;
  lapd->notify = this;
  end.notify = lapd;
  add_protocol_tail(lapd);
}

void Layer3::note(const std::string& what) {
  const std::string event = name_ + ": " + what;
  events_->push_back(event);
  if (wire_) wire_->note(event);
  if (hook) hook(event);
}

void Layer3::on_deactivated(Protocol*, Protocol_status status) {
  note("down " + status->message());
}

void Layer3::on_message(Packet& p) {
  const Packet& bytes = p;
  received.emplace_back(reinterpret_cast<const char*>(bytes->data), p.length());
  note("rx " + std::to_string(p.length()) + " octets");
}

void Layer3::OnLAPD_FlowStatusChange(ISDN::LAPD* l) {
  note(l->flow_status() == ISDN::LAPD::FlowStatus::busy ? "flow busy" : "flow ready");
}

void LapdTest::SetUp() {
  LoopTest::SetUp();
  relink();
}

void LapdTest::relink() {
  a.reset();
  b.reset();
  wire = std::make_unique<HdlcWire>(64);
  wire->describe = [](const Packet& f) { return describe_frame(f); };
  a = std::make_unique<Layer3>("A", ISDN::Side::user, wire->a(), &events, wire.get());
  b = std::make_unique<Layer3>("B", ISDN::Side::network, wire->b(), &events, wire.get());
}

void LapdTest::TearDown() {
  a.reset();
  b.reset();
  wire.reset();
  LoopTest::TearDown();
}

void LapdTest::settle() {
  for (int i = 0; i < 100 && !wire->idle(); ++i) turns();
}

void LapdTest::step(unsigned ms) {
  advance(ms);
  settle();
}

void LapdTest::establish() {
  a->lapd->activate();
  settle();
  ASSERT_EQ(a->lapd->full_state().state, 6u);
  ASSERT_EQ(b->lapd->full_state().state, 6u);
  events.clear();
  wire->trace.clear();
  wire->a().sent.clear();
  wire->b().sent.clear();
}

void LapdTest::send_numbered(Layer3& from, int count, int first) {
  for (int i = first; i < first + count; ++i) from.send(numbered(i));
}

std::string LapdTest::numbered(int i) {
  return "\x08\x01" + std::string(1, char(i & 0x7F)) + std::string(1, char(i >> 7));
}

std::string LapdTest::trace() const {
  std::string out;
  for (const std::string& e : events) out += e + "\n";
  return out;
}

std::vector<int> LapdTest::numbers(const Layer3& l) {
  std::vector<int> out;
  for (const std::string& m : l.received)
    out.push_back(m.size() == 4 ? (m[2] & 0x7F) | (static_cast<unsigned char>(m[3]) << 7) : -1);
  return out;
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

std::string describe_frame(const Packet& frame) {
  const Packet& bytes = frame;
  return describe_frame(std::string(reinterpret_cast<const char*>(bytes->data), frame.length()));
}
