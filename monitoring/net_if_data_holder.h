// NetIfDataHolder: the smoothed running state of one network interface. Each observation adds a
// raw sample (IFF_RUNNING, 0 or 1); the running state is the majority of the last three samples
// (with fewer, all of at least two must be 1), and the interface MIB's admin and oper status
// follow it (1 up, 2 down). The interface is observed through NetIfProbe.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

class NetIfDataHolder {
 public:
  static constexpr size_t kSamples = 3;

  // Interface `index` as the kernel named it when the record was made.
  NetIfDataHolder(int index, const std::string& name);

  // Observes the interface once; true when the smoothed state changed. A failed observation
  // adds no sample (logged with the "monitoring.internal" trace switch on).
  bool updateNetIf();
  // Adds one raw sample; true when the smoothed state changed (always on the first sample).
  bool setNetIfStatus(int sample);

  int32_t running = -1;
  int32_t admin_status = 2;
  int32_t oper_status = 2;
  std::deque<int> samples;
  int32_t index;
  std::string name;
};
