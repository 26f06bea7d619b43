// Slots: the control service that owns every slot and executes the slot commands.
//
// It keeps the table of slot numbers 0 to 1023 and, in creation order, the list of registered
// slots (a slot is in one exactly when it is in the other, under its number). Commands that
// carry a slot (connect, disconnect, create, destroy, activate, deactivate, userData, ioctl) act
// on the slot the table holds at that number; query, without a slot, sends the resource report.
// Every slot is destroyed when the controller goes away, silently: what the slots report while
// they go (a link that drops, its last statistics) is dropped, as nobody is there to hear it.
//
// Destroy disconnects the slot on both sides, marks it releasing and asks its kind to release
// it; a release that finishes later ends with Slot::on_release(), which answers a destroy
// command that waited for it and deletes the slot. A releasing slot cannot be created over,
// destroyed again, or connected (error destroyInProgress).
#pragma once

#include <list>

#include "asn1/modules/lgcp.h"
#include "control/ctrl_service.h"

class Slot;

class Slots : public CtrlSrv::Service {
 public:
  static constexpr unsigned max_slot = 1023;
  static constexpr unsigned table_size = max_slot + 1;

  // The daemon's registry.
  static Slots& instance();

  Slots();
  ~Slots() override;

  void OnConnect() override {}
  // Destroys every slot; slots still releasing are deleted after a one-second wait of the whole
  // process, without any response. Then every factory writes the counts its lines still owe.
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& command) override;
  // Passes trunkStatus signals to every factory.
  void OnSignal(const LGCP::Signal& s) override;

  // Begins destroying `s`: true when it is gone, false when its release goes on.
  bool Destroy(Slot* s);
  // The end of an asynchronous release (Slot::on_release).
  void on_release(Slot* s);
  // A signal of slot `n` (Slot::SendSignal): fan-out, then the controller; nothing while the
  // slots are being destroyed because the controller has gone.
  void SendSlotSignal(unsigned n, const LGCP::Signal& s);
  // Sends the resource report as the query signal.
  void UpdateHardwareResources();
  // Names the cause of the refusal of the command being carried out, for a slot hook that is
  // about to return false or a factory about to make no slot. Unnamed, a refused create is
  // answered insufficientResources and any other refused command unsupported.
  void Refuse(LGCP::ErrorCause::NamedNumber cause) { refusal_ = cause; }
  static bool CheckSlot(unsigned n) { return n <= max_slot; }

  // The slot registered under `n`; null when free or out of range.
  Slot* GetSlotAt(unsigned n) const { return n <= max_slot ? table[n] : nullptr; }
  const std::list<Slot*>& GetLive() const { return live; }

  // The wait of OnDisconnect before the forced deletions; one second unless a test replaces it.
  using Wait = void (*)();
  void SetDisconnectWait(Wait wait) { disconnect_wait = wait; }

 private:
  void Create(unsigned n, const LGCP::CreateParams& params);
  void DestroyCommand(Slot* s);
  void ConnectCommand(Slot* s, unsigned target);
  // Disconnects `s` from its source and from every sink.
  void DisconnectAll(Slot* s);
  // Unregisters and deletes `s`, after taking it out of the graph and its factory.
  void int_destroy(Slot* s);

  Slot* table[table_size];
  std::list<Slot*> live;
  Wait disconnect_wait;
  // OnDisconnect is destroying the slots.
  bool controller_gone_ = false;
  // The cause of the refusal of the command being carried out.
  LGCP::ErrorCause::NamedNumber refusal_ = LGCP::ErrorCause::unsupported;
  // The slot whose IBeforeDestroy is running, and whether it called on_release meanwhile.
  Slot* releasing_now = nullptr;
  bool released_now = false;
};
