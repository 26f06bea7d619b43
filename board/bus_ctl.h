// BusCtl: the control service that selects the board's TDM clock source through /dev/hal. The
// controller chooses the source with clockCfg; whenever a controller connects or disconnects
// the board goes back to its own free-running clock. DisableControl() (the command line's
// --disable-clock) turns the service off for the run: clockCfg is then refused as unsupported
// and the device is never touched. A clockCfg the driver cannot carry out (device missing or
// request refused) is answered with busError. A device that went away is opened again by the
// next clockCfg or controller change.
//
// One process-wide instance, instance(); tests make their own.
#pragma once

#include <fcntl.h>
#include <ostream>
#include <string>

#include "asn1/modules/lgcp.h"
#include "base/device_file.h"
#include "control/ctrl_service.h"

class spiCtrl;

class BusCtl : public CtrlSrv::Service {
 public:
  // The driver's clock sources.
  enum Source { kF0 = 0, kFreeRun = 4, kX3 = 5 };

  static BusCtl& instance();

  // `spi` (by default spiCtrl::instance(), looked up when needed) loses its clock master when
  // /dev/hal cannot be opened.
  explicit BusCtl(spiCtrl* spi = nullptr) : spi_(spi) {}

  void DisableControl();
  void OnConnect() override;
  void OnDisconnect() override;
  // Takes clockCfg only.
  bool OnCommand(const LGCP::Command& command) override;

  // The free-running clock.
  void SetDefaultClock();
  // False when the device is missing or refused the source.
  bool SetClockSrc(const LGCP::ClockCfg& cfg);
  bool DrvSetClkSrc(int src);

  void PutHeader(std::ostream& os) const { os << "clkctl: "; }

 private:
  bool IsOpen();

  spiCtrl* spi_;
  DeviceFile device_{"/dev/hal", O_RDWR};
  bool enabled_ = true;
};

// The source's name in the log: "f0" to "f3", "freerun", "X3", "?1", "?2", else its number.
std::string clock_source_name(int src);
