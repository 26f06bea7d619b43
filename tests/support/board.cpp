#include "tests/support/board.h"

BoardSim& board() {
  static BoardSim sim;
  return sim;
}

Lines log_tail(const std::string& device, size_t count) {
  Lines log = board().command("log " + device);
  if (log.size() > count) log.erase(log.begin(), log.end() - static_cast<std::ptrdiff_t>(count));
  return log;
}

std::string newest_ext_session() {
  int n = 0;
  while (board().command("rtpext session " + std::to_string(n)).at(0).rfind("error", 0) != 0) ++n;
  return std::to_string(n - 1);
}
