// RtpExt: the model of /dev/rtp_ext, the header-extension engine. Every open is one session:
// the daemon initialises it (rtp_ext_init_params, kept), attaches it to one of its open /dev/rtp
// sessions (named by descriptor and process, found through /proc/PID/fd/FD; -1 for the process
// is the one asking), detaches it, sets or resets a source filter, writes packets (one write
// is one packet, kept for the control socket) and reads the packets queued for it.
//
// Inbound packets wait in the model and go to the descriptor one at a time, so that the packet
// info request always describes the packet that the next read returns: it answers for the
// packet in the descriptor while the daemon has not read it, else sends the next one, and fails
// with EAGAIN when none is queued. While a filter is set, packets from other addresses are
// dropped. A packet may be held back to arrive just after a packet info request has found none,
// so that the read which follows that failed request finds it.
//
// Control (sessions numbered from 0 in order of opening, kept after close):
//   rtpext session N             open|closed etype=0xNNNN words=W1,W2,W3,W4 attached|detached
//                                filter=A.B.C.D|off
//   rtpext sent N                list: every packet the daemon wrote on N in hex, oldest first
//   rtpext rx N SSRC A.B.C.D HEX queues one inbound packet from that stream; answers ok
//   rtpext flood N COUNT SSRC A.B.C.D HEX [SSRC A.B.C.D HEX]...
//                                queues COUNT inbound packets at once, from the streams in turn
//   rtpext queued N              the number of inbound packets the daemon has not read
//   rtpext late N SSRC A.B.C.D HEX  holds one inbound packet back until the next packet info
//                                request of N that finds none queued: that request fails with
//                                EAGAIN, and then the packet is in the descriptor
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "hw/rtp_records.h"
#include "sim/device_model.h"

class RtpExt : public DeviceModel {
 public:
  RtpExt() : DeviceModel("rtp_ext") {}

  void on_open(Session& session) override;
  void on_close(Session& session) override;
  void on_write(Session& session, const std::string& frame) override;
  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  struct Packet {
    uint32_t ssrc;
    uint32_t addr;  // network order
    std::string bytes;
  };
  struct Stream {
    Session* session = nullptr;  // null once closed
    rtp_ext_init_params init{};
    bool attached = false;
    bool filtered = false;
    uint32_t filter = 0;           // network order
    std::deque<Packet> inbound;    // the head is in the descriptor while `in_flight`
    bool in_flight = false;
    std::deque<Packet> late;       // to arrive after a packet info request that found none
    std::vector<std::string> sent;
  };

  // Drops the head once the daemon has read it and puts the next accepted packet into the
  // descriptor when none is there.
  void advance(Stream& stream);
  Stream* stream(const std::string& number);
  Reply describe(const Stream& stream) const;
  Reply flood(Stream& stream, const Words& words);
  // The packet of the words SSRC A.B.C.D HEX from words[at]; false when one does not read.
  static bool read_packet(const Words& words, size_t at, Packet& packet);
  // Queues an inbound packet, unless a filter for another address is set.
  static void queue(Stream& stream, const Packet& packet);

  std::vector<Stream> streams_;
  std::map<const Session*, size_t> index_;
};
