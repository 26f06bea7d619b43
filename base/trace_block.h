// Trace::Block: writes "Enter NAME" when a scope is entered and "Leave NAME" when it is left.
#pragma once

#include <ostream>

namespace Trace {

class Block {
 public:
  Block(bool enabled, const char* name, std::ostream& os)
      : enabled_(enabled), name_(name), os_(&os) {
    if (enabled_) *os_ << "Enter " << name_ << '\n';
  }
  ~Block() {
    if (enabled_) *os_ << "Leave " << name_ << '\n';
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

 private:
  bool enabled_;
  const char* name_;
  std::ostream* os_;
};

}  // namespace Trace
