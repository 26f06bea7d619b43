// NetIfProbe: how the monitoring service learns the name and the flags of a network interface
// by its index. The system's probe asks the kernel (SIOCGIFNAME, SIOCGIFFLAGS) on an unprivileged
// AF_INET datagram socket opened for each call; tests put their own in its place to make
// interfaces appear and flap at will.
#pragma once

#include <string>

class NetIfProbe {
 public:
  enum Outcome { kOk, kNoSocket, kFailed };

  virtual ~NetIfProbe() = default;
  // The name (and, when `flags` is given, the interface flags) of interface `index`. kNoSocket
  // or kFailed leave errno telling why.
  virtual Outcome probe(int index, std::string* name, unsigned* flags) = 0;

  // The probe in force: the system's unless a test replaced it.
  static NetIfProbe& current();
  // Puts `probe` (not owned) in force; null restores the system's.
  static void replace(NetIfProbe* probe);
};
