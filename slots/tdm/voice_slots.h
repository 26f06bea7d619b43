// Voice slots: raw voice samples between a transparent channel of the
// multichannel HDLC controller (/dev/mcc/ctl) and a TCP peer or announcement
// files, moved by ASync::Copy so that the loop never waits on the network or on
// files.
//
//   - PlaySlotNetwork ("player"): a source; when its first sink is connected it
//   connects to the
//     host, writes its id (4 bytes, big-endian) and copies what the host sends
//     into the channel.
//   - PlaySlotFile ("player"): a source; plays its files from /usr/local/voice/
//   one after the
//     other, the whole list `repeat` times (0 or a negative count: without end); a pass
//     that plays nothing (every file empty, missing or unreadable) ends the play.
//   - RecordSlot ("recorder"): a sink; when a source is connected it connects
//   to the host and
//     copies what the channel receives there.
// A host that is no address cannot even be connected to: the connection that asks for the
// stream is refused. A slot starts its work (and reports a play's stream) only once the
// connection's path is made: a connection refused on the way starts and reports nothing.
//
// Each play slot reports its end with abort 0 and is then finished; a record
// slot reports each recording's end with the ioctl signal stopRecording and
// records again at the next source.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "asn1/modules/lgcp.h"
#include "base/async_connect.h"
#include "base/async_copy.h"
#include "base/dpc.h"
#include "base/fd.h"
#include "slotbase/slot.h"

class VoiceSlot : public Slot {};

class PlaySlotGeneric : public VoiceSlot {
 public:
  // Takes over the allocated channel `fd`, whose switch channel is `channel`.
  PlaySlotGeneric(Fd fd, int channel);

  bool IBeforeDestroy() override;
  int IGetTransmitChannel() override { return channel; }
  const char* GetName() const override { return "player"; }
  // "player[1024]: "
  void PutHeader(std::ostream& os) const override;

  int channel = -1;
  Fd fd;

 protected:
  // Starts copying `source` into the channel: ends with the channel's transmit
  // side drained.
  void start_copy(ASync::Copy& copy, Fd source);
  // Refuses the connection that asked for the stream (false): nothing can be played. The
  // abort follows on the next loop turn, after the answer.
  bool RefuseStream();
  // Ends a play that failed as it began, on the next loop turn: after the answer to the
  // connection that began it.
  void ReleaseLater();
  virtual void Release() = 0;

 private:
  void delayed_abort();
  void delayed_release();

  Dpc end_call;
};

class PlaySlotNetwork : public PlaySlotGeneric {
 public:
  enum State { kIdle = 0, kConnecting = 1, kPlaying = 2, kReleased = 3 };

  PlaySlotNetwork(Fd fd, int channel, const LGCP::PlayerParams_network& params);

  bool IOnOutputStream() override;
  void IOnOutputOpen(bool made) override;
  void OnConnect(ASync::Connect::Status::Type status, Fd socket);
  void OnPlayComplete(ASync::Copy::Status::Type status);
  void Release() override;

  std::string host;
  int id;
  State state = kIdle;
  std::unique_ptr<ASync::Copy> copy;
  std::unique_ptr<ASync::Connect> connect;
};

class PlaySlotFile : public PlaySlotGeneric {
 public:
  PlaySlotFile(Fd fd, int channel, const LGCP::PlayerParams_file& params);

  // What next_phrase found.
  enum class Phrase { kPlaying, kListEnd, kChannelFailed };

  bool IOnOutputStream() override;
  void IOnOutputOpen(bool made) override;
  void OnPlayComplete(ASync::Copy::Status::Type status);
  void Release() override;
  // Whether a name of the list opens (what it holds shows only in the play).
  bool playable();
  // The file of `name` in the voice folder, open to read; none for a name outside the folder,
  // one that does not open, or a folder.
  Fd open_file(const std::string& name);
  // From the first name again, a new pass; false when nothing of the list can be played.
  bool restart();
  // Starts the next name that opens and reads; kListEnd when the list is exhausted,
  // kChannelFailed when the channel refused the first write.
  Phrase next_phrase();

  std::vector<std::string> names;
  size_t position = 0;
  int repeat;
  // Bytes the current pass over the list has played.
  uint64_t played = 0;
  bool started = false;
  std::unique_ptr<ASync::Copy> copy;
};

class RecordSlot : public VoiceSlot {
 public:
  RecordSlot(Fd fd, int channel, const std::string& host);

  void IAfterCreate() override;
  bool IBeforeDestroy() override;
  bool IOnInputStream() override;
  void IOnInputOpen(bool made) override;
  int IGetReceiveChannel() override { return channel; }
  const char* GetName() const override { return "recorder"; }
  void PutHeader(std::ostream& os) const override;

  void OnConnect(ASync::Connect::Status::Type status, Fd socket);
  void OnRecordComplete(ASync::Copy::Status::Type status);
  void StopRecording(LGCP::StopRecordingCause::NamedNumber cause);

  int channel = -1;
  Fd fd;
  std::string host;
  std::unique_ptr<ASync::Copy> copy;
  std::unique_ptr<ASync::Connect> connect;
};

// "iaddr:port"
std::string dhost2str(const TERM::HostAddress& host);
