// Rtp: the model of /dev/rtp, the kernel RTP engine. Every open is one session: the daemon
// describes it (begin session, the 44-byte rtp_connection_params, kept), adds its channel (the
// engine gives it a switch channel of its own, 512 to 767, with a DSP number and a channel on
// it; a channel asked for by number is granted when no other open session holds it), switches
// its input, stops it, and switches its packet detector. Events queued for a session are read
// one 36-byte record at a time.
//
// Control:
//   rtp event CH TYPE VALUE TIMEOUT   queues one event {TYPE, VALUE, TIMEOUT, 0...} on the
//                                     session of channel CH
//   rtp sessions                      list: one line per open session, by channel: the channel
//                                     (or "none"), the begin record's fields as name=value
//                                     (remote, local, rx_pt, tx_pt, pfactor, vad, rate, ssrc,
//                                     ttl, tos), then input=on|off pd=on|off
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "hw/rtp_records.h"
#include "sim/device_model.h"

class Rtp : public DeviceModel {
 public:
  static constexpr int32_t kFirstChannel = 512;
  static constexpr int32_t kChannels = 256;
  static constexpr int32_t kChannelsPerDsp = 32;

  Rtp() : DeviceModel("rtp") {}

  void on_close(Session& session) override;
  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  struct Stream {
    bool begun = false;
    rtp_connection_params params{};
    int32_t channel = -1;
    bool input = false;
    bool pd = false;
  };

  IoctlResult add_channel(Session& session, Stream& stream, IoctlCall& call);
  // The channels of the open sessions other than `asking`, and their sessions.
  std::map<int32_t, Session*> held_channels(const Session* asking) const;
  Reply list() const;

  std::map<const Session*, Stream> streams_;
};
