#include "proto/call_record_sender.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "base/ext_header.h"
#include "base/inet4_addr.h"

namespace CDR_Sender {

Sender::Sender() : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP)) {}

bool Sender::SendTo(const std::string& record, const std::string& addresses) {
  if (!socket_) return false;
  std::istringstream words(addresses);
  std::string word;
  while (words >> word) {
    INet4::Addr to;
    int port = -1;
    if (!to.Assign(word, &port) || port < 1 || port > 0xFFFF) continue;
    if (::sendto(socket_.get(), record.data(), record.size(), 0, to.sa(), INet4::Addr::size) < 0)
      std::cerr << ext::header(this) << "sendto " << to << " fail: " << std::strerror(errno)
                << std::endl;
  }
  return true;
}

void Sender::PutHeader(std::ostream& os) const { os << "CDR_Sender: "; }

}  // namespace CDR_Sender
