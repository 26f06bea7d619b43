// Dtmf: the model of /dev/dtmf, the DSPs' tone detectors and generators. It accepts every
// request of the device (a record of the wrong size, or a record where a value is due, is
// refused with EINVAL; an unknown request with ENOTTY), logs each with its name and decoded
// fields, and remembers the id of each enabled detector and what each generator plays, by time
// slot.
//
// Control:
//   dtmf event CODE TIMESLOT TIMESTAMP ID   queues one event record {code, timeslot,
//                                           timestamp, id} on every open session
//   dtmf digit TIMESLOT CODE                the same with timestamp 0 and the id of the detector
//                                           enabled on TIMESLOT (an error when there is none)
//   dtmf raw HEX                            queues the bytes as one record, whatever its size
//   dtmf tone TIMESLOT                      what the generator of TIMESLOT plays, as its last
//                                           DTMF_DIAL set it, or off
#pragma once

#include <cstdint>
#include <map>

#include "hw/tonec_records.h"
#include "sim/device_model.h"

class Dtmf : public DeviceModel {
 public:
  Dtmf() : DeviceModel("dtmf") {}

  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  void send_event(uint32_t code, uint32_t timeslot, uint32_t timestamp, uint32_t id);

  std::map<uint32_t, uint32_t> detectors_;  // time slot -> id of its enabled detector
  std::map<uint32_t, tone_gen_params> tones_;  // time slot -> what its generator plays
};
