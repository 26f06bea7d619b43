// The board's hardware watchdog, /dev/misc/gw-wd. The daemon's event loop opens it write-only
// and writes "START", then "PING" at most once a second, and "STOP" before it closes it. The
// model records every write with its time; the `watchdog` command lists them.
#pragma once

#include "sim/device_model.h"
#include "sim/request_log.h"

class Watchdog : public DeviceModel {
 public:
  Watchdog() : DeviceModel("misc/gw-wd") {}

  void on_write(Session& session, const std::string& frame) override;
  bool command(const Words& words, Reply& reply) override;

 private:
  TimedLog<std::string> writes_;
};
