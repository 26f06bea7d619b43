// ModemPool: the daemon's marks on the modems of the board's DSP modem pool.
//
// The driver frees a modem when the descriptor that allocated it closes. A fax program takes its
// modem over by its number once the slot has closed that descriptor, and the program (or what it
// started) may run on after the slot has gone; pppd's leftovers may, too. A mark keeps such a
// modem from the calls that come after, without the daemon holding a descriptor that the
// program could need: the modem is marked while any copy of its mark lives (the slot's, and the
// one that the stop of the program's group keeps until the group has ended).
//
// allocate() asks the driver for a modem; a marked one is set aside (held on its own descriptor
// for the moment of the allocation) and the driver is asked again, so it hands out the next.
#pragma once

#include <list>
#include <memory>

#include "base/fd.h"

class ModemPool {
 public:
  using Mark = std::shared_ptr<const int>;

  // A mark on `modem`.
  Mark mark(int modem);
  bool marked(int modem);
  // Allocates an unmarked modem on `device`, a descriptor of `path` that may be replaced by a
  // new one: the modem's number, or -1 with errno (EBUSY when only marked modems are free).
  int allocate(Fd& device, const char* path);

 private:
  std::list<std::weak_ptr<const int>> marks_;
};
