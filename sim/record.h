// Helpers of the device models: fixed-size request records in and out of an IoctlCall, and the
// record fields that control commands take as words.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "sim/device_model.h"

// True, with `record` filled, when `call` carries a record of exactly sizeof(T) bytes.
template <class T>
bool read_record(const IoctlCall& call, T& record) {
  static_assert(std::is_trivially_copyable<T>::value, "plain records only");
  if (!call.has_record || call.bytes.size() != sizeof record) return false;
  std::memcpy(&record, call.bytes.data(), sizeof record);
  return true;
}

// Writes `record` back as the request's answer (the call carried sizeof(T) bytes).
template <class T>
void write_record(IoctlCall& call, const T& record) {
  static_assert(std::is_trivially_copyable<T>::value, "plain records only");
  call.bytes.assign(reinterpret_cast<const char*>(&record), sizeof record);
}

template <class T>
std::string record_bytes(const T& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

// A signed number in decimal ("-12") or a 32-bit pattern in hex ("0xfffffff4").
bool parse_i32(const std::string& text, int32_t& value);

// Bytes written as hex digits, two per byte ("0a0b0c"); at least one byte.
bool parse_hex_bytes(const std::string& text, std::string& bytes);

// Every byte as two lower-case hex digits, `gap` between bytes ("0a0b0c", or "0a 0b 0c").
std::string hex_bytes(const std::string& bytes, const char* gap = "");

// "0x" and lower-case hex digits, at least two.
std::string hex_number(uint32_t value);

// "a.b.c.d" for an IPv4 address in network order.
std::string dotted(uint32_t network_order);
