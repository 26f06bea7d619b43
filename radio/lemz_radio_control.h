// The LEMZ radio controllers. RTPSignalling::LemzRadioControl sits between the channel (LEMZ
// packets on the header-extension engine) and the radio side (the controller process, which
// sees the radio as TERM values): it keeps two LemzRadioState records, converts packets and
// TERM values to states and states to packets and reports, and lets four protocol hooks decide
// what is copied, sent and accepted. The hooks do nothing here; the gateway control
// (LemzRadioGWControl: reports GW_ commands, sends WM_ reports on change and every second) and
// the workstation control (LemzRadioWSControl: the reverse) fill them.
#pragma once

#include <cstdint>
#include <string>

#include "radio/radio_control.h"
#include "radio/sig_proto.h"

namespace TERM {
class LemzRadioModifier;
class LemzRadioStatus;
}  // namespace TERM

namespace RTPSignalling {

// True for the packet types that carry push-to-talk: 1, 3, 9, 129, 130 and 133.
bool isPTTCommand(int type);
// True for a type that is not above 0: a full state rather than one packet's fields.
bool isDefaultInitCommand(int type);

// One radio state in LEMZ terms; -1 marks a squelsh, rte or standby value as not configured.
struct LemzRadioState {
  int32_t type = 0;
  int32_t priority = 15;
  int32_t flag_p = 0;
  uint32_t session_addr = 0;  // network order
  uint32_t session_ssrc = 0;
  char caller_id[kSigCallerIdSize] = {};
  int32_t flag_b = 0, flag_r = 0, flag_t = 0, flag_s = 0, flag_sh = 0, flag_pw = 0, flag_rv = 0,
          flag_rs = 0, flag_c = 0, status = 0;
  int32_t interface = 0, channel = 0;
  int32_t channel_id = 0;
  float frequency = 0.0f;
  int32_t squelsh = -1;
  int32_t rte = -1;
  int32_t standby_state = -1;
  int32_t standby_group = -1;
  int32_t standby_receiver = -1;
  float radio_quality = 0.0f;
  uint32_t source_addr = 0;  // network order
  uint32_t source_ssrc = 0;
};

class LemzRadioControl : public RadioControl {
 public:
  using RadioControl::RadioControl;

  // False for the ed-137 alternative, for a value that its field cannot carry (radio_values.h)
  // and for one that would key the radio to no single host (KeyRefusal).
  bool SendASNToChan(const TERM::RadioStatus& status) override;
  bool SendASNToChan(const TERM::RadioModifier& modifier) override;
  bool GetSQU() override;

  const LemzRadioState& radio_to_chan() const { return radio_to_chan_; }
  const LemzRadioState& chan_to_radio() const { return chan_to_radio_; }

  static int DecodeProto(const sig_proto& p, LemzRadioState& s);
  static int DecodeASN(const TERM::LemzRadioModifier& m, LemzRadioState& s);
  static int DecodeASN(const TERM::LemzRadioStatus& status, LemzRadioState& s);
  static int EncodeASN(const LemzRadioState& radio_to_chan, const LemzRadioState& received,
                       TERM::RtpRadioRequest& r);
  static int EncodeStatusASN(const LemzRadioState& s, TERM::RtpRadioRequest& r);

 protected:
  void OnRtpExtEvent(int fd, short revents) override;

  // Why `s`, from the radio side, is refused for the key it would leave in the radio-to-channel
  // state (push-to-talk set to no single host); empty when it is not. Nothing is refused here.
  virtual std::string KeyRefusal(const LemzRadioState& s) const;
  virtual int PutProtoFromRadioToChan(const LemzRadioState& s);
  virtual int PutProtoFromChanToRadio(const LemzRadioState& s);
  virtual bool AccessFormChanToRadio(const LemzRadioState& s);
  virtual int EncodeProto(const LemzRadioState& s, sig_proto& p);

  int SendRadioStateToChan(const LemzRadioState& s);
  int SendProtoToChan(sig_proto& p);
  int OnRtpProtoRXEvent(const sig_proto& p);
  // sig_proto_unpack, then Acceptable; a packet that fails either is logged and not 0.
  int Unpack(sig_proto& p, unsigned char* buf, int n);

  sig_proto current_{};
  sig_proto pending_{};
  // When each report last went out; the moment of construction at first.
  uint32_t flag_sent_ = last_status();     // WM_FLAG, WM_TRANS, WM_SEL_CALL_TRANS
  uint32_t chan_sent_ = last_status();     // WM_CHAN
  uint32_t remote_sent_ = last_status();   // WM_SELECT_RC_CHAN
  uint32_t standby_sent_ = last_status();  // WM_STANDBY
  LemzRadioState chan_to_radio_;
  LemzRadioState radio_to_chan_;

 private:
  // Checks, decodes and sends a status or a modifier (SendASNToChan).
  template <class Value>
  bool Send(const Value& value);
  // False, after a log line naming the field, for a value that no TERM value can carry.
  bool Acceptable(const sig_proto& p);
};

class LemzRadioGWControl : public LemzRadioControl {
 public:
  using LemzRadioControl::LemzRadioControl;

 protected:
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;
  // The gateway keys its source filter to the session address: push-to-talk needs a single
  // host there, given by a wm-trans or wm-selcall.
  std::string KeyRefusal(const LemzRadioState& s) const override;
  int PutProtoFromRadioToChan(const LemzRadioState& s) override;
  int PutProtoFromChanToRadio(const LemzRadioState& s) override;
  bool AccessFormChanToRadio(const LemzRadioState& s) override;
  int EncodeProto(const LemzRadioState& s, sig_proto& p) override;

 private:
  // Builds and sends the radio-to-channel state as a packet of `type`.
  void Report(int32_t type);
};

class LemzRadioWSControl : public LemzRadioControl {
 public:
  using LemzRadioControl::LemzRadioControl;

 protected:
  int PutProtoFromRadioToChan(const LemzRadioState& s) override;
  int PutProtoFromChanToRadio(const LemzRadioState& s) override;
  int EncodeProto(const LemzRadioState& s, sig_proto& p) override;
};

}  // namespace RTPSignalling
