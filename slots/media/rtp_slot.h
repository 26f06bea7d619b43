// RtpSlot: a plain RTP voice termination. It owns one session of the kernel RTP engine
// (/dev/rtp) bound to its own TDM switch channel, so that the switch connects it to any other
// slot's channel like a trunk; the engine carries the media. The slot describes the session,
// switches its input with the input stream, reads its events (the packet detector's become
// `rtp` signals), restarts it when the controller changes a codec, and sends two RTCP packets
// of its own on a UDP socket at the local RTP port plus one: SDES at the start, BYE at the end.
// A DSP tone receiver and a voice-processing receiver work on its channel, driven by ioctl
// commands, their events reported as signals.
//
// A restart the engine refuses leaves the slot without a session, and so without a channel: its
// paths and streams go down, its receivers switch off what they switched on, the switch output
// goes off, and the slot names no channel (-1) until a later codec change gets a session, on a
// channel the engine gives anew. Meanwhile it takes no connection and no other ioctl.
//
// Log lines open with "rtp[CHANNEL]: ".
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <ostream>

#include "base/event.h"
#include "base/fd.h"
#include "hw/dsproc_receiver.h"
#include "hw/rtp_records.h"
#include "hw/tonec_receiver.h"
#include "slotbase/slot.h"
#include "slots/media/rtcp.h"

class RtpSlot : public Slot,
                private Hardware::TonecReceiver,
                protected Hardware::DSProcReceiver {
 public:
  // What the SDES at the start of a session says about this end.
  static const char kCname[];
  static const char kEmail[];
  static const char kPhone[];

  // Keeps a duplicate of `session` and polls another one for the engine's events.
  RtpSlot(int channel, const Fd& session, const rtp_connection_params& params);
  // Sends the BYE, closes the RTCP socket and releases the receivers and the session.
  ~RtpSlot() override;

  // Reports both streams open on the channel.
  void IAfterCreate() override;
  // Stops the session, closes it and frees the channel in the switch; done at once.
  bool IBeforeDestroy() override;
  bool Ioctl(const LGCP::IoctlParams& params) override;
  // Both sides open only while the slot has a session.
  bool IOnOutputStream() override { return has_session(); }
  // Switches the engine's input on, unless a squelch gates it.
  bool IOnInputStream() override;
  void IOnOutputRelease() override {}
  void IOnInputRelease() override;
  int IGetTransmitChannel() override { return channel; }
  int IGetReceiveChannel() override { return channel; }
  const char* GetName() const override { return "rtp"; }

  // Sends RTCP to `peer` from (a duplicate of) `socket`, starting with the SDES.
  void startRTPC(const Fd& socket, const sockaddr_in& peer);
  // One RTCP packet to the peer, best effort.
  void send(const RTPC::Msg& message);
  // The echo canceller as the create parameters ask (when `echo.suppressor` is set).
  void SetEcho(const TERM::RtpParams& rtp);

  // The packet detector on (off); true when the engine took the request.
  bool enablePD(const LGCP::PDParams& params);
  bool disablePD();
  // A new session of the engine with the stored record on the same channel, or on the one the
  // engine gives when the slot has none. The event moves to it; on failure the slot is left
  // without a session (lose_channel is the caller's).
  bool restart();
  // After a restart: a new session starts with its input off and without a packet detector, and
  // the channel was free for a moment. The input state, the packet detector and the DTMF
  // settings the slot had go back.
  void restore_settings();
  // The last word of the channel record the session was added with (1 for a radio session with
  // BSS); every restart gives it again.
  void SetChannelWord(uint32_t word) { channel_word_ = word; }
  // The payload type a codec mode selects: A-law 8, u-law 0, lbrc the one of the creation.
  uint16_t translate_payload(const LGCP::CodecMode& mode) const;

  void PutHeader(std::ostream& os) const override { os << "rtp[" << channel << "]: "; }
  const rtp_connection_params& params() const { return params_; }

 protected:
  void tonec_event(const Hardware::TonecReceiver::Params& params) override;
  int tonec_timeslot() const override { return channel; }
  void dsproc_vad_event(const Hardware::DSProcVADEvent& event) override;
  void dsproc_bss_event(const ::dsproc_bss_event* event) override;
  void dsproc_sd_event(const Hardware::DSProcSDEvent& event) override;
  void dsproc_tone_flt_event(const ::dsproc_tone_event* event) override;
  void dsproc_flags_event(const ::dsproc_flags_event* event) override;
  int dsproc_timeslot() const override { return channel; }

  // A request without argument on the session; the driver's result.
  int request(uint32_t number);
  // The packet detector's off request; the driver's result.
  int packet_detector_off();
  // The packet detector on with `timeout`, logged; true when the engine took it.
  bool packet_detector_on(uint32_t timeout);
  bool has_session() const { return static_cast<bool>(session_); }

  // The switch channel the engine gave the session; -1 while the slot has no session.
  int channel;
  Fd session_;
  Event event_;
  rtp_connection_params params_;
  Fd rtcp_;
  sockaddr_in peer_{};
  bool input_on = false;
  // The packet detector as the controller set it.
  bool pd_on = false;
  uint32_t pd_timeout = 0;
  // Set by the radio slots whose input follows the radio's squelch.
  bool squelch_gated = false;
  const uint16_t creation_pt;

 private:
  void OnRtpEvent(int fd, short revents);
  // encoder-mode (tx) and decoder-mode: the new payload type and a restart. A refused restart
  // is answered insufficientResources and the channel is lost; a slot without a channel that
  // gets a session back reports its streams open on the new one.
  bool change_payload(const LGCP::IoctlParams& params, const LGCP::CodecMode& mode, bool tx);
  // After the session is lost: the paths and streams down, the receivers off, the switch output
  // off, no channel, no input, no packet detector.
  void lose_channel();

  uint32_t channel_word_ = 0;
};
