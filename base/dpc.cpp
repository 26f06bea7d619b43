#include "base/dpc.h"

#include "base/multiplexer.h"

Dpc::~Dpc() {
  Deactivate();
  delete handler_;
}

void Dpc::Bind(DpcHandler* handler) {
  DpcHandler* old = handler_;
  handler_ = handler;
  if (old != handler) delete old;
}

void Dpc::Activate() {
  if (!active_) multiplexer.attach(this);
  active_ = true;
}

void Dpc::Deactivate() {
  if (active_) multiplexer.dettach(this);
  active_ = false;
}
