// The protocol layer framework: layers (Protocol) chained into stacks (ProtocolsList), and
// stacks that are themselves layers of an outer stack (ProtocolsFamily).
//
// A layer takes packets from above (message) and from below (receive) and passes them on down
// (transmit) and up (on_message). At the ends of a chain the owning list takes over: the bottom
// layer's transmit goes to the owner's transmit, the top layer's on_message to the owner's
// on_message, so nested stacks continue the walk in their outer stack. Before a packet is built
// prepare_head reserves the head room of every layer from the bottom up.
//
// Activation runs bottom up: activate() walks down to the bottom layer, each layer that has come
// up calls on_activate() to start the one above, and the top layer tells the owner
// (on_activated). Deactivation: a success status runs from the layer that stops down to the
// bottom, which reports to the owner; a failure status travels up to the top and then to the
// owner (on_deactivated), which decides what happens to the stack.
//
// Calls are synchronous and may re-enter: a report that reaches the owner may tear the stack
// down, so a layer returns at once after passing anything up.
//
// Ownership: a list owns its layers and deletes them, top first, when it is destroyed; a layer
// destroyed while in a list leaves it.
#pragma once

#include <iosfwd>
#include <string>

#include "base/f_dual_list.h"
#include "proto/packet.h"
#include "proto/protocol_status.h"

class Protocol_name {
 public:
  virtual ~Protocol_name() = default;
  virtual unsigned kind() const = 0;
  virtual const char* name() const = 0;
  virtual bool compare(const Protocol_name& other) const = 0;
};

// The empty name: kind 0, "(no name)".
class Protocol_name_null : public Protocol_name {
 public:
  unsigned kind() const override { return 0; }
  const char* name() const override { return "(no name)"; }
  bool compare(const Protocol_name& other) const override { return other.kind() == 0; }
};

// A name held as the object's own copy of a text (kind 1); a null text is "(no name)".
class Protocol_name_str : public Protocol_name {
 public:
  explicit Protocol_name_str(const char* text) : text_(text ? text : "(no name)") {}
  unsigned kind() const override { return 1; }
  const char* name() const override { return text_.c_str(); }
  bool compare(const Protocol_name& other) const override;

 private:
  std::string text_;
};

// Identity of a layer. A layer class that wants its own name overrides name(); one that wants to
// be found by ProtocolsList::search overrides compare_name.
class Protocol_info {
 public:
  virtual ~Protocol_info() = default;
  virtual bool compare_name(const Protocol_name& n) const;
  virtual const Protocol_name& name() const;

 private:
  Protocol_name_null null_name_;
};

class ProtocolsList;

// In a list, the next item is the layer above, the previous one the layer below.
class Protocol : public Protocol_info, public F_dual_list_item<Protocol> {
 public:
  Protocol() = default;
  Protocol(const Protocol&) = delete;
  Protocol& operator=(const Protocol&) = delete;
  // Leaves the owner's list.
  ~Protocol() override;

  // Head and trailer room: the bottom layer creates the buffer, each layer adds its own.
  virtual void local_prepare_head(Packet& p);
  virtual void local_prepare_tail(Packet& p);
  virtual Protocol_status local_initialize();
  virtual void local_activate();
  virtual void local_deactivate();
  // Down to the lower layer's message; at the bottom, to the owner's transmit.
  virtual void transmit(Packet& p);
  // Up to the upper layer's receive; at the top, to the owner's on_message.
  virtual void on_message(Packet& p);
  // Starts the upper layer; at the top, tells the owner (on_activated).
  virtual void on_activate();
  // Success: deactivates the lower layer (the bottom reports to the owner). Failure: passes the
  // status up (the top reports to the owner). The status must not be null.
  virtual void on_deactivate(Protocol_status status);
  // Passes the status up unchanged; at the top, to the owner's on_status.
  virtual void on_status(Protocol_status status);
  // A packet from above.
  virtual void message(Packet& p);
  // A packet from below.
  virtual void receive(Packet& p);
  // A layer above asks those below to stop (true) or go on (false) handing packets up, while
  // it works through what it holds. Passes down; at the bottom, to the owner. The layer that
  // reads from outside stops reading, so that the peer's bytes wait in the kernel.
  virtual void hold_input(bool hold);
  // Walks down to the bottom layer and starts it.
  virtual void activate();
  virtual void deactivate();
  virtual void protocol_info(std::ostream& os) const;

  // Reserves the head room of every layer below and of this one, bottom first. Inline: every
  // frame a layer builds starts here.
  void prepare_head(Packet& p) {
    descend_prepare_head(p);
    local_prepare_head(p);
  }
  void prepare_tail(Packet& p);
  // Initialises the layers below first and stops at the first failure.
  Protocol_status initialize();

  Protocol* upper() const { return next_item(); }
  Protocol* lower() const { return prev_item(); }
  ProtocolsList* owner() const { return owner_; }

 protected:
  void descend_prepare_head(Packet& p) {
    if (Protocol* below = lower()) below->prepare_head(p);
  }
  void descend_prepare_tail(Packet& p);

 private:
  friend class ProtocolsList;

  ProtocolsList* owner_ = nullptr;
};

// An ordered stack of layers, bottom first; it owns them.
class ProtocolsList : public Protocol {
 public:
  ProtocolsList() = default;
  // Deletes the layers, top first.
  ~ProtocolsList() override;

  // The top layer has come up.
  virtual void on_activated(Protocol* p);
  // Layer p reports the end of the stack: a failure from the top, or the bottom's success.
  virtual void on_deactivated(Protocol* p, Protocol_status status);
  // p becomes the bottom layer.
  virtual void add_protocol_head(Protocol* p);
  // p becomes the top layer.
  virtual void add_protocol_tail(Protocol* p);

  // The first layer from the bottom whose compare_name(n) holds, or null.
  Protocol* search(const Protocol_name& n) const;

  Protocol* bottom() const { return layers_.first(); }
  Protocol* top() const { return layers_.last_item(); }
  unsigned count() const { return layers_.count(); }

 private:
  friend class Protocol;
  void unlink(Protocol* p);
  void adopt(Protocol* p);

  F_dual_list<Protocol> layers_;
};

// A stack that is itself one layer of an outer stack: packets from above enter at its top layer,
// packets from below at its bottom layer, and its activation is that of its inner stack.
class ProtocolsFamily : public ProtocolsList {
 public:
  void local_prepare_head(Packet& p) override;
  void local_prepare_tail(Packet& p) override;
  Protocol_status local_initialize() override;
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& p) override;
  void receive(Packet& p) override;
  void on_activated(Protocol* p) override;
  void on_deactivated(Protocol* p, Protocol_status status) override;
};
