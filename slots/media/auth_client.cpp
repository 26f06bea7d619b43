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

void AuthClient::Activate() {
  event.set_events(POLLIN);
  deadline_.set(kRecordDeadlineMs, &AuthClient::on_deadline, this);
}

void AuthClient::OnDisconnect() {
  deadline_.reset();
  event.Release();
}

void AuthClient::on_deadline() {
  factory_.refusalLogs.write(std::cerr, "auth connection without a whole record",
                             [this](std::ostream& os) {
                               os << ext::header(this) << "no whole record within "
                                  << kRecordDeadlineMs << " ms, closed";
                             });
  OnDisconnect();
  CheckDisconnect();
}

void AuthClient::CheckDisconnect() {
  if (use_ == 0 && closed()) factory_.OnAuthSocketDisconnect(this);
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
      session_ = reader_.record().session();
      identified_ = true;
      deadline_.reset();
      factory_.OnAuth(reader_.record());
    }
  }
  if (!closed() && !reader_.idle() && !deadline_.get()) {
    deadline_.set(kRecordDeadlineMs, &AuthClient::on_deadline, this);
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
