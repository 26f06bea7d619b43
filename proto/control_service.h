// Control::Service: one end of a control connection, whole messages in TPKT frames (RFC 1006
// section 6) over a stream socket.
//
// The service owns a two-layer stack, StrmProtocol at the bottom and Tpkt_protocol on top. Its
// flavours obtain the socket: over TCP, Control::AcceptorNet and
// Control::AcceptorNetCheckConnection listen for it and Control::ConnectorNet connects; over
// UNIX-domain stream sockets, Control::AcceptorUnix listens and Control::ConnectorUnix connects. The user binds a Control::Notify (not owned) and hears
// OnConnect when a peer is attached, OnMessage for every received frame and OnDisconnect once per
// ended connection. OnDisconnect always comes from a deferred call, never from inside Send or
// Disconnect, so a sink may call both from any of its callbacks; after it the service listens or
// connects again on its own.
//
// States: Idle (not started), Connecting (listening or connecting, no connection), Deactivating
// (the connection has just ended, OnDisconnect pending), Connected. Messages are sent only while
// Connected; a message sent at any other time is lost.
//
// A peer that has finished sending (it shut down its sending side, and every frame before the
// end has been handed to the sink) is not gone: it still reads. The connection stays until the
// sink owes it no more answers (Notify::AnswersOwed), then closes as any ended connection does;
// answers written before the close reach the peer ahead of the end of the stream.
#pragma once

#include <iosfwd>
#include <string>

#include "base/dpc.h"
#include "base/fd.h"
#include "base/inet4_addr.h"
#include "base/measure.h"
#include "base/throttled_line.h"
#include "proto/protocol.h"
#include "proto/socket_calls.h"

class StrmProtocol;

namespace Control {

class Notify {
 public:
  virtual ~Notify() = default;
  virtual void OnConnect() = 0;
  virtual void OnDisconnect() = 0;
  // One call per received frame, with its payload.
  virtual void OnMessage(const char* data, int length) = 0;
  // True while the sink still owes the peer answers to frames it has received (answers it
  // sends later). A peer that has finished sending keeps its connection until they are sent:
  // the sink calls Service::AnswerSent after each.
  virtual bool AnswersOwed() const { return false; }
};

class Service : private ProtocolsFamily {
 public:
  struct State {
    enum Type { Idle = 0, Connecting = 1, Deactivating = 2, Connected = 3 };
  };

  // The largest message: the TPKT length field counts its 4 header bytes and holds 65535.
  static constexpr int max_message = 65531;

  Service();
  ~Service() override;

  // Stops the transport, then starts it: listening or connecting. False (state Idle) when it
  // cannot start.
  bool Activate();
  // Stops listening or connecting; state Idle. Whether a live connection is closed is up to the
  // flavour.
  void Deactivate();
  // Ends the live connection at once (also when there is none); OnDisconnect follows from the
  // deferred call. Does nothing while Deactivating.
  void Disconnect();
  // Sends one message as one frame while Connected. A message above max_message is refused with
  // a log line, and the connection stays. Each kind of refusal is logged at most once a second
  // (the users send what peers make them send, at any rate); the counts owed are written when the
  // series ends: a connection is attached, or ends.
  void Send(const char* data, int length);

  void Bind(Notify* sink) { sink_ = sink; }
  void UnBind() { sink_ = nullptr; }

  State::Type state() const { return state_; }
  // The last peer: "a.b.c.d:port" for TCP, the text its flavour gives for UNIX. Kept after the
  // connection ends.
  const std::string& peer() const { return peer_; }
  const std::string& service_name() const { return name_; }
  // The name in the stream layer's log header.
  void service_name(const std::string& name);

  const Measure& get_read_measure() const;
  const Measure& get_write_measure() const;
  unsigned GetOverflowCounter() const;

  // Closes the live connection's socket without any report: no OnDisconnect follows.
  void Release();
  // The sink has sent an answer it owed: a peer that has finished sending and is owed nothing
  // more is disconnected now.
  void AnswerSent();
  // The peer of the live connection has finished sending.
  bool input_ended() const { return input_ended_; }

 protected:
  // Starts listening or connecting; false when it cannot.
  virtual bool ImplActivate() = 0;
  // Stops listening or connecting and drops the flavour's timers.
  virtual void ImplDeactivate() = 0;
  // The deferred end of a connection, before the sink hears of it.
  virtual void ImplOnDisconnect() = 0;

  // Attaches a connected socket: state Connected, stack started, OnConnect.
  void attach(const Fd& socket, const std::string& peer);
  // The live connection's socket; closed while there is none.
  const Fd& socket() const;
  bool log() const { return log_; }
  void set_log(bool on) { log_ = on; }

 private:
  void on_message(Packet& p) override;
  void on_activated(Protocol* p) override;
  void on_deactivated(Protocol* p, Protocol_status status) override;
  // The stream layer's end of input.
  void on_status(Protocol_status status) override;
  void OnDeactivateDPC();

  std::string peer_;
  bool log_ = true;
  State::Type state_ = State::Idle;
  bool input_ended_ = false;
  // Between Activate and Deactivate.
  bool active_ = false;
  Notify* sink_ = nullptr;
  StrmProtocol* strm_;
  std::string name_;
  Dpc deactivate_dpc_;
  // The length of the last message refused as too long.
  int refused_length_ = 0;
  ThrottledLine ignored_log_;
  ThrottledLine refused_log_;
};

// The text of a state: "Idle", "Connecting", "Deactivating", "Connected", else "Unknown".
const char* GetTextNotation(Service::State::Type state);

// A service over TCP.
class ServiceNet : public Service {
 public:
  using Peer = INet4::Addr;

  // Attaches a connected TCP socket with its peer's address; ignored while Deactivating (the
  // caller still owns the socket and closes it).
  void Connected(const Fd& socket, const INet4::Addr& peer);

  const INet4::Addr& peer_address() const { return peer_addr_; }
  // Replaces the socket calls (not owned); null restores the system's.
  void set_socket_calls(SocketCalls* calls) { calls_ = calls ? calls : &SocketCalls::system(); }

 protected:
  SocketCalls& calls() const { return *calls_; }

 private:
  INet4::Addr peer_addr_;
  SocketCalls* calls_ = &SocketCalls::system();
};

// A service over a UNIX-domain stream socket.
class ServiceUnix : public Service {
 public:
  // The peer's path, or empty when it has none.
  using Peer = std::string;

  // Attaches a connected socket with its peer's text; ignored while Deactivating (the caller
  // still owns the socket and closes it).
  void Connected(const Fd& socket, const std::string& peer);
};

}  // namespace Control
