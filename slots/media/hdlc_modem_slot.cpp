#include "slots/media/hdlc_modem_slot.h"

#include <cstring>
#include <iostream>

#include "base/ext_header.h"
#include "base/path.h"
#include "hw/generic_hdlc.h"
#include "hw/generic_hdlc_records.h"
#include "slots/media/auth_records.h"
#include "slots/media/modem_factory.h"

namespace {

// The session of interface `name`, "hdlcN".
int session_of(const std::string& name) {
  constexpr size_t kPrefix = 4;
  if (name.compare(0, kPrefix, "hdlc") != 0 || name.size() == kPrefix ||
      name.size() > kPrefix + 3 ||
      name.find_first_not_of("0123456789", kPrefix) != std::string::npos) {
    return Auth::kNoSession;
  }
  return Auth::digital_session(std::stoi(name.substr(kPrefix)));
}

}  // namespace

HdlcModemSlot::HdlcModemSlot(const TERM::ModemParams& p, const std::string& iface)
    : ModemSlot(p), name(iface), session(session_of(iface)) {}

HdlcModemSlot::~HdlcModemSlot() {
  pppd_kill();
  Fd socket = GenericHdlc::open_socket();
  uint16_t flags = 0;
  if (!GenericHdlc::get_flags(socket, name, flags)) {
    std::cerr << ext::header(this) << "SIOCGIFFLAGS fail!!!" << std::endl;
  } else if (!GenericHdlc::set_flags(socket, name, flags & ~NetFlags::kUp)) {
    std::cerr << ext::header(this) << "SIOCSIFFLAGS fail!!!" << std::endl;
  }
  unsigned char zeroes[4] = {};
  if (!GenericHdlc::wan(socket, name, WanSettings::kProtoHdlc, zeroes, sizeof zeroes)) {
    std::cerr << ext::header(this) << "SIOCWANDEV/IF_PROTO_HDLC fail!" << std::endl;
  }
  unbind();
}

void HdlcModemSlot::unbind() { ModemFactory::instance().ReleaseModemSlot(this); }

void HdlcModemSlot::initModem() {
  if (pid > 0) return;
  Fd socket = GenericHdlc::open_socket();
  if (!socket) return;
  unsigned char settings[WanSettings::kGetIfaceSize] = {};
  if (!GenericHdlc::wan(socket, name, WanSettings::kGetIface, settings, sizeof settings)) {
    std::cerr << ext::header(this) << "SIOCWANDEV/IF_GET_IFACE fail!" << std::endl;
    return;
  }
  uint32_t slot_map;
  std::memcpy(&slot_map, settings + WanSettings::kSlotMapOffset, sizeof slot_map);
  channel = static_cast<int>(slot_map);
  uint32_t zero = 0;
  if (!GenericHdlc::wan(socket, name, WanSettings::kProtoPpp, &zero, sizeof zero)) {
    std::cerr << ext::header(this) << "SIOCWANDEV/IF_PROTO_PPP fail!" << std::endl;
    return;
  }
  pppd_exec(name, Path::board("/usr/local/etc/ppp/ioptions"));
}
