// MonitoringCtl: the control service that supervises the board. Three timers poll it (versions,
// configuration version, framers and temperature every 60 s from 1 s after start; power, DIP
// switches and network interfaces every 2 s; the controller every 5 s), the store keeps each
// reading and its files, and every change goes to the SNMP agents as a monitoring item. From
// the controller it takes the display command only; it sends it the power signal. When an agent
// connects, or has caught up after it missed values, the whole state is pushed to that agent
// alone on the next loop turn.
//
// It is bound last to the control server. /dev/hal is opened on first need and again after a
// failed open; without it the power, DIP and LED operations do nothing.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "base/dpc.h"
#include "base/fd.h"
#include "base/ini_file.h"
#include "base/timer.h"
#include "control/ctrl_service.h"
#include "monitoring/isnmp_agent_notify.h"
#include "monitoring/monitoring_data_holder.h"
#include "monitoring/snmp_agent_ctrl.h"

class MonitoringCtl : public CtrlSrv::Service, public ISnmpAgentNotify {
 public:
  static constexpr unsigned kBkgFirstMs = 1000;
  static constexpr unsigned kBkgMs = 60000;
  static constexpr unsigned kPowerMs = 2000;
  static constexpr unsigned kControllerMs = 5000;

  // The daemon's instance; tests make their own.
  static MonitoringCtl& instance();
  MonitoringCtl();
  ~MonitoringCtl() override;

  // One agent link per "snmpagent" section; the links report their connections here.
  void Configure(IniFile::File& file);

  void OnConnect() override;
  void OnDisconnect() override;
  // Takes the display command and nothing else: success, or invalidParams when it is refused
  // (InRange).
  bool OnCommand(const LGCP::Command& command) override;
  void OnSnmpAgentConnect(const std::string& name) override;

  // False for a report whose numbers cannot be carried: an em-phone's row index is its id
  // plus 1, so the largest id has no row; trap receivers whose agent message exceeds a frame.
  static bool InRange(const LGCP::DisplayParams& params);
  // Stores and passes on the report; one out of range is ignored.
  void OnDisplayCMD(const LGCP::DisplayParams& params);
  void PutHeader(std::ostream& os) const;

  MonitoringDataHolder& store() { return store_; }
  SnmpAgentCtrl& agents() { return agents_; }
  uint8_t leds() const { return leds_; }

  // Checks, each on its own.
  void doVersionsCheck();
  void doConfigCheck();
  void doFramerCheck();
  void doTemperatureCheck();
  void doPowerCheck();
  void doDipCheck();
  void doNetIfCheck();
  void doControllerCheck();
  void setFramerLed(const LGCP::FramerInfo& info);
  void sendPowerStatus();

  // Items from the store to the agents.
  void sendSnmpPowerStatus();
  void sendSnmpControllerStatus();
  void sendSnmpGatewayDip();
  void sendSnmpGatewayConfigVersion();
  void sendSnmpTemperature();
  void sendSnmpStatusBuildVersion();
  void sendSnmpStatusFPGAVersion();
  void sendSnmpStatusBootVersion();
  void sendSnmpStatusBoardVersion();
  void sendSnmpSoftwareBuild();
  void sendSnmpDriverBuild();
  void sendSnmpBoardStatus(const LGCP::BoardStatusParams& board);
  void sendSnmpEmPhoneStatus(const LGCP::EmPhoneStatusParams& phone);
  void sendSnmpFramerStatus(const FramerDataHolder& framer);
  void sendSnmpNetIfStatus(const NetIfDataHolder& netif);
  void sendSnmpBoardStatuses();
  void sendSnmpEmPhoneStatuses();
  void sendSnmpFramerStatus();
  void sendSnmpNetIfStatus();
  void sendSnmpRouterTermCnt();
  void sendSnmpControllerTermCnt();
  void sendSnmpServerTermCnt();
  void sendSnmpBoardTermCnt();
  void sendSnmpTrapReceivers();
  void sendSnmpCommands();
  void sendSnmpCommands(const MON::SnmpSetCommands& commands);

  // The send-all, after an agent connected.
  void OnDpcSend();

 private:
  void onBkgCheckTimer();
  void onPowerCheckTimer();
  void onControllerCheckTimer();
  // Opens /dev/hal when it is not open (LEDs off at open); whether it is open now.
  bool IsOpen();
  // One byte of `request` from /dev/hal; false when it cannot be had.
  bool read_hal(uint32_t request, uint8_t& value);
  void write_leds();
  // Every stored counter of `owner` (extBoard ones by their ownerId) as `item`.
  void send_term_counters(int owner, SnmpAgentCtrl::MonitoringItemType item);

  Fd hal_;
  MonitoringDataHolder store_;
  SnmpAgentCtrl agents_;
  Timer bkg_timer_;
  Timer power_timer_;
  Timer controller_timer_;
  uint8_t leds_ = 0;
  Dpc dpc_;
  // Whether the controller has given a trap-receiver list (an empty one too).
  bool trap_receivers_given_ = false;
};
