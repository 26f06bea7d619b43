#include "slots/media/auth_client.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "base/ext_header.h"
#include "slots/media/modem_factory.h"

AuthClient::AuthClient(Fd fd, const INet4::Addr& peer, ModemFactory& factory)
    : peer_(peer), factory_(factory) {
  event.Bind("AuthClient::OnSocketEvent", &AuthClient::OnSocketEvent, this);
  event.Schedule(std::move(fd), 0);
}

void AuthClient::PutHeader(std::ostream& os) const {
  factory_.PutHeader(os);
  os << "auth client " << peer_ << ": ";
}

void AuthClient::Activate() { event.set_events(POLLIN); }

void AuthClient::OnDisconnect() { event.Release(); }

void AuthClient::CheckDisconnect() {
  if (use_ == 0 && closed()) factory_.OnAuthSocketDisconnect(this);
}

void AuthClient::OnSocketEvent(int, short events) {
  ++use_;
  if (events & (POLLERR | POLLHUP)) OnDisconnect();
  while ((events & POLLIN) && !closed()) {
    const ssize_t n = ::read(event.fd().get(), reader_.space(), reader_.room());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      OnDisconnect();
      break;
    }
    const Auth::Reader::Result result = reader_.took(static_cast<size_t>(n));
    if (result == Auth::Reader::kBadLength) {
      std::cerr << ext::header(this) << "invalid record length " << reader_.bad_length()
                << std::endl;
      OnDisconnect();
    } else if (result == Auth::Reader::kRecord) {
      session_ = reader_.record().session();
      identified_ = true;
      factory_.OnAuth(reader_.record());
    }
  }
  --use_;
  CheckDisconnect();
}

bool AuthClient::Send(const attr& record) {
  if (closed()) return false;
  ++use_;
  size_t done = 0;
  while (done < record.bytes.size()) {
    const ssize_t n =
        ::write(event.fd().get(), record.bytes.data() + done, record.bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 1) {
      OnDisconnect();
      break;
    }
    done += static_cast<size_t>(n);
  }
  --use_;
  const bool sent = done == record.bytes.size();
  CheckDisconnect();
  return sent;
}
