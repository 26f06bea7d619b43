// Hal: the model of /dev/hal, the board's hardware abstraction driver. The driver gathers
// several functions behind one device (the time-slot switch, the bus clock selection, the SPI
// registers of the line framers); each is one HalUnit that answers its own requests and control
// commands. Hal routes every request to the unit that knows it and counts the requests each
// unit carried out (`hal counts`).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/device_model.h"

class HalUnit {
 public:
  HalUnit() = default;
  virtual ~HalUnit() = default;
  HalUnit(const HalUnit&) = delete;
  HalUnit& operator=(const HalUnit&) = delete;

  // Whether `request` is one of this unit's.
  virtual bool knows(uint32_t request) const = 0;
  // Answers one of this unit's requests.
  virtual IoctlResult on_ioctl(IoctlCall& call) = 0;
  // The request's name and fields for the log.
  virtual std::string decode(const IoctlCall& call) const = 0;
  // A control command of this unit; false when the command is not its own.
  virtual bool command(const Words& words, Reply& reply) = 0;
};

class Hal : public DeviceModel {
 public:
  Hal();

  IoctlResult on_ioctl(Session& session, IoctlCall& call) override;
  std::string decode(const IoctlCall& call) const override;
  bool command(const Words& words, Reply& reply) override;

 private:
  HalUnit* unit(uint32_t request) const;

  std::vector<std::unique_ptr<HalUnit>> units_;
  std::map<uint32_t, uint64_t> counts_;  // request number -> requests answered
};
