#include "server/startup/status_dump.h"

#include <fstream>
#include <iostream>

#include "base/multiplexer.h"
#include "base/path.h"
#include "base/syslog_client.h"
#include "base/version.h"
#include "proto/packet.h"

void WriteStatus(std::ostream& os) {
  os << "server status information. orvexd, gateway daemon of the telephony board." << std::endl
     << "version : " << Version::current << std::endl
     << "syslog drops : " << syslogManager.drops() << std::endl
     << "packet buffers given back twice : " << packet_pool().released_twice() << std::endl;
  multiplexer.dump(os);
}

bool DumpStatus() {
  std::ofstream file(Path::board("/var/log/server-status"), std::ios::out | std::ios::trunc);
  if (!file) {
    std::cerr << "dump status error" << std::endl;
    return false;
  }
  WriteStatus(file);
  return true;
}
