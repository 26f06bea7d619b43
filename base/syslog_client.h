// The syslog client: RFC 3164 records to the local syslog socket /dev/log (under the path
// root), without the C library's syslog functions.
//
// SysLogManager (the process-wide syslogManager) formats each record as
// "<PRI>Mmm dd hh:mm:ss IDENT[PID]: message" followed by a NUL byte and queues it; the queue is
// sent when 256 records or 12289 bytes are waiting and whenever sendmsg() is called. On a
// datagram socket every record is its own datagram (sendmmsg); on a stream socket the records
// follow one another in the stream. A send that fails closes the socket, so the next record
// connects again (a restarted syslog daemon is found again).
// Sends never block: what a receiver has no room for (EAGAIN) stays queued, in order, for the
// next send; a stream cut inside a record goes on from the cut. SysLogPump sends it as soon as
// the socket has room again. Only the queue is bounded (kQueueRecords records, kQueueBytes
// bytes): a record that finds it full is dropped. drops() counts every record lost: dropped at
// the bound, made while no receiver could be connected, or queued when the socket failed.
//
// SysLogStreamBuf and ManagedSysLogStreamBuf cut what is written to a std::ostream into lines
// and log each line as one record at a fixed priority: the first through the C library's
// syslog, the second through syslogManager (one batch per sync).
#pragma once

#include <cstddef>
#include <memory>
#include <streambuf>
#include <sys/socket.h>
#include <sys/un.h>

class SysLogManager {
 public:
  // Trivially destructible, so that streams flushed during exit still find it usable.
  SysLogManager();
  SysLogManager(const SysLogManager&) = delete;
  SysLogManager& operator=(const SysLogManager&) = delete;

  // A non-null ident replaces the identity; options (LOG_PID, LOG_CONS, LOG_NDELAY, LOG_PERROR)
  // replace the stored ones; a non-zero facility (already shifted, e.g. LOG_DAEMON) replaces
  // the stored one. With LOG_NDELAY the socket is connected at once.
  void openlog(const char* ident, int options, int facility);
  const char* identity() const { return identity_; }
  // Closes the socket, drops the queue unsent (counted), and restores the identity
  // "syslog-xj" and the datagram socket type.
  void closelog();
  // Formats one record and queues it.
  void syslog(int priority, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // Sends what the socket takes of the queue now: the bytes sent (0 when nothing was waiting,
  // there is no socket or the receiver had no room), -1 when the send failed also after
  // connecting again (the socket is then closed and the queue dropped). What the receiver had
  // no room for stays queued.
  int sendmsg();
  // Records lost since the process started.
  unsigned long drops() const { return drops_; }
  // Records queued and not yet sent whole.
  size_t waiting() const { return count_; }
  // True while the receiver had no room at the last send: records wait for the socket to take
  // them (SysLogPump polls it for room).
  bool blocked() const { return blocked_; }
  // Called whenever a send leaves records waiting for room; one hook at a time (null: none).
  void on_blocked(void (*hook)()) { on_blocked_ = hook; }

  // The socket (-1 when none), for daemon mode to put under descriptors 1 and 2.
  int socket() const { return socket_; }
  bool connected() const { return connected_; }

  static const int kRecordSize = 1024;
  static const int kBatchRecords = 256;
  static const int kBatchSendBytes = 12289;
  static const int kQueueRecords = 1024;
  static const int kQueueBytes = 131072;

 private:
  void set_identity(const char* ident);
  void connect_step();
  void disconnect();
  // Queues a record of n bytes (its NUL included), or drops it when the queue is full; sends
  // the queue when a threshold is reached. The result of that send, else 0.
  int add(const char* record, size_t n);
  // Drops every queued record (counted).
  void drop_queue();
  // Sends what the socket takes; the bytes sent, -1 on a failure other than EAGAIN.
  int send_queue();
  int send_datagrams();
  int send_stream();
  // Removes the first `records` records from the queue.
  void forget(size_t records);
  void set_blocked();
  void to_console(const char* body);

  int socket_type_;
  int socket_ = -1;
  bool connected_ = false;
  int options_ = 0;
  char identity_[kRecordSize];
  int facility_;
  int level_mask_ = 0xff;
  sockaddr_un peer_{};
  char record_[kRecordSize];

  // The queue: records back to back, offsets_[i] where record i starts.
  char data_[kQueueBytes];
  size_t used_ = 0;
  size_t count_ = 0;
  size_t offsets_[kQueueRecords + 1];
  // On a stream, the bytes of the first record already sent.
  size_t head_sent_ = 0;
  bool blocked_ = false;
  void (*on_blocked_)() = nullptr;
  unsigned long drops_ = 0;
};

extern SysLogManager syslogManager;

// Logs every line written to it as one record of priority facility * 8 + level through the C
// library's syslog. The put area keeps its last byte free for the terminating NUL; a partial
// line waits for its line feed until the put area is full.
class SysLogStreamBuf : public std::streambuf {
 public:
  SysLogStreamBuf(int facility, int level) : SysLogStreamBuf(facility, level, 1024) {}
  SysLogStreamBuf(const SysLogStreamBuf&) = delete;
  SysLogStreamBuf& operator=(const SysLogStreamBuf&) = delete;
  // Destruction logs a partial line that is still waiting.
  ~SysLogStreamBuf() override;

 protected:
  SysLogStreamBuf(int facility, int level, size_t size);

  // Buffers below 2 bytes are ignored. The caller keeps ownership of the buffer, which must
  // outlive the stream buffer or be replaced first.
  std::streambuf* setbuf(char* buffer, std::streamsize size) override;
  int sync() override;
  int_type overflow(int_type c) override;

  // One line (no line feed) as a record, and the end of the lines of one sync.
  virtual void log_line(const char* line, size_t n);
  virtual void end_lines() {}
  // Sends all waiting text; with partial_too false a partial line stays unless the put area
  // is full.
  void flush_lines(bool partial_too);

  int priority_;

 private:
  std::unique_ptr<char[]> owned_;
};

// As SysLogStreamBuf with a 16384-byte buffer, through syslogManager: each sync that logs
// lines ends with syslogManager.sendmsg().
class ManagedSysLogStreamBuf : public SysLogStreamBuf {
 public:
  ManagedSysLogStreamBuf(int facility, int level) : SysLogStreamBuf(facility, level, 16384) {}
  ~ManagedSysLogStreamBuf() override;

 protected:
  void log_line(const char* line, size_t n) override;
  void end_lines() override;
};
