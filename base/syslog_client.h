// The syslog client: RFC 3164 records to the local syslog socket /dev/log (under the path
// root), without the C library's syslog functions.
//
// SysLogManager (the process-wide syslogManager) formats each record as
// "<PRI>Mmm dd hh:mm:ss IDENT[PID]: message" followed by a NUL byte and collects the records in
// a batch, sent when 256 records or 12289 bytes are waiting and whenever sendmsg() is called.
// On a datagram socket every record is its own datagram (one sendmmsg call for the batch); on a
// stream socket the records follow one another in the stream. A send that fails closes the
// socket, so the next record connects again (a restarted syslog daemon is found again).
// Sends never block: a receiver that does not keep up (EAGAIN) loses the rest of the batch,
// and those records are counted in drops(). A stream cut inside a record is closed, so the
// receiver never joins a cut record to the next one.
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
  // Closes the socket, drops the batch unsent, and restores the identity "syslog-xj" and the
  // datagram socket type.
  void closelog();
  // Formats one record and adds it to the batch.
  void syslog(int priority, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // Sends the batch now and empties it: the bytes sent, 0 when nothing was waiting or there is
  // no socket, -1 when the send failed also after connecting again (the socket is then closed).
  // Records the receiver had no room for are dropped, not counted as sent.
  int sendmsg();
  // Records dropped because the receiver had no room for them, since the process started.
  unsigned long drops() const { return drops_; }

  // The socket (-1 when none), for daemon mode to put under descriptors 1 and 2.
  int socket() const { return socket_; }
  bool connected() const { return connected_; }

  static const int kRecordSize = 1024;
  static const int kBatchRecords = 256;
  static const int kBatchBytes = 16384;
  static const int kBatchSendBytes = 12289;

 private:
  void set_identity(const char* ident);
  void connect_step();
  void disconnect();
  // Appends a record of n bytes (its NUL included); the result of the send it caused, else 0.
  int add(const char* record, size_t n);
  void drop_batch();
  // Send the records from index `from` on; `from` ends at the first record not sent whole.
  int send_batch(size_t& from);
  int send_datagrams(size_t& from);
  int send_stream(size_t& from);
  // Drops the records from index `from` on; the bytes sent before them.
  int drop_rest(size_t& from);
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

  char data_[kBatchBytes];
  size_t used_ = 0;
  size_t count_ = 0;
  size_t offsets_[kBatchRecords + 1];
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
