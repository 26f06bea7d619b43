#include "monitoring/net_if_data_holder.h"

#include <net/if.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/trace_ctl.h"
#include "monitoring/net_if_probe.h"

NetIfDataHolder::NetIfDataHolder(int index_, const std::string& name_)
    : index(index_), name(name_) {}

bool NetIfDataHolder::updateNetIf() {
  unsigned flags = 0;
  const NetIfProbe::Outcome outcome = NetIfProbe::current().probe(index, nullptr, &flags);
  if (outcome == NetIfProbe::kOk) return setNetIfStatus((flags & IFF_RUNNING) ? 1 : 0);
  if (traces.monitoringInternal) {
    const int error = errno;
    std::clog << (outcome == NetIfProbe::kNoSocket ? "Error open socket: " : "Error ioctl socket: ")
              << " errno=\"" << std::strerror(error) << "\"" << std::endl;
  }
  return false;
}

bool NetIfDataHolder::setNetIfStatus(int sample) {
  samples.push_back(sample);
  while (samples.size() > kSamples) samples.pop_front();
  int sum = 0;
  for (int s : samples) sum += s;
  const int32_t now = sum > 1 ? 1 : 0;
  const bool changed = now != running;
  running = now;
  admin_status = oper_status = running == 1 ? 1 : 2;
  return changed;
}
