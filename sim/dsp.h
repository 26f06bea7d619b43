// Dsp: the model of /dev/dsp, the DSPs' voice processing (VAD, signal detector, BSS score,
// noise gate, muting, gain, delays, tone filters). It answers the interface-version request
// with its version (1 at start), accepts configure, enable and disable records of the right
// size (EINVAL otherwise; ENOTTY for an unknown request), and logs each request decoded: the
// configure parameters by their kind (VAD in the layout of the current version), and
// " extra=HEX" when bytes that the layout leaves zero are not. It keeps what each time slot has
// on: the enabled features with their ids, the delays, the receive gain and the tone filters.
//
// Control:
//   dsp version [N]                          answers the version, or sets it to N
//   dsp event TIMESLOT ID TYPE W0 W1 W2      queues one 24-byte event record on every session
//                                            (W1 and W2 signed)
//   dsp raw HEX                              queues the bytes as one record, whatever its size
//   dsp state TIMESLOT                       list: what the time slot has on
//   dsp vad TIMESLOT RX TX                   a VAD event of both directions with the id of the
//                                            time slot's enabled VAD; an error when it is off
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hw/dsproc_records.h"
#include "sim/device_model.h"

class Dsp : public DeviceModel {
 public:
  Dsp() : DeviceModel("dsp") {}

  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  // The interface version: it sets the layout of the VAD parameters.
  uint32_t layout() const override { return version_; }
  bool command(const Words& words, Reply& reply) override;

 private:
  // What one time slot has on.
  struct Channel {
    std::map<uint32_t, uint32_t> features;  // feature bit -> id of its enable
    uint32_t delays[3] = {0, 0, 0};          // rx, tx, selcal
    int rx_gain = 0;
    std::map<uint32_t, std::string> filters;  // frequency -> its settings, of enabled filters
  };

  std::string configure_fields(const IoctlCall& call) const;
  // What a configure record, or an enable or disable record (`request`), leaves on its time slot.
  void keep(const dsproc_configure& c);
  void keep(uint32_t request, const dsproc_feature& f);
  std::vector<std::string> state(uint32_t ts) const;

  uint32_t version_ = 1;
  std::map<uint32_t, Channel> channels_;
};
