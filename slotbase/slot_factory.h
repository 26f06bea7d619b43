// SlotFactory: one per slot kind, linked into one global chain as it is constructed, newest
// first from `firstFactory`. The registry walks the chain to create a slot (the first factory
// whose INewSlot returns one makes it), to build the resource report and to pass trunk status
// reports down. Factories live until process exit and never leave the chain.
//
// A factory lists the slots it made until their release completes; it does not own them (the
// registry does).
#pragma once

#include <list>

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
  // A new slot when `params` are this factory's alternative and it can serve them, else null.
  virtual Slot* INewSlot(const LGCP::CreateParams& params) = 0;
  // Fills this factory's share of the resource report.
  virtual void Query(LGCP::Resources& report) = 0;
  // A trunkStatus signal passed down by the registry.
  virtual void SelfSignal(const LGCP::Signal& s) { (void)s; }
  // The controller has left: writes the counts that the factory's throttled lines still owe.
  // This one flushes refusalLogs under the factory's name.
  virtual void FlushLogs();

  // INewSlot; a slot made is marked as this factory's and listed.
  Slot* NewSlot(const LGCP::CreateParams& params);
  // Takes `s` out of the list; nothing when it is not listed.
  void Remove(Slot* s);

  const std::list<Slot*>& GetSlots() const { return slots; }
  SlotFactory* GetNext() const { return next; }

  // The log lines that a controller or a peer can repeat at will (the creates the factory
  // refuses, say), throttled per kind.
  LogThrottles refusalLogs;
  // Set by INewSlot when it returns null for a create of its own alternative whose values its
  // slots cannot carry: the registry answers invalidParams, asks no further factory, and clears
  // it.
  bool refusedParams = false;

 protected:
  std::list<Slot*> slots;

 private:
  SlotFactory* next;
};

// The newest factory; null before any. Constant-initialised, so factories built during static
// initialisation of any unit find it ready.
extern SlotFactory* firstFactory;
