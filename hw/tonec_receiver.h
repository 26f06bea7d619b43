// The DSP tone receivers: DTMF detection and rejection, the echo canceller, IVA detection, the
// tone generator with ring-back and DTMF sending, and Selcal dialling, per time slot, on the
// device /dev/dtmf ("tonec" in messages).
//
// TonecReceiverService owns the device: it issues every request for a time slot and reads the
// device's event records. TonecReceiver is the base a slot inherits: the slot names its time
// slot and takes the events of its detector. Receivers link themselves into the service's list
// in construction order and leave it when destroyed. Everything runs in the event loop.
//
// Two receivers may work on one time slot (a mixer unit's input and output of one number). The
// time slot's detector (DTMF and IVA detection, whose events the device does not tell apart), its
// DTMF rejection and its one tone generator then each have one owner, the receiver that switched
// them on: another receiver's claim on them is refused (take_refused_claim), its switching off
// leaves them alone, and the detector's events go to its owner, or to the oldest receiver of the
// time slot when nobody holds it. The generator is held from the request that starts a tone,
// silence, a DTMF sequence, the ring-back or a Selcal code until the one that switches it off,
// the end of the sequence or code, or the receiver's destruction.
#pragma once

#include <cstdint>
#include <optional>

#include "asn1/modules/lgcp.h"
#include "asn1/modules/term.h"
#include "base/cyclic_list.h"
#include "base/dpc.h"
#include "base/timer.h"
#include "hw/device_events.h"
#include "hw/hold_claims.h"
#include "hw/tonec_records.h"

namespace Hardware {

class TonecReceiverService;

// What a receiver can hold on its time slot: the detector, DTMF rejection, the tone generator.
enum class TonecHold { kDetector, kReject, kGenerator };

class TonecReceiver : public HoldClaims<TonecHold> {
 public:
  using Hold = TonecHold;

  // One event of this receiver's detector, as the device reported it.
  struct Params {
    uint32_t code;
    uint32_t timestamp;
  };

  TonecReceiver();
  virtual ~TonecReceiver();
  TonecReceiver(const TonecReceiver&) = delete;
  TonecReceiver& operator=(const TonecReceiver&) = delete;

  virtual void tonec_event(const Params& params) = 0;
  // The switch channel (time slot) the receiver works on; it changes only while every feature
  // is off (a slot that lost its channel names -1 until it is given another).
  virtual int tonec_timeslot() const = 0;
  // A DTMF sequence has finished: every tone was played and the generator is off.
  virtual void tone_gen_complete();
  // The device refused a request of a DTMF sequence after it had begun (errno `error`): the
  // sequence has ended there, short of its last tone, with the generator switched off.
  virtual void tone_gen_failed(int error);

  bool configureDTMF(const LGCP::DTMFParams& params);
  // DTMF detection on or off; no request when it already is.
  bool enableDTMF(bool on);
  bool disableDTMF() { return enableDTMF(false); }
  bool echoCancel(bool on);
  bool enableDTMFReject(bool on);
  bool configureIVA(const LGCP::IVAParams& params);
  bool enableIVA(bool on);

  // Sets the generator; all four values 0 switch it off. Setting it while another receiver of
  // the time slot holds it is refused with nothing sent; switching it off then sends nothing.
  bool enableToneGenerator(uint16_t freq1, uint16_t freq2, uint16_t level1, uint16_t level2);
  bool enableSilence() { return enableToneGenerator(1000, 1000, 0, 0); }
  // A steady tone (all four 0: off) in place of whatever the generator plays: a DTMF sequence
  // or ring-back cadence ends once the device has taken it, and plays on when it refuses it.
  bool enableSteadyTone(uint16_t freq1, uint16_t freq2, uint16_t level1, uint16_t level2);
  // Stops a DTMF sequence and switches the generator off. Unforced, it does nothing (false)
  // unless a sequence is playing; forced, it also ends a ring-back cadence. A switch-off the
  // device refuses (false) leaves the sequence or cadence playing.
  bool disableToneGenerator(bool force);
  // Ring-back: 1 s of 425 Hz, 3 s of silence, repeated. It ends a DTMF sequence in progress.
  // Refused while another receiver of the time slot holds the generator.
  bool activateAudibleCall();
  // Ends the ring-back, unless a DTMF sequence is playing.
  void cancelAudibleCall();
  // Plays the dual tones of `params`, each followed by a pause. A sequence in progress goes on
  // with the new digits after its current tone or pause. False when the device refuses the
  // first request of a sequence that starts here, or another receiver of the time slot holds
  // the generator: the sequence does not start, and what played before plays on. It ends with
  // tone_gen_complete, or with tone_gen_failed when the device refuses a later request; an
  // empty list ends on the next loop turn, never inside this call.
  bool translateDTMF(const LGCP::TranslateDtmfParams& params);
  // Has the device dial a Selcal code; the generator is held until the device reports the code
  // dialled (selcal_done) or this receiver sets the generator again. False when the signs are
  // too few, the device refuses, or another receiver of the time slot holds the generator:
  // then nothing is dialled.
  bool translateSelcal(const TERM::SelcalCommand& command);
  // The device has finished dialling the Selcal code: the generator is free again.
  void selcal_done();

  // Whether a DTMF sequence, the ring-back cadence or a Selcal code is playing.
  bool toneGenRunning() const { return sequence_running_ || audible_ || selcal_running_; }

  // Switches off what this receiver switched on (detectors, DTMF rejection, a tone still
  // playing), before its owner is destroyed.
  void CleanBeforeDestroy();
  // Issues again the DTMF settings made through this receiver (the detector's configuration,
  // detection under the same id, rejection), for a time slot that was freed and taken again
  // under it.
  void RestoreDTMF();

  // The detector's id, 0 until DTMF detection is first enabled.
  uint32_t detector_id() const { return detector_id_; }

  // Whether this receiver holds `what` on its time slot.
  bool holds(Hold what) const;

 private:
  friend class TonecReceiverService;

  bool held_elsewhere(Hold what) const override;

  enum class ToneStep { kRingTone, kRingSilence, kDigitTone, kDigitPause };

  struct Link : Containers::CyclicList {
    explicit Link(TonecReceiver* r) : receiver(r) {}
    TonecReceiver* receiver;
  };

  // Events of the detector are taken while DTMF or IVA detection is on.
  bool detector_on() const { return dtmf_on_ || iva_on_; }
  // False, the claim kept as refused, while another receiver of the time slot holds the
  // generator.
  bool claim_generator();
  bool play_ring_tone();
  void play_ring_silence();
  // Plays the next digit, or ends the sequence (running cleared, nothing reported); false, with
  // errno, when the device refused the generator request.
  bool next_digit();
  // The device refused a request of the running sequence: it stops, nothing more is dialled.
  void cut_short();
  void report_done();
  void stop_tones();
  // Stops the tones and their timer and switches the generator off, whether or not the device
  // takes the switch-off.
  void switch_off();
  void OnToneTimer();

  Link link_{this};
  uint32_t detector_id_ = 0;
  // The last detector configuration the device took.
  std::optional<LGCP::DTMFParams> dtmf_params_;
  bool dtmf_on_ = false;
  bool iva_on_ = false;
  bool reject_on_ = false;
  bool sequence_running_ = false;
  bool audible_ = false;
  bool selcal_running_ = false;
  // The generator plays what this receiver last set it to (a tone or silence).
  bool generator_on_ = false;
  ToneStep step_ = ToneStep::kRingTone;
  Timer tone_timer_;
  // Reports the end of a sequence that ended inside translateDTMF.
  Dpc done_call_;
  LGCP::TranslateDtmfParams pending_;
};

class TonecReceiverService {
 public:
  static TonecReceiverService& instance();

  // Opens /dev/dtmf read-only and non-blocking and starts reading its events; true when open.
  bool init();
  bool opened() const { return events_.opened(); }
  // Stops reading the device and closes it, leaving the loop as before init(). The daemon keeps
  // the device for its life; tests close it between cases.
  void release() { events_.release(); }

  bool configureDTMF(int ts, const LGCP::DTMFParams& params);
  bool echoCancel(int ts, bool on);
  bool enableDTMFReject(int ts, bool on);
  bool enableDTMF(TonecReceiver& receiver, bool on);
  void restoreDTMF(TonecReceiver& receiver);
  bool enableToneGenerator(int ts, uint16_t freq1, uint16_t freq2, uint16_t level1,
                           uint16_t level2);
  bool configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params);
  bool enableIVA(TonecReceiver& receiver, bool on);
  bool translateSelcal(TonecReceiver& receiver, const TERM::SelcalCommand& command);

  // The detector id given last (0 before the first); the next is one more, never 0.
  uint32_t last_id() const { return id_; }
  void set_last_id(uint32_t id) { id_ = id; }

 private:
  friend class TonecReceiver;
  TonecReceiverService();

  // A request whose argument is the time slot itself; false with errno.
  bool request(uint32_t number, int ts);
  template <class T>
  bool request(uint32_t number, T& record);
  // A request that switches a function of `ts` on or off: "NAME_ON[ts] ok" or
  // "NAME_ON fail: timeslot=ts errno=...".
  bool switch_request(uint32_t number, const char* name, const char* suffix, int ts);
  // DTMF detection on `ts`, its events tagged with `id`.
  bool enable_detector(int ts, uint32_t id);
  // The receiver of `timeslot` that holds the detector, else the oldest of the time slot; null
  // when the time slot has none.
  TonecReceiver* find(uint32_t timeslot);
  // A receiver other than `except` on its time slot that holds `what`; null when none.
  const TonecReceiver* other(const TonecReceiver& except, TonecReceiver::Hold what);
  void deliver(const tonec_event_record& record);

  DeviceEvents<tonec_event_record> events_;
  uint32_t id_ = 0;
  Containers::CyclicList receivers_;  // of TonecReceiver::Link, in construction order
};

}  // namespace Hardware
