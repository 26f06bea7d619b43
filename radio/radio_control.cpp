#include "radio/radio_control.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "base/device.h"
#include "base/multiplexer.h"
#include "base/mux_clock.h"

namespace RTPSignalling {

bool IRadioController::SendASNToChan(const TERM::RadioStatus&) { return false; }
bool IRadioController::SendASNToChan(const TERM::RadioModifier&) { return false; }
bool IRadioController::GetSQU() { return false; }

void IRadioIntController::OnRtpExtEvent(int, short) {}
unsigned long IRadioIntController::ProcessRadioStatus(unsigned long, unsigned long interval) {
  return interval;
}

void IRadioControlNotify::RadioControlNotify(const TERM::RtpRadioRequest&) {}
void IRadioControlNotify::RadioControlNotify(int) {}

uint32_t age_ms(uint32_t now, uint32_t then) {
  const int32_t d = static_cast<int32_t>(now - then);
  return d > 0 ? static_cast<uint32_t>(d) : 0;
}

RadioControl::RadioControl(int id, const rtp_ext_attach_session_params& attach,
                           const rtp_ext_init_params& init)
    : attach_(attach), init_(init), id_(static_cast<uint32_t>(id)) {
  Init(ExtAttach);
}

RadioControl::RadioControl(const rtp_ext_init_params& init) : init_(init) { Init(ExtOnly); }

RadioControl::RadioControl(int id, const Fd& rtp, const rtp_attach_session_params& attach)
    : rtp_(rtp), rtp_attach_(attach), id_(static_cast<uint32_t>(id)) {
  Init(RtpAttach);
}

RadioControl::~RadioControl() {
  logs_.flush([this](std::ostream& log) { log << GetPrefix() << " "; });
}

void RadioControl::Init(RadioControlType type) {
  type_ = type;
  last_status_ = Mux::milliseconds();
  interval_ = kDefaultInterval;
  filter_active_ = false;
  filter_taken_ = true;
  notify_ = nullptr;
  timer_enabled_ = false;
  event_.Bind("RadioControl::OnRtpExtEvent", &RadioControl::OnEvent, this);
  more_.Bind(this, &RadioControl::OnMore);
  RtpExtStart(true);
}

void RadioControl::LogFailure(const char* message) {
  const int error = errno;
  LogThrottled(message, [&](std::ostream& log) { log << message << ": " << std::strerror(error); });
}

bool RadioControl::Refuses(const std::string& why) {
  if (why.empty()) return false;
  LogThrottled("value refused", [&](std::ostream& log) { log << "value refused: " << why; });
  return true;
}

bool RadioControl::OpenSession() {
  Fd session(Device::open(GetRtpExtDevName(), O_RDWR | O_NONBLOCK));
  if (!session) {
    LogFailure("create rtp_ext session fail !!!");
    return false;
  }
  if (Device::ioctl(session.get(), RtpExtIoctl::kInit, &init_, sizeof init_) < 0) {
    LogFailure("init rtp_ext session fail !!!");
    return false;
  }
  if (type_ == ExtAttach &&
      Device::ioctl(session.get(), RtpExtIoctl::kAttach, &attach_, sizeof attach_) < 0) {
    LogFailure("attach rtp_ext session fail !!!");
    return false;
  }
  ext_ = std::move(session);
  event_.Schedule(ext_, POLLIN);
  // A new session filters nothing: it gets the controller's filter, if there is one.
  filter_taken_ = !filter_active_;
  if (filter_active_) ApplyFilter();
  return true;
}

bool RadioControl::RtpExtStart(bool first) {
  switch (type_) {
    case ExtAttach:
      return OpenSession();
    case RtpAttach:
      if (Device::ioctl(rtp_.get(), RtpExtIoctl::kRtpAttach, &rtp_attach_, sizeof rtp_attach_) <
          0) {
        LogFailure("attach rtp session fail !!!");
        return false;
      }
      return true;
    case ExtOnly:
      return !first || OpenSession();
  }
  return true;
}

void RadioControl::SetRtpSession(const Fd& session) {
  if (type_ == ExtAttach) attach_.fd_rtp = session.get();
  if (type_ == RtpAttach) rtp_ = session;
}

bool RadioControl::RtpExtStop() {
  if (type_ == RtpAttach) rtp_.close();
  if (type_ != ExtAttach) return true;
  if (Device::ioctl(ext_.get(), RtpExtIoctl::kDetach, 0ul) < 0)
    LogFailure("detach rtp_ext session fail !!!");
  event_.Release();
  ext_.close();
  return true;
}

void RadioControl::SetTimerEnable(bool enable) {
  timer_enabled_ = enable;
  if (enable)
    SetTimer(interval_);
  else
    status_timer_.reset();
}

void RadioControl::SetTimer(unsigned long ms) {
  status_timer_.set(static_cast<unsigned>(ms), &RadioControl::OnProcessStatus, this);
}

void RadioControl::OnProcessStatus(Timer*) {
  last_status_ = Mux::milliseconds();
  SetTimer(static_cast<IRadioIntController*>(this)->ProcessRadioStatus(last_status_, interval_));
}

int RadioControl::UpdateAccess(bool allow, const in_addr& source) {
  const bool active = allow && source.s_addr != 0;
  const uint32_t addr = active ? source.s_addr : 0;
  if (filter_taken_ && active == filter_active_ && addr == filter_.addr) return 0;
  filter_active_ = active;
  filter_ = rtp_ext_source_filter{addr, 0};
  ApplyFilter();
  return 0;
}

void RadioControl::ApplyFilter() {
  filter_taken_ = false;
  if (filter_active_) {
    if (Device::ioctl(ext_.get(), RtpExtIoctl::kSetFilter, &filter_, sizeof filter_) < 0) {
      LogFailure("set filer rtp_ext session fail !!!");
      return;
    }
  } else if (Device::ioctl(ext_.get(), RtpExtIoctl::kResetFilter, 0ul) < 0) {
    LogFailure("reset filer rtp_ext session fail !!!");
    return;
  }
  filter_taken_ = true;
}

const std::string& RadioControl::GetPrefix() {
  Mux::timeval now;
  Mux::gettimeval(now);
  const std::string time = Mux::timevaltostring(now);
  char text[255];
  if (type_ == ExtOnly)
    std::snprintf(text, sizeof text, "rtp_ext %s:", time.c_str());
  else
    std::snprintf(text, sizeof text, "rtp_ext[%lu] %s:", static_cast<unsigned long>(id_),
                  time.c_str());
  prefix_ = text;
  return prefix_;
}

void RadioControl::OnRtpExtEvent(int, short) {}

void RadioControl::OnMore() {
  more_.Deactivate();
  OnRtpExtEvent(ext_.get(), POLLIN);
}

void RadioControl::BatchDone(bool more) {
  if (!more) {
    more_.Deactivate();
    return;
  }
  more_.Activate();
  // An active deferred call alone lets the loop sleep until its next timer.
  multiplexer.stay_awake();
}

unsigned long RadioControl::ProcessRadioStatus(unsigned long, unsigned long interval) {
  return interval;
}

int RadioControl::ReadPacket(unsigned char* buf) {
  // A stopped session has nothing more: the run held is processed.
  if (!ext_) return -1;
  packet_info_ = rtp_ext_packet_info{};
  const bool described = Device::ioctl(ext_.get(), RtpExtIoctl::kPacketInfo, &packet_info_,
                                       sizeof packet_info_) >= 0;
  const int info_error = errno;
  if (!described && (info_error == EAGAIN || info_error == EWOULDBLOCK || info_error == EINTR))
    return -1;
  ssize_t n;
  do {
    n = ::read(ext_.get(), buf, kPacketSize);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && errno != EAGAIN) LogFailure("read rtp_ext packet fail");
  if (!described) {
    // The engine failed to say where the packet came from: it is not reported with a made-up
    // sender.
    LogThrottled("packet info rtp_ext fail", [&](std::ostream& log) {
      log << "packet info rtp_ext fail: " << std::strerror(info_error);
      if (n > 0) log << ", packet dropped";
    });
    return n > 0 ? 0 : -1;
  }
  return n > 0 ? static_cast<int>(n) : -1;
}

int RadioControl::WritePacket(const unsigned char* packet, int length) {
  const ssize_t n = ::write(ext_.get(), packet, static_cast<size_t>(length));
  // Without a session of its own (RtpAttach) the controller has nothing to write on.
  if (n < 0 && ext_) LogFailure("write rtp_ext packet fail");
  return static_cast<int>(n);
}

}  // namespace RTPSignalling
