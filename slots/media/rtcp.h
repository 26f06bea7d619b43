// RTPC: the two RTCP packets (RFC 3550) that RTP slots send themselves: a source description
// (SDES, one chunk) when the session starts and a BYE (one SSRC) when the slot goes. Reports are
// the kernel RTP engine's business; nothing here parses RTCP.
//
// Msg writes the common header and asks its kind for the type, the count and the body. Every
// encoder stays inside the buffer it is given: the room used is its size rounded down to a
// multiple of 4, and what does not fit is left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace RTPC {

class Msg {
 public:
  explicit Msg(uint32_t ssrc) : ssrc(ssrc) {}
  virtual ~Msg() = default;

  virtual unsigned pt() const = 0;
  // The 5-bit count field of the header.
  virtual unsigned count() const = 0;
  // Writes the body (from the SSRC on) into `room` bytes, a multiple of 4; returns its length,
  // a multiple of 4, or 0 when nothing fits.
  virtual unsigned encode_body(char* buffer, unsigned room) const = 0;

  // The whole packet into `size` bytes: its length in bytes, 0 when nothing could be encoded.
  unsigned encode(char* buffer, unsigned size) const;

  uint32_t ssrc;

 protected:
  // Writes the SSRC at `p`; 4.
  unsigned put_ssrc(char* p) const;
};

class SDES : public Msg {
 public:
  struct Item {
    enum Type : uint8_t { CNAME = 1, EMAIL = 3, PHONE = 4 };
    Type type;
    std::string text;
  };

  explicit SDES(uint32_t ssrc) : Msg(ssrc) {}

  // Appends an item; items go out in the order added, each text cut to 255 bytes.
  void add(Item::Type type, const std::string& text);

  unsigned pt() const override { return 202; }
  unsigned count() const override { return 1; }
  unsigned encode_body(char* buffer, unsigned room) const override;

 private:
  std::vector<Item> items_;
};

class BYE : public Msg {
 public:
  BYE(uint32_t ssrc, std::string reason) : Msg(ssrc), reason_(std::move(reason)) {}

  unsigned pt() const override { return 203; }
  unsigned count() const override { return 1; }
  unsigned encode_body(char* buffer, unsigned room) const override;

 private:
  std::string reason_;
};

}  // namespace RTPC
