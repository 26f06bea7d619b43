#include "slotbase/slots.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "slotbase/slot.h"
#include "slotbase/slot_factory.h"
#include "slotbase/slot_graph.h"
#include "slotbase/switch_channels.h"

namespace {

void wait_one_second() { ::sleep(1); }

}  // namespace

Slots& Slots::instance() {
  static Slots slots;
  return slots;
}

Slots::Slots() : disconnect_wait(wait_one_second) {
  std::fill(std::begin(table), std::end(table), nullptr);
}

Slots::~Slots() = default;

bool Slots::OnCommand(const LGCP::Command& c) {
  if (!IsSlotPresent()) {
    if (!c.is_query()) return false;
    Success();
    UpdateHardwareResources();
    return true;
  }
  const unsigned n = GetSlot();
  Slot* s = GetSlotAt(n);
  const int id = c.currentSelection();
  if (id == LGCP::Command::e_create) {
    Create(n, c.get_create());
    return true;
  }
  if (id == LGCP::Command::e_connect) {
    ConnectCommand(s, static_cast<unsigned>(c.get_connect().getValue()));
    return true;
  }
  if (id < LGCP::Command::e_disconnect || id > LGCP::Command::e_ioctl) return false;
  if (!s) {
    Error(LGCP::ErrorCause::slotNotExists);
    return true;
  }
  bool done = false;
  refusal_ = LGCP::ErrorCause::unsupported;
  switch (id) {
    case LGCP::Command::e_disconnect:
      if (DisconnectOrKeep(*s)) {
        Success();
      } else {
        Error(LGCP::ErrorCause::disconnectFail);
      }
      return true;
    case LGCP::Command::e_destroy:
      DestroyCommand(s);
      return true;
    case LGCP::Command::e_activate:
      done = s->IActivate(c.get_activate());
      break;
    case LGCP::Command::e_deactivate:
      done = s->IDeactivate();
      break;
    case LGCP::Command::e_userData:
      done = s->IUserData(c.get_userData());
      break;
    default:
      done = s->Ioctl(c.get_ioctl());
      break;
  }
  if (done) {
    Success();
  } else {
    Error(refusal_);
  }
  return true;
}

void Slots::ConnectCommand(Slot* s, unsigned target) {
  if (target > max_slot) {
    Error(LGCP::ErrorCause::invalidSlot);
    return;
  }
  Slot* sink = table[target];
  if (!s || !sink) {
    Error(LGCP::ErrorCause::slotNotExists);
    return;
  }
  if (s->releasing || sink->releasing) {
    Error(LGCP::ErrorCause::destroyInProgress);
    return;
  }
  if (Connect(*s, *sink)) {
    Success();
  } else {
    Error(LGCP::ErrorCause::connectFail);
  }
}

void Slots::Create(unsigned n, const LGCP::CreateParams& params) {
  if (Slot* existing = table[n]) {
    if (existing->releasing) {
      Error(LGCP::ErrorCause::destroyInProgress);
      return;
    }
    Destroy(existing);
    if (table[n]) {
      Error(LGCP::ErrorCause::slotIdBusy);
      return;
    }
  }
  refusal_ = LGCP::ErrorCause::insufficientResources;
  for (SlotFactory* f = firstFactory; f; f = f->GetNext()) {
    Slot* s = f->NewSlot(params);
    if (!s) continue;
    s->number = n;
    live.push_back(s);
    table[n] = s;
    Success();
    s->IAfterCreate();
    return;
  }
  Error(refusal_);
}

void Slots::DestroyCommand(Slot* s) {
  if (s->releasing) {
    Error(LGCP::ErrorCause::destroyInProgress);
    return;
  }
  if (Destroy(s)) {
    Success();
    return;
  }
  s->delayedSeq = delayResponse();
  s->delayed = true;
}

void Slots::DisconnectAll(Slot* s) {
  Disconnect(*s);
  for (size_t n = s->sinks.size(); n > 0; --n) {
    if (s->sinks.empty()) {
      std::cerr << "mux internal error: expected slots not exists." << std::endl;
      return;
    }
    Disconnect(*s->sinks.front());
  }
  if (!s->sinks.empty()) std::cerr << "mux internal error: unexpected slots exists." << std::endl;
}

bool Slots::Destroy(Slot* s) {
  DisconnectAll(s);
  s->releasing = true;
  // A kind may end its release from inside IBeforeDestroy; the slot is then deleted here.
  Slot* const outer = releasing_now;
  const bool outer_released = released_now;
  releasing_now = s;
  released_now = false;
  const bool done = s->BeforeDestroy() || released_now;
  releasing_now = outer;
  released_now = outer_released;
  if (!done) return false;
  int_destroy(s);
  return true;
}

void Slots::on_release(Slot* s) {
  if (s == releasing_now) {
    released_now = true;
    return;
  }
  if (s->delayed) delayedSuccess(s->number, s->delayedSeq);
  int_destroy(s);
}

void Slots::int_destroy(Slot* s) {
  DisconnectAll(s);
  if (s->factory) s->factory->Remove(s);
  SwitchChannels::instance().ReleaseAll(*s);
  Unlist(live, s);
  if (s->number <= max_slot && table[s->number] == s) table[s->number] = nullptr;
  s->refusalLogs.flush(s);
  delete s;
}

void Slots::SendSlotSignal(unsigned n, const LGCP::Signal& s) {
  if (!controller_gone_) SendSignal(n, s);
}

void Slots::OnDisconnect() {
  controller_gone_ = true;
  std::list<Slot*> pending;
  while (!live.empty()) {
    Slot* s = live.front();
    if (s->releasing || !Destroy(s)) {
      Unlist(live, s);
      pending.push_back(s);
    }
  }
  disconnect_wait();
  for (Slot* s : pending) int_destroy(s);
  for (SlotFactory* f = firstFactory; f; f = f->GetNext()) f->FlushLogs();
  controller_gone_ = false;
}

void Slots::OnSignal(const LGCP::Signal& s) {
  if (!s.is_trunkStatus()) return;
  for (SlotFactory* f = firstFactory; f; f = f->GetNext()) f->SelfSignal(s);
}

void Slots::UpdateHardwareResources() {
  LGCP::Signal s;
  LGCP::Resources& report = s.select_query();
  report.set_mux(true);
  for (SlotFactory* f = firstFactory; f; f = f->GetNext()) f->Query(report);
  SendSignal(s);
}
