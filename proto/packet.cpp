#include "proto/packet.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

void SmartPtrAssertion() {
  std::clog << "SMART POINTER ASSERTION!" << std::endl;
  std::terminate();
}

void SharedPtrAssertion() {
  std::clog << "SHARED POINTER ASSERTION!" << std::endl;
  std::terminate();
}

Packet_pool& packet_pool() {
  static Packet_pool pool([](_Packet& p) {
    p.refcount = 0;
    p.data = p.tail = p.buffer + packet_max_size;
  });
  return pool;
}

Packet_pool* packet_internal::g_pool = nullptr;
Packet_pool* packet_internal::g_take_pool = nullptr;

_Packet* Packet::slow_take() {
  Packet_pool& pool = packet_pool();
  static bool reported = false;
  if (pool.released_twice() != 0 && !reported) {
    reported = true;
    std::cerr << "packet pool: a buffer given back twice is on the free list once"
                 " (further ones only counted)"
              << std::endl;
  }
  packet_internal::g_pool = packet_internal::g_take_pool = &pool;
  return pool.allocate();
}

void Packet::pool_empty() { throw std::bad_alloc(); }

void Packet::prepare_for_modify() {
  const _Packet* old = get();
  if (!old || old->refcount <= 1) return;
  _Packet* copy = take_block();
  // The window, read once: the stores into the copy could be taken to change it.
  const unsigned char* from = old->data;
  const unsigned length = old->_length();
  copy->data = copy->buffer + (from - old->buffer);
  copy->tail = copy->data + length;
  std::memcpy(copy->data, from, length);
  adopt_from_shared(copy);
}

_Packet& Packet::writable() {
  passert(get() != nullptr, "null packet");
  prepare_for_modify();
  return *get();
}

_Packet* Packet::operator->() {
  if (!get()) SmartPtrAssertion();
  prepare_for_modify();
  return get();
}

// A null handle with a length that fits takes the inline path; one that does not fails here.
void Packet::reserve_head_checked(unsigned len) {
  passert(len <= packet_max_size, "length>packet_max_size");
  _Packet& p = writable();
  passert(p._headroom() + len <= packet_max_size, "new_len>packet_max_size");
  // The window slides forward over the tail room: it must be there.
  passert(len <= p._tailroom(), "len<=_tailroom()");
  p.data += len;
  p.tail += len;
}

void Packet::reserve_tail(unsigned len) {
  passert(len <= packet_max_size, "len>packet_max_size");
  if (!get()) {
    _Packet* p = take_block();
    adopt_on_null(p);
    p->data = p->tail = p->buffer + packet_max_size - len;
    return;
  }
  _Packet& p = writable();
  passert(p._tailroom() + len <= packet_max_size, "_tailroom()+len <= packet_max_size");
  passert(len <= p._headroom(), "len<=_headroom()");
  p.data -= len;
  p.tail -= len;
}

void Packet::push8_checked(unsigned char b) {
  _Packet& p = writable();
  passert(1 <= p._headroom(), "len<=_headroom()");
  --p.data;
  check("push");
  *p.data = b;
}

void Packet::put8_checked(unsigned char b) {
  _Packet& p = writable();
  passert(1 <= p._tailroom(), "len<=_tailroom()");
  *p.tail++ = b;
  check("put");
}

unsigned char* Packet::put_checked(unsigned len) {
  _Packet& p = writable();
  passert(len <= p._tailroom(), "len<=_tailroom()");
  unsigned char* old = p.tail;
  p.tail += len;
  check("put");
  return old;
}

unsigned char* Packet::push_checked(unsigned len) {
  _Packet& p = writable();
  passert(len <= p._headroom(), "len<=_headroom()");
  p.data -= len;
  check("push");
  return p.data;
}

unsigned char Packet::pull8_checked() {
  _Packet& p = writable();
  if (p._length() == 0) return 0;
  return *p.data++;
}

unsigned char* Packet::pull_checked(unsigned len) {
  _Packet& p = writable();
  passert(len <= p._length(), "len<=_length()");
  unsigned char* old = p.data;
  p.data += len;
  return old;
}

void Packet::trim(unsigned len) {
  _Packet& p = writable();
  passert(len <= p._length(), "len<=_length()");
  p.tail -= len;
  check("trim");
}

unsigned char Packet::operator[](int i) const {
  passert(get() != nullptr, "null packet");
  passert(i >= 0 && static_cast<unsigned>(i) < get()->_length(), "index out of range");
  return get()->data[i];
}

void Packet::push16_b(unsigned short v) {
  push8(static_cast<unsigned char>(v));
  push8(static_cast<unsigned char>(v >> 8));
}

void Packet::put16_b(unsigned short v) {
  put8(static_cast<unsigned char>(v >> 8));
  put8(static_cast<unsigned char>(v));
}

void Packet::put16(unsigned short v) {
  put8(static_cast<unsigned char>(v));
  put8(static_cast<unsigned char>(v >> 8));
}

unsigned short Packet::pull16_b() {
  unsigned hi = pull8();
  unsigned lo = pull8();
  return static_cast<unsigned short>(hi << 8 | lo);
}

unsigned short Packet::pull16_l() {
  unsigned lo = pull8();
  unsigned hi = pull8();
  return static_cast<unsigned short>(hi << 8 | lo);
}

Packet Packet::sub(unsigned len, unsigned start) const {
  passert(get() != nullptr, "null packet");
  const _Packet& src = *get();
  passert(start <= src._length(), "start<=_length()");
  passert(start + len <= src._length(), "start+len<=_length()");
  Packet out;
  _Packet* copy = take_block();
  out.adopt_on_null(copy);
  copy->data = copy->buffer + src._headroom() + start;
  copy->tail = copy->data + len;
  std::memcpy(copy->data, src.data + start, len);
  return out;
}

void Packet::put(const Packet& other) {
  unsigned n = other.length();
  if (n == 0) return;
  _Packet& p = writable();
  passert(n <= p._tailroom(), "len<=_tailroom()");
  // `other` may be this very handle: read its window only after write access was taken.
  std::memmove(p.tail, other.get()->data, n);
  p.tail += n;
  check("put");
}

void Packet::put(const std::string& s) {
  passert(s.size() <= 255, "string length>255");
  unsigned n = static_cast<unsigned>(s.size());
  unsigned char* out = put(n + 1);
  out[0] = static_cast<unsigned char>(n);
  std::memcpy(out + 1, s.data(), n);
}

std::string Packet::pull_string() {
  unsigned n = pull8();
  std::string s;
  s.reserve(n);
  for (unsigned i = 0; i < n; ++i) s.push_back(static_cast<char>(pull8()));
  return s;
}

std::string Packet::text() const {
  const _Packet* p = get();
  if (!p) return "(null)";
  if (!p->consistent()) return "(bad)";
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(p->_length() * 3);
  for (const unsigned char* b = p->data; b != p->tail; ++b) {
    if (b != p->data) s.push_back(' ');
    s.push_back(digits[*b >> 4]);
    s.push_back(digits[*b & 0xF]);
  }
  return s;
}

bool Packet::dump(std::ostream& os) const {
  const _Packet* p = get();
  if (!p) return false;
  os << "head=" << std::dec << p->_headroom() << ", data=" << p->_length()
     << ", tail=" << p->_tailroom();
  return true;
}

namespace {

void put_bytes_in_hex(std::ostream& os, const unsigned char* b, const unsigned char* e) {
  std::ios_base::fmtflags flags = os.flags();
  os << std::hex;
  for (; b != e; ++b) os << ' ' << static_cast<unsigned>(*b);
  os.flags(flags);
}

}  // namespace

bool Packet::dump_context(std::ostream& os) const {
  const _Packet* p = get();
  if (!p || !p->consistent()) return false;
  if (p->_length() == 0) return true;
  os << "dump:";
  put_bytes_in_hex(os, p->data, p->tail);
  return true;
}

void Packet::check(const char* name) const {
  const _Packet* p = get();
  if (!p) check_fail("after \"%s\" packet is null", name);
  if (p->data < p->buffer || p->data > p->buffer_end())
    check_fail("after \"%s\" fdata invalid", name);
  if (p->tail < p->buffer || p->tail > p->buffer_end())
    check_fail("after \"%s\" ftail invalid", name);
  if (p->data > p->tail) check_fail("after \"%s\" fdata>ftail", name);
}

void Packet::check_fail(const char* format, ...) {
  char message[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  std::clog << "packet check fail" << '\n' << message << '\n' << "terminate." << std::endl;
  std::terminate();
}

void Packet::assertion_failed(const char* text) const {
  PacketInfo info(*this);
  std::clog << "PACKET ASSERTION FAILED!" << '\n' << text << '\n';
  info.put(std::clog);
  std::clog << std::endl;
  std::terminate();
}

PacketInfo::PacketInfo(const Packet& p) : null(p.get() == nullptr) {
  if (null) return;
  const _Packet& b = *p.get();
  consistent = b.consistent();
  head = static_cast<unsigned>(b.data - b.buffer);
  length = static_cast<unsigned>(b.tail - b.data);
  tail = static_cast<unsigned>(b.buffer_end() - b.tail);
  if (consistent) contents.assign(b.data, b.tail);
}

void PacketInfo::put(std::ostream& os) const {
  if (null) {
    os << "(null)" << '\n';
    return;
  }
  os << "head=" << head << ", data=" << length << ", tail=" << tail << '\n';
  if (!consistent) {
    os << "can't dump packet: wrong pointers" << '\n';
  } else if (!contents.empty()) {
    os << "dump:" << '\n';
    put_bytes_in_hex(os, contents.data(), contents.data() + contents.size());
    os << '\n';
  }
}
