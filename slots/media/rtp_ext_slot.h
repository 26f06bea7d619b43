// Radio RTP slots: RTP slots whose session also carries radio signalling in RTP header
// extensions. Each owns one radio controller (radio/): the ED-137 gateway control, or the LEMZ
// gateway control either on a header-extension session of its own (ExtAttach) or on one that
// another process holds (RtpAttach). The slot hands the controller the status given at
// creation and the controller's rtpExt commands, and sends the controller's reports as rtpExt
// signals and its aborts as abort signals. A codec change stops the header-extension session,
// restarts the RTP session and attaches the header-extension session to the new one; a slot
// whose restart the engine refused has both stopped, and stops neither again. Where the
// input follows the radio's squelch, every ioctl (and the creation) ends by switching the
// engine's input on or off with the squelch.
//
// Destruction clears the controller's notify pointer, stops its timer and deletes it.
#pragma once

#include <memory>

#include "asn1/modules/term.h"
#include "radio/ed137_radio_control.h"
#include "radio/lemz_radio_control.h"
#include "slots/media/rtp_slot.h"

class RtpExtSlot : public RtpSlot, public RTPSignalling::IRadioControlNotify {
 public:
  RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params,
             const TERM::RadioStatus& status);
  ~RtpExtSlot() override;

  void IAfterCreate() override;
  bool IBeforeDestroy() override;
  bool Ioctl(const LGCP::IoctlParams& params) override;
  const char* GetName() const override { return "rtp ext"; }

  void RadioControlNotify(const TERM::RtpRadioRequest& request) override;
  void RadioControlNotify(int cause) override;

  // The voice-processing settings of the create parameters' radio request.
  void ConfigureRadio(const TERM::RtpRadioRequest& radio);

  RTPSignalling::RadioControl* controller() const { return controller_.get(); }

 protected:
  // Takes the controller and becomes its notify sink.
  void SetController(std::unique_ptr<RTPSignalling::RadioControl> controller);

 private:
  // The input on with the squelch, off without, when the squelch gates it and there is a
  // session.
  void GateInput();

  TERM::RadioStatus status_;
  std::unique_ptr<RTPSignalling::RadioControl> controller_;
};

class RtpLEMZSlot : public RtpExtSlot {
 public:
  using RtpExtSlot::RtpExtSlot;
  const char* GetName() const override { return "rtp ext LEMZ"; }
};

class RtpLEMZRadioGWSlot : public RtpLEMZSlot {
 public:
  // On a header-extension session of its own, attached with `attach`; status timer on.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const TERM::RadioStatus& status, const rtp_ext_attach_session_params& attach,
                     const rtp_ext_init_params& init);
  // The RTP session attached to another process's header-extension session; no timer.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const TERM::RadioStatus& status, const rtp_attach_session_params& attach);
  const char* GetName() const override { return "rtp ext LEMZ (GW)"; }
};

// The workstation side of a LEMZ radio link: GW_ commands out, WM_ reports in; no status timer.
// No factory makes it.
class RtpLEMZRadioWSSlot : public RtpLEMZSlot {
 public:
  RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const TERM::RadioStatus& status, const rtp_ext_attach_session_params& attach,
                     const rtp_ext_init_params& init);
  const char* GetName() const override { return "rtp ext LEMZ (WS)"; }
};

class RtpED137Slot : public RtpExtSlot {
 public:
  using RtpExtSlot::RtpExtSlot;
  const char* GetName() const override { return "rtp ext ed137"; }
};

class RtpED137RadioGWSlot : public RtpED137Slot {
 public:
  RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                      const TERM::RadioStatus& status,
                      const rtp_ext_attach_session_params& attach,
                      const rtp_ext_init_params& init,
                      const RTPSignalling::ED137RadioParams& radio);
  const char* GetName() const override { return "rtp ext ED137 (GW)"; }
};
