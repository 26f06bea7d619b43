// spiCtrl: the control service of the board's eight BRI line interfaces, framer channels reached
// over the SPI bus behind /dev/hal. It initialises and enables the channels when it starts,
// sets which channel is the clock master, and while a controller is connected reads each
// channel's status register once a second and reports it as a trunkStatus signal of type bri.
// It takes no commands. A board without SPI shows on the first request refused with ENODEV;
// from then on the service does nothing at all. Failures are only logged.
//
// One process-wide instance, instance(); tests make their own.
#pragma once

#include <cstdint>
#include <ostream>

#include "asn1/modules/lgcp.h"
#include "base/fd.h"
#include "base/timer.h"
#include "control/ctrl_service.h"

class spiCtrl : public CtrlSrv::Service {
 public:
  static constexpr int kChannels = 8;
  static constexpr unsigned kPollMs = 1000;

  static spiCtrl& instance();

  // Opens the device and sets up every channel.
  spiCtrl();
  // Disables every channel and clears the clock master, when the device is open.
  ~spiCtrl() override;

  // One register of channel `channel`; nothing (read: 0) while the device is closed or SPI is
  // absent, and 0 when the read fails.
  void write(int channel, int addr, int data);
  uint8_t read(int channel, int addr);

  // Channel operations, 0 to 7; each first tries to open the device.
  void init_channel(int ch);
  void enable_channel(int ch);
  void disable_channel(int ch);
  // Makes channel ch (0 to 7) the clock master; -1 makes none.
  void clock(int ch);

  void init_device_and_channels();
  // One poll of the eight status registers.
  void status();

  void OnConnect() override;
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command&) override { return false; }

  bool present() const { return present_; }
  void PutHeader(std::ostream& os) const { os << "spi: "; }

 private:
  // A refused request: ENODEV means the board has no SPI.
  void refused(const char* what, int channel, int addr, int data);
  // Writes `count` {register, value} pairs to channel ch; false when SPI went away meanwhile.
  bool write_all(int ch, const uint8_t (*writes)[2], int count);
  bool check_channel(int ch, const char* operation);

  Fd device_;
  Timer poll_;
  bool present_ = true;
  // Per channel: a slip was reported and the framer still shows it.
  bool slip_latch_[kChannels] = {};
};
