// Packet: a handle on one pooled, reference-counted, copy-on-write byte buffer.
//
// A _Packet is one buffer of packet_max_size bytes with a window [data, tail) holding the
// contents: the bytes in front of the window are head room (where lower layers push their
// headers), those behind it tail room. Buffers come from a static pool of 1024 blocks and go back
// to it when the last handle lets go; there is no heap allocation per packet.
//
// Handles share buffers. Reading through a const handle never copies; every operation that
// changes a packet first takes write access (prepare_for_modify), which gives the handle a
// private copy when the buffer is shared, with the contents at the same offsets.
//
// Broken invariants (a null handle where a packet is needed, too little room or length) are
// programming errors: callers check lengths and room before they touch data from outside. They
// are reported on std::clog with a snapshot of the packet and end the process.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "proto/list_allocator.h"
#include "proto/smart_pointer.h"

constexpr unsigned packet_max_size = 65536;

struct _Packet {
  uint32_t refcount;
  unsigned char* data;
  unsigned char* tail;
  unsigned char buffer[packet_max_size];

  const unsigned char* buffer_end() const { return buffer + packet_max_size; }
  unsigned _headroom() const { return static_cast<unsigned>(data - buffer); }
  unsigned _length() const { return static_cast<unsigned>(tail - data); }
  unsigned _tailroom() const { return static_cast<unsigned>(buffer_end() - tail); }
  // buffer start <= data <= tail <= buffer end
  bool consistent() const {
    return buffer <= data && data <= tail && tail <= buffer_end();
  }
};

inline uint32_t& smart_pointer_count(_Packet& p) { return p.refcount; }

using Packet_pool = List_allocator<_Packet, 1024, Dummy_critical_section>;
// The process's one pool, set up on first use.
Packet_pool& packet_pool();

namespace packet_internal {
// packet_pool(), noted by the first take. Every block given back was taken, so giving back reads
// it without a check.
extern Packet_pool* g_pool;
// The pool as taking a block reads it: null before the first take, and again after a block was
// given back twice, so that the next take runs out of line and reports that there. Giving back
// only clears it: a call on that path would cost every release its registers.
extern Packet_pool* g_take_pool;
}  // namespace packet_internal
// Sets the count to 0 and puts the block back at the tail of the pool's free list. Inline: the
// last handle of every frame lets go here.
inline void smart_pointer_give_back(_Packet* p) {
  p->refcount = 0;
  if (!packet_internal::g_pool->deallocate(p)) packet_internal::g_take_pool = nullptr;
}

class Packet : public Smart_pointer<_Packet> {
 public:
  Packet() = default;

  // Write access: makes the buffer private first. A null handle ends the process
  // (SmartPtrAssertion).
  _Packet* operator->();
  // Read access, never copies.
  const _Packet* operator->() const { return Smart_pointer::operator->(); }

  // On a null handle: a fresh empty buffer with len bytes of head room (throws std::bad_alloc
  // when the pool is empty). On a packet: slides the window len bytes forward.
  void reserve_head(unsigned len) {
    if (!get() && len <= packet_max_size) {
      _Packet* p = take_block();
      adopt_on_null(p);
      p->data = p->tail = p->buffer + len;
      return;
    }
    reserve_head_checked(len);
  }
  // On a null handle: a fresh empty buffer with len bytes of tail room. On a packet: slides the
  // window len bytes back.
  void reserve_tail(unsigned len);

  // 0 for a null handle.
  unsigned length() const { return get() ? get()->_length() : 0; }
  unsigned _headroom() const { return get() ? get()->_headroom() : 0; }
  unsigned _tailroom() const { return get() ? get()->_tailroom() : 0; }

  // One byte in front of / behind the window. Inline when the buffer is private, consistent and
  // has the room (fast()); every other case takes the checked path, which copies a shared buffer
  // first and ends the process on a null handle or a full buffer.
  void push8(unsigned char b) {
    if (_Packet* p = fast(1, 0, 0)) {
      *--p->data = b;
      return;
    }
    push8_checked(b);
  }
  void put8(unsigned char b) {
    if (_Packet* p = fast(0, 0, 1)) {
      *p->tail++ = b;
      return;
    }
    put8_checked(b);
  }
  // Extends the tail by len bytes and returns where they start; the caller fills them. Inline
  // on a private, consistent buffer with the room, as push8.
  unsigned char* put(unsigned len) {
    if (_Packet* p = fast(0, 0, len)) {
      unsigned char* old = p->tail;
      p->tail += len;
      return old;
    }
    return put_checked(len);
  }
  // Extends the front by len bytes (a header) and returns where they start; the caller fills
  // them. Inline on a private, consistent buffer with the room, as push8.
  unsigned char* push(unsigned len) {
    if (_Packet* p = fast(len, 0, 0)) return p->data -= len;
    return push_checked(len);
  }
  // The first byte, removed; 0 (and no change) on an empty packet.
  unsigned char pull8() {
    if (_Packet* p = fast(0, 1, 0)) return *p->data++;
    return pull8_checked();
  }
  // Removes len bytes from the front and returns where they start.
  unsigned char* pull(unsigned len) {
    if (_Packet* p = fast(0, len, 0)) {
      unsigned char* old = p->data;
      p->data += len;
      return old;
    }
    return pull_checked(len);
  }
  // Drops len bytes from the end.
  void trim(unsigned len);
  unsigned char operator[](int i) const;

  // Big-endian: the packet then begins high, low.
  void push16_b(unsigned short v);
  // Big-endian append.
  void put16_b(unsigned short v);
  // Little-endian append.
  void put16(unsigned short v);
  // A missing byte reads as 0 (see pull8).
  unsigned short pull16_b();
  unsigned short pull16_l();

  // A private copy of len bytes starting at offset start.
  Packet sub(unsigned len, unsigned start) const;
  // Appends the contents of other; an empty other changes nothing, even on a null handle.
  void put(const Packet& other);
  // A one-byte length, then the characters; at most 255 of them.
  void put(const std::string& s);
  // The reverse of put(std::string); missing characters read as 0 bytes.
  std::string pull_string();

  // "01 0A FF"; "" when empty, "(null)" for a null handle, "(bad)" for broken pointers.
  std::string text() const;
  // "head=H, data=L, tail=T"; false (and nothing printed) for a null handle.
  bool dump(std::ostream& os) const;
  // "dump: 1 a ff" (lower-case hexadecimal); false for a null handle or broken pointers.
  bool dump_context(std::ostream& os) const;

  // Validates the pointers after the operation `name`; ends the process when they are broken.
  void check(const char* name) const;
  [[noreturn]] static void check_fail(const char* format, ...)
      __attribute__((format(printf, 1, 2)));
  void passert(bool condition, const char* text) const {
    if (!condition) assertion_failed(text);
  }
  void passert(bool condition, const std::string& text) const {
    if (!condition) assertion_failed(text.c_str());
  }
  // Gives the handle a private buffer when the current one is shared.
  void prepare_for_modify();

 private:
  [[noreturn]] void assertion_failed(const char* text) const;
  // The buffer of the inline byte paths: private, consistent, with at least `head` bytes of head
  // room, `length` of contents and `tail` of tail room; null when the checked path must run.
  // The three distances are compared signed, so that room and length enough for the request
  // also prove the pointers consistent (buffer <= data <= tail <= buffer end). In 64 bits: a
  // request of 2^31 or more must not turn negative where ptrdiff_t has 32.
  _Packet* fast(unsigned head, unsigned length, unsigned tail) const {
    _Packet* p = get();
    if (p && p->refcount <= 1 && int64_t(p->data - p->buffer) >= int64_t(head) &&
        int64_t(p->tail - p->data) >= int64_t(length) &&
        int64_t(p->buffer_end() - p->tail) >= int64_t(tail))
      return p;
    return nullptr;
  }
  // Asserts non-null and returns the buffer made private.
  _Packet& writable();
  void reserve_head_checked(unsigned len);
  void push8_checked(unsigned char b);
  void put8_checked(unsigned char b);
  unsigned char* put_checked(unsigned len);
  unsigned char pull8_checked();
  unsigned char* push_checked(unsigned len);
  unsigned char* pull_checked(unsigned len);
  // A fresh block from the pool with count 1 (throws std::bad_alloc when none is left). Inline:
  // a frame takes one or two.
  static _Packet* take_block() {
    Packet_pool* pool = packet_internal::g_take_pool;
    _Packet* p = pool ? pool->allocate() : slow_take();
    if (!p) pool_empty();
    p->refcount = 1;
    return p;
  }
  // take_block's allocation out of line, with the pool's set-up: the first one, which notes the
  // pool, and the first after a block was given back twice, which logs that (once a process).
  static _Packet* slow_take();
  // Throws std::bad_alloc.
  [[noreturn]] static void pool_empty();
};

// A snapshot of a packet, taken when an assertion fails.
struct PacketInfo {
  explicit PacketInfo(const Packet& p);
  void put(std::ostream& os) const;

  bool null;
  bool consistent = false;
  unsigned head = 0;
  unsigned length = 0;
  unsigned tail = 0;
  std::vector<unsigned char> contents;
};
