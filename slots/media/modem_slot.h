// Modem slots: a data call carried by pppd, which the slot runs as a child process.
//
//   - ModemSlot ("generic-modem"): the child, its stop sequence (SIGHUP, 5000 ms, SIGKILL, then
//     the delayed destroy response) and the authentication records of its session, which
//     become modemProceeding signals at the pace and in the number that its AuthSession
//     (auth_session.h) allows. Every auth request takes the session's answer for its connection
//     (ModemFactory::Ask). Every record the slot only logs is logged through the throttled
//     lines, so that no local program can flood the log.
//   - DspModemSlot ("dsp-modem", dsp_modem_slot.h): a modem of the board's DSP modem pool.
//   - HdlcModemSlot ("digital-modem", hdlc_modem_slot.h): a generic-HDLC network interface.
//
// The program, the options files and the data ports are taken under the path root. pppd and
// the fax programs lead process groups of their own (ChildStop), and the stop's signals go to
// the group.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "asn1/modules/term.h"
#include "base/child_program.h"
#include "base/child_stop.h"
#include "base/child_wait.h"
#include "base/fd.h"
#include "slotbase/slot.h"
#include "slots/media/auth_session.h"

class AuthClient;
struct attr;
struct voauth;
struct voacct;

class ModemSlot : public Slot {
 public:
  // The most arguments after the program that a pppd command line carries.
  static constexpr size_t kMaxExecArgs = 62;
  explicit ModemSlot(const TERM::ModemParams& params);
  // Kills a child still running.
  ~ModemSlot() override;

  // With a child: SIGHUP, and the destroy completes when it ends or, killed, 5000 ms later.
  bool IBeforeDestroy() override;
  // Either side's first connection starts the modem: true.
  bool IOnOutputStream() override;
  bool IOnInputStream() override;
  // Sends the accept and the IP parameters to the session's authentication program, which
  // answers the session's open auth request; a negative MTU, which the record cannot carry, is
  // refused (invalidParams) and nothing is sent.
  bool IActivate(const TERM::TermActivateParams& params) override;
  const char* GetName() const override { return "generic-modem"; }
  // The way of its session's authentication records to the controller.
  const AuthSession& auth() const { return auth_; }
  // The session id of the authentication records; -1: none.
  virtual int modem_id() { return -1; }
  // Leaves the factory's lists.
  virtual void unbind() = 0;
  // Starts the modem and its child; nothing once started.
  virtual void start() = 0;

  // The program run in pppd's place: execfile, else pppd.
  std::string pppd_program() const;
  // pppd's command line on `device` with the options file `options` (both as given).
  std::vector<std::string> pppd_args(const std::string& device, const std::string& options) const;
  // Runs pppd unless a child runs; false, after aborting the slot, when fork fails.
  bool pppd_exec(const std::string& device, const std::string& options);
  void pppd_kill();
  void on_terminate(int status);
  void on_terminate_timeout();

  // A record of the session that `from` received.
  void OnAuth(const attr& record, AuthClient& from);
  void OnAuthRequest(const voauth& request);
  void OnAcctInformation(const voacct& accounting);
  // The slot's session is `id`, which names a call.
  bool EqAuthId(int id);

  TERM::ModemParams params;
  int pid = -1;
  ChildWait wait;
  ChildStop stop;

 protected:
  // Starts `program` as a group leader, named after the slot's header when it cannot run: the
  // pid, or -1 after "vfork fail: " and an abort with errno.
  int spawn(const ChildProgram& program);
  // Ends the slot: on_release when it is being destroyed, else the abort signal with `status`.
  // Members of the program's group left running keep what held() gives until they have ended,
  // also when the slot goes before them.
  void ended(int status);
  // What a program's group that may outlive the slot keeps of the device it works on; nothing
  // here.
  virtual ChildStop::Held held() { return nullptr; }

 private:
  AuthSession auth_;
};
