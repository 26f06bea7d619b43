// Status objects that protocol layers pass up and down a stack: activation and deactivation
// outcomes and failures, each with a text that names what happened. They are reference-counted
// and held by Smart_pointer<Internal_protocol_status>; the last handle deletes the object.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>

#include "proto/smart_pointer.h"

class Protocol;

class Internal_protocol_status {
 public:
  explicit Internal_protocol_status(Protocol* source) : source_(source) {}
  Internal_protocol_status(const Internal_protocol_status&) = delete;
  Internal_protocol_status& operator=(const Internal_protocol_status&) = delete;
  virtual ~Internal_protocol_status() = default;

  virtual bool success() const = 0;
  virtual std::string message() const = 0;
  virtual void out(std::ostream& os) const = 0;

  // The layer that made the status.
  Protocol* source() const { return source_; }

 private:
  friend uint32_t& smart_pointer_count(Internal_protocol_status& s) { return s.count_; }
  friend void smart_pointer_give_back(Internal_protocol_status* s) { delete s; }

  Protocol* source_;
  uint32_t count_ = 0;
};

using Protocol_status = Smart_pointer<Internal_protocol_status>;

// A status with a text; success() is fixed by the subclass.
class Protocol_status_text : public Internal_protocol_status {
 public:
  Protocol_status_text(Protocol* source, std::string text)
      : Internal_protocol_status(source), text_(std::move(text)) {}
  std::string message() const override { return text_; }
  void out(std::ostream& os) const override;

 private:
  std::string text_;
};

class Protocol_status_success : public Protocol_status_text {
 public:
  using Protocol_status_text::Protocol_status_text;
  bool success() const override { return true; }
};

class Protocol_status_error : public Protocol_status_text {
 public:
  using Protocol_status_text::Protocol_status_text;
  bool success() const override { return false; }
};

// Made when an empty family is initialised.
class Protocol_initialize_error : public Protocol_status_error {
 public:
  explicit Protocol_initialize_error(Protocol* source) : Protocol_status_error(source, "error") {}
};

// Makes a new status held by a handle: make_status<Protocol_status_error>(this, "text").
template <class S, class... Args>
Protocol_status make_status(Args&&... args) {
  return Protocol_status(new S(std::forward<Args>(args)...));
}
