// VoiceFactory: makes the voice play and record slots (create alternative
// voice), each on a transparent channel of the multichannel HDLC controller of
// its own, and keeps the lists of the live ones. Log header "voice/mcc[0]: ".
#pragma once

#include <iosfwd>
#include <list>
#include <string>

#include "slotbase/slot_factory.h"

class PlaySlotGeneric;
class RecordSlot;

class VoiceFactory : public SlotFactory {
 public:
  static VoiceFactory& instance();

  const char* GetName() const override { return "Voice/mcc"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  // Voice slots add nothing to the resource report.
  void Query(LGCP::Resources& report) override { (void)report; }

  // Null, with a line on std::cerr, when the channel cannot be had.
  PlaySlotGeneric* CreatePlay(const LGCP::PlayerParams& params);
  RecordSlot* CreateRecord(const std::string& host);

  // A slot of the lists is being destroyed.
  void OnDestroy(PlaySlotGeneric* slot) { players_.remove(slot); }
  void OnDestroy(RecordSlot* slot) { recorders_.remove(slot); }

  const std::list<PlaySlotGeneric*>& players() const { return players_; }
  const std::list<RecordSlot*>& recorders() const { return recorders_; }

  void PutHeader(std::ostream& os) const override;

 private:
  std::list<RecordSlot*> recorders_;
  std::list<PlaySlotGeneric*> players_;
};
