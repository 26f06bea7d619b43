#include "monitoring/net_if_probe.h"

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>

#include "base/fd.h"

namespace {

class SystemProbe : public NetIfProbe {
 public:
  Outcome probe(int index, std::string* name, unsigned* flags) override {
    Fd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) return kNoSocket;
    ifreq request;
    std::memset(&request, 0, sizeof request);
    request.ifr_ifindex = index;
    if (::ioctl(socket.get(), SIOCGIFNAME, &request) != 0) return kFailed;
    if (name) *name = std::string(request.ifr_name, strnlen(request.ifr_name, IFNAMSIZ));
    if (flags) {
      if (::ioctl(socket.get(), SIOCGIFFLAGS, &request) != 0) return kFailed;
      *flags = static_cast<unsigned short>(request.ifr_flags);
    }
    return kOk;
  }
};

SystemProbe system_probe;
NetIfProbe* in_force = &system_probe;

}  // namespace

NetIfProbe& NetIfProbe::current() { return *in_force; }

void NetIfProbe::replace(NetIfProbe* probe) { in_force = probe ? probe : &system_probe; }
