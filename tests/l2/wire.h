// Two GenericHDLC ends joined in process. A frame sent at one end reaches the other end's notify
// from the event loop, never inside hdlc_transmit. An end with `capacity` frames in flight
// refuses, then calls on_hdlc_ready once they have gone. A filter drops or duplicates frames;
// inject delivers made-up ones. Every frame carried is written to `events`.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/dpc.h"
#include "hw/hdlc.h"

class Wire {
 public:
  class End : public GenericHDLC {
   public:
    bool hdlc_transmit(Packet& frame) override;
    bool is_open() const override { return true; }
    bool is_ready() const override { return in_flight_ < capacity; }

    HDLC::Notify* notify = nullptr;
    unsigned capacity = 64;
    // Frames to refuse before taking one again.
    unsigned refuse = 0;
    std::string name;  // "A" or "B" in the events
    std::vector<std::string> sent;

   private:
    friend class Wire;
    Wire* wire_ = nullptr;
    End* peer_ = nullptr;
    unsigned in_flight_ = 0;
    bool refused_ = false;
  };

  // What happens to one frame: delivered `copies` times (0 drops it).
  using Filter = std::function<int(const End& from, const std::string& frame)>;

  explicit Wire(std::vector<std::string>* events);
  Wire(const Wire&) = delete;
  Wire& operator=(const Wire&) = delete;

  // Delivers a frame to `to` as if its peer had sent it.
  void inject(End& to, const std::string& frame);
  bool idle() const { return queue_.empty(); }
  void clear();

  End a;
  End b;
  Filter filter;

 private:
  struct InFlight {
    End* from;
    End* to;
    std::string frame;
  };
  void deliver();

  std::vector<std::string>* events_;
  std::deque<InFlight> queue_;
  Dpc dpc_;
};

// "SABME P cr=1 tei=0", "I ns=0 nr=0 p=0 cr=0 tei=0 +3", "RR nr=1 f=0 cr=1 tei=0": the LAPD
// header of a frame and the number of octets after it.
std::string describe_frame(const std::string& frame);
