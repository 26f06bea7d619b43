#include "tests/support/hdlc_wire.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "base/mux_clock.h"
#include "tests/support/test_schema_values.h"

namespace {

const char kSideName[] = {'A', 'B'};

HdlcWire::Side other(HdlcWire::Side side) {
  return side == HdlcWire::kA ? HdlcWire::kB : HdlcWire::kA;
}

}  // namespace

std::string HdlcWire::path(const Frame& frame) {
  return std::string(1, frame.injected ? '*' : kSideName[frame.from]) + ">" +
         kSideName[other(frame.from)];
}

std::string HdlcWire::text(const Packet& frame) const {
  return describe ? describe(frame) : frame.text();
}

bool HdlcWire::End::hdlc_transmit(Packet& frame) { return wire_->send(*this, frame); }

bool HdlcWire::End::is_ready() const { return !refused_ && in_flight_ < wire_->capacity; }

HdlcWire::HdlcWire(unsigned capacity_) : capacity(capacity_), start_ms_(Mux::milliseconds()) {
  for (Side side : {kA, kB}) {
    ends_[side].wire_ = this;
    ends_[side].side_ = side;
  }
  event_.Bind("HdlcWire", &HdlcWire::on_event, this);
  event_.Schedule(Fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), 0);
}

void HdlcWire::fault_next(Side from, Fault fault, unsigned count) {
  next_faults_[from].insert(next_faults_[from].end(), count, fault);
}

void HdlcWire::inject(Side to, const Packet& frame) {
  queue_.push_back({other(to), true, frame});
  event_.set_events(POLLOUT);
}

bool HdlcWire::capture(const std::string& path, int link_type, Side user) {
  capture_.open(path, std::ios::trunc);
  capture_ << "# text2pcap -D -t %s.%f -l " << link_type << " " << path << " OUT\n";
  user_ = user;
  return static_cast<bool>(capture_);
}

void HdlcWire::note(const std::string& text) {
  if (tracing) trace.push_back(std::to_string(Mux::milliseconds() - start_ms_) + " " + text);
}

bool HdlcWire::send(End& end, Packet& frame) {
  if (frame.length() == 0) return true;
  if (end.refuse) {
    --end.refuse;
    if (tracing) note(std::string(1, kSideName[end.side_]) + " refused");
    return false;
  }
  if (end.in_flight_ >= capacity) {
    end.refused_ = true;
    if (tracing) note(std::string(1, kSideName[end.side_]) + " full");
    return false;
  }
  ++end.in_flight_;
  const bool was_idle = queue_.empty();
  queue_.push_back({end.side_, false, frame});
  if (tracing) {
    const Packet& bytes = frame;
    end.sent.emplace_back(reinterpret_cast<const char*>(bytes->data), frame.length());
  }
  // The descriptor polls for writing from the first waiting frame until the queue drains.
  if (was_idle) event_.set_events(POLLOUT);
  return true;
}

HdlcWire::Fault HdlcWire::fault_of(const Frame& frame) {
  if (frame.injected) return Fault::kNone;
  std::deque<Fault>& next = next_faults_[frame.from];
  if (!next.empty()) {
    Fault fault = next.front();
    next.pop_front();
    return fault;
  }
  return rule ? rule(frame.from, frame.bytes) : Fault::kNone;
}

void HdlcWire::on_event(int, short revents) {
  if (!(revents & POLLOUT)) return;
  // Frames sent while this turn delivers wait for the next one.
  for (size_t n = queue_.size(); n > 0 && !queue_.empty(); --n) {
    Frame frame = std::move(queue_.front());
    queue_.pop_front();
    if (!frame.injected) --ends_[frame.from].in_flight_;
    switch (fault_of(frame)) {
      case Fault::kNone:
        deliver(frame, "", true);
        break;
      case Fault::kLose:
        if (tracing) note(path(frame) + " lost " + text(frame.bytes));
        break;
      case Fault::kDuplicate:
        deliver(frame, "", false);
        deliver(frame, "dup ", true);
        break;
    }
  }
  for (End& end : ends_) {
    if (!end.refused_ || end.in_flight_ >= capacity) continue;
    end.refused_ = false;
    if (tracing) note(std::string(1, kSideName[end.side_]) + " ready");
    if (end.notify) end.notify->on_hdlc_ready();
  }
  event_.set_events(queue_.empty() ? 0 : POLLOUT);
}

void HdlcWire::deliver(Frame& frame, const char* mark, bool last) {
  Side to = other(frame.from);
  if (tracing) note(path(frame) + " " + mark + text(frame.bytes));
  if (capture_.is_open()) {
    const uint32_t ms = Mux::milliseconds() - start_ms_;
    char time[32];
    std::snprintf(time, sizeof time, "%u.%03u000", ms / 1000, ms % 1000);
    capture_ << (frame.from == user_ ? "O " : "I ") << time << "\n000000 " << frame.bytes.text()
             << std::endl;
  }
  // The receiver owns its copy and may change it; the last delivery hands over the wire's handle,
  // as a channel hands over its receive buffer.
  Packet copy = last ? std::move(frame.bytes) : frame.bytes;
  if (ends_[to].notify) ends_[to].notify->on_hdlc_receive(copy);
}

Packet hex_frame(const std::string& hex) {
  std::vector<char> bytes = TestSchema::unhex(hex);
  Packet frame;
  frame.reserve_head(0);
  if (!bytes.empty()) std::memcpy(frame.put(unsigned(bytes.size())), bytes.data(), bytes.size());
  return frame;
}

bool have_tshark() {
  return std::system("tshark -v >/dev/null 2>&1 && text2pcap -v >/dev/null 2>&1") == 0;
}

Lines tshark_read(const std::string& capture, int link_type, const std::string& args) {
  std::string pcap = capture + ".pcapng";
  std::string convert = "text2pcap -q -D -t %s.%f -l " + std::to_string(link_type) + " '" +
                        capture + "' '" + pcap + "' 2>/dev/null";
  Lines lines;
  if (std::system(convert.c_str()) != 0) return lines;
  std::string read = "tshark -r '" + pcap + "' " + args + " 2>/dev/null";
  FILE* out = ::popen(read.c_str(), "r");
  if (!out) return lines;
  char line[1024];
  while (std::fgets(line, sizeof line, out)) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    lines.push_back(text);
  }
  if (::pclose(out) != 0) lines.clear();
  ::unlink(pcap.c_str());
  return lines;
}
