#include "proto/protocol.h"

#include <cstring>
#include <ostream>

void Protocol_status_text::out(std::ostream& os) const { os << text_; }

bool Protocol_name_str::compare(const Protocol_name& other) const {
  return other.kind() == 1 && std::strcmp(other.name(), name()) == 0;
}

bool Protocol_info::compare_name(const Protocol_name&) const { return false; }

const Protocol_name& Protocol_info::name() const { return null_name_; }

Protocol::~Protocol() {
  if (owner_) owner_->unlink(this);
}

void Protocol::local_prepare_head(Packet& p) { p.reserve_head(0); }

void Protocol::local_prepare_tail(Packet& p) { p.reserve_tail(0); }

Protocol_status Protocol::local_initialize() {
  return make_status<Protocol_status_success>(this, "success");
}

void Protocol::local_activate() { on_activate(); }

void Protocol::local_deactivate() {
  on_deactivate(make_status<Protocol_status_success>(this, "success"));
}

void Protocol::transmit(Packet& p) {
  if (lower())
    lower()->message(p);
  else if (owner_)
    owner_->transmit(p);
}

void Protocol::on_message(Packet& p) {
  if (upper())
    upper()->receive(p);
  else if (owner_)
    owner_->on_message(p);
}

void Protocol::on_activate() {
  if (upper())
    upper()->local_activate();
  else if (owner_)
    owner_->on_activated(this);
}

void Protocol::on_deactivate(Protocol_status status) {
  if (!status) SmartPtrAssertion();
  if (status->success()) {
    if (lower())
      lower()->deactivate();
    else if (owner_)
      owner_->on_deactivated(this, status);
  } else {
    if (upper())
      upper()->on_deactivate(status);
    else if (owner_)
      owner_->on_deactivated(this, status);
  }
}

void Protocol::on_status(Protocol_status status) {
  if (upper())
    upper()->on_status(status);
  else if (owner_)
    owner_->on_status(status);
}

void Protocol::message(Packet&) {}

void Protocol::receive(Packet&) {}

void Protocol::hold_input(bool hold) {
  if (lower())
    lower()->hold_input(hold);
  else if (owner_)
    owner_->hold_input(hold);
}

void Protocol::activate() {
  if (lower())
    lower()->activate();
  else
    local_activate();
}

void Protocol::deactivate() { local_deactivate(); }

void Protocol::protocol_info(std::ostream&) const {}

void Protocol::descend_prepare_tail(Packet& p) {
  if (lower()) lower()->prepare_tail(p);
}

void Protocol::prepare_tail(Packet& p) {
  descend_prepare_tail(p);
  local_prepare_tail(p);
}

Protocol_status Protocol::initialize() {
  if (lower()) {
    Protocol_status below = lower()->initialize();
    if (!below) SmartPtrAssertion();
    if (!below->success()) return below;
  }
  return local_initialize();
}

ProtocolsList::~ProtocolsList() {
  while (Protocol* p = top()) {
    unlink(p);
    delete p;
  }
}

void ProtocolsList::on_activated(Protocol*) {}

void ProtocolsList::on_deactivated(Protocol*, Protocol_status) {}

void ProtocolsList::adopt(Protocol* p) {
  if (p->owner_) p->owner_->unlink(p);
  p->owner_ = this;
}

void ProtocolsList::add_protocol_head(Protocol* p) {
  adopt(p);
  layers_.insert_to_head(p);
}

void ProtocolsList::add_protocol_tail(Protocol* p) {
  adopt(p);
  layers_.push_back(p);
}

void ProtocolsList::unlink(Protocol* p) {
  layers_.remove(p);
  p->owner_ = nullptr;
}

Protocol* ProtocolsList::search(const Protocol_name& n) const {
  for (Protocol* p = bottom(); p; p = p->upper())
    if (p->compare_name(n)) return p;
  return nullptr;
}

void ProtocolsFamily::local_prepare_head(Packet& p) {
  if (top()) top()->prepare_head(p);
}

void ProtocolsFamily::local_prepare_tail(Packet& p) {
  if (top()) top()->prepare_tail(p);
}

Protocol_status ProtocolsFamily::local_initialize() {
  if (!top()) return make_status<Protocol_initialize_error>(this);
  return top()->initialize();
}

void ProtocolsFamily::local_activate() {
  if (top()) top()->activate();
}

void ProtocolsFamily::local_deactivate() {
  if (top()) top()->deactivate();
}

void ProtocolsFamily::message(Packet& p) {
  if (top()) top()->message(p);
}

void ProtocolsFamily::receive(Packet& p) {
  if (bottom()) bottom()->receive(p);
}

void ProtocolsFamily::on_activated(Protocol* p) {
  if (p == top()) on_activate();
}

void ProtocolsFamily::on_deactivated(Protocol*, Protocol_status status) { on_deactivate(status); }
