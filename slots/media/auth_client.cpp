#include "slots/media/auth_client.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <string>

#include "base/ext_header.h"
#include "base/write_all.h"
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

void AuthClient::Activate() {
  event.set_events(POLLIN);
  restart_deadline();
}

void AuthClient::OnDisconnect() {
  deadline_.reset();
  event.Release();
}

void AuthClient::restart_deadline() {
  if (waiting_) {
    deadline_.reset();
  } else if (!closed()) {
    deadline_.set(kRecordDeadlineMs, &AuthClient::on_deadline, this);
  }
}

void AuthClient::close(const char* kind, const std::string& why) {
  factory_.refusalLogs.write(std::cerr, kind,
                             [&](std::ostream& os) { os << ext::header(this) << why; });
  OnDisconnect();
  CheckDisconnect();
}

void AuthClient::on_deadline() {
  close("auth connection without a whole record",
        "no whole record within " + std::to_string(kRecordDeadlineMs) + " ms, closed");
}

void AuthClient::TakePlace() {
  close("auth connection closed for a new one", "closed, its place taken by a new connection");
}

void AuthClient::CheckDisconnect() {
  if (use_ == 0 && closed()) factory_.OnAuthSocketDisconnect(this);
}

void AuthClient::Ask(int session) {
  answers_ = session;
  waiting_ = true;
  deadline_.reset();
}

void AuthClient::Forget() {
  answers_ = Auth::kNoSession;
  EndWait();
}

void AuthClient::EndWait() {
  if (!waiting_) return;
  waiting_ = false;
  restart_deadline();
}

void AuthClient::OnSocketEvent(int, short events) {
  ++use_;
  if (events & (POLLERR | POLLHUP)) OnDisconnect();
  for (unsigned reads = 0; (events & POLLIN) && !closed() && reads < kMaxReadsPerEvent;
       ++reads) {
    const ssize_t n = ::read(event.fd().get(), reader_.space(), reader_.room());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      OnDisconnect();
      break;
    }
    const Auth::Reader::Result result = reader_.took(static_cast<size_t>(n));
    if (result == Auth::Reader::kBadLength) {
      factory_.refusalLogs.write(std::cerr, "auth record of invalid length",
                                 [this](std::ostream& os) {
                                   os << ext::header(this) << "invalid record length "
                                      << reader_.bad_length();
                                 });
      OnDisconnect();
    } else if (result == Auth::Reader::kRecord) {
      restart_deadline();
      factory_.OnAuth(reader_.record(), *this);
    }
  }
  --use_;
  CheckDisconnect();
}

bool AuthClient::Send(const attr& record) {
  if (closed()) return false;
  const bool sent = write_all(event.fd().get(), record.bytes.data(), record.bytes.size());
  if (sent) {
    EndWait();
  } else {
    OnDisconnect();
  }
  CheckDisconnect();
  return sent;
}
