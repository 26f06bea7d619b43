// A diagnostic device, /dev/sim/echo, for the tests of the device seam itself. It sends every
// frame written to it back as a record to read; answers request kSum (record {uint32 a,
// uint32 b} -> {a + b, a * b}), any other record request with the record's bytes reversed and
// its size as result, and a value request with the value as result. Its `echo` command queues
// records for the daemon to read.
#pragma once

#include <cstdint>

#include "sim/device_model.h"

class Echo : public DeviceModel {
 public:
  static constexpr uint32_t kSum = 0xc0085301;

  Echo() : DeviceModel("sim/echo") {}

  void on_write(Session& session, const std::string& frame) override;
  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  Reply burst(const Words& words);
};
