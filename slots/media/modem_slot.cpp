#include "slots/media/modem_slot.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/ext_escaped.h"
#include "base/ext_header.h"
#include "base/ext_hex.h"
#include "base/path.h"
#include "slots/media/auth_client.h"
#include "slots/media/auth_records.h"
#include "slots/media/modem_factory.h"
#include "slotbase/slots.h"

namespace {

constexpr const char* kPppd = "/usr/local/sbin/pppd";

}  // namespace

ModemSlot::ModemSlot(const TERM::ModemParams& p) : params(p), auth_(*this) {
  wait.Bind(this, &ModemSlot::on_terminate);
}

ModemSlot::~ModemSlot() { pppd_kill(); }

bool ModemSlot::IOnOutputStream() {
  start();
  return true;
}

bool ModemSlot::IOnInputStream() {
  start();
  return true;
}

bool ModemSlot::IBeforeDestroy() {
  if (pid > 0) {
    std::cerr << ext::header(this) << "sent HUP to pppd." << std::endl;
    stop.start(pid, SIGHUP, &ModemSlot::on_terminate_timeout, this);
    return false;
  }
  unbind();
  return true;
}

std::string ModemSlot::pppd_program() const {
  return params.has_execfile() ? std::string(params.get_execfile()) : Path::board(kPppd);
}

std::vector<std::string> ModemSlot::pppd_args(const std::string& device,
                                              const std::string& options) const {
  std::vector<std::string> args{pppd_program()};
  if (params.has_execargs()) {
    for (const auto& a : params.get_execargs()) {
      if (args.size() > kMaxExecArgs) break;
      args.push_back(a);
    }
    return args;
  }
  args.insert(args.end(), {"file", options, device});
  if (!params.get_cid().empty()) args.insert(args.end(), {"remotenumber", params.get_cid()});
  return args;
}

int ModemSlot::spawn(const ChildProgram& program) {
  const int child = ChildStop::spawn(program, this);
  if (child < 0) {
    const int error = errno;
    std::cerr << ext::header(this) << "vfork fail: " << std::strerror(error) << std::endl;
    OnAbort(error);
  }
  return child;
}

bool ModemSlot::pppd_exec(const std::string& device, const std::string& options) {
  if (pid > 0) return true;
  const int child = spawn(ChildProgram{pppd_args(device, options)});
  if (child < 0) return false;
  pid = child;
  wait.Bind(this, &ModemSlot::on_terminate);
  wait.Attach(pid);
  std::clog << ext::header(this) << "pppd executed program=" << ext::escaped(pppd_program())
            << " cid=" << ext::escaped(params.get_cid()) << " pid=" << pid << std::endl;
  return true;
}

void ModemSlot::pppd_kill() {
  if (pid <= 0) return;
  std::cerr << ext::header(this) << "pppd isn't terminated, killing ..." << std::endl;
  stop.kill(pid);
  ::sleep(0);
  pid = -1;
}

void ModemSlot::ended(int status) {
  stop.ended(wait.pid(), SIGHUP, held());
  if (releasing) {
    unbind();
    on_release();
  } else {
    OnAbort(status);
  }
}

void ModemSlot::on_terminate(int status) {
  std::clog << ext::header(this) << "pppd terminated with code " << status << std::endl;
  pid = -1;
  ended(status);
}

void ModemSlot::on_terminate_timeout() {
  std::cerr << ext::header(this) << "pppd terminate timeout!" << std::endl;
  pppd_kill();
  if (releasing) {
    unbind();
    on_release();
  }
}

bool ModemSlot::IActivate(const TERM::TermActivateParams& p) {
  if (!p.is_modem()) {
    std::cerr << ext::header(this) << "modem's activation requests parameter." << std::endl;
    return false;
  }
  // The IP record carries the MTU unsigned and each address as four octets: a negative MTU, or
  // a text that is not an address (an empty one stands for none, 0), is refused, nothing sent.
  const int32_t mtu = p.get_modem().get_mtu().getValue();
  std::vector<std::string> unparsed;
  const attr ip = Auth::ip(modem_id(), p.get_modem(), unparsed);
  if (mtu < 0 || !unparsed.empty()) {
    if (mtu < 0) {
      refusalLogs.write(std::cerr, this, "modem's activation: negative mtu ", mtu, ", refused");
    } else {
      refusalLogs.write(std::cerr, this, "IP parameters: not an address: ",
                        ext::escaped(unparsed.front()), ", refused");
    }
    Slots::instance().Refuse(LGCP::ErrorCause::invalidParams);
    return false;
  }
  ModemFactory& factory = ModemFactory::instance();
  factory.SendAuth(Auth::accept(modem_id()));
  factory.SendAuth(ip);
  auth_.Answered();
  return true;
}

bool ModemSlot::EqAuthId(int id) { return id != Auth::kNoSession && modem_id() == id; }

void ModemSlot::OnAuth(const attr& r, AuthClient& from) {
  switch (r.type()) {
    case Auth::kRequest: {
      if (r.length() != Auth::kRequestSize) {
        return refusalLogs.write(std::cerr, this, "auth request, invalid size: ", r.length());
      }
      ModemFactory::instance().Ask(from, modem_id());
      auth_.Request(voauth(r));
      return;
    }
    case Auth::kAccept:
      return refusalLogs.write(std::cerr, this, "auth accept, ignored.");
    case Auth::kIp:
      return refusalLogs.write(std::cerr, this, "auth ip, ignored.");
    case Auth::kAccounting:
      if (r.length() != Auth::kAccountingSize) {
        return refusalLogs.write(std::cerr, this, "auth accounting, invalid size: ", r.length());
      }
      if (auth_.Accounting()) OnAcctInformation(voacct(r));
      return;
  }
  refusalLogs.write(std::cerr, this, "unknown request from portslave: ",
                    ext::OutUnsignedInHex(r.type()));
}

void ModemSlot::OnAuthRequest(const voauth& request) {
  TERM::ModemProceeding m;
  TERM::MdmRequestUserAuth& auth = m.select_auth();
  auth.get_username() = request.username;
  auth.get_password() = request.password;
  OnModem(m);
}

void ModemSlot::OnAcctInformation(const voacct& accounting) {
  TERM::ModemProceeding m;
  m.select_acct() = accounting.counters;
  OnModem(m);
}
