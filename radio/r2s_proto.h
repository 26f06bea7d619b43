// r2s_proto: the ED-137 radio signalling carried in RTP header extensions (profile 0x0167), as a
// plain record and the free functions that build, pack, unpack and compare it.
//
// The header-extension engine hands over only the extension's content, so this codec handles the
// two-byte ED-137 radio header and its additional features (EUROCAE ED-137B), not the RTP header
// nor the extension's profile and length words. Directions are the standard's: TX packets go
// from the voice communication side to the radio, RX packets from the radio back.
//
// Wire format (bit 7 is the most significant bit of a byte):
//   byte 0: PTT type (7-5), SQU (4, RX only), PTT-id bits 5-2 (3-0)
//   byte 1: PTT-id bits 1-0 (7-6), PM (5), PTTS (4), SCT (3, RX only), 0 (2-1), X (0)
// Without additional features a packet is the header and two zero bytes; with them, the header
// and the features, each a type-length byte (type 7-4, value length 3-0) and its value.
//
// Results: 0 or a length on success; the negative codes below on failure. Nothing is logged.
#pragma once

#include <cstdint>

enum : int {
  kR2sNull = -7,       // null record (pack) or null record or buffer (unpack)
  kR2sBadType = -8,    // record type not TX or RX, or an RX RRC entry of an unknown form
  kR2sTooShort = -9,   // the buffer or packet is too short
};

enum : uint32_t { kR2sTx = 1, kR2sRx = 2 };

// Kinds of additional features, by direction.
enum : uint32_t {
  kR2sRxSqi = 1, kR2sRxRrc = 3, kR2sRxMam = 4,
  kR2sTxClimaxTimeDelay = 2, kR2sTxRrc = 3, kR2sTxRrm = 4,
};

constexpr unsigned kR2sMaxAdditionals = 16;

struct r2s_proto_additional {
  uint32_t kind;
  uint32_t data[13];
};

struct r2s_proto {
  uint32_t source_addr;  // network byte order; set from the engine's packet info
  uint32_t source_ssrc;  // set from the engine's packet info
  uint32_t type;         // kR2sTx or kR2sRx
  // TX: PTT type, PTT-id, PM, PTTS. RX: PTT type, SQU, PTT-id, PM, PTTS, SCT.
  uint32_t header[6];
  uint32_t count;        // additional features in use
  r2s_proto_additional additionals[kR2sMaxAdditionals];
};
static_assert(sizeof(r2s_proto) == 234 * 4, "r2s_proto is 234 words");

struct r2s_proto_rx_additional_sqi {
  uint32_t quality;  // BSS quality, 5 bits
  uint32_t method;   // BSS method, 3 bits
};

struct r2s_proto_rx_additional_rrc {
  uint32_t flags[8];
  uint32_t form;     // 0 short, 1 long
  uint32_t flag_a;   // long form: 1 bit
  uint32_t flag_b;   // long form: 1 bit
  uint32_t byte_a;   // long form: 8 bits
  uint32_t byte_b;   // long form: 8 bits
};

struct r2s_proto_rx_additional_mam {
  uint32_t flag_a;   // 1 bit
  uint32_t value_a;  // 23 bits
  uint32_t flag_b;   // 1 bit
  uint32_t value_b;  // 23 bits
  uint32_t words[3]; // 16 bits each
};

struct r2s_proto_tx_additional_climax_time_delay {
  uint32_t delay;  // 8 bits
};

struct r2s_proto_tx_additional_rrc {
  uint32_t flags[8];
};

struct r2s_proto_tx_additional_rrm {
  uint32_t flag;   // 1 bit
  uint32_t value;  // 23 bits
};

int r2s_proto_init(r2s_proto* p, unsigned long type);
void r2s_proto_set_type(r2s_proto* p, unsigned long type);
void r2s_proto_set_tx_header(r2s_proto* p, unsigned long ptt_type, unsigned long ptt_id,
                             unsigned long pm, unsigned long ptts);
void r2s_proto_set_rx_header(r2s_proto* p, unsigned long ptt_type, unsigned long squ,
                             unsigned long ptt_id, unsigned long pm, unsigned long ptts,
                             unsigned long sct);
void r2s_proto_reset_additionals(r2s_proto* p);

// Each appends one entry when the record has room (fewer than 16) and no argument is null.
int r2s_proto_add_rx_sqi(r2s_proto* p, const r2s_proto_rx_additional_sqi* a);
int r2s_proto_add_rx_sqi(r2s_proto* p, unsigned long quality, unsigned long method);
int r2s_proto_add_rx_rrc(r2s_proto* p, const r2s_proto_rx_additional_rrc* a);
int r2s_proto_add_rx_mam(r2s_proto* p, const r2s_proto_rx_additional_mam* a);
int r2s_proto_add_tx_time_delay(r2s_proto* p, const r2s_proto_tx_additional_climax_time_delay* a);
int r2s_proto_add_tx_rrc(r2s_proto* p, const r2s_proto_tx_additional_rrc* a);
int r2s_proto_add_tx_rrm(r2s_proto* p, const r2s_proto_tx_additional_rrm* a);

// The packed length, or a negative code. Every field is masked to its wire width.
int r2s_proto_pack(r2s_proto* p, unsigned char* buf, int size);
// 0 or a negative code; the type and header are set, the source words keep what they held.
int r2s_proto_unpack_tx(r2s_proto* p, unsigned char* buf, int len);
int r2s_proto_unpack_rx(r2s_proto* p, unsigned char* buf, int len);

// 0 when both have the same type, source SSRC and source address; -1 for a null argument.
int cmp_r2s_proto_source(r2s_proto* a, r2s_proto* b);
