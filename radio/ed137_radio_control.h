// The ED-137 radio controllers. RTPSignalling::ED137RadioGWControl stands for the radio end of
// an ED-137 session (the gateway side): it turns the controller's radio status and commands
// into RX header extensions sent to the voice communication side, repeats that state as a
// keep-alive, reports the TX header extensions it receives as TERM::RtpRadioRequest values,
// watches the far side's R2S keep-alive (abort 151 while it is missing), and while the radio
// is keyed accepts packets only from the keying session's address.
//
// ED137RadioControl holds the state and the paths between the two sides; its four protocol
// hooks do nothing, and the gateway class fills them.
#pragma once

#include <cstdint>

#include "radio/r2s_proto.h"
#include "radio/radio_control.h"

namespace TERM {
class ED137RadioResponse;
class ED137RadioHeader;
}  // namespace TERM

namespace RTPSignalling {

// Abort cause reported while the far side's R2S keep-alive is missing.
constexpr int kKeepAliveLost = 151;

struct ED137RadioParams {
  uint32_t transmission_depend_on_squ = 0;
  uint32_t sigtime = 1;
  uint32_t keepalive_period = 200;     // ms
  uint32_t keepalive_multiplier = 10;
  uint32_t radio_type = 2;             // TERM::ED137RadioType, radio-txrx
  uint32_t txrx_mode = 2;              // TERM::ED137RadioTxRxMode, txrx

  // Takes the two mandatory fields and every optional field that is present.
  void Init(const TERM::ED137RadioResponse& response);
};

struct ED137RadioState {
  // flags: 0 empty, kRx an RX header (with kSqi: and signal-quality information), kTx a TX one.
  static constexpr uint32_t kRx = 0x1001;
  static constexpr uint32_t kSqi = 0x0002;
  static constexpr uint32_t kTx = 0x2001;

  uint32_t flags = 0;
  uint32_t ptt = 0;  // TERM::ED137RadioPTT
  uint32_t squ = 0;
  uint32_t ptt_id = 0;
  uint32_t ptt_mute = 0;
  uint32_t ptt_summation = 0;
  uint32_t sct = 0;
  uint32_t bss_method = 0;  // TERM::ED137RadioBSSMethod
  uint32_t bss_quality = 0;
  uint32_t session_addr = 0;  // network order
  uint32_t session_ssrc = 0;

  bool IsRx() const { return (flags & 0xF000) == 0x1000; }
  bool IsTx() const { return (flags & 0xF000) == 0x2000; }
  bool HasSqi() const { return (flags & 0x1002) == 0x1002; }
  bool IsEqual(const ED137RadioState& other) const;
};

class ED137RadioControl : public RadioControl {
 public:
  using RadioControl::RadioControl;

  void SetParams(const ED137RadioParams& params) { params_ = params; }
  const ED137RadioParams& params() const { return params_; }

  bool SendASNToChan(const TERM::RadioStatus& status) override;
  // False for the lemz alternative and for a value that its field cannot carry (radio_values.h).
  bool SendASNToChan(const TERM::RadioModifier& modifier) override;
  bool GetSQU() override;

  const ED137RadioState& radio_to_chan() const { return radio_to_chan_; }
  const ED137RadioState& chan_to_radio() const { return chan_to_radio_; }

 protected:
  void OnRtpExtEvent(int fd, short revents) override;

  virtual int PutProtoFromRadioToChan(const ED137RadioState& state);
  virtual int PutProtoFromChanToRadio(const ED137RadioState& state);
  virtual bool AccessFormChanToRadio(const ED137RadioState& state);
  virtual int EncodeProto(const ED137RadioState& state, r2s_proto& packet);

  // r2s_proto_unpack_tx, then the PTT type's range; a packet that fails either is logged and
  // not 0. A packet taken is a keep-alive.
  int Unpack(r2s_proto& r, unsigned char* buf, int n);
  void SendRadioStateToChan(const ED137RadioState& state);
  // Packs and writes one packet; the result of write, 0 when it did not pack.
  int SendProtoToChan(r2s_proto& packet);
  void OnRtpProtoRXEvent(const r2s_proto& packet);

  ED137RadioParams params_;
  r2s_proto current_{};
  r2s_proto pending_{};
  // Every time starts as the moment of construction.
  uint32_t last_rx_sent_ = last_status();
  uint32_t last_report_ = last_status();
  uint32_t last_keepalive_ = last_status();
  ED137RadioState chan_to_radio_;
  ED137RadioState radio_to_chan_;
};

class ED137RadioGWControl : public ED137RadioControl {
 public:
  using ED137RadioControl::ED137RadioControl;

 protected:
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;
  int PutProtoFromRadioToChan(const ED137RadioState& state) override;
  int PutProtoFromChanToRadio(const ED137RadioState& state) override;
  bool AccessFormChanToRadio(const ED137RadioState& state) override;
  int EncodeProto(const ED137RadioState& state, r2s_proto& packet) override;
};

}  // namespace RTPSignalling
