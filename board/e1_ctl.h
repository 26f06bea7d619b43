// E1Ctl: the control service of the board's four E1 framers.
//
// While a controller is connected it reports the synchronisation status of trunks 0 to 3 once
// a second as trunkStatus signals, read from /dev/maintenance. It keeps the TCLK mask (bit n =
// trunk n) that the trunkCfg command changes and sends it to the maintenance driver. It runs
// channel-associated signalling on /dev/e1-cas: the ioctl commands without a slot whose
// parameters hold `cas` open and close trunks and channels and read their ABCD bits; each
// result, and every change of the received bits that the driver reports, goes to the controller
// as a cas signal. Driver refusals travel inside the cas signal (a negative rx); the command
// itself is answered with success, or with busError when the CAS device cannot be opened.
// trunkCfg is answered with busError when the mask it changed cannot be sent (no maintenance
// device, or the driver refused it).
//
// Both devices are opened on first need and kept while they serve: one that went away is opened
// again on the next need, as at start (the CAS device with no trunk open). The TCLK mask changes
// only when the driver took it. One process-wide instance, instance(); tests make their own.
#pragma once

#include <cstdint>
#include <fcntl.h>
#include <ostream>

#include "asn1/modules/lgcp.h"
#include "base/device_file.h"
#include "base/event.h"
#include "base/timer.h"
#include "control/ctrl_service.h"
#include "hw/e1_records.h"

class E1Ctl : public CtrlSrv::Service {
 public:
  static constexpr int kTrunks = 4;
  static constexpr unsigned kPollMs = 1000;

  static E1Ctl& instance();

  E1Ctl();

  // Reports the status now and then every second; the TCLK mask restarts at 0.
  void OnConnect() override;
  // Stops the status reports: there is no controller to receive them.
  void OnDisconnect() override;
  // Takes trunkCfg, and ioctl whose parameters hold `cas`; false for everything else.
  bool OnCommand(const LGCP::Command& command) override;

  uint32_t tclk_mask() const { return tclk_; }
  void PutHeader(std::ostream& os) const { os << "E1: "; }

 private:
  void SendStatus();
  void OnCheckStatus();
  // Sends `mask`, which becomes the mask held once the driver took it; false when it could not
  // be sent.
  bool SendTclk(uint32_t mask);
  // False when the mask changed and could not be sent.
  bool TrunkCfg(int32_t trunk, int32_t mode);

  bool CheckOpenCas();
  void OnCasEvent(int fd, short revents);
  void CasCommand(const LGCP::CasCommand& command);
  void cas_open(int32_t trunk, int32_t timeslot, int32_t bits);
  void cas_close(int32_t trunk, int32_t timeslot);
  void cas_get(int32_t trunk, int32_t timeslot);
  // Reads the bits of one channel into a cas signal.
  void report_bits(int32_t trunk, int32_t timeslot);
  void send_cas(int32_t trunk, int32_t timeslot, int32_t rx, int32_t tx);

  static constexpr const char* kCasDevice = "/dev/e1-cas";

  DeviceFile maintenance_;
  Timer poll_;
  // The CAS device, and its polling for bit changes.
  DeviceFile cas_{kCasDevice, O_RDWR | O_NONBLOCK};
  Event cas_event_;
  bool cas_open_[kTrunks] = {};
  uint32_t tclk_ = 0;
};
