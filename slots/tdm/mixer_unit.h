// Mixer::Mixer: one conference mixer unit of /dev/mixer, as the last enumeration listed it. It
// programs the unit's summators for the mixer slots it makes and keeps the list of those slots.
//
// The factory's unit list owns a unit. A unit that an enumeration no longer lists (stale) leaves
// the list and is then owned by its slots: the release of the last one deletes it.
//
// The lines of the creates it refuses (which a controller can repeat at any rate) are written at
// most once a second per kind; the counts owed are written when the unit goes or the controller
// leaves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <vector>
#include <ostream>

#include "asn1/modules/lgcp.h"
#include "base/log_throttles.h"
#include "hw/mixer_records.h"

class Slot;

namespace Mixer {

class MixerFactory;
class MixerSlot;
class TdmInput;
class TdmOutput;

// One request on a fresh descriptor of /dev/mixer; its result, -1 with errno on failure
// (the open's errno when the device cannot be opened).
int mixer_ctl(uint32_t request, void* record, size_t size);

class Mixer {
 public:
  static constexpr int32_t kFullWeight = 32767;

  Mixer(MixerFactory& factory, int unit);
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;
  ~Mixer() { FlushLogs(); }

  // A slot on this unit, or null (logged) when the parameters cannot be served: a channel or
  // summator out of range or not tdm, an input or summator that a live slot of the unit holds
  // (a summator's input is held by the output that sums it or by the input slot that feeds it),
  // more inputs than a summator takes, a gain outside 0 to kFullWeight (invalidParams), or a
  // request the driver refuses, a live input's feed among them that the driver does not take
  // back after an output's summator is cleared. Everything but the driver's refusals is checked
  // before the first request, and a refused create leaves the summators as they were found (as
  // far as the driver takes the live inputs' feeds back).
  Slot* New(const LGCP::MixerInParams& params);
  Slot* New(const LGCP::MixerOutParams& params);
  // Whether a live input slot of the unit is on TDM channel `number`, which shares its switch
  // channel with output `number`.
  bool InputOn(int number) const;
  // Undo what New programmed, leave the unit, and delete a stale unit left without slots.
  void Release(TdmInput& input);
  void Release(TdmOutput& output);

  // Programs the summator of the output with its inputs; false (logged) on the first failure,
  // inputs added before it staying.
  bool SetTX(const LGCP::MixerOutParams& params);
  bool ClearTX(const LGCP::MixerChannel& channel);
  // The unit's mix_slot of a tdm channel; false for an rtp one.
  bool Channel2Slot(const LGCP::MixerChannel& channel, mix_slot& slot) const;
  // The switch channel of TDM channel `number`; -1 (logged) when the driver refuses.
  int channel2timeslot(int number);
  // Clears every summator of a unit just found, which has `tdm_channels` of them: all of them,
  // also those beyond a smaller unit's count, which become usable when that unit vanishes.
  void Reset(int tdm_channels);
  // The unit has vanished: each slot is told (abort 0); deleted when it has none, after the
  // last one was told (a slot told may be destroyed at once, and others with it).
  void Clear();
  void Register(MixerSlot* slot);
  void UnRegister(MixerSlot* slot);
  // Deletes this unit when it is stale and has no slot, unless Clear is telling its slots; true
  // when it did.
  bool CheckForDestroy();

  void PutHeader(std::ostream& os) const;
  // The header of unit `unit`'s lines, its slots' among them.
  static void PutHeader(std::ostream& os, int unit);
  // Writes the counts that the throttled lines still owe.
  void FlushLogs();

  const int unit;
  bool stale = false;
  std::list<MixerSlot*> slots;

 private:
  // MIX_RX_CLEAR of `summator`, the request's result. Once it is done, the live input slots that
  // feed that summator are added back; one the driver refuses feeds it no more (logged, naming
  // the input and its slot), and its release has nothing to remove.
  int clear(int summator);
  // The live input slots that feed `summator`.
  std::vector<TdmInput*> feeders(int summator) const;
  // MIX_RX_ADD of input `tx` to summator `rx`; false (logged) on failure.
  bool add(const mix_slot& rx, const mix_slot& tx, int32_t weight);

  // The live slot of kind Kind on channel `number`; null when none.
  template <class Kind>
  Kind* holder(int number) const;
  // True when no live slot of kind Kind is on `number`; else logged (`what` names the channel).
  template <class Kind>
  bool unheld(int number, const char* what);
  // The inputs an output of `params` puts into its summator `summator`.
  static std::vector<int> summed(const LGCP::MixerOutParams& params, int summator);
  // True when no live slot holds one of `inputs` of summator `summator`: neither the output
  // that sums it nor the input slot that feeds it; else logged.
  bool inputs_free(int summator, const std::vector<int>& inputs);
  // Whether the summator can take the inputs of `params` as they are: their count, tdm channels
  // in range, their gains; logged when not.
  bool CheckInputs(const LGCP::MixerOutParams& params);

  bool clearing_ = false;
  // The TDM channel number of `channel` when it is a tdm channel within the unit; else null,
  // logged.
  bool tdm_number(const LGCP::MixerChannel& channel, int& number);
  // Writes a line of `kind` on `os`, throttled per kind: the log header, then `text(os)`.
  template <class Text>
  void log(std::ostream& os, const char* kind, Text text);

  MixerFactory& factory_;
  LogThrottles logs_;
};

}  // namespace Mixer
