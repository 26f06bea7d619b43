// Mcc: the model of /dev/mcc/ctl, the multichannel HDLC controller. Every open is one channel.
// MCC_ALLOCATE binds it (the allocation record is kept) and gives it a switch channel of its
// own, 1024 to 1279, which MCC_TIMESLOT answers; an open with no allocation has none. On the
// channel one write(2) is one frame sent and one read(2) one frame received.
//
// A frame sent goes onto the line: it is kept for `mcc sent`, written to the capture file, and,
// when the channel is joined to another (a cable between the two links), received there. A held
// channel takes no frames: they wait in the descriptor until the daemon's writes fail with
// EAGAIN, and go out, POLLOUT returning to the daemon, on release.
//
// Control:
//   mcc capacity [D B T]    the figures the capacity query answers on an open that allocated
//                           nothing (data, BRI, transparent channels), or sets them
//   mcc channels            list: "CH mode=M rx-size=N rx-threshold=N tx-threshold=N", then
//                           " joined=PEER" and " held" where they apply
//   mcc rx CH HEX           queues one received frame on channel CH
//   mcc sent CH             list: every frame the daemon sent on CH, in hex, oldest first
//   mcc hold CH | mcc release CH
//   mcc hangup CH           the channel fails: the daemon's descriptor hangs up (POLLHUP, then
//                           end of file), as a channel the driver has lost does
//   mcc join A B | mcc split A
//                           joining two mode-3 channels hands each the last FISU or LSSU the
//                           other sent, once
//   mcc side CH user|network
//                           the side of the link CH is on, for the capture (user at start): the
//                           daemon does not tell the board which side its LAPD plays
//   mcc capture PATH | mcc capture off
//                           every frame, either way, into the pcapng file PATH; channels in
//                           mode 3 (signalling system No. 7) as MTP2, the others as LAPD on
//                           their side of the link
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hw/mcc_records.h"
#include "sim/device_model.h"
#include "sim/pcap_writer.h"
#include "sim/sent_frames.h"

class Mcc : public DeviceModel {
 public:
  static constexpr uint32_t kFirstChannel = 1024;
  static constexpr uint32_t kChannels = 256;

  Mcc() : DeviceModel("mcc/ctl") {}

  void on_close(Session& session) override;
  void on_write(Session& session, const std::string& frame) override;
  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  struct Channel {
    uint32_t number;
    mcc_allocation allocation;
    Session* session;
    int32_t peer = -1;
    bool held = false;
    SentFrames sent;
    PcapWriter::Side side = PcapWriter::Side::kUser;
  };

  Channel* channel(const std::string& word);
  Channel* channel(uint32_t number);
  void receive(Channel& channel, const std::string& frame);
  void capture(const Channel& channel, bool outgoing, const std::string& frame);
  // Two SS7 channels just joined: `to` receives the last FISU or LSSU that `from` sent.
  void hand_over_line_state(const Channel& from, Channel& to);
  void split(Channel& channel);
  Reply list() const;

  std::map<Session*, Channel> channels_;
  mcc_capacity capacity_{32, 32, 64, 0};
  PcapWriter capture_;
};
