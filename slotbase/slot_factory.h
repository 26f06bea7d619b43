// SlotFactory: one per slot kind, linked into one global chain as it is constructed, newest
// first from `firstFactory`. The registry walks the chain to create a slot (the first factory
// whose INewSlot returns one makes it), to build the resource report and to pass trunk status
// reports down. Factories live until process exit and never leave the chain.
//
// A factory lists the slots it made until their release completes; it does not own them (the
// registry does).
#pragma once

#include <list>
#include <ostream>
#include <vector>

#include "asn1/modules/lgcp.h"
#include "base/log_throttles.h"

class Slot;

// Takes `s` out of a list of slots, where it is at most once: the walk stops where it is found,
// at the front when slots go in the order they came.
void Unlist(std::list<Slot*>& slots, Slot* s);

class SlotFactory {
 public:
  // Joins the head of the chain.
  SlotFactory();
  SlotFactory(const SlotFactory&) = delete;
  SlotFactory& operator=(const SlotFactory&) = delete;
  virtual ~SlotFactory() = default;

  virtual const char* GetName() const = 0;
  // A new slot when `params` are this factory's alternative and it can serve them, else null
  // (the create is answered insufficientResources, or the cause named through Slots::Refuse).
  virtual Slot* INewSlot(const LGCP::CreateParams& params) = 0;
  // Fills this factory's share of the resource report.
  virtual void Query(LGCP::Resources& report) = 0;
  // A trunkStatus signal passed down by the registry.
  virtual void SelfSignal(const LGCP::Signal& s) { (void)s; }
  // The controller has left: writes the counts that the factory's throttled lines still owe.
  // This one flushes refusalLogs under the header of their lines.
  virtual void FlushLogs();
  // The header that opens the factory's log lines (ext::header(this)): here its name and ": ".
  // A factory whose lines open otherwise says so here, so that the counts its lines leave are
  // written under the same header.
  virtual void PutHeader(std::ostream& os) const;
  // Adds the switch outputs that this factory's slots can set and whose numbers are fixed,
  // outside the switch's table (which the switch puts in order itself when it opens).
  virtual void AddFixedOutputs(std::vector<int>& outputs) const { (void)outputs; }

  // INewSlot; a slot made is marked as this factory's and listed.
  Slot* NewSlot(const LGCP::CreateParams& params);
  // Takes `s` out of the list; nothing when it is not listed.
  void Remove(Slot* s);

  const std::list<Slot*>& GetSlots() const { return slots; }
  SlotFactory* GetNext() const { return next; }

  // The log lines that a controller or a peer can repeat at will (the creates the factory
  // refuses, say), throttled per kind.
  LogThrottles refusalLogs;

 protected:
  std::list<Slot*> slots;

 private:
  SlotFactory* next;
};

// At start-up, before the first command: every fixed output that a slot can set sends the idle
// byte, as a clean end leaves it. An end that was not clean (a kill, a crash) left there the
// paths of slots that are gone, which no slot of this process owns or would clear.
void IdleFixedOutputs();

// The newest factory; null before any. Constant-initialised, so factories built during static
// initialisation of any unit find it ready.
extern SlotFactory* firstFactory;
