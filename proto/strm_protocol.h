// StrmProtocol: the bottom layer of a stack over a connected stream socket (TCP or UNIX).
//
// It owns the socket. Each readable event reads once, whatever has arrived (at most one packet,
// 65536 bytes), and hands it up as one packet: the layer does no framing. While a layer above
// holds input (hold_input), the socket is not read; a hang-up then waits too, so that the bytes
// still queued are read first. When the peer has finished sending (end of stream after its last
// byte), the layer stops reading and tells the owner with a status (on_status) whose source is
// this layer; the socket stays open, so answers can still go out, until the owner stops the
// layer or the socket fails. message() writes a
// packet completely before it returns, waiting for room in the send buffer for at most 1000 ms
// in all; that wait is the one place where the event loop blocks, and the watchdog is pinged
// around it.
//
// Any failure of the socket ends the layer: the socket is closed, the event detached, and a
// failure status goes up the stack to the owner (which may delete the stack inside that call).
#pragma once

#include <iosfwd>
#include <string>

#include "base/event.h"
#include "base/fd.h"
#include "base/measure.h"
#include "proto/protocol.h"

class StrmProtocol : public Protocol {
 public:
  static constexpr unsigned write_timeout_ms = 1000;

  StrmProtocol();
  // Attaches a duplicate of fd.
  explicit StrmProtocol(const Fd& fd);
  ~StrmProtocol() override;

  // Takes a duplicate of fd (non-blocking), after letting go of the socket held before; the
  // layer's own socket is kept. Does not activate.
  void attach(const Fd& fd);
  // Detaches the event and closes the socket; reports nothing.
  void release();

  // Registers the socket for reading and starts the layer above; without a socket reports the
  // failure "fd not attached".
  void local_activate() override;
  // release(), then a success status to the owner.
  void local_deactivate() override;
  // Writes the whole packet (see above).
  void message(Packet& p) override;
  // Stops or resumes reading the socket.
  void hold_input(bool hold) override;

  void on_event(int fd, short revents);
  // release(), then a failure status with the text.
  void on_error(const std::string& text);

  // Probes of the socket for log lines; -1 when the call fails.
  int sendbuf_space() const;
  int recvbuf_space() const;
  int inq_space() const;
  int outq_space() const;
  int free_space() const;

  // "SockStream[" service name "]: "
  void PutHeader(std::ostream& os) const;
  void service_name(const std::string& name) { service_name_ = name; }

  bool attached() const { return static_cast<bool>(socket_); }
  const Fd& socket() const { return socket_; }
  const Event& event() const { return event_; }
  // Writes that ended in an error or a timeout, over every connection of the layer.
  unsigned overflow() const { return overflow_; }
  const Measure& read_measure() const { return read_measure_; }
  const Measure& write_measure() const { return write_measure_; }

 protected:
  // Waits up to timeout_ms for room to write: poll(2)'s result (errno set on -1).
  virtual int wait_writable(int timeout_ms);

 private:
  void do_read();
  // The events to poll for: none once input is held or has ended.
  short wanted() const;
  // The socket's pending error as text.
  std::string pending_error_text() const;
  // Ends a failed write: the log line, the counter, the report.
  void write_failed(const char* what, const std::string& status_text, int err);
  int int_option(int level, int name) const;
  int queue_ioctl(unsigned long request) const;

  Fd socket_;
  // Set when the send-queue ioctl reports free space instead of queued bytes.
  bool outq_reports_free_ = false;
  // A layer above holds input; cleared with the socket.
  bool held_ = false;
  // The peer has finished sending; cleared with the socket.
  bool input_ended_ = false;
  std::string service_name_;
  Event event_;
  Measure read_measure_;
  Measure write_measure_;
  unsigned overflow_ = 0;
};
