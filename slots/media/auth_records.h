// The records of the PPP authentication relay: what the authentication program that pppd runs
// and the daemon exchange over TCP. Every field is a 32-bit word in network byte order:
//   0 length of the whole record (12 to 512), 4 type, 8 session id, 12 the body by type.
// The session id names the call: a DSP modem's number (0 upwards), or -2 - N for a digital call
// on the generic-HDLC interface hdlcN (hdlc0: -2, hdlc1: -3). -1 names no call.
// Types: 1 auth request (140 bytes: user name at 12, password at 76, 64 bytes each, text up to
// the first NUL), 2 accept (16: the word 1), 3 IP parameters (36: 0, remote address, netmask,
// gateway, DNS server, MTU), 4 accounting (64: octets out, octets in, packets out, packets in as
// high and low words from 24, the time at 56).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asn1/modules/term.h"

namespace Auth {

constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxRecord = 512;

enum Type : uint32_t { kRequest = 1, kAccept = 2, kIp = 3, kAccounting = 4 };

constexpr size_t kRequestSize = 140;
constexpr size_t kAccountingSize = 64;
constexpr size_t kTextSize = 64;

// The session id that names no call: a DSP modem not yet allocated has it.
constexpr int32_t kNoSession = -1;
// The session id of a digital call on interface hdlcN.
constexpr int32_t digital_session(int interface) { return -2 - interface; }

}  // namespace Auth

// One complete record, as received or to be sent.
struct attr {
  std::string bytes;

  uint32_t word(size_t offset) const;
  uint32_t length() const { return word(0); }
  uint32_t type() const { return word(4); }
  int32_t session() const { return static_cast<int32_t>(word(8)); }
};

// The body of an auth request.
struct voauth {
  explicit voauth(const attr& record);
  std::string username;
  std::string password;
};

// The body of an accounting record, as the controller gets it.
struct voacct {
  explicit voacct(const attr& record);
  TERM::MdmAccounting counters;
};

namespace Auth {

attr accept(int32_t session);
// The addresses are dotted texts, an empty one standing for none (0); one that is not an
// address is added to `unparsed` (and would go as 0: the caller refuses it instead).
attr ip(int32_t session, const TERM::ModemUserParameters& params,
        std::vector<std::string>& unparsed);

// Reassembles records from a byte stream: read at most room() bytes into space(), then tell
// took() how many came. Each read asks for the rest of the current part only (first the length
// word, then the rest of the record), so records that arrive together stay apart.
class Reader {
 public:
  enum Result { kMore, kRecord, kBadLength };

  unsigned char* space() { return buffer_ + pos_; }
  size_t room() const { return end_ - pos_; }
  // kRecord: record() holds it; kBadLength: the stream is unusable (bad_length() tells).
  Result took(size_t n);
  const attr& record() const { return record_; }
  uint32_t bad_length() const { return bad_length_; }
  // No part of a record is held: between records.
  bool idle() const { return pos_ == 0 && end_ == 4; }

 private:
  unsigned char buffer_[kMaxRecord];
  size_t pos_ = 0;
  size_t end_ = 4;
  uint32_t bad_length_ = 0;
  attr record_;
};

}  // namespace Auth
