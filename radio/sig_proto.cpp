// The LEMZ signalling packet: pack and unpack byte by byte, comparisons, setters, text dumps and
// the codec's tables.
#include "radio/sig_proto.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/inet4_addr.h"

s_sig_proto_table_name sig_proto_packet_const_name[128] = {
    {1, "GW_FLAG"},         {2, "GW_ADJUST_CHAN"},     {3, "GW_FLAG_PTT"},
    {4, "GW_FLAG_BSS"},     {5, "GW_FLAG_RV"},         {6, "GW_FLAG_SH"},
    {7, "GW_FLAG_PW"},      {8, "GW_FLAG_RS"},         {9, "GW_SEL_CALL"},
    {10, "GW_SELECT_RC_CHAN"}, {11, "GW_ADJUST_SQUELSHE"}, {12, "GW_ADJUST_RTE"},
    {13, "GW_ADJUST_STANDBY"}, {129, "WM_FLAG"},       {130, "WM_TRANS"},
    {131, "WM_RADIO_QUALITY"}, {132, "WM_CHAN"},       {133, "WM_SEL_CALL_TRANS"},
    {134, "WM_SELECT_RC_CHAN"}, {135, "WM_STANDBY"},   {-1, ""},
};

const s_sig_proto_sprintf_entry sig_proto_sprintf_table[21] = {
    {0, sprintf_base},
    {GW_FLAG, sprintf_base},
    {GW_ADJUST_CHAN, sprintf_gw_adjust_chan},
    {GW_FLAG_PTT, sprintf_base},
    {GW_FLAG_BSS, sprintf_base},
    {GW_FLAG_RV, sprintf_base},
    {GW_FLAG_SH, sprintf_base},
    {GW_FLAG_PW, sprintf_base},
    {GW_FLAG_RS, sprintf_base},
    {GW_SEL_CALL, sprintf_gw_selcall},
    {GW_SELECT_RC_CHAN, sprintf_gw_select_rc_chan},
    {GW_ADJUST_SQUELSHE, sprintf_gw_adjust_squelsh},
    {GW_ADJUST_RTE, sprintf_gw_adjust_rte},
    {GW_ADJUST_STANDBY, sprintf_gw_adjust_standby},
    {WM_FLAG, sprintf_base},
    {WM_TRANS, sprintf_wm_trans},
    {WM_RADIO_QUALITY, sprintf_wm_radio_qulity},
    {WM_CHAN, sprintf_wm_chan},
    {WM_SEL_CALL_TRANS, sprintf_wm_selcall},
    {WM_SELECT_RC_CHAN, sprintf_wm_select_rc_chan},
    {WM_STANDBY, sprintf_wm_standby},
};

const int init_sig_proto_type[17] = {1, 3, 4, 5, 6, 7, 8, 2, 9, 10, 13, 129, 130, 132, 131, 133, 135};

namespace {

void put32(unsigned char* out, uint32_t v) {
  out[0] = static_cast<unsigned char>(v >> 24);
  out[1] = static_cast<unsigned char>(v >> 16);
  out[2] = static_cast<unsigned char>(v >> 8);
  out[3] = static_cast<unsigned char>(v);
}

uint32_t get32(const unsigned char* in) {
  return uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 8 | in[3];
}

void put_float(unsigned char* out, float f) {
  uint32_t v;
  std::memcpy(&v, &f, sizeof v);
  put32(out, v);
}

float get_float(const unsigned char* in) {
  const uint32_t v = get32(in);
  float f;
  std::memcpy(&f, &v, sizeof f);
  return f;
}

// A session address goes out with its octets reversed: the last octet of the dotted form first.
void put_addr(unsigned char* out, in_addr a) {
  unsigned char octets[4];
  std::memcpy(octets, &a.s_addr, 4);
  for (int i = 0; i < 4; ++i) out[i] = octets[3 - i];
}

in_addr get_addr(const unsigned char* in) {
  unsigned char octets[4];
  for (int i = 0; i < 4; ++i) octets[i] = in[3 - i];
  in_addr a;
  std::memcpy(&a.s_addr, octets, 4);
  return a;
}

// Header plus payload, padded with zeros to a multiple of 4.
int padded(int length) { return length % 4 ? (length + 4) & ~3 : length; }

bool header_only(uint32_t type) {
  return type == GW_FLAG || (type >= GW_FLAG_PTT && type <= GW_FLAG_RS) || type == WM_FLAG;
}

// The payload length that `type` needs before its caller identity (types 9 and 133), or in all;
// -1 for an unrecognised type.
int payload_needed(uint32_t type) {
  if (header_only(type)) return 4;
  switch (type) {
    case GW_SEL_CALL: return 5;
    case WM_SEL_CALL_TRANS: return 13;
    case GW_ADJUST_CHAN:
    case WM_TRANS: return 12;
    case WM_CHAN: return 16;
    case GW_SELECT_RC_CHAN:
    case GW_ADJUST_SQUELSHE:
    case GW_ADJUST_RTE:
    case GW_ADJUST_STANDBY:
    case WM_RADIO_QUALITY:
    case WM_SELECT_RC_CHAN:
    case WM_STANDBY: return 8;
  }
  return -1;
}

// Builds a dump in a buffer of `size` bytes: every line is cut at the end of the buffer, after
// which nothing more is written; `length()` is what the buffer holds.
class Dump {
 public:
  Dump(char* buf, long size) : buf_(buf), size_(static_cast<size_t>(size)) {}

  void line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (length_ + 1 >= size_) return;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buf_ + length_, size_ - length_, format, args);
    va_end(args);
    if (n > 0) length_ += std::min(static_cast<size_t>(n), size_ - length_ - 1);
  }

  int length() const { return static_cast<int>(length_); }

 private:
  char* buf_;
  size_t size_;
  size_t length_ = 0;
};

void base_lines(Dump& d, const sig_proto* p, int flags) {
  const unsigned long type = p->type;
  if (flags & 2) {
    if (const char* name = sig_proto_find_name_by_id(sig_proto_packet_const_name,
                                                     static_cast<int>(p->type)))
      d.line("type      : %s,\n", name);
    else
      d.line("type      : 0x%08lX,\n", type);
  } else if (flags & 1) {
    d.line("type      : 0x%08lX,\n", type);
  }
  const uint32_t flag_values[10] = {p->flag_t, p->flag_p,  p->flag_r,  p->flag_s,  p->flag_b,
                                    p->flag_rv, p->flag_sh, p->flag_rs, p->flag_pw, p->flag_c};
  static const char* const kFlagNames[10] = {"flag_t",  "flag_p",  "flag_r",  "flag_s",
                                             "flag_b",  "flag_rv", "flag_sh", "flag_rs",
                                             "flag_pw", "flag_c"};
  for (int i = 0; i < 10; ++i)
    d.line("%-8s : %lu,\n", kFlagNames[i], static_cast<unsigned long>(flag_values[i]));
  if (flags & 4) return;
  d.line("priority : %lu,\n", static_cast<unsigned long>(p->priority));
  d.line("status   : %lu,\n", static_cast<unsigned long>(p->status));
}

void caller_id_lines(Dump& d, const char* id, unsigned n) {
  for (unsigned i = 0; i < n; ++i)
    d.line("[%d] : 0x%02X,\n", static_cast<int>(i), static_cast<unsigned char>(id[i]));
}

// Runs the base dump and then, unless `flags` asks for the flags only, `more`.
template <typename More>
int dump(char* buf, long size, sig_proto* p, int flags, More more) {
  if (!buf || !p || size < 1) return 0;
  std::memset(buf, 0, static_cast<size_t>(size));
  Dump d(buf, size);
  base_lines(d, p, flags);
  if (!(flags & 4)) more(d, p->payload);
  return d.length();
}

int compare_dumps(sig_proto* a, sig_proto* b, int flags) {
  if (!a || !b) return -1;
  static char text_a[8192], text_b[8192];
  const int la = sprintf_sig_proto(text_a, sizeof text_a, a, flags);
  const int lb = sprintf_sig_proto(text_b, sizeof text_b, b, flags);
  if (la != lb) return lb - la;
  return std::strncmp(text_a, text_b, static_cast<size_t>(la));
}

}  // namespace

void sig_proto_copy_caller_id(char (&field)[kSigCallerIdSize], const char* id) {
  std::memset(field, 0, sizeof field);
  if (id) std::strncpy(field, id, sizeof field - 1);
}

int sig_proto_init(sig_proto* p) {
  if (p) std::memset(p, 0, sizeof *p);
  return 0;
}

int sig_proto_pack(sig_proto* p, unsigned char* buf, int size) {
  if (!p || !buf) return 0;
  if (size < 4) return kSigTooShort;
  std::memset(buf, 0, static_cast<size_t>(size));
  buf[0] = static_cast<unsigned char>(p->type);
  buf[1] = static_cast<unsigned char>((p->priority & 15) << 4 | (p->flag_t & 1) << 3 |
                                      (p->flag_p & 1) << 2 | (p->flag_r & 1) << 1 |
                                      (p->flag_s & 1));
  buf[2] = static_cast<unsigned char>((p->flag_b & 1) << 7 | (p->flag_rv & 1) << 6 |
                                      (p->flag_sh & 1) << 5 | (p->flag_pw & 1) << 4 |
                                      ((p->status >> 5) & 15));
  buf[3] = static_cast<unsigned char>((p->status & 31) << 3 | (p->flag_c & 3) << 1 |
                                      (p->flag_rs & 1));
  const auto& u = p->payload;
  switch (p->type) {
    case GW_ADJUST_CHAN:
      if (size < 12) return kSigTooShort;
      put32(buf + 4, u.gw_adjust_chan.id);
      put_float(buf + 8, u.gw_adjust_chan.freq);
      return 12;
    case GW_SEL_CALL: {
      const int n = u.gw_sel_call.callerID_length;
      if (size < n + 12) return kSigTooShort;
      buf[4] = static_cast<unsigned char>(n);
      std::memcpy(buf + 5, u.gw_sel_call.callerID, static_cast<size_t>(n));
      return padded(5 + n);
    }
    case GW_SELECT_RC_CHAN:
    case WM_SELECT_RC_CHAN:
      if (size < 8) return kSigTooShort;
      buf[4] = u.gw_select_rc_chan.interface;
      buf[5] = u.gw_select_rc_chan.channel;
      return 8;
    case GW_ADJUST_SQUELSHE:
    case GW_ADJUST_RTE:
    case GW_ADJUST_STANDBY:
      if (size < 8) return kSigTooShort;
      buf[4] = u.gw_adjust_squelsh.squelsh;
      return 8;
    case WM_TRANS:
      if (size < 12) return kSigTooShort;
      put_addr(buf + 4, u.wm_trans.session_addr);
      put32(buf + 8, u.wm_trans.ssrc);
      return 12;
    case WM_RADIO_QUALITY:
      if (size < 8) return kSigTooShort;
      put_float(buf + 4, u.wm_radio_quality.radio_quality);
      return 8;
    case WM_CHAN:
      if (size < 16) return kSigTooShort;
      put32(buf + 4, u.wm_chan.id);
      put_float(buf + 8, u.wm_chan.freq);
      buf[12] = u.wm_chan.squelsh;
      buf[13] = u.wm_chan.rte;
      return 16;
    case WM_SEL_CALL_TRANS: {
      const int n = u.wm_sel_call_trans.callerID_length;
      if (size < n + 20) return kSigTooShort;
      put_addr(buf + 4, u.wm_sel_call_trans.session_addr);
      put32(buf + 8, u.wm_sel_call_trans.ssrc);
      buf[12] = static_cast<unsigned char>(n);
      std::memcpy(buf + 13, u.wm_sel_call_trans.callerID, static_cast<size_t>(n));
      return padded(13 + n);
    }
    case WM_STANDBY:
      if (size < 8) return kSigTooShort;
      buf[4] = u.wm_standby.state;
      buf[5] = u.wm_standby.group;
      buf[6] = u.wm_standby.receiver_state;
      return 8;
  }
  return 4;
}

int sig_proto_unpack(sig_proto* p, unsigned char* buf, int len) {
  if (!p || !buf) return kSigNull;
  if (len < 4) return kSigTooShort;
  const uint32_t type = buf[0];
  int needed = payload_needed(type);
  if (needed < 0) {
    p->type = type;
    return kSigBadType;
  }
  if (type == GW_SEL_CALL && len >= needed) needed += buf[4];
  if (type == WM_SEL_CALL_TRANS && len >= needed) needed += buf[12];
  if (len < needed) return kSigTooShort;

  auto u = p->payload;
  switch (type) {
    case GW_ADJUST_CHAN:
      u.gw_adjust_chan.id = get32(buf + 4);
      u.gw_adjust_chan.freq = get_float(buf + 8);
      break;
    case GW_SEL_CALL:
      u.gw_sel_call.callerID_length = buf[4];
      std::memcpy(u.gw_sel_call.callerID, buf + 5, buf[4]);
      break;
    case GW_SELECT_RC_CHAN:
    case WM_SELECT_RC_CHAN:
      u.gw_select_rc_chan.interface = buf[4];
      u.gw_select_rc_chan.channel = buf[5];
      break;
    case GW_ADJUST_SQUELSHE:
    case GW_ADJUST_RTE:
    case GW_ADJUST_STANDBY:
      u.gw_adjust_squelsh.squelsh = buf[4];
      break;
    case WM_TRANS:
      u.wm_trans.session_addr = get_addr(buf + 4);
      u.wm_trans.ssrc = get32(buf + 8);
      break;
    case WM_RADIO_QUALITY:
      u.wm_radio_quality.radio_quality = get_float(buf + 4);
      break;
    case WM_CHAN:
      u.wm_chan.id = get32(buf + 4);
      u.wm_chan.freq = get_float(buf + 8);
      u.wm_chan.squelsh = buf[12];
      u.wm_chan.rte = buf[13];
      break;
    case WM_SEL_CALL_TRANS:
      u.wm_sel_call_trans.session_addr = get_addr(buf + 4);
      u.wm_sel_call_trans.ssrc = get32(buf + 8);
      u.wm_sel_call_trans.callerID_length = buf[12];
      std::memcpy(u.wm_sel_call_trans.callerID, buf + 13, buf[12]);
      break;
    case WM_STANDBY:
      u.wm_standby.state = buf[4];
      u.wm_standby.group = buf[5];
      u.wm_standby.receiver_state = buf[6];
      break;
  }
  p->type = type;
  p->priority = buf[1] >> 4;
  p->flag_t = (buf[1] >> 3) & 1;
  p->flag_p = (buf[1] >> 2) & 1;
  p->flag_r = (buf[1] >> 1) & 1;
  p->flag_s = buf[1] & 1;
  p->flag_b = buf[2] >> 7;
  p->flag_rv = (buf[2] >> 6) & 1;
  p->flag_sh = (buf[2] >> 5) & 1;
  p->flag_pw = (buf[2] >> 4) & 1;
  p->status = uint32_t(buf[2] & 15) << 5 | buf[3] >> 3;
  p->flag_c = (buf[3] >> 1) & 3;
  p->flag_rs = buf[3] & 1;
  p->payload = u;
  return 0;
}

int cmp_sig_proto_header(sig_proto* a, sig_proto* b) {
  if (!a || !b) return -1;
  if (uint32_t d = b->type - a->type) return static_cast<int>(d);
  if (uint32_t d = b->source_ssrc - a->source_ssrc) return static_cast<int>(d);
  return static_cast<int>(b->source_addr - a->source_addr);
}

int cmp_sig_proto(sig_proto* a, sig_proto* b) { return compare_dumps(a, b, 1); }

int cmp_sig_proto_flags(sig_proto* a, sig_proto* b) { return compare_dumps(a, b, 4); }

int sig_proto_is_ptt_command(sig_proto* p) {
  if (!p) return 0;
  switch (p->type) {
    case GW_FLAG:
    case GW_FLAG_PTT:
    case GW_SEL_CALL:
    case WM_FLAG:
    case WM_TRANS:
    case WM_SEL_CALL_TRANS: return 1;
  }
  return 0;
}

int sprintf_sig_proto(char* buf, long size, sig_proto* p, int flags) {
  if (!buf || !p || size < 1) return 0;
  std::memset(buf, 0, static_cast<size_t>(size));
  for (const auto& e : sig_proto_sprintf_table)
    if (e.type == p->type) return e.dump(buf, size, p, flags);
  return 0;
}

int sprintf_base(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump&, const auto&) {});
}

int sprintf_gw_adjust_chan(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("gw_adjust_chan.id   : %lu,\n", static_cast<unsigned long>(u.gw_adjust_chan.id));
    d.line("gw_adjust_chan.freq : %4.4f,\n", double{u.gw_adjust_chan.freq});
  });
}

int sprintf_gw_selcall(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("gw_sel_call.callerID_length: %d,\n", int{u.gw_sel_call.callerID_length});
    d.line("gw_sel_call.callerID : \n");
    caller_id_lines(d, u.gw_sel_call.callerID, u.gw_sel_call.callerID_length);
  });
}

int sprintf_gw_select_rc_chan(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("gw_select_rc_chan.interface : %d,\n", int{u.gw_select_rc_chan.interface});
    d.line("gw_select_rc_chan.channel   : %d,\n", int{u.gw_select_rc_chan.channel});
  });
}

int sprintf_gw_adjust_squelsh(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("gw_adjust_squelsh.squelsh   : %d,\n", int{u.gw_adjust_squelsh.squelsh});
  });
}

int sprintf_gw_adjust_rte(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("gw_adjust_rte.rte   : %d,\n", int{u.gw_adjust_rte.rte});
  });
}

int sprintf_gw_adjust_standby(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("gw_adjust_standby.state   : %d,\n", int{u.gw_adjust_standby.state});
  });
}

int sprintf_wm_trans(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("wm_trans.session_addr : %s,\n", INet4::dotted(u.wm_trans.session_addr.s_addr).c_str());
    d.line("wm_trans.ssrc         : 0x%08lX,\n", static_cast<unsigned long>(u.wm_trans.ssrc));
  });
}

int sprintf_wm_radio_qulity(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("wm_radio_quality.radio_quality : %4.5f,\n",
           double{u.wm_radio_quality.radio_quality});
  });
}

int sprintf_wm_chan(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("wm_chan.id   : %lu,\n", static_cast<unsigned long>(u.wm_chan.id));
    d.line("wm_chan.freq : %4.4f,\n", double{u.wm_chan.freq});
    d.line("wm_chan.squelsh : %d,\n", int{u.wm_chan.squelsh});
    d.line("wm_chan.rte     : %d,\n", int{u.wm_chan.rte});
  });
}

int sprintf_wm_selcall(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    const auto& s = u.wm_sel_call_trans;
    d.line("wm_sel_call_trans.session_addr : %s,\n", INet4::dotted(s.session_addr.s_addr).c_str());
    d.line("wm_sel_call_trans.ssrc         : 0x%08lX,\n", static_cast<unsigned long>(s.ssrc));
    d.line("wm_sel_call_trans.callerID_length: %d,\n", int{s.callerID_length});
    d.line("wm_sel_call_trans.callerID : \n");
    caller_id_lines(d, s.callerID, s.callerID_length);
  });
}

int sprintf_wm_select_rc_chan(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("wm_select_rc_chan.interface : %d,\n", int{u.wm_select_rc_chan.interface});
    d.line("wm_select_rc_chan.channel   : %d,\n", int{u.wm_select_rc_chan.channel});
  });
}

int sprintf_wm_standby(char* buf, long size, sig_proto* p, int flags) {
  return dump(buf, size, p, flags, [](Dump& d, const auto& u) {
    d.line("wm_standby.state           : %d,\n", int{u.wm_standby.state});
    d.line("wm_standby.group           : %d,\n", int{u.wm_standby.group});
    d.line("wm_standby.receiver_state  : %d,\n", int{u.wm_standby.receiver_state});
  });
}

const char* sig_proto_find_name_by_id(s_sig_proto_table_name* table, int id) {
  if (!table) return nullptr;
  for (; table->id >= 0; ++table)
    if (table->id == id) return table->name.c_str();
  return nullptr;
}

int sig_proto_find_id_by_name(s_sig_proto_table_name* table, const char* name) {
  if (!table || !name) return -1;
  for (; table->id >= 0; ++table)
    if (table->name == name) return table->id;
  return -1;
}

int init_sig_proto_queue(sig_proto_queue* q) {
  if (!q) return 0;
  std::memset(q, 0, sizeof *q);
  for (int i = 0; i < 32; ++i)
    q->records[i].type = i < 17 ? static_cast<uint32_t>(init_sig_proto_type[i]) : ~0u;
  return 0;
}

bool is_little_endian() {
  const uint32_t v = 0x01234567;
  unsigned char first;
  std::memcpy(&first, &v, 1);
  return first == 0x67;
}

int sig_proto_set_base(sig_proto* p, int priority, int flag_t, int flag_p, int flag_r, int flag_s,
                       int flag_b, int flag_rv, int flag_sh, int flag_rs, int flag_pw, int flag_c,
                       int status) {
  if (!p) return 0;
  const int values[12] = {priority, flag_t,  flag_p,  flag_r,  flag_s, flag_b,
                          flag_rv,  flag_sh, flag_rs, flag_pw, flag_c, status};
  uint32_t* fields[12] = {&p->priority, &p->flag_t,  &p->flag_p,  &p->flag_r,
                          &p->flag_s,   &p->flag_b,  &p->flag_rv, &p->flag_sh,
                          &p->flag_rs,  &p->flag_pw, &p->flag_c,  &p->status};
  for (int i = 0; i < 12; ++i)
    if (values[i] >= 0) *fields[i] = static_cast<uint32_t>(values[i]);
  return 0;
}

int sig_proto_set_ptt(sig_proto* p, int flag_p) {
  if (p && flag_p >= 0) p->flag_p = static_cast<uint32_t>(flag_p);
  return 0;
}

int sig_proto_set_gw_adjust_chan(sig_proto* p, unsigned int id, float freq) {
  if (!p) return 0;
  p->payload.gw_adjust_chan.id = id;
  p->payload.gw_adjust_chan.freq = freq;
  return 0;
}

int sig_proto_set_gw_adjust_squelsh(sig_proto* p, unsigned char squelsh) {
  if (p) p->payload.gw_adjust_squelsh.squelsh = squelsh;
  return 0;
}

int sig_proto_set_gw_adjust_rte(sig_proto* p, unsigned char rte) {
  if (p) p->payload.gw_adjust_rte.rte = rte;
  return 0;
}

int sig_proto_set_gw_adjust_standby(sig_proto* p, unsigned char state) {
  if (p) p->payload.gw_adjust_standby.state = state;
  return 0;
}

int sig_proto_set_gw_selcall(sig_proto* p, const char* id, unsigned char n) {
  if (!p) return 0;
  sig_proto_copy_caller_id(p->payload.gw_sel_call.callerID, id);
  p->payload.gw_sel_call.callerID_length = id ? n : 0;
  return 0;
}

int sig_proto_set_gw_select_rc_chan(sig_proto* p, unsigned char interface, unsigned char channel) {
  if (!p) return 0;
  p->payload.gw_select_rc_chan.interface = interface;
  p->payload.gw_select_rc_chan.channel = channel;
  return 0;
}

int sig_proto_set_wm_select_rc_chan(sig_proto* p, unsigned char interface, unsigned char channel) {
  return sig_proto_set_gw_select_rc_chan(p, interface, channel);
}

int sig_proto_set_wm_transmite(sig_proto* p, in_addr addr, unsigned int ssrc) {
  if (!p) return 0;
  p->payload.wm_trans.session_addr = addr;
  p->payload.wm_trans.ssrc = ssrc;
  return 0;
}

int sig_proto_set_wm_selcall_transmite(sig_proto* p, in_addr addr, unsigned int ssrc,
                                       const char* id, unsigned char n) {
  if (!p) return 0;
  auto& s = p->payload.wm_sel_call_trans;
  s.session_addr = addr;
  s.ssrc = ssrc;
  sig_proto_copy_caller_id(s.callerID, id);
  s.callerID_length = id ? n : 0;
  return 0;
}

int sig_proto_set_wm_radio_quality(sig_proto* p, float quality) {
  if (p) p->payload.wm_radio_quality.radio_quality = quality;
  return 0;
}

int sig_proto_set_wm_chan(sig_proto* p, unsigned int id, float freq, unsigned char squelsh,
                          unsigned char rte) {
  if (!p) return 0;
  p->payload.wm_chan.id = id;
  p->payload.wm_chan.freq = freq;
  p->payload.wm_chan.squelsh = squelsh;
  p->payload.wm_chan.rte = rte;
  return 0;
}

int sig_proto_set_wm_standby(sig_proto* p, unsigned char state, unsigned char group,
                             unsigned char receiver_state) {
  if (!p) return 0;
  p->payload.wm_standby.state = state;
  p->payload.wm_standby.group = group;
  p->payload.wm_standby.receiver_state = receiver_state;
  return 0;
}
