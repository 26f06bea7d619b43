// HdlcModemSlot ("digital-modem"): a digital data call on one of the kernel's generic-HDLC
// network interfaces, switched to PPP for the call (pppd runs on the interface) and back to raw
// HDLC, down, when the slot goes. Its switch channel is the interface's line. Its session on the
// authentication relay is the interface's (auth_records.h): hdlcN has -2 - N.
#pragma once

#include <string>

#include "slots/media/modem_slot.h"

class HdlcModemSlot : public ModemSlot {
 public:
  HdlcModemSlot(const TERM::ModemParams& params, const std::string& name);
  ~HdlcModemSlot() override;

  void IAfterCreate() override {}
  int IGetTransmitChannel() override { return channel; }
  int IGetReceiveChannel() override { return channel; }
  const char* GetName() const override { return "digital-modem"; }
  int modem_id() override { return session; }
  // Leaves the lists and gives the interface back.
  void unbind() override;
  void start() override { initModem(); }

  // Learns the channel, switches the interface to PPP and starts pppd; nothing while a child
  // runs.
  void initModem();

  int channel = -1;
  std::string name;
  // -1 when the name is not "hdlcN".
  int session;
};
