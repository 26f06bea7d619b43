// sig_proto: the LEMZ radio signalling packet (header-extension profile 0x1337) as a plain record,
// with the free functions that pack, unpack, compare, set and dump it, and the codec's tables.
//
// Wire format: a 4-byte header, then a payload by type; numbers big-endian, floats as their IEEE
// 754 single bit pattern, session addresses with their four octets reversed (10.1.2.3 is sent as
// 03 02 01 0A on every host). Types 9 and 133, which carry a caller identity, are padded with
// zeros to a multiple of 4.
//   byte 0: type
//   byte 1: priority (7-4), flag_t (3), flag_p (2), flag_r (1), flag_s (0)
//   byte 2: flag_b (7), flag_rv (6), flag_sh (5), flag_pw (4), status bits 8-5 (3-0)
//   byte 3: status bits 4-0 (7-3), flag_c (2-1), flag_rs (0)
//
// `GW_` types are commands to a radio gateway; `WM_` types are a gateway's reports.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

enum : int {
  kSigNull = -7,       // null record or buffer (unpack)
  kSigBadType = -8,    // unrecognised type (unpack)
  kSigTooShort = -9,   // buffer or packet too short
};

enum SigProtoType : uint32_t {
  GW_FLAG = 1, GW_ADJUST_CHAN, GW_FLAG_PTT, GW_FLAG_BSS, GW_FLAG_RV, GW_FLAG_SH, GW_FLAG_PW,
  GW_FLAG_RS, GW_SEL_CALL, GW_SELECT_RC_CHAN, GW_ADJUST_SQUELSHE, GW_ADJUST_RTE,
  GW_ADJUST_STANDBY,
  WM_FLAG = 129, WM_TRANS, WM_RADIO_QUALITY, WM_CHAN, WM_SEL_CALL_TRANS, WM_SELECT_RC_CHAN,
  WM_STANDBY,
};

constexpr unsigned kSigCallerIdSize = 256;  // at most 255 characters and a zero

struct sig_proto {
  uint32_t source_addr;  // network byte order; filled by the receiver, not on the wire
  uint32_t source_ssrc;  // filled by the receiver, not on the wire
  uint32_t type;
  uint32_t priority;
  uint32_t flag_t, flag_p, flag_r, flag_s, flag_b, flag_rv, flag_sh, flag_rs, flag_pw, flag_c;
  uint32_t status;
  union {
    struct {
      uint32_t id;
      float freq;
    } gw_adjust_chan;
    struct {
      uint8_t callerID_length;
      char callerID[kSigCallerIdSize];
    } gw_sel_call;
    struct {
      uint8_t interface;
      uint8_t channel;
    } gw_select_rc_chan, wm_select_rc_chan;
    struct {
      uint8_t squelsh;
    } gw_adjust_squelsh;
    struct {
      uint8_t rte;
    } gw_adjust_rte;
    struct {
      uint8_t state;
    } gw_adjust_standby;
    struct {
      in_addr session_addr;
      uint32_t ssrc;
    } wm_trans;
    struct {
      float radio_quality;
    } wm_radio_quality;
    struct {
      uint32_t id;
      float freq;
      uint8_t squelsh;
      uint8_t rte;
    } wm_chan;
    struct {
      in_addr session_addr;
      uint32_t ssrc;
      uint8_t callerID_length;
      char callerID[kSigCallerIdSize];
    } wm_sel_call_trans;
    struct {
      uint8_t state;
      uint8_t group;
      uint8_t receiver_state;
    } wm_standby;
  } payload;
};

struct s_sig_proto_table_name {
  int id;
  std::string name;
};

using SigProtoDump = int (*)(char* buf, long size, sig_proto* p, int flags);
struct s_sig_proto_sprintf_entry {
  uint32_t type;
  SigProtoDump dump;
};

struct sig_proto_queue {
  sig_proto records[32];
  uint32_t words[32];
};

// Entries 0 to 19 name the types in ascending order; entry 20 ends the table with id -1.
extern s_sig_proto_table_name sig_proto_packet_const_name[128];
extern const s_sig_proto_sprintf_entry sig_proto_sprintf_table[21];
extern const int init_sig_proto_type[17];

int sig_proto_init(sig_proto* p);
// Bytes written (4 or more); 0 for a null record or buffer; kSigTooShort when it does not fit.
int sig_proto_pack(sig_proto* p, unsigned char* buf, int size);
// 0, kSigNull, kSigBadType (only `type` changes) or kSigTooShort (nothing changes).
int sig_proto_unpack(sig_proto* p, unsigned char* buf, int len);

// 0 when both have the same type, source SSRC and source address; -1 for a null argument.
int cmp_sig_proto_header(sig_proto* a, sig_proto* b);
int cmp_sig_proto(sig_proto* a, sig_proto* b);
int cmp_sig_proto_flags(sig_proto* a, sig_proto* b);
int sig_proto_is_ptt_command(sig_proto* p);

// Text dumps. Flags: 1 the type as a number, 2 the type by name, 4 the flags only. Each stops at
// the end of `buf` (which always ends in a zero) and returns the length of what it wrote.
int sprintf_sig_proto(char* buf, long size, sig_proto* p, int flags);
int sprintf_base(char* buf, long size, sig_proto* p, int flags);
int sprintf_gw_adjust_chan(char* buf, long size, sig_proto* p, int flags);
int sprintf_gw_selcall(char* buf, long size, sig_proto* p, int flags);
int sprintf_gw_select_rc_chan(char* buf, long size, sig_proto* p, int flags);
int sprintf_gw_adjust_squelsh(char* buf, long size, sig_proto* p, int flags);
int sprintf_gw_adjust_rte(char* buf, long size, sig_proto* p, int flags);
int sprintf_gw_adjust_standby(char* buf, long size, sig_proto* p, int flags);
int sprintf_wm_trans(char* buf, long size, sig_proto* p, int flags);
int sprintf_wm_radio_qulity(char* buf, long size, sig_proto* p, int flags);
int sprintf_wm_chan(char* buf, long size, sig_proto* p, int flags);
int sprintf_wm_selcall(char* buf, long size, sig_proto* p, int flags);
int sprintf_wm_select_rc_chan(char* buf, long size, sig_proto* p, int flags);
int sprintf_wm_standby(char* buf, long size, sig_proto* p, int flags);

const char* sig_proto_find_name_by_id(s_sig_proto_table_name* table, int id);
int sig_proto_find_id_by_name(s_sig_proto_table_name* table, const char* name);
int init_sig_proto_queue(sig_proto_queue* q);
bool is_little_endian();

// Setters: nothing for a null record; no range checks; all return 0.
int sig_proto_set_base(sig_proto* p, int priority, int flag_t, int flag_p, int flag_r, int flag_s,
                       int flag_b, int flag_rv, int flag_sh, int flag_rs, int flag_pw, int flag_c,
                       int status);
int sig_proto_set_ptt(sig_proto* p, int flag_p);
int sig_proto_set_gw_adjust_chan(sig_proto* p, unsigned int id, float freq);
int sig_proto_set_gw_adjust_squelsh(sig_proto* p, unsigned char squelsh);
int sig_proto_set_gw_adjust_rte(sig_proto* p, unsigned char rte);
int sig_proto_set_gw_adjust_standby(sig_proto* p, unsigned char state);
// The identity is copied up to its zero, at most 255 characters; `n` is stored as the length.
int sig_proto_set_gw_selcall(sig_proto* p, const char* id, unsigned char n);
int sig_proto_set_gw_select_rc_chan(sig_proto* p, unsigned char interface, unsigned char channel);
int sig_proto_set_wm_select_rc_chan(sig_proto* p, unsigned char interface, unsigned char channel);
int sig_proto_set_wm_transmite(sig_proto* p, in_addr addr, unsigned int ssrc);
int sig_proto_set_wm_selcall_transmite(sig_proto* p, in_addr addr, unsigned int ssrc,
                                       const char* id, unsigned char n);
int sig_proto_set_wm_radio_quality(sig_proto* p, float quality);
int sig_proto_set_wm_chan(sig_proto* p, unsigned int id, float freq, unsigned char squelsh,
                          unsigned char rte);
int sig_proto_set_wm_standby(sig_proto* p, unsigned char state, unsigned char group,
                             unsigned char receiver_state);

// Copies the text `id` into a caller-identity field: up to its zero, at most 255 characters,
// the rest of the field zeroed. An empty field for null.
void sig_proto_copy_caller_id(char (&field)[kSigCallerIdSize], const char* id);
