#include "slotbase/slot_factory.h"

#include <algorithm>

#include "hw/hw_mux.h"
#include "slotbase/slot.h"

SlotFactory* firstFactory = nullptr;

SlotFactory::SlotFactory() : next(firstFactory) { firstFactory = this; }

Slot* SlotFactory::NewSlot(const LGCP::CreateParams& params) {
  Slot* s = INewSlot(params);
  if (!s) return nullptr;
  s->factory = this;
  slots.push_back(s);
  return s;
}

void SlotFactory::Remove(Slot* s) { Unlist(slots, s); }

void SlotFactory::FlushLogs() {
  refusalLogs.flush(this);
}

void SlotFactory::PutHeader(std::ostream& os) const { os << GetName() << ": "; }

void IdleFixedOutputs() {
  std::vector<int> outputs;
  for (const SlotFactory* f = firstFactory; f; f = f->GetNext()) f->AddFixedOutputs(outputs);
  std::sort(outputs.begin(), outputs.end());
  outputs.erase(std::unique(outputs.begin(), outputs.end()), outputs.end());
  for (int output : outputs) HwMux::instance().Disconnect(output);
}

void Unlist(std::list<Slot*>& slots, Slot* s) {
  auto it = std::find(slots.begin(), slots.end(), s);
  if (it != slots.end()) slots.erase(it);
}
