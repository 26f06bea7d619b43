#include "slots/tdm/voice_slots.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "base/device.h"
#include "base/ext_header.h"
#include "base/path.h"
#include "hw/mcc_records.h"
#include "slots/tdm/voice_factory.h"

namespace {

constexpr unsigned kConnectTimeoutMs = 5000;
constexpr unsigned kFileBufSize = 8192;
constexpr const char* kVoiceDir = "/usr/local/voice/";

int timeslot_of(const Fd& fd) { return Device::ioctl(fd.get(), MccIoctl::kTimeslot, 0ul); }

// A name that leaves the voice directory through a ".." component.
bool escapes(const std::string& name) {
  std::istringstream parts(name);
  std::string part;
  while (std::getline(parts, part, '/')) {
    if (part == "..") return true;
  }
  return false;
}

void put_header(std::ostream& os, const char* name, int channel) {
  os << name << "[" << channel << "]: ";
}

}  // namespace

std::string dhost2str(const TERM::HostAddress& host) {
  return host.get_iaddr() + ":" + std::to_string(host.get_port().getValue());
}

// ---- PlaySlotGeneric ----

PlaySlotGeneric::PlaySlotGeneric(Fd channel_fd)
    : channel(timeslot_of(channel_fd)), fd(std::move(channel_fd)) {}

bool PlaySlotGeneric::IBeforeDestroy() {
  VoiceFactory::instance().OnDestroy(this);
  return true;
}

void PlaySlotGeneric::PutHeader(std::ostream& os) const { put_header(os, GetName(), channel); }

void PlaySlotGeneric::start_copy(ASync::Copy& c, Fd source) {
  ASync::Copy::EventsParams params;
  params.src = POLLIN;
  params.dst = POLLOUT;
  params.flush = POLLWRNORM;
  c.set_events(params);
  c.Start(std::move(source), Fd(fd));
}

// ---- PlaySlotNetwork ----

PlaySlotNetwork::PlaySlotNetwork(Fd channel_fd, const LGCP::PlayerParams_network& params)
    : PlaySlotGeneric(std::move(channel_fd)),
      host(dhost2str(params.get_host())),
      id(params.get_id().getValue()) {}

bool PlaySlotNetwork::IOnOutputStream() {
  if (state == kIdle) {
    state = kConnecting;
    connect.reset(new ASync::Connect);
    connect->Bind(new ASync::Connect::THandler<PlaySlotNetwork>(&PlaySlotNetwork::OnConnect, this));
    connect->Start(host, kConnectTimeoutMs);
  }
  OnChangeOutputStream(true);
  return channel >= 0;
}

void PlaySlotNetwork::OnConnect(ASync::Connect::Status::Type status, Fd socket) {
  if (status != ASync::Connect::Status::Connected) {
    std::clog << ext::header(this) << "connection to " << host << " fail." << std::endl;
    Release();
    return;
  }
  std::clog << ext::header(this) << "connected to " << host << "." << std::endl;
  LGCP::IoctlResponse response;
  response.select_startPlaying();
  OnIoctlResponse(response);
  state = kPlaying;
  connect.reset();
  const uint32_t header = htonl(static_cast<uint32_t>(id));
  // A broken socket shows up as a failure of the copy.
  (void)!::write(socket.get(), &header, sizeof header);
  copy.reset(new ASync::Copy);
  copy->Bind(new ASync::Copy::THandler<PlaySlotNetwork>(&PlaySlotNetwork::OnPlayComplete, this));
  start_copy(*copy, std::move(socket));
}

void PlaySlotNetwork::OnPlayComplete(ASync::Copy::Status::Type status) {
  if (status == ASync::Copy::Status::Done) {
    std::clog << ext::header(this) << "connection to " << host << " closed." << std::endl;
  } else {
    std::cerr << ext::header(this) << "play failed" << std::endl;
  }
  Release();
}

void PlaySlotNetwork::Release() {
  state = kReleased;
  OnChangeOutputStream(false);
  copy.reset();
  connect.reset();
  OnAbort(0);
}

// ---- PlaySlotFile ----

PlaySlotFile::PlaySlotFile(Fd channel_fd, const LGCP::PlayerParams_file& params)
    : PlaySlotGeneric(std::move(channel_fd)), repeat(params.get_repeat().getValue()) {
  for (const auto& name : params.get_name()) names.push_back(name);
  abort_call.Bind(this, &PlaySlotFile::delayed_abort);
}

bool PlaySlotFile::IOnOutputStream() {
  if (!started) {
    if (!restart()) {
      abort_call.Activate();
      return false;
    }
    started = true;
  }
  OnChangeOutputStream(true);
  return channel >= 0;
}

bool PlaySlotFile::restart() {
  position = 0;
  return next_phrase();
}

bool PlaySlotFile::next_phrase() {
  while (position < names.size()) {
    const std::string& name = names[position++];
    file.close();
    if (escapes(name)) {
      refusalLogs.write(
          std::cerr, "file skipped: outside the voice directory", [&](std::ostream& os) {
            os << ext::header(this) << "skipped " << name << ": outside the voice directory";
          });
      continue;
    }
    const std::string path = Path::board(kVoiceDir + name);
    file = Fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file) continue;
    ::lseek(file.get(), 0, SEEK_SET);
    copy.reset(new ASync::Copy);
    copy->Bind(new ASync::Copy::THandler<PlaySlotFile>(&PlaySlotFile::OnPlayComplete, this));
    copy->set_bufsize(kFileBufSize);
    start_copy(*copy, Fd(file));
    return true;
  }
  return false;
}

void PlaySlotFile::OnPlayComplete(ASync::Copy::Status::Type status) {
  if (status != ASync::Copy::Status::Done) {
    Release();
    return;
  }
  if (next_phrase()) return;
  // Only a positive count is counted down: a negative one would run into the lowest int.
  if (repeat > 0 && repeat-- == 1) {
    Release();
    return;
  }
  if (!restart()) OnAbort(0);
}

void PlaySlotFile::Release() {
  OnChangeOutputStream(false);
  copy.reset();
  OnAbort(0);
}

void PlaySlotFile::delayed_abort() {
  abort_call.Deactivate();
  OnAbort(0);
}

// ---- RecordSlot ----

RecordSlot::RecordSlot(Fd channel_fd, const std::string& host_text)
    : channel(timeslot_of(channel_fd)), fd(std::move(channel_fd)), host(host_text) {}

void RecordSlot::IAfterCreate() { OnChangeInputStream(true); }

bool RecordSlot::IBeforeDestroy() {
  VoiceFactory::instance().OnDestroy(this);
  return true;
}

void RecordSlot::PutHeader(std::ostream& os) const { put_header(os, GetName(), channel); }

bool RecordSlot::IOnInputStream() {
  connect.reset(new ASync::Connect);
  connect->Bind(new ASync::Connect::THandler<RecordSlot>(&RecordSlot::OnConnect, this));
  connect->Start(host, kConnectTimeoutMs);
  return true;
}

void RecordSlot::OnConnect(ASync::Connect::Status::Type status, Fd socket) {
  if (status != ASync::Connect::Status::Connected) {
    std::clog << ext::header(this) << "connection to " << host << " fail." << std::endl;
    StopRecording(LGCP::StopRecordingCause::connectionFail);
    return;
  }
  std::clog << ext::header(this) << "connected to " << host << "." << std::endl;
  connect.reset();
  copy.reset(new ASync::Copy);
  copy->Bind(new ASync::Copy::THandler<RecordSlot>(&RecordSlot::OnRecordComplete, this));
  ASync::Copy::EventsParams params;
  params.src = POLLIN;
  params.dst = POLLOUT;
  params.flush = 0;
  copy->set_events(params);
  copy->Start(Fd(fd), std::move(socket));
}

void RecordSlot::OnRecordComplete(ASync::Copy::Status::Type status) {
  if (status == ASync::Copy::Status::Done) {
    std::clog << ext::header(this) << "connection to " << host << " closed." << std::endl;
    StopRecording(LGCP::StopRecordingCause::userRequest);
  } else {
    std::cerr << ext::header(this) << "record aborted" << std::endl;
    StopRecording(LGCP::StopRecordingCause::connectionAborted);
  }
}

void RecordSlot::StopRecording(LGCP::StopRecordingCause::NamedNumber cause) {
  copy.reset();
  connect.reset();
  LGCP::IoctlResponse response;
  response.select_stopRecording() = cause;
  OnIoctlResponse(response);
}
