// DspModemSlot ("dsp-modem"): a modem of the board's DSP modem pool, driven through /dev/mctl.
// The first connection allocates and configures it and starts the call: pppd on its data port
// /dev/mdmN, or a fax program that takes the modem over by its number. The slot keeps the modem's
// /dev/mctl descriptor while pppd runs on it (or a fax call only originates), and closes it
// before a fax program starts, leaving the modem to the program. The modem's mark in the pool
// (modem_pool.h) keeps it from other calls until the slot has gone and its programs' groups have
// ended.
#pragma once

#include "base/fd.h"
#include "slots/media/modem_pool.h"
#include "slots/media/modem_slot.h"

class DspModemSlot : public ModemSlot {
 public:
  // The most elements of execargs that a fax transfer passes.
  static constexpr size_t kMaxFaxArgs = 60;

  using ModemSlot::ModemSlot;
  ~DspModemSlot() override;

  void IAfterCreate() override {}
  bool IBeforeDestroy() override;
  int IGetTransmitChannel() override { return timeslot; }
  int IGetReceiveChannel() override { return timeslot; }
  const char* GetName() const override { return "dsp-modem"; }
  int modem_id() override { return modem; }
  void unbind() override;
  void start() override { InitModem(); }
  // The modem's mark, and a second descriptor of it while the slot has one.
  ChildStop::Held held() override;

  // Allocates and configures the modem and starts the call; nothing once it has a number.
  void InitModem();
  // The fax transfer's command line: program, "-m", the modem number, the execargs.
  std::vector<std::string> fax_args() const;
  void RunFaxTransfer();
  // The receiver's output file, "/var/fax-HH-MM-SS-mN.g3" under the root with the time and the
  // modem number, and "-2", "-3"... before ".g3" while such a file exists: two calls, which
  // hold two modems, never write to one file.
  std::string fax_file() const;
  void RunFaxReceiver();
  void on_fax_terminate(int status);
  void on_fax_receiver_end(int status);

  Fd fd;
  int timeslot = -1;
  int modem = -1;
  // Keeps the modem from other calls from its allocation on.
  ModemPool::Mark mark;
  // The fax receiver, which nothing waits for but its own end.
  int receiver_pid = -1;
  ChildWait receiver_wait;

 private:
  // Starts a fax program with "fail to exec!" on its failure; logs "<what> executed".
  int run_fax(ChildProgram program, const char* what);
  // Logs `what` with strerror and aborts the slot with errno.
  void fail(const char* what);
};
