// T38SoftSlot ("t38 soft"): a fax call relayed between a TDM time slot and a T.38 peer by the
// T.38 program, one process per slot, which has the slot's transparent channel of the
// multichannel controller as its standard input. The slot reports the channel's time slot and
// the program's end. A destroy does not wait for the program: SIGTERM asks it to end, and a
// program still running 5 s later is killed, which frees its channel. The program leads a
// process group of its own (ChildStop::spawn), and every signal goes to the group: what a
// wrapper script starts holds the channel too. Whatever is left of the group when the program
// ends by itself is ended as a destroy ends it.
#pragma once

#include "base/child_wait.h"
#include "slotbase/slot.h"

class T38SoftSlot : public Slot {
 public:
  T38SoftSlot(int pid, int timeslot);

  void IAfterCreate() override;
  // Hands a running program's group to ChildStop::orphan (SIGTERM); the slot goes at once.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return timeslot; }
  int IGetReceiveChannel() override { return timeslot; }
  const char* GetName() const override { return "t38 soft"; }

  void OnT38Terminate(int status);

  int pid;
  int timeslot;
  ChildWait wait;
};
