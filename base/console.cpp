#include "base/console.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace Console {

void SwitchToBinaryMode() {
  termios attrs;
  if (tcgetattr(STDIN_FILENO, &attrs) != 0) {
    std::cerr << "can't obtain terminal attributes\n";
    return;
  }
  attrs.c_lflag &=
      ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT);
  if (tcsetattr(STDIN_FILENO, TCSADRAIN, &attrs) != 0)
    std::cerr << "can't set terminal attributes\n";
}

void SwitchToNonBlockMode() {
  int on = 1;
  if (::ioctl(STDIN_FILENO, FIONBIO, &on) != 0)
    std::cerr << "can't switch terminal to blocked mode\n";
}

}  // namespace Console
