// What reaches the monitoring service from outside: frames from an SNMP agent (decoded as
// MON::Message by an agent link) and the framer driver's status file. No crash, no read past
// the data.
#include <cstdint>
#include <iostream>
#include <vector>

#include "fuzz/asn1/values_back.h"
#include "monitoring/framer_data_holder.h"
#include "monitoring/snmp_agent_instance.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    std::cerr.rdbuf(nullptr);
    return true;
  }();
  (void)quiet;
  fuzz::ValuesBack values_back;
  SnmpAgentInstance link;
  link.OnMessage(reinterpret_cast<const char*>(data), static_cast<int>(size));
  FramerDataHolder framer(1, "/proc/driver/hdlc/peb22554/0");
  framer.setFramerStatus(std::vector<unsigned char>(data, data + size));
  return 0;
}
