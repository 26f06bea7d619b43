#include "hw/rtp_records.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

namespace {

using Field = std::pair<const char*, long long>;

std::ostream& block(std::ostream& os, const char* name, std::initializer_list<Field> fields) {
  os << "  " << name << "\n  {\n";
  for (const Field& f : fields) os << "   " << f.first << " = " << std::to_string(f.second) << '\n';
  return os << "  }\n";
}

template <typename Attach>
std::ostream& attach(std::ostream& os, const char* name, const Attach& p) {
  return block(os, name, {{"fd_rtp", p.fd_rtp}, {"pid_rtp", p.pid_rtp}});
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const rtp_connection_params& p) {
  return block(os, "rtp_connection_params",
               {{"packet_factor", p.packet_factor},
                {"rx_pt", p.rx_pt},
                {"tx_pt", p.tx_pt},
                {"ssrc", p.ssrc}});
}

std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& p) {
  return attach(os, "rtp_attach_session_params", p);
}

std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& p) {
  return attach(os, "rtp_ext_attach_session_params", p);
}

std::ostream& operator<<(std::ostream& os, const rtp_ext_init_params& p) {
  return block(os, "rtp_ext_init_params", {{"etype", p.etype}});
}

std::ostream& operator<<(std::ostream& os, const rtp_channel_info& c) {
  return os << "rtp_channel_info {"
            << " tdm=" << std::to_string(c.tdm) << " dev_no=" << std::to_string(c.dev_no)
            << " chn=" << std::to_string(c.chn) << " }";
}

const char* GetCodecAsStr(int codec) {
  static const char* const names[] = {"unknown",  "g711",     "g723",     "g729", "tonec",
                                      "g711-rtp", "g729-rtp", "g723-rtp", "conf"};
  if (codec < 0 || codec >= static_cast<int>(sizeof names / sizeof names[0])) return "invalid";
  return names[codec];
}

const char* RTPStrError(int code) {
  static const struct {
    int code;
    const char* text;
  } errors[] = {
      {0, "No error"},
      {0x3000002, "Parameter out of range"},
      {0x3000004, "Memory allocation failed"},
      {0x3000008, "Allocated buffer too small"},
      {0x3000101, "Maximum number of contexts exceeded"},
      {0x3000102, "Context destroyed or never created"},
      {0x3000103, "Socket not open for reading or writing"},
      {0x3000104, "Can't obtain a new socket"},
      {0x3000105, "Can't bind socket"},
      {0x3000106, "Unable to set socket option"},
      {0x3000107, "Unable to write to socket"},
      {0x3000108, "Unable to read from socket"},
      {0x3000109, "Socket does not belong to session"},
      {0x300010a, "Change not allowed during open session"},
      {0x300010b, "Invalid address specified"},
      {0x300010c, "Invalid port specified"},
      {0x300010e, "Unable to close session"},
      {0x300010f, "No such membership info"},
      {0x3000110, "Invalid rtpprofile specified"},
      {0x3000111, "no data to receive at socket"},
      {0x3000112, "Packet looped back"},
      {0x3000113, "CSRC list not yet set"},
      {0x3000114, "2 CSRCs on list have same SSRC"},
      {0x3000115, "Packet has incorrect format"},
      {0x3000116, "Person not session member"},
      {0x3000117, "Person data protected"},
      {0x3000118, "No such sender in current session"},
      {0x3000119, "No such SDES field"},
      {0x300011a, "Encryption / decryption function not set"},
      {0x300011b, "Packet was unsuccessfully decrypted"},
      {0x300011c, "End of iterating list"},
      {0x300011d, "Not allowed to recurse"},
      {0x300011e, "SSRC in use"},
      {0x300011f, "Couldn't get socket name"},
      {0x3000120, "No such contributor"},
      {0x3000121, "CSRC list full"},
      {0x3000122, "Don't send this packet now"},
  };
  for (const auto& e : errors)
    if (e.code == code) return e.text;
  static char unknown[40];
  std::snprintf(unknown, sizeof unknown, "Unknown RTP Error %d", code);
  return unknown;
}

RtpErr::RtpErr(int code_) : err(errno), code(code_) {}

void RtpErr::Put(std::ostream& os) const { os << std::strerror(err); }
