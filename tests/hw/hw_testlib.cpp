#include "tests/hw/hw_testlib.h"

BoardSim& board() {
  static BoardSim sim{ORVEX_BINARY_DIR "/sim/orvex-boardsim"};
  return sim;
}

Lines log_tail(const std::string& device, size_t count) {
  Lines log = board().command("log " + device);
  if (log.size() > count) log.erase(log.begin(), log.end() - static_cast<std::ptrdiff_t>(count));
  return log;
}

Lines StreamCapture::take() {
  Lines lines;
  std::string line;
  while (std::getline(text_, line)) lines.push_back(line);
  text_.str("");
  text_.clear();
  return lines;
}
