#include "tests/l2/lapd_fixture.h"
#include "tests/support/loop_turns.h"

Layer3::Layer3(const std::string& name, ISDN::Side::type side, Wire::End& end,
               std::vector<std::string>* events)
    : lapd(new ISDN::LAPD(side, 0)), name_(name), events_(events) {
  lapd->hdlc = &end;
  lapd->notify = this;
  end.notify = lapd;
  add_protocol_tail(lapd);
}

void Layer3::note(const std::string& what) {
  const std::string event = name_ + ": " + what;
  events_->push_back(event);
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
  a = std::make_unique<Layer3>("A", ISDN::Side::user, wire.a, &events);
  b = std::make_unique<Layer3>("B", ISDN::Side::network, wire.b, &events);
}

void LapdTest::TearDown() {
  a.reset();
  b.reset();
  wire.clear();
  LoopTest::TearDown();
}

void LapdTest::settle() {
  Keepalive keepalive;
  for (int i = 0; i < 100 && !wire.idle(); ++i) turns();
}

void LapdTest::step(unsigned ms) {
  events.push_back("-- +" + std::to_string(ms) + " ms");
  Keepalive keepalive;
  advance(ms);
  settle();
}

void LapdTest::establish() {
  a->lapd->activate();
  settle();
  ASSERT_EQ(a->lapd->full_state().state, 6u);
  ASSERT_EQ(b->lapd->full_state().state, 6u);
  events.clear();
  wire.a.sent.clear();
  wire.b.sent.clear();
}

void LapdTest::send_numbered(Layer3& from, int count, int first) {
  for (int i = first; i < first + count; ++i)
    from.send("\x08\x01" + std::string(1, char(i & 0x7F)) + std::string(1, char(i >> 7)));
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
