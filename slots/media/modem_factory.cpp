#include "slots/media/modem_factory.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/device.h"
#include "base/ext_header.h"
#include "hw/generic_hdlc.h"
#include "hw/generic_hdlc_records.h"
#include "hw/mctl_records.h"
#include "slotbase/slots.h"
#include "slots/media/auth_client.h"
#include "slots/media/auth_records.h"
#include "slots/media/auth_session.h"
#include "slots/media/dsp_modem_slot.h"
#include "slots/media/hdlc_modem_slot.h"

namespace {

constexpr const char* kModemDevice = "/dev/mctl";
constexpr int kBacklog = 64;
constexpr int kMaxInterfaces = 256;

}  // namespace

int (*ModemFactory::accept_socket)(int, sockaddr*, socklen_t*, int) = ::accept4;

ModemFactory& ModemFactory::instance() {
  static ModemFactory factory;
  return factory;
}

ModemFactory::ModemFactory()
    : unknown_request_log_(std::cerr, [this](std::ostream& os) {
        os << ext::header(this) << "receive auth request for unknown session " << unknown_request_;
      }),
      unknown_answer_log_(std::clog, [this](std::ostream& os) {
        os << ext::header(this) << "send error: unknown auth " << unknown_answer_ << " session.";
      }) {
  IQuery();
  server.Bind("ModemFactory::OnSocketEvent", &ModemFactory::OnSocketEvent, this);
  Init();
}

ModemFactory::~ModemFactory() {
  for (AuthClient* c : clients) delete c;
}

void ModemFactory::PutHeader(std::ostream& os) const {
  os << "modem[" << modem_count << "," << modems.size() << "]: ";
}

Slot* ModemFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_modem) return nullptr;
  const auto& p = static_cast<const TERM::ModemParams&>(*params.getSelection());
  if (!Carries(p)) return nullptr;
  if (p.has_ddm() && p.get_ddm().size() > 0 && !free_interfaces.empty()) {
    auto* slot = new HdlcModemSlot(p, free_interfaces.front());
    free_interfaces.pop_front();
    modems.push_back(slot);
    hdlc_modems.push_back(slot);
    return slot;
  }
  auto* slot = new DspModemSlot(p);
  modems.push_back(slot);
  dsp_modems.push_back(slot);
  return slot;
}

bool ModemFactory::Carries(const TERM::ModemParams& p) {
  // The texts reach the program's command line as C strings, which a NUL would cut.
  const auto nul = [](const std::string& text) { return text.find('\0') != std::string::npos; };
  const char* field = nullptr;
  if (nul(p.get_cid())) field = "cid";
  if (!field && p.has_execfile() && nul(p.get_execfile())) field = "execfile";
  if (!field && p.has_execargs()) {
    for (const auto& a : p.get_execargs()) {
      if (nul(a)) field = "execargs";
    }
  }
  if (!field) return true;
  refusalLogs.write(std::cerr, this, "modem refused: ", field, " holds a NUL");
  Slots::instance().Refuse(LGCP::ErrorCause::invalidParams);
  return false;
}

void ModemFactory::Query(LGCP::Resources& report) {
  IQuery();
  report.get_modem() = static_cast<int32_t>(modem_count);
  report.get_digital_modems() = static_cast<int32_t>(free_interfaces.size());
}

void ModemFactory::IQuery() {
  update_modemDevices();
  update_hdlcDevices();
}

void ModemFactory::update_modemDevices() {
  modem_count = 0;
  Fd fd(Device::open(kModemDevice, O_RDWR));
  if (!fd) {
    std::cerr << ext::header(this) << "fail to open " << ext::quoted(kModemDevice) << " : "
              << std::strerror(errno) << std::endl;
    return;
  }
  int number = -1;
  while ((number = Device::ioctl(fd.get(), MctlIoctl::kNextModem,
                                 static_cast<unsigned long>(number))) >= 0) {
    ++modem_count;
  }
  if (errno != ENODEV) {
    std::cerr << ext::header(this) << "enum fail: " << std::strerror(errno) << std::endl;
  }
}

bool ModemFactory::held(const std::string& name) const {
  return std::any_of(hdlc_modems.begin(), hdlc_modems.end(),
                     [&](const HdlcModemSlot* s) { return s->name == name; });
}

void ModemFactory::update_hdlcDevices() {
  free_interfaces.clear();
  Fd socket = GenericHdlc::open_socket();
  if (!socket) return;
  for (int n = 0; n < kMaxInterfaces; ++n) {
    const std::string name = "hdlc" + std::to_string(n);
    int index;
    uint16_t flags;
    if (!GenericHdlc::get_index(socket, name, index) ||
        !GenericHdlc::get_flags(socket, name, flags)) {
      break;
    }
    // An interface a live slot holds is not free, however it shows.
    if (!(flags & NetFlags::kLoopback) && (flags & NetFlags::kPointToPoint) && !held(name)) {
      free_interfaces.push_back(name);
    }
  }
  if (free_interfaces.empty()) return;
  std::clog << ext::header(this) << "found point-o-point devices:";
  for (const auto& name : free_interfaces) std::clog << " " << name;
  std::clog << std::endl;
}

void ModemFactory::ReleaseModemSlot(DspModemSlot* slot) {
  modems.remove(slot);
  dsp_modems.remove(slot);
  forget_session(slot->modem_id());
}

void ModemFactory::ReleaseModemSlot(HdlcModemSlot* slot) {
  const bool listed = std::find(hdlc_modems.begin(), hdlc_modems.end(), slot) != hdlc_modems.end();
  forget_session(slot->modem_id());
  modems.remove(slot);
  hdlc_modems.remove(slot);
  if (listed && std::find(free_interfaces.begin(), free_interfaces.end(), slot->name) ==
                    free_interfaces.end()) {
    free_interfaces.push_back(slot->name);
  }
}

// ---- the relay ----

void ModemFactory::Init() {
  Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  const int on = 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kAuthPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // A quick restart binds the port again while the old connections linger.
  if (!fd || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::cerr << ext::header(this) << "fail to bind auth socket: " << std::strerror(errno)
              << std::endl;
    return;
  }
  if (::listen(fd.get(), kBacklog) != 0) {
    std::cerr << ext::header(this) << "fail to listen auth socket: " << std::strerror(errno)
              << std::endl;
    return;
  }
  if (!fd.NonBlock()) {
    std::cerr << ext::header(this) << "can't set socket to non block mode: " << std::strerror(errno)
              << std::endl;
    return;
  }
  server.Schedule(std::move(fd), POLLIN);
}

void ModemFactory::OnSocketEvent(int fd, short events) {
  if (events & (POLLERR | POLLHUP)) {
    std::cerr << ext::header(this) << "auth server socket error." << std::endl;
    accept_pause_.reset();
    server.Release();
    server.UnBind();
    return;
  }
  if (!(events & POLLIN)) return;
  INet4::Addr peer;
  socklen_t size = INet4::Addr::size;
  Fd connection(accept_socket(fd, peer.sa(), &size, SOCK_CLOEXEC));
  if (!connection) {
    const int error = errno;
    if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
      pause_accepting(error);
    }
    return;
  }
  if (!connection.NonBlock()) {
    std::cerr << ext::header(this) << "fail to set nonblock mode." << std::endl;
    return;
  }
  if (!make_room()) {
    refusalLogs.write(std::cerr, "auth connection refused", [&](std::ostream& os) {
      os << ext::header(this) << "auth connection from " << peer << " refused: "
         << clients.size() << " connections wait for answers";
    });
    return;
  }
  auto* client = new AuthClient(std::move(connection), peer, *this);
  clients.push_back(client);
  client->Activate();
  refusalLogs.write(std::cerr, this, "incoming auth connection from ", peer);
}

bool ModemFactory::make_room() {
  if (clients.size() < kMaxAuthClients) return true;
  // In the order of their opening: the first that does not wait is the oldest.
  auto oldest = std::find_if(clients.begin(), clients.end(),
                             [](const AuthClient* c) { return !c->waiting(); });
  if (oldest == clients.end()) {
    oldest = std::max_element(clients.begin(), clients.end(),
                              [this](const AuthClient* a, const AuthClient* b) {
                                return waited_ms(*a) < waited_ms(*b);
                              });
    if (waited_ms(**oldest) < AuthSession::kAnswerWaitMs) return false;
  }
  (*oldest)->TakePlace();
  return clients.size() < kMaxAuthClients;
}

uint32_t ModemFactory::waited_ms(const AuthClient& client) {
  const ModemSlot* slot = FindModemByDsp(client.answer_session());
  return slot ? slot->auth().waited_ms() : 0;
}

void ModemFactory::pause_accepting(int error) {
  refusalLogs.write(std::cerr, "fail to accept auth connection", [&](std::ostream& os) {
    os << ext::header(this) << "fail to accept auth connection: " << std::strerror(error);
  });
  server.set_events(0);
  accept_pause_.set(kAcceptPauseMs, &ModemFactory::resume_accepting, this);
}

void ModemFactory::resume_accepting() {
  if (server.fd()) server.set_events(POLLIN);
}

ModemSlot* ModemFactory::FindModemByDsp(int id) {
  for (ModemSlot* m : modems) {
    if (m->EqAuthId(id)) return m;
  }
  return nullptr;
}

void ModemFactory::OnAuth(const attr& record, AuthClient& from) {
  ModemSlot* slot = FindModemByDsp(record.session());
  if (!slot) {
    unknown_request_ = record.session();
    unknown_request_log_.report();
    return;
  }
  slot->OnAuth(record, from);
}

AuthClient* ModemFactory::answerer(int session) {
  for (AuthClient* c : clients) {
    if (c->answers(session)) return c;
  }
  return nullptr;
}

void ModemFactory::Ask(AuthClient& from, int session) {
  forget_session(session);
  from.Ask(session);
}

void ModemFactory::EndWait(int session) {
  if (AuthClient* c = answerer(session)) c->EndWait();
}

void ModemFactory::forget_session(int session) {
  if (AuthClient* c = answerer(session)) c->Forget();
}

bool ModemFactory::SendAuth(const attr& record) {
  if (AuthClient* c = answerer(record.session())) return c->Send(record);
  unknown_answer_ = record.session();
  unknown_answer_log_.report();
  return false;
}

void ModemFactory::FlushLogs() {
  SlotFactory::FlushLogs();
  unknown_request_log_.flush();
  unknown_answer_log_.flush();
}

void ModemFactory::OnAuthSocketDisconnect(AuthClient* client) {
  unknown_request_log_.flush();
  refusalLogs.write(std::clog, "auth client disconnected", [&](std::ostream& os) {
    os << ext::header(this) << "auth client " << client->peer() << " disconnected.";
  });
  clients.remove(client);
  delete client;
}
