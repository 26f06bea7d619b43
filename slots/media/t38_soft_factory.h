// T38SoftFactory: makes the software T.38 slots (create alternative t38soft): allocates a
// transparent channel of the multichannel controller and starts the T.38 program on it. Its
// resource report asks the program how many instances the board can run: the program is run at
// each report and given one second to print its answer, after which it is killed and the count
// is 0; the event loop waits for it no longer than that. An answer that is no count (not a
// number, negative, beyond int) counts 0 as a missing one does. The two lines that say why the
// count is 0 come at most once a second each, and the counts they owe are written when the
// controller leaves. A create whose values the channel record or the command line cannot carry
// as given is refused with invalidParams before anything is opened. Log header "t38soft: ".
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "slotbase/slot_factory.h"

class T38SoftFactory : public SlotFactory {
 public:
  // The most elements of args that the program's command line carries.
  static constexpr size_t kMaxArgs = 27;

  static T38SoftFactory& instance();

  const char* GetName() const override { return "T.38 soft"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources& report) override;
  // The count the program answers to --num-of-instances; 0 when it gives none in time.
  int QueryNumOfInstances();
  // The program's command line for `params`.
  static std::vector<std::string> command_line(const LGCP::T38Soft& params);
  // False, after refusing the create with invalidParams, when dhost's address is no dotted
  // address (the program would read other ports from --remote than the controller gave), an
  // argument the program gets holds a NUL (its command line would cut it there), or a size is
  // negative (the channel record's fields are unsigned).
  bool Carries(const LGCP::T38Soft& params);

  void PutHeader(std::ostream& os) const override { os << "t38soft: "; }
};
