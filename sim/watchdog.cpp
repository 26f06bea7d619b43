#include "sim/watchdog.h"

void Watchdog::on_write(Session&, const std::string& frame) { writes_.add(frame); }

bool Watchdog::command(const Words& words, Reply& reply) {
  if (words[0] != "watchdog") return false;
  reply = words.size() == 1 ? Reply::of_list(writes_.lines(true, printable))
                            : Reply::error("usage: watchdog");
  return true;
}
