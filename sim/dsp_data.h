// DspData: the model of /dev/dsp-data, the DSP data driver that carries the QSIG D channels and
// switches their bearer channels. Every open is one D channel with a switch channel of its own
// (1280 + 4 * n for the n-th free one, up to 64); its bearer channels 0 to 2 get the three
// switch channels after it. One write(2) is one frame sent, one read(2) one frame received.
//
// Requests: the channel-id request answers the D channel's switch channel (as its result and in
// the int32 record when one is passed); add-B takes {index, time slot} and fills the time slot,
// -1 EINVAL for an index above 2 or one already added; remove-B takes {index}, -1 EINVAL for one
// not added.
//
// Control:
//   dsp-data rx HEX         one received frame on every open D channel
//   dsp-data sent           list: every frame the daemon sent, on any D channel, in hex, oldest
//                           first (the newest 10000)
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "hw/dsp_data_records.h"
#include "sim/device_model.h"
#include "sim/sent_frames.h"

class DspData : public DeviceModel {
 public:
  static constexpr int32_t kFirstChannel = 1280;
  static constexpr int32_t kChannels = 64;

  DspData() : DeviceModel("dsp-data") {}

  int accept_open(int flags) override;
  void on_open(Session& session) override;
  void on_close(Session& session) override;
  void on_write(Session& session, const std::string& frame) override;
  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  struct Channel {
    int32_t number;
    bool added[kDspDataBChannels] = {};
  };

  std::map<Session*, Channel> channels_;
  SentFrames sent_;
};
