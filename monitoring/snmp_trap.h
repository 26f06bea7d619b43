// The SNMPv2c trap packer: builds one SNMPv2-Trap-PDU (RFC 3416 section 3) inside a community
// message (RFC 1901), in BER, in a fixed buffer, with the BER builders of net-snmp.
//
//   snmp_session_seed(&ctx, seed);     // once
//   trap_init(&ctx, "community");      // each message; advances the request id
//   trap_pack_begin(&ctx);
//   trap_pack_add(&ctx, ...);          // sysUpTime.0 (get_uptime()), snmpTrapOID.0, then more
//   trap_pack_end(&ctx);               // the message is ctx.buffer[0, ctx.packed_length)
//
// Every constructed header is written in the four-byte long form (tag, 0x82, two length bytes)
// and its length is filled in by trap_pack_end. The functions return 0 on success and -1 on
// failure unless said otherwise.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

#include <cstddef>
#include <cstdint>

struct trap_context {
  enum State { kInitialised = 0, kBegun = 1, kAdded = 2, kFinished = 3 };
  static constexpr size_t kBufferSize = 2048;
  static constexpr size_t kCommunitySize = 32;

  int version = 1;
  int pdu_type = 0xA7;
  // The seed until trap_init makes it the request id.
  int request_id = 0;
  int error_status = 0;
  int error_index = 0;
  char community[kCommunitySize] = {};
  int state = kInitialised;
  unsigned char buffer[kBufferSize] = {};
  unsigned int remaining = 0;
  unsigned int packed_length = 0;
  // Where the message, PDU and variable-bindings contents start, and their headers.
  unsigned char* message_start = nullptr;
  unsigned char* pdu_header = nullptr;
  unsigned char* pdu_start = nullptr;
  unsigned char* bindings_header = nullptr;
  unsigned char* bindings_start = nullptr;
  unsigned char* position = nullptr;
};

// The community of a trap_init without one.
extern const char kDefaultTrapCommunity[];

// The time since boot in hundredths of a second (CLOCK_BOOTTIME), for sysUpTime.0; it never
// goes backwards within the process.
unsigned long get_uptime();
// Stores the seed of the request ids; returns 0.
int snmp_session_seed(trap_context* ctx, int seed);
// Readies the next message: the request id becomes ((id * 850009 + 991873) mod 2^31) | 1, the
// community the first 31 characters of `community` (up to its NUL), or the default without one.
// Returns 0, also without a record.
int trap_init(trap_context* ctx, const char* community);
// Writes the headers up to the variable bindings; needs a record just initialised.
int trap_pack_begin(trap_context* ctx);
// Appends one variable binding (snmp_build_var_op); INTEGER-like values are passed as long.
int trap_pack_add(trap_context* ctx, const oid* name, size_t name_length, unsigned char value_type,
                  const void* value, size_t value_length);
// Fills in the three lengths and the packed length.
int trap_pack_end(trap_context* ctx);
// Splits a dotted object identifier into at most `max` decimal numbers (empty pieces skipped);
// returns how many were stored, 0 without output, room or text.
int parse_oid(oid* out, int max, const char* text);
