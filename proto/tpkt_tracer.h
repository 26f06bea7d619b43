// TPKTTracer: a small TCP server for trace clients ("ACP" connections).
//
// It listens on a port, accepts any number of clients and reads TPKT frames (RFC 1006 section 6)
// from each, handing every body to its receiver. Send writes one frame to every client, or, when
// called from inside the receiver, only back to the client whose message is being handled. It
// works on raw sockets with one fixed buffer per client, so a body holds at most 512 bytes; a
// frame with a bad header or a longer body closes the client, as does a write that does not
// complete at once.
#pragma once

#include <list>
#include <memory>

#include "base/event.h"

class TPKTTracer {
 public:
  // Gets the body of every received frame.
  class Receiver {
   public:
    virtual ~Receiver() = default;
    virtual void OnMessage(const char* data, unsigned length) = 0;
  };

  static constexpr unsigned header_size = 4;
  static constexpr unsigned max_body = 512;
  // The largest message Send takes: the length field counts the header and holds 65535.
  static constexpr unsigned max_message = 0xFFFF - header_size;

  // The framing of one client's stream, apart from its socket: it says where the next bytes go
  // and how many it takes, so that no read ever runs into the next frame.
  class FrameReader {
   public:
    enum class Step { more, body, bad };

    char* space() { return buffer_ + received_; }
    // At least 1.
    unsigned room() const { return expected_ - received_; }
    // `n` bytes, 1 to room(), have been put at space(). After Step::body, body() and
    // body_length() hold a whole frame's body until the next call; an empty frame gives none.
    // After Step::bad the stream cannot be read any further.
    Step took(unsigned n);
    const char* body() const { return buffer_; }
    unsigned body_length() const { return body_length_; }

   private:
    bool reading_header_ = true;
    unsigned expected_ = header_size;
    unsigned received_ = 0;
    unsigned body_length_ = 0;
    char buffer_[max_body];
  };

  TPKTTracer();
  ~TPKTTracer();
  TPKTTracer(const TPKTTracer&) = delete;
  TPKTTracer& operator=(const TPKTTracer&) = delete;

  // `receiver` is not owned; null drops the bodies.
  void set_receiver(Receiver* receiver) { receiver_ = receiver; }
  // Listens on `port` of every local address; false (nothing logged) when it cannot.
  bool Listen(unsigned short port);
  // One frame to every client, or only to the sender of the message being handled. A message
  // above max_message is refused with a log line.
  void Send(const void* data, unsigned length);

  // The port listened on (the kernel's choice for port 0); 0 when not listening.
  unsigned short local_port() const;
  size_t connection_count() const { return connections_.size(); }

 private:
  struct Connection {
    FrameReader reader;
    Event event;
  };
  using Connections = std::list<std::unique_ptr<Connection>>;

  void OnEvent(int socket, short events);
  void OnDataEvent(int socket, short events);
  // Reads what the client has sent; false when the reading is to stop.
  bool ReadConnection(Connection& c);
  Connections::iterator FindConnection(int socket);
  void CloseConnection(Connections::iterator position);
  // Writes one frame; false when the client is to be closed.
  static bool Write(const Connection& c, const unsigned char* header, const void* data,
                    unsigned length);

  Receiver* receiver_ = nullptr;
  Event listen_event_;
  Connections connections_;
  // The connection whose message the receiver is handling; the end of the list otherwise.
  Connections::iterator current_;
};
