#include "slotbase/output_owner.h"

#include <iostream>

#include "base/ext_header.h"
#include "hw/hw_mux.h"
#include "slotbase/slot.h"
#include "slotbase/switch_channels.h"

namespace OutputOwner {

namespace {

bool MaySwitch(Slot& by, const Slot* peer, int output) {
  const Slot* line = SwitchChannels::instance().Holder(SwitchChannels::Use::link, output);
  if (!line || line == &by || line == peer) return true;
  by.refusalLogs.write(std::cerr, "switch channel carries an HDLC channel", [&](std::ostream& os) {
    os << ext::header(&by) << "switch channel " << output << " left as it is: the HDLC channel of "
       << *line << " transmits there";
  });
  return false;
}

}  // namespace

bool Feed(Slot& by, const Slot* peer, int input, int output) {
  return MaySwitch(by, peer, output) && HwMux::instance().Connect(input, output);
}

bool Idle(Slot& by, const Slot* peer, int output) {
  return MaySwitch(by, peer, output) && HwMux::instance().Disconnect(output);
}

bool Disable(Slot& by, int output) {
  return MaySwitch(by, nullptr, output) && HwMux::instance().Disable(output);
}

}  // namespace OutputOwner
