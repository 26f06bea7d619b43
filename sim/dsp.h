// Dsp: the model of /dev/dsp, the DSPs' voice processing (VAD, signal detector, BSS score,
// noise gate, muting, gain, delays, tone filters). It answers the interface-version request
// with its version (1 at start), accepts configure, enable and disable records of the right
// size (EINVAL otherwise; ENOTTY for an unknown request), and logs each request decoded: the
// configure parameters by their kind (VAD in the layout of the current version), and
// " extra=HEX" when bytes that the layout leaves zero are not.
//
// Control:
//   dsp version [N]                          answers the version, or sets it to N
//   dsp event TIMESLOT ID TYPE W0 W1 W2      queues one 24-byte event record on every session
//                                            (W1 and W2 signed)
//   dsp raw HEX                              queues the bytes as one record, whatever its size
#pragma once

#include <cstdint>

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
  std::string configure_fields(const IoctlCall& call) const;

  uint32_t version_ = 1;
};
