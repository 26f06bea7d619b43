#include "server/startup/status_dump.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "base/fd.h"
#include "base/multiplexer.h"
#include "base/path.h"
#include "base/syslog_client.h"
#include "base/version.h"
#include "base/write_all.h"
#include "base/written_file.h"
#include "proto/packet.h"

void WriteStatus(std::ostream& os) {
  os << "server status information. orvexd, gateway daemon of the telephony board." << std::endl
     << "version : " << Version::current << std::endl
     << "syslog drops : " << syslogManager.drops() << std::endl
     << "packet buffers given back twice : " << packet_pool().released_twice() << std::endl;
  multiplexer.dump(os);
}

bool DumpStatus() {
  const std::string path = Path::board("/var/log/server-status");
  Fd file(WrittenFile::open(path));
  if (!file) {
    std::cerr << "dump status error: " << path << ": " << WrittenFile::failure(errno)
              << std::endl;
    return false;
  }
  std::ostringstream text;
  WriteStatus(text);
  const std::string bytes = text.str();
  if (!write_all(file.get(), bytes.data(), bytes.size())) {
    std::cerr << "dump status error: " << path << ": " << std::strerror(errno) << std::endl;
    return false;
  }
  return true;
}
