// The DSP voice-processing receivers: voice activity detection (VAD), the signal detector (SD),
// the signal-quality score (BSS), the noise gate (NG), muting, receive gain, delays and tone
// filters, per time slot, on the device /dev/dsp ("dsproc" in messages).
//
// DSProcReceiverService owns the device: it issues every request for a time slot and reads the
// device's 24-byte event records. DSProcReceiver is the base a slot inherits: the slot names its
// time slot and takes the events. Receivers link themselves into the service's list in
// construction order and leave it when destroyed.
//
// Two receivers may work on one time slot (a mixer unit's input and output of one number). Each
// feature of the time slot then has one owner, the receiver that switched it on or set it (Hold):
// another receiver's claim on it is refused (take_refused_claim), its switching off or clearing
// leaves the owner's feature alone, and the feature's events go to its owner, the VAD report of
// a flags event among them. An event of a feature nobody holds goes to the oldest receiver of
// the time slot. With the trace switch "signalling.events" on, every event and every dropped
// event is logged. Everything runs in the event loop.
#pragma once

#include <cstdint>
#include <optional>
#include <set>

#include "asn1/modules/lgcp.h"
#include "base/cyclic_list.h"
#include "hw/device_events.h"
#include "hw/dsproc_records.h"
#include "hw/hold_claims.h"

namespace Hardware {

// A VAD event: each direction's value, or -1 when the event does not carry that direction.
struct DSProcVADEvent {
  int rx;
  int tx;
};

struct DSProcSDEvent {
  int sd_rx;
};

class DSProcReceiverService;

// What a receiver can hold on its time slot.
enum class DSProcHold { kVAD, kSD, kBSS, kNG, kMute, kDelays, kRxGain, kToneFilters };

class DSProcReceiver : public HoldClaims<DSProcHold> {
 public:
  using Hold = DSProcHold;
  // A feature's state: -1 not known, 0 off, 1 on; and the id of its last enable.
  struct Feature {
    int state;
    uint32_t id;
  };

  DSProcReceiver();
  virtual ~DSProcReceiver();
  DSProcReceiver(const DSProcReceiver&) = delete;
  DSProcReceiver& operator=(const DSProcReceiver&) = delete;

  virtual void dsproc_vad_event(const DSProcVADEvent& event) = 0;
  virtual void dsproc_bss_event(const ::dsproc_bss_event* event) = 0;
  virtual void dsproc_sd_event(const DSProcSDEvent& event) = 0;
  virtual void dsproc_tone_flt_event(const ::dsproc_tone_event* event) = 0;
  virtual void dsproc_flags_event(const ::dsproc_flags_event* event) = 0;
  // The switch channel (time slot) the receiver works on; it changes only while every feature
  // is off (a slot that lost its channel names -1 until it is given another).
  virtual int dsproc_timeslot() const = 0;

  bool configureVAD(const LGCP::VADParams& params);
  // Each feature is switched only when its state differs or is not known; an enable gives the
  // feature a fresh id, which its events must carry (BSS events excepted).
  bool enableVAD(bool on);
  bool disableVAD() { return enableVAD(false); }
  bool enableBSS(bool on);
  bool disableBSS() { return enableBSS(false); }
  bool enableNG(bool on);
  bool disableNG() { return enableNG(false); }
  bool configureSD();
  bool enableSD(bool on);
  bool disableSD() { return enableSD(false); }
  bool enableMute(bool rx, bool tx);
  bool disableMute() { return enableMute(false, false); }
  bool configureDelays(unsigned rx, unsigned tx, unsigned selcal);
  // The gain in dB, a signed 8-bit value.
  bool configureRxGain(int8_t gainDB);
  bool configureToneFilter(unsigned freq, unsigned enable, int durationMsec, int levelDB);
  // Every tone filter of the time slot off. While another receiver works on the time slot,
  // only a receiver that set tone filters (and so holds them all) sends the request; for the
  // others it sends nothing.
  bool disableToneAll();

  // Switches off what this receiver switched on (VAD, SD, BSS, NG, delays, gain, tone filters),
  // before its owner is destroyed. A receiver alone on its time slot switches every tone filter
  // off, whoever set them.
  void CleanBeforeDestroy();

  // Whether this receiver holds `what` on its time slot.
  bool holds(Hold what) const;

 private:
  friend class DSProcReceiverService;

  bool held_elsewhere(Hold what) const override;
  // A feature switched on or off; switching off what another receiver holds sends nothing.
  bool switch_feature(Feature& feature, Hold what, uint32_t mask, bool on);

  struct Link : Containers::CyclicList {
    explicit Link(DSProcReceiver* r) : receiver(r) {}
    DSProcReceiver* receiver;
  };

  Link link_{this};
  Feature vad_{-1, 0};
  Feature bss_{0, 0};
  Feature ng_{0, 0};
  Feature sd_{-1, 0};
  int mute_rx_ = -1;
  int mute_tx_ = -1;
  uint32_t mute_id_ = 0;
  bool delays_set_ = false;
  bool rx_gain_set_ = false;
  // The frequencies of the tone filters this receiver switched on.
  std::set<unsigned> tone_filters_;
};

class DSProcReceiverService {
 public:
  static DSProcReceiverService& instance();

  // Opens /dev/dsp read-write and non-blocking and starts reading its events; true when open.
  bool init();
  bool opened() const { return events_.opened(); }
  // Stops reading the device and closes it, leaving the loop as before init(). The daemon keeps
  // the device for its life; tests close it between cases.
  void release() { events_.release(); }

  bool configureVAD(int ts, const LGCP::VADParams& params);
  bool configureSD(int ts);
  bool configureDelays(int ts, unsigned rx, unsigned tx, unsigned selcal);
  bool configureRxGain(int ts, int8_t gainDB);
  bool configureToneFilter(int ts, unsigned freq, unsigned enable, int durationMsec, int levelDB);
  bool disableToneAll(int ts);
  // Switches the feature of `mask` (VAD, SD, BSS or NG) on or off for `ts`.
  bool enableFeature(int ts, DSProcReceiver::Feature& feature, uint32_t mask, bool on);
  bool enableMute(DSProcReceiver& receiver, bool rx, bool tx);

  // The feature id given last (0 before the first); the next is one more, never 0.
  uint32_t last_id() const { return id_; }
  void set_last_id(uint32_t id) { id_ = id; }

 private:
  friend class DSProcReceiver;
  DSProcReceiverService();

  // Opens the device again when it is closed; false after `not_opened` " timeslot=" ts.
  bool ready(const char* not_opened, int ts);
  // A configure request; false after `failure` " timeslot=" ts and the errno suffix.
  bool configure(int ts, uint32_t what, const void* params, size_t size, const char* failure);
  // Enable with a fresh id, or disable, of the features in `mask`; logs as "DSPROC_ENABLE
  // name done:" and the like. The id used (enable) is left in `id`.
  bool enable(int ts, uint32_t mask, const char* name, uint32_t& id);
  bool disable(int ts, uint32_t mask, const char* name);
  // The receiver of `timeslot` that holds `what`, else the oldest of the time slot; null when
  // the time slot has none. Without `what`, the oldest.
  DSProcReceiver* find(uint32_t timeslot, std::optional<DSProcReceiver::Hold> what);
  // The receiver other than `except` on its time slot that holds `what` (without `what`: any
  // receiver other than `except` there); null when none.
  const DSProcReceiver* other(const DSProcReceiver& except,
                              std::optional<DSProcReceiver::Hold> what);
  void deliver(const dsproc_event_record& record);

  DeviceEvents<dsproc_event_record> events_;
  uint32_t id_ = 0;
  Containers::CyclicList receivers_;  // of DSProcReceiver::Link, in construction order
};

}  // namespace Hardware
