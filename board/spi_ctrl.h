// spiCtrl: the control service of the board's eight BRI line interfaces, framer channels reached
// over the SPI bus behind /dev/hal. It initialises and enables the channels when it starts,
// sets which channel is the clock master, and while a controller is connected reads each
// channel's status register once a second and reports it as a trunkStatus signal of type bri.
// It takes no commands. Failures are only logged.
//
// ENODEV is the answer both of a board without SPI and of a device that went away. On a
// descriptor that has carried out a request it means the device went away: it is closed, and
// the next poll or channel operation opens it again and sets every channel up as at start. On
// a descriptor that has carried out none yet, the board has no SPI: from then on the service
// does nothing at all.
//
// One process-wide instance, instance(); tests make their own.
#pragma once

#include <cstdint>
#include <fcntl.h>
#include <ostream>

#include "asn1/modules/lgcp.h"
#include "base/device_file.h"
#include "base/timer.h"
#include "control/ctrl_service.h"

struct spi_register;

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
  // The driver's answer to an SPI request: -1 with errno on refusal.
  int request(uint32_t number, spi_register& reg);
  // A refused request, unless the device went away: ENODEV means the board has no SPI.
  void refused(const char* what, int channel, int addr, int data);
  // Writes `count` {register, value} pairs to channel ch; false when SPI went away meanwhile.
  bool write_all(int ch, const uint8_t (*writes)[2], int count);
  bool check_channel(int ch, const char* operation);

  DeviceFile device_{"/dev/hal", O_RDWR};
  Timer poll_;
  bool present_ = true;
  // The descriptor open now has carried out a request.
  bool served_ = false;
  // The last open failed, and said so.
  bool missing_ = false;
  // Per channel: a slip was reported and the framer still shows it.
  bool slip_latch_[kChannels] = {};
};
