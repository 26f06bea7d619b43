// Ctl::Controller: a controller's connection to a running daemon, for people (orvex-ctl send) and
// for the black-box tests.
//
// It speaks TPKT (RFC 1006 section 6) and LGCP in aligned PER over TCP. Calls block the caller,
// but every call that waits takes a timeout in milliseconds and returns false when it runs out,
// so a test never hangs. Framing is written here on purpose, apart from the daemon's, so that a
// fault in one is caught by the other.
//
// Commands are written in value notation, either as a whole LGCP::Message ("{ slot 3, pdu
// command : ping : NULL }") or as a bare LGCP::Command ("ping : NULL"), and read strictly
// (tools/orvex-ctl/lib/command_reader.h); a command sent without seq gets the next number of the
// controller's own count unless the caller asks otherwise.
// Messages that arrive while a call waits for something else are kept, in order, for the next
// receive() or wait_for().
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "asn1/modules/lgcp.h"
#include "base/fd.h"

namespace Ctl {

// Value notation (as printed) on one line: each line break and the indent after it become one
// blank, except inside a quoted string.
std::string one_line(const std::string& text);

// One frame received from the daemon.
struct Received {
  std::vector<char> bytes;
  // Null when the payload is not an aligned PER LGCP::Message.
  std::shared_ptr<LGCP::Message> message;

  bool is_response() const { return message && message->get_pdu().is_response(); }
  bool is_signal() const { return message && message->get_pdu().is_signal(); }
  // A response with the seq of `sent`, or without seq when `sent` had none.
  bool answers(const LGCP::Message& sent) const;
  // The name of the signal's alternative ("trunkStatus"); empty when not a signal.
  std::string signal_name() const;
  // Value notation, or "undecodable frame: " and the payload in hex.
  std::string text() const;
};

class Controller {
 public:
  Controller() = default;
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  // Connects to `host` (an IPv4 address or a name) on `port`.
  bool connect(const std::string& host, unsigned short port, int timeout_ms);
  void close();
  // Shuts the sending side only (a half-close): what was sent is still answered and read.
  bool shut_sending();
  bool connected() const { return static_cast<bool>(socket_); }
  // The socket, for a caller that polls it beside other descriptors; -1 when not connected.
  int fd() const { return socket_.get(); }
  // The connection is of no more use: the daemon closed it, or a frame header was broken.
  bool lost() const { return closed_ || broken_; }
  // Why the last call failed.
  const std::string& error() const { return error_; }

  // Sends `payload` as one frame.
  bool send_frame(const std::vector<char>& payload);
  // Sends each payload as a frame of its own, all of them in one write.
  bool send_frames(const std::vector<std::vector<char>>& payloads);
  // Sends `message`; gives it the next seq (set in `message`) when it has none and `fill_seq` is
  // set.
  bool send(LGCP::Message& message, bool fill_seq = true);
  // Reads `text` (one command, only blanks after it) and sends it as above.
  bool send(const std::string& text, bool fill_seq = true);
  // Parses and sends each of `texts` as above, all of them in one write.
  bool send_together(const std::vector<std::string>& texts);
  // The next message, kept or arriving within the timeout (0: only what has arrived already).
  bool receive(Received& r, int timeout_ms);
  // Sends `text` and waits for its response: the first response with the command's seq, or
  // without seq when the command had none. Other messages are kept.
  bool command(const std::string& text, Received& response, int timeout_ms,
               bool fill_seq = true);
  bool command(LGCP::Message& message, Received& response, int timeout_ms, bool fill_seq = true);
  // The first signal named `signal` among the kept messages or arriving within the timeout;
  // the other messages stay kept.
  bool wait_for(const std::string& signal, Received& r, int timeout_ms);
  // True when the daemon closes the connection within the timeout; what arrives before is kept.
  bool wait_closed(int timeout_ms);
  // Messages received and not yet taken.
  const std::deque<Received>& kept() const { return kept_; }

 private:
  // Reads until a whole frame is buffered or the deadline passes; false on timeout, end of
  // stream or a broken frame header.
  bool read_frame(Received& r, long long deadline_ms);
  // A frame from the buffer, if one is complete; false (and error) on a broken header.
  bool take_frame(Received& r, bool& complete);
  // False on timeout (error set) or end of stream (closed_ set).
  bool fill(long long deadline_ms);
  bool fail(const std::string& text);
  // One command read from the whole text; only blanks may follow.
  bool parse(const std::string& text, LGCP::Message& message);
  // Aligned PER of `message` into `bytes`, with the next seq when it has none and `fill_seq`
  // is set.
  bool encode(LGCP::Message& message, bool fill_seq, std::vector<char>& bytes);

  Fd socket_;
  std::string in_;
  std::deque<Received> kept_;
  std::string error_;
  bool closed_ = false;
  bool broken_ = false;
  int next_seq_ = 1;
};

}  // namespace Ctl
