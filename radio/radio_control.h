// RTPSignalling::RadioControl: the base of every radio controller of a radio RTP slot.
//
// A radio RTP slot carries voice on the kernel RTP engine and radio signalling (push-to-talk,
// squelch, radio status) in RTP header extensions, which travel through a second engine, the
// header-extension engine /dev/rtp_ext. The controller owns the engine session (its descriptor
// and the readable event), runs the periodic status timer, keeps the engine's source filter and
// holds the notification sink of its slot (not owned). The protocol controllers (ED-137, LEMZ)
// override the virtual operations and run their packets through ReceiveLoop.
//
// The source filter is the controller's state: a restarted session (a codec change attaches a
// new one) gets it set anew. Received packets that a protocol drops, refused commands and driver
// failures are logged through a LogThrottle per kind of line, so that a flood of bad packets
// gives one line a second and does not hide a line of another kind; the counts still owed are
// written when the controller goes.
//
// Kinds of controller (RadioControlType):
//   ExtAttach  its own /dev/rtp_ext session, attached to an RTP session of this process;
//   RtpAttach  no /dev/rtp_ext session here: this process's RTP session (a duplicate held
//              here) is attached to a header-extension session that another process holds;
//   ExtOnly    its own /dev/rtp_ext session, never attached.
//
// Every driver failure is logged on std::cerr as the log prefix, the message and strerror, and
// ends only that operation: construction never fails, and a controller whose session did not
// start keeps a closed descriptor. Times are Mux::milliseconds, and every age is their signed
// 32-bit difference (0 when negative), so nothing stalls across the 2^32 wrap.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <iostream>
#include <string>

#include "base/dpc.h"
#include "base/event.h"
#include "base/fd.h"
#include "base/inet4_addr.h"
#include "base/log_throttles.h"
#include "base/timer.h"
#include "hw/device_names.h"
#include "hw/rtp_ext_records.h"
#include "hw/rtp_records.h"
#include "radio/radio_values.h"

namespace RTPSignalling {

// The header-extension engine's device, named in one place with the other devices.
using ::GetRtpExtDevName;

// What a slot asks of its radio controller.
class IRadioController {
 public:
  virtual ~IRadioController() = default;
  virtual bool SendASNToChan(const TERM::RadioStatus& status);
  virtual bool SendASNToChan(const TERM::RadioModifier& modifier);
  virtual bool GetSQU();
};

// What the event loop drives in a radio controller.
class IRadioIntController {
 public:
  virtual ~IRadioIntController() = default;
  virtual void OnRtpExtEvent(int fd, short revents);
  virtual unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval);
};

// The slot side: radio reports for the controller process, and aborts.
class IRadioControlNotify {
 public:
  virtual ~IRadioControlNotify() = default;
  virtual void RadioControlNotify(const TERM::RtpRadioRequest& request);
  virtual void RadioControlNotify(int cause);
};

// The age of `then` at `now`: their signed 32-bit difference, 0 when `then` is not earlier.
uint32_t age_ms(uint32_t now, uint32_t then);

class RadioControl : public IRadioController, private IRadioIntController {
 public:
  enum RadioControlType : uint32_t { ExtAttach = 0, RtpAttach = 1, ExtOnly = 2 };

  static constexpr unsigned kPacketSize = 1024;
  // The packets one call of the receive loop reads at most.
  static constexpr unsigned kBatch = 64;
  static constexpr unsigned long kDefaultInterval = 1000;

  RadioControl(int id, const rtp_ext_attach_session_params& attach,
               const rtp_ext_init_params& init);
  explicit RadioControl(const rtp_ext_init_params& init);
  // Holds a duplicate of `rtp`.
  RadioControl(int id, const Fd& rtp, const rtp_attach_session_params& attach);
  ~RadioControl() override;
  RadioControl(const RadioControl&) = delete;
  RadioControl& operator=(const RadioControl&) = delete;

  // Opens (ExtAttach, and ExtOnly when `first`), initialises and attaches the engine session
  // and watches it; RtpAttach attaches the RTP session instead. False after a logged failure.
  bool RtpExtStart(bool first);
  // ExtAttach: detaches, closes the session and stops watching it; RtpAttach: lets go of the
  // RTP session, so that a restart of it finds it closed. Always true.
  bool RtpExtStop();
  // The RTP session that the next RtpExtStart attaches to: for ExtAttach its descriptor number
  // in this process, for RtpAttach a duplicate of it.
  void SetRtpSession(const Fd& session);

  // Starts the status timer with the current interval (replacing a pending one), or stops it.
  void SetTimerEnable(bool enable);
  void SetTimerInterval(unsigned long ms) { interval_ = static_cast<uint32_t>(ms); }
  void SetTimer(unsigned long ms);

  // Lets only packets from `source` through while `allow`, or every source; 0.0.0.0 never
  // becomes a filter (it lifts one). The request is issued when the wanted filter changes, and
  // again after a failed one, until the engine takes it. Always 0.
  int UpdateAccess(bool allow, const in_addr& source);

  // "rtp_ext[ID] TIME:" ("rtp_ext TIME:" for ExtOnly), kept in the prefix member.
  const std::string& GetPrefix();

  void SetNotify(IRadioControlNotify* notify) { notify_ = notify; }
  void SetWorkstation(uint32_t workstation) { workstation_ = workstation; }

  RadioControlType type() const { return type_; }
  const Fd& ext_fd() const { return ext_; }
  // True when the engine session holds a source filter that this controller set.
  bool filter_active() const { return filter_active_ && filter_taken_; }
  uint32_t interval() const { return interval_; }

 protected:
  void OnRtpExtEvent(int fd, short revents) override;
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;

  // The receive loop of the protocol controllers, for one readable event: packet info, then
  // one read, until the engine has no packet to describe or the read gives nothing; each packet
  // is unpacked into `current` (after `init(current)`), given its source from the packet info,
  // and of every run of packets from one source only the last one is processed, when the source
  // changes and at the end.
  // One call reads at most kBatch packets: when they are spent before the engine is empty, the
  // run is kept (`pending` and its count) and the loop goes on in the next loop turn, after the
  // other descriptors and the timers have been served, until a read gives nothing.
  template <class Record, class Reset, class Unpack, class Differs, class Process>
  void ReceiveLoop(short revents, Record& current, Record& pending, Reset init, Unpack unpack,
                   Differs differs, Process process);

  // Writes one packed packet on the engine session; the result of write(2).
  int WritePacket(const unsigned char* packet, int length);
  // Packs `packet` with `pack` (a codec's pack function) and writes it: the result of write(2),
  // 0 when it did not pack.
  template <class Packet>
  int PackAndWrite(Packet& packet, int (*pack)(Packet*, unsigned char*, int)) {
    unsigned char buf[kPacketSize];
    const int n = pack(&packet, buf, static_cast<int>(sizeof buf));
    return n >= 1 ? WritePacket(buf, n) : 0;
  }
  // True, after a throttled line that gives `why`, when `why` (a radio_values.h refusal) is not
  // empty.
  bool Refuses(const std::string& why);
  // Logs `message` after the prefix, with strerror of the current errno; `message` is the kind.
  void LogFailure(const char* message);
  // Logs a received packet that is dropped, naming its sender: `describe(std::ostream&)`
  // writes why.
  template <class Describe>
  void LogDropped(const char* kind, Describe describe);
  // Writes a line of `kind` after the prefix: `describe(std::ostream&)` writes the rest. At most
  // one line of a kind a second, which tells how many were left out since the one before.
  template <class Describe>
  void LogThrottled(const char* kind, Describe describe);

  IRadioControlNotify* notify() const { return notify_; }
  uint32_t workstation() const { return workstation_; }
  const rtp_ext_init_params& init_params() const { return init_; }
  uint32_t last_status() const { return last_status_; }
  void set_last_status(uint32_t ms) { last_status_ = ms; }

 private:
  void Init(RadioControlType type);
  bool OpenSession();
  void OnProcessStatus(Timer* timer);
  void OnEvent(int fd, short revents) { OnRtpExtEvent(fd, revents); }
  // The receive loop's next batch, in the loop turn after one that spent its batch.
  void OnMore();
  // The end of a batch: the loop goes on in the next turn when `more`.
  void BatchDone(bool more);
  // Reads the next packet together with its info: its length; 0 when a packet came whose info
  // the engine failed to give, which is dropped with a line; -1 when there is none now. When
  // the engine has no packet to describe nothing is read, even if one arrives before the read
  // would be: the descriptor stays readable, and the next event brings the packet and its info.
  int ReadPacket(unsigned char* buf);
  // Sets the wanted source filter on the engine session, or lifts it.
  void ApplyFilter();

  RadioControlType type_ = ExtAttach;
  Fd rtp_;
  Fd ext_;
  Event event_;
  Timer status_timer_;
  Dpc more_;
  // The packets of the run that the receive loop holds (0: none).
  unsigned run_ = 0;
  rtp_attach_session_params rtp_attach_{};
  rtp_ext_attach_session_params attach_{};
  rtp_ext_init_params init_{};
  rtp_ext_packet_info packet_info_{};
  uint32_t workstation_ = 0;
  uint32_t last_status_ = 0;
  uint32_t interval_ = kDefaultInterval;
  uint32_t id_ = 0;
  bool timer_enabled_ = false;
  // The source filter the controller wants, and whether the engine session has taken it.
  bool filter_active_ = false;
  rtp_ext_source_filter filter_{};
  bool filter_taken_ = true;
  LogThrottles logs_;
  IRadioControlNotify* notify_ = nullptr;
  std::string prefix_;
};

template <class Describe>
void RadioControl::LogThrottled(const char* kind, Describe describe) {
  logs_.write(std::cerr, kind, [&](std::ostream& log) {
    log << GetPrefix() << " ";
    describe(log);
  });
}

template <class Describe>
void RadioControl::LogDropped(const char* kind, Describe describe) {
  LogThrottled(kind, [&](std::ostream& log) {
    log << "from " << INet4::dotted(packet_info_.addr) << ": ";
    describe(log);
    log << ", packet dropped";
  });
}

template <class Record, class Reset, class Unpack, class Differs, class Process>
void RadioControl::ReceiveLoop(short revents, Record& current, Record& pending, Reset init,
                               Unpack unpack, Differs differs, Process process) {
  if (!(revents & 1)) return;  // POLLIN
  if (run_ == 0) init(pending);
  unsigned char buf[kPacketSize];
  for (unsigned batch = 0; batch < kBatch; ++batch) {
    const int n = ReadPacket(buf);
    if (n < 0) {
      const bool ended = run_ > 0;
      run_ = 0;
      BatchDone(false);
      if (ended) process(pending);
      return;
    }
    if (n == 0) continue;
    init(current);
    if (unpack(current, buf, n) != 0) continue;
    current.source_addr = packet_info_.addr;
    current.source_ssrc = packet_info_.ssrc;
    if (run_ > 0 && differs(current, pending)) process(pending);
    pending = current;
    ++run_;
  }
  BatchDone(true);
}

}  // namespace RTPSignalling
