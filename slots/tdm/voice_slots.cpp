#include "slots/tdm/voice_slots.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "base/ext_header.h"
#include "base/path.h"
#include "slots/tdm/voice_factory.h"

namespace {

constexpr unsigned kConnectTimeoutMs = 5000;
constexpr unsigned kFileBufSize = 8192;
constexpr const char* kVoiceDir = "/usr/local/voice/";

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

void log_connect_fail(const Slot& slot, const std::string& host) {
  std::clog << ext::header(&slot) << "connection to " << host << " fail." << std::endl;
}

// A connect of `slot` to `host`, whose end goes to `on_connect`; null, after the line of a failed
// connection, when it ended inside its start (no socket to be had). The handler is bound only
// once the connect is under way, so that such a failure is the caller's to answer.
template <class T>
std::unique_ptr<ASync::Connect> connect_to(T& slot, const std::string& host,
                                           void (T::*on_connect)(ASync::Connect::Status::Type,
                                                                 Fd)) {
  std::unique_ptr<ASync::Connect> connect(new ASync::Connect);
  connect->Start(host, kConnectTimeoutMs);
  if (connect->status() != ASync::Connect::Status::Connecting) {
    log_connect_fail(slot, host);
    return nullptr;
  }
  connect->Bind(new ASync::Connect::THandler<T>(on_connect, &slot));
  return connect;
}

}  // namespace

std::string dhost2str(const TERM::HostAddress& host) {
  return host.get_iaddr() + ":" + std::to_string(host.get_port().getValue());
}

// ---- PlaySlotGeneric ----

PlaySlotGeneric::PlaySlotGeneric(Fd channel_fd, int switch_channel)
    : channel(switch_channel), fd(std::move(channel_fd)) {
}

bool PlaySlotGeneric::IBeforeDestroy() {
  VoiceFactory::instance().OnDestroy(this);
  return true;
}

void PlaySlotGeneric::PutHeader(std::ostream& os) const { put_header(os, GetName(), channel); }

bool PlaySlotGeneric::RefuseStream() {
  end_call.Bind(this, &PlaySlotGeneric::delayed_abort);
  end_call.Activate();
  return false;
}

void PlaySlotGeneric::ReleaseLater() {
  end_call.Bind(this, &PlaySlotGeneric::delayed_release);
  end_call.Activate();
}

void PlaySlotGeneric::delayed_abort() {
  end_call.Deactivate();
  OnAbort(0);
}

void PlaySlotGeneric::delayed_release() {
  end_call.Deactivate();
  Release();
}

void PlaySlotGeneric::start_copy(ASync::Copy& c, Fd source) {
  ASync::Copy::EventsParams params;
  params.src = POLLIN;
  params.dst = POLLOUT;
  params.flush = POLLWRNORM;
  c.set_events(params);
  c.Start(std::move(source), Fd(fd));
}

// ---- PlaySlotNetwork ----

PlaySlotNetwork::PlaySlotNetwork(Fd channel_fd, int switch_channel,
                                 const LGCP::PlayerParams_network& params)
    : PlaySlotGeneric(std::move(channel_fd), switch_channel),
      host(dhost2str(params.get_host())),
      id(params.get_id().getValue()) {}

bool PlaySlotNetwork::IOnOutputStream() {
  // A host that cannot even be connected to plays nothing: the connection is refused.
  if (state == kIdle && !ASync::Connect::Addressable(host)) return RefuseStream();
  return channel >= 0;
}

void PlaySlotNetwork::IOnOutputOpen(bool made) {
  if (!made) return;
  OnChangeOutputStream(true);
  if (state != kIdle) return;
  connect = connect_to(*this, host, &PlaySlotNetwork::OnConnect);
  if (connect) {
    state = kConnecting;
  } else {
    ReleaseLater();
  }
}

void PlaySlotNetwork::OnConnect(ASync::Connect::Status::Type status, Fd socket) {
  if (status != ASync::Connect::Status::Connected) {
    log_connect_fail(*this, host);
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

PlaySlotFile::PlaySlotFile(Fd channel_fd, int switch_channel,
                           const LGCP::PlayerParams_file& params)
    : PlaySlotGeneric(std::move(channel_fd), switch_channel),
      repeat(params.get_repeat().getValue()) {
  for (const auto& name : params.get_name()) names.push_back(name);
}

bool PlaySlotFile::IOnOutputStream() {
  if (!started && !playable()) return RefuseStream();
  return channel >= 0;
}

void PlaySlotFile::IOnOutputOpen(bool made) {
  if (!made) return;
  OnChangeOutputStream(true);
  if (started) return;
  started = true;
  // The channel refused the first write, or no file held anything to read.
  if (!restart()) ReleaseLater();
}

bool PlaySlotFile::playable() {
  return std::any_of(names.begin(), names.end(),
                     [this](const std::string& name) { return bool(open_file(name)); });
}

Fd PlaySlotFile::open_file(const std::string& name) {
  if (escapes(name)) {
    refusalLogs.write(std::cerr, "file skipped: outside the voice directory",
                      [&](std::ostream& os) {
                        os << ext::header(this) << "skipped " << name
                           << ": outside the voice directory";
                      });
    return Fd();
  }
  const std::string path = Path::board(kVoiceDir + name);
  Fd f(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (f && (::fstat(f.get(), &st) != 0 || S_ISDIR(st.st_mode))) return Fd();
  return f;
}

bool PlaySlotFile::restart() {
  position = 0;
  played = 0;
  return next_phrase() == Phrase::kPlaying;
}

PlaySlotFile::Phrase PlaySlotFile::next_phrase() {
  while (position < names.size()) {
    const std::string& name = names[position++];
    copy.reset();
    Fd file = open_file(name);
    if (!file) continue;
    copy.reset(new ASync::Copy);
    copy->set_bufsize(kFileBufSize);
    // The first read and write happen inside the start. The handler is bound only after it,
    // so that a copy ending there is dealt with here, before the play is reported, and the
    // signals keep the order of what happened.
    start_copy(*copy, std::move(file));
    if (copy->status() != ASync::Copy::Status::Failed) {
      copy->Bind(new ASync::Copy::THandler<PlaySlotFile>(&PlaySlotFile::OnPlayComplete, this));
      return Phrase::kPlaying;
    }
    if (copy->error() != 0) {
      refusalLogs.write(std::cerr, this, "play failed: ", std::strerror(copy->error()));
      copy.reset();
      return Phrase::kChannelFailed;
    }
    // The file cannot be read: skipped as one that cannot be opened.
  }
  copy.reset();
  return Phrase::kListEnd;
}

void PlaySlotFile::OnPlayComplete(ASync::Copy::Status::Type status) {
  if (status != ASync::Copy::Status::Done) {
    Release();
    return;
  }
  played += copy->written();
  switch (next_phrase()) {
    case Phrase::kPlaying:
      return;
    case Phrase::kChannelFailed:
      Release();
      return;
    case Phrase::kListEnd:
      break;
  }
  // One pass over the list is done. A pass that played nothing (empty files, a FIFO without a
  // writer) would only be followed by another at once: the play ends instead.
  if (played == 0) {
    Release();
    return;
  }
  // Only a positive count is counted down: a negative one would run into the lowest int.
  if (repeat > 0 && repeat-- == 1) {
    Release();
    return;
  }
  if (!restart()) Release();
}

void PlaySlotFile::Release() {
  OnChangeOutputStream(false);
  copy.reset();
  OnAbort(0);
}

// ---- RecordSlot ----

RecordSlot::RecordSlot(Fd channel_fd, int switch_channel, const std::string& host_text)
    : channel(switch_channel), fd(std::move(channel_fd)), host(host_text) {}

void RecordSlot::IAfterCreate() { OnChangeInputStream(true); }

bool RecordSlot::IBeforeDestroy() {
  VoiceFactory::instance().OnDestroy(this);
  return true;
}

void RecordSlot::PutHeader(std::ostream& os) const { put_header(os, GetName(), channel); }

bool RecordSlot::IOnInputStream() {
  // A host that cannot even be connected to records nothing: the source is refused.
  return ASync::Connect::Addressable(host);
}

void RecordSlot::IOnInputOpen(bool made) {
  // The side was reported open at the creation.
  if (!made) return;
  connect = connect_to(*this, host, &RecordSlot::OnConnect);
  if (!connect) StopRecording(LGCP::StopRecordingCause::connectionFail);
}

void RecordSlot::OnConnect(ASync::Connect::Status::Type status, Fd socket) {
  if (status != ASync::Connect::Status::Connected) {
    log_connect_fail(*this, host);
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
