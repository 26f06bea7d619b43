// CDR_Sender::Sender: sends a call record, a text, as one UDP datagram to each address of a
// list of "a.b.c.d:port" words separated by white space.
#pragma once

#include <iosfwd>
#include <string>

#include "base/fd.h"

namespace CDR_Sender {

class Sender {
 public:
  // Opens the UDP socket; a sender whose socket cannot be opened sends nothing.
  Sender();
  virtual ~Sender() = default;
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;

  // Sends the record's bytes, no terminator added, once to every word of `addresses` that is a
  // dotted address with a port (1 to 65535); other words are skipped. A datagram that cannot be
  // sent is logged and not retried. False only when the sender has no socket.
  bool SendTo(const std::string& record, const std::string& addresses);

  void PutHeader(std::ostream& os) const;

 private:
  Fd socket_;
};

}  // namespace CDR_Sender
