// GenericHdlc: the requests on the kernel's generic-HDLC network interfaces ("hdlcN") through a
// datagram socket (Device::net_socket), as the modem slots use them: look an interface up, read
// and write its flags, read its line settings and switch its protocol between PPP and raw HDLC.
// Each request returns false, with errno set, when it fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/fd.h"

namespace GenericHdlc {

Fd open_socket();
bool get_index(const Fd& socket, const std::string& name, int& index);
bool get_flags(const Fd& socket, const std::string& name, uint16_t& flags);
bool set_flags(const Fd& socket, const std::string& name, uint16_t flags);
// SIOCWANDEV with settings `type` on `buffer` of `size` bytes, read and written in place.
bool wan(const Fd& socket, const std::string& name, uint32_t type, void* buffer, uint32_t size);

}  // namespace GenericHdlc
