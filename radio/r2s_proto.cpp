// The ED-137 radio header and its additional features, byte by byte.
#include "radio/r2s_proto.h"

#include <cstring>

namespace {

// One additional feature on the wire: its direction, its kind in the record, its type-length
// byte and, for the RX RRC entry, which of its two forms.
struct Feature {
  uint32_t direction;
  uint32_t kind;
  uint32_t form;
  unsigned char type_length;
};

constexpr Feature kFeatures[] = {
    {kR2sRx, kR2sRxSqi, 0, 0x11},           {kR2sRx, kR2sRxRrc, 0, 0x31},
    {kR2sRx, kR2sRxRrc, 1, 0x34},           {kR2sRx, kR2sRxMam, 0, 0x4C},
    {kR2sTx, kR2sTxClimaxTimeDelay, 0, 0x21}, {kR2sTx, kR2sTxRrc, 0, 0x31},
    {kR2sTx, kR2sTxRrm, 0, 0x43},
};

int value_length(const Feature& f) { return f.type_length & 0x0F; }

// The feature an entry of `direction` packs as; null for a kind of the other direction.
// `*bad_form` is set for an RX RRC entry whose form is neither short nor long.
const Feature* feature_of(uint32_t direction, const r2s_proto_additional& a, bool* bad_form) {
  *bad_form = false;
  for (const Feature& f : kFeatures) {
    if (f.direction != direction || f.kind != a.kind) continue;
    if (direction == kR2sRx && a.kind == kR2sRxRrc) {
      if (a.data[8] > 1) {
        *bad_form = true;
        return nullptr;
      }
      if (a.data[8] != f.form) continue;
    }
    return &f;
  }
  return nullptr;
}

const Feature* feature_by_type_length(uint32_t direction, unsigned char type_length) {
  for (const Feature& f : kFeatures)
    if (f.direction == direction && f.type_length == type_length) return &f;
  return nullptr;
}

unsigned char flag_byte(const uint32_t* flags) {
  unsigned char b = 0;
  for (int i = 0; i < 8; ++i) b |= static_cast<unsigned char>((flags[i] & 1) << (7 - i));
  return b;
}

void flags_of(unsigned char b, uint32_t* flags) {
  for (int i = 0; i < 8; ++i) flags[i] = (b >> (7 - i)) & 1;
}

// A one-bit flag and a 23-bit value in three big-endian bytes.
void put_flag23(unsigned char* out, uint32_t flag, uint32_t value) {
  const uint32_t v = (flag & 1) << 23 | (value & 0x7FFFFF);
  out[0] = static_cast<unsigned char>(v >> 16);
  out[1] = static_cast<unsigned char>(v >> 8);
  out[2] = static_cast<unsigned char>(v);
}

void get_flag23(const unsigned char* in, uint32_t* flag, uint32_t* value) {
  const uint32_t v = uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2];
  *flag = v >> 23;
  *value = v & 0x7FFFFF;
}

// Writes the value of entry `a` as feature `f` at `out`.
void put_value(const Feature& f, const uint32_t* d, unsigned char* out) {
  if (f.direction == kR2sRx) {
    switch (f.kind) {
      case kR2sRxSqi:
        out[0] = static_cast<unsigned char>((d[0] & 0x1F) << 3 | (d[1] & 7));
        return;
      case kR2sRxRrc:
        out[0] = flag_byte(d);
        if (f.form == 1) {
          out[1] = static_cast<unsigned char>((d[9] & 1) << 7 | (d[10] & 1) << 6);
          out[2] = static_cast<unsigned char>(d[11]);
          out[3] = static_cast<unsigned char>(d[12]);
        }
        return;
      case kR2sRxMam:
        put_flag23(out, d[0], d[1]);
        put_flag23(out + 3, d[2], d[3]);
        for (int i = 0; i < 3; ++i) {
          out[6 + 2 * i] = static_cast<unsigned char>(d[4 + i] >> 8);
          out[7 + 2 * i] = static_cast<unsigned char>(d[4 + i]);
        }
        return;
    }
  } else {
    switch (f.kind) {
      case kR2sTxClimaxTimeDelay:
        out[0] = static_cast<unsigned char>(d[0]);
        return;
      case kR2sTxRrc:
        out[0] = flag_byte(d);
        return;
      case kR2sTxRrm:
        put_flag23(out, d[0], d[1]);
        return;
    }
  }
}

// Reads the value of feature `f` at `in` into the data words `d` (zeroed first).
void get_value(const Feature& f, const unsigned char* in, uint32_t* d) {
  std::memset(d, 0, 13 * sizeof(uint32_t));
  if (f.direction == kR2sRx) {
    switch (f.kind) {
      case kR2sRxSqi:
        d[0] = in[0] >> 3;
        d[1] = in[0] & 7;
        return;
      case kR2sRxRrc:
        flags_of(in[0], d);
        d[8] = f.form;
        if (f.form == 1) {
          d[9] = in[1] >> 7;
          d[10] = (in[1] >> 6) & 1;
          d[11] = in[2];
          d[12] = in[3];
        }
        return;
      case kR2sRxMam:
        get_flag23(in, &d[0], &d[1]);
        get_flag23(in + 3, &d[2], &d[3]);
        for (int i = 0; i < 3; ++i) d[4 + i] = uint32_t{in[6 + 2 * i]} << 8 | in[7 + 2 * i];
        return;
    }
  } else {
    switch (f.kind) {
      case kR2sTxClimaxTimeDelay:
        d[0] = in[0];
        return;
      case kR2sTxRrc:
        flags_of(in[0], d);
        return;
      case kR2sTxRrm:
        get_flag23(in, &d[0], &d[1]);
        return;
    }
  }
}

int add(r2s_proto* p, uint32_t kind, const uint32_t* data, unsigned words) {
  if (!p || !data || p->count >= kR2sMaxAdditionals) return 0;
  r2s_proto_additional& a = p->additionals[p->count++];
  std::memset(&a, 0, sizeof a);
  a.kind = kind;
  std::memcpy(a.data, data, words * sizeof(uint32_t));
  return 0;
}

template <typename T>
int add_record(r2s_proto* p, uint32_t kind, const T* a) {
  static_assert(sizeof(T) % sizeof(uint32_t) == 0, "records are whole words");
  return add(p, kind, reinterpret_cast<const uint32_t*>(a), sizeof(T) / sizeof(uint32_t));
}

int pack(const r2s_proto* p, unsigned char* buf, int size) {
  if (!buf) return 0;
  if (size < 2) return kR2sTooShort;
  std::memset(buf, 0, static_cast<size_t>(size));
  const uint32_t* h = p->header;
  const bool rx = p->type == kR2sRx;
  const uint32_t ptt = h[0], squ = rx ? h[1] : 0, ptt_id = rx ? h[2] : h[1];
  const uint32_t pm = rx ? h[3] : h[2], ptts = rx ? h[4] : h[3], sct = rx ? h[5] : 0;
  buf[0] = static_cast<unsigned char>((ptt & 7) << 5 | (squ & 1) << 4 | (ptt_id & 0x3F) >> 2);
  buf[1] = static_cast<unsigned char>((ptt_id & 3) << 6 | (pm & 1) << 5 | (ptts & 1) << 4 |
                                      (sct & 1) << 3 | (p->count != 0));
  if (p->count == 0) return size < 4 ? kR2sTooShort : 4;
  const unsigned count = p->count < kR2sMaxAdditionals ? p->count : kR2sMaxAdditionals;
  int length = 2;
  for (unsigned i = 0; i < count; ++i) {
    bool bad_form = false;
    const Feature* f = feature_of(p->type, p->additionals[i], &bad_form);
    if (bad_form) return kR2sBadType;
    if (!f) continue;
    if (length + 1 + value_length(*f) > size) return kR2sTooShort;
    buf[length] = f->type_length;
    put_value(*f, p->additionals[i].data, buf + length + 1);
    length += 1 + value_length(*f);
  }
  return length;
}

int unpack(r2s_proto* p, uint32_t direction, const unsigned char* buf, int len) {
  if (!p || !buf) return kR2sNull;
  if (len < 2) return kR2sTooShort;
  p->type = direction;
  const uint32_t ptt = buf[0] >> 5, squ = (buf[0] >> 4) & 1;
  const uint32_t ptt_id = (buf[0] & 0x0F) << 2 | buf[1] >> 6;
  const uint32_t pm = (buf[1] >> 5) & 1, ptts = (buf[1] >> 4) & 1, sct = (buf[1] >> 3) & 1;
  if (direction == kR2sRx) {
    const uint32_t header[6] = {ptt, squ, ptt_id, pm, ptts, sct};
    std::memcpy(p->header, header, sizeof header);
  } else {
    const uint32_t header[4] = {ptt, ptt_id, pm, ptts};
    std::memcpy(p->header, header, sizeof header);
  }
  if (!(buf[1] & 1)) {
    p->count = 0;
    return 0;
  }
  int result = 0;
  unsigned stored = 0;
  for (int at = 2; at < len && stored < kR2sMaxAdditionals;) {
    const unsigned char type_length = buf[at];
    const int value = type_length & 0x0F;
    if (at + 1 + value > len) {
      result = kR2sTooShort;
      break;
    }
    if (const Feature* f = feature_by_type_length(direction, type_length)) {
      r2s_proto_additional& a = p->additionals[stored++];
      a.kind = f->kind;
      get_value(*f, buf + at + 1, a.data);
    }
    at += 1 + value;
  }
  p->count = stored;
  return result;
}

int difference(uint32_t a, uint32_t b) { return static_cast<int>(b - a); }

}  // namespace

int r2s_proto_init(r2s_proto* p, unsigned long type) {
  if (!p) return 0;
  std::memset(p, 0, sizeof *p);
  p->type = static_cast<uint32_t>(type);
  return 0;
}

void r2s_proto_set_type(r2s_proto* p, unsigned long type) {
  if (p) p->type = static_cast<uint32_t>(type);
}

void r2s_proto_set_tx_header(r2s_proto* p, unsigned long ptt_type, unsigned long ptt_id,
                             unsigned long pm, unsigned long ptts) {
  if (!p) return;
  p->type = kR2sTx;
  const uint32_t header[4] = {static_cast<uint32_t>(ptt_type), static_cast<uint32_t>(ptt_id),
                              static_cast<uint32_t>(pm), static_cast<uint32_t>(ptts)};
  std::memcpy(p->header, header, sizeof header);
}

void r2s_proto_set_rx_header(r2s_proto* p, unsigned long ptt_type, unsigned long squ,
                             unsigned long ptt_id, unsigned long pm, unsigned long ptts,
                             unsigned long sct) {
  if (!p) return;
  p->type = kR2sRx;
  const uint32_t header[6] = {static_cast<uint32_t>(ptt_type), static_cast<uint32_t>(squ),
                              static_cast<uint32_t>(ptt_id),   static_cast<uint32_t>(pm),
                              static_cast<uint32_t>(ptts),     static_cast<uint32_t>(sct)};
  std::memcpy(p->header, header, sizeof header);
}

void r2s_proto_reset_additionals(r2s_proto* p) {
  if (p) p->count = 0;
}

int r2s_proto_add_rx_sqi(r2s_proto* p, const r2s_proto_rx_additional_sqi* a) {
  return add_record(p, kR2sRxSqi, a);
}

int r2s_proto_add_rx_sqi(r2s_proto* p, unsigned long quality, unsigned long method) {
  const r2s_proto_rx_additional_sqi a{static_cast<uint32_t>(quality),
                                      static_cast<uint32_t>(method)};
  return r2s_proto_add_rx_sqi(p, &a);
}

int r2s_proto_add_rx_rrc(r2s_proto* p, const r2s_proto_rx_additional_rrc* a) {
  return add_record(p, kR2sRxRrc, a);
}

int r2s_proto_add_rx_mam(r2s_proto* p, const r2s_proto_rx_additional_mam* a) {
  return add_record(p, kR2sRxMam, a);
}

int r2s_proto_add_tx_time_delay(r2s_proto* p,
                                const r2s_proto_tx_additional_climax_time_delay* a) {
  return add_record(p, kR2sTxClimaxTimeDelay, a);
}

int r2s_proto_add_tx_rrc(r2s_proto* p, const r2s_proto_tx_additional_rrc* a) {
  return add_record(p, kR2sTxRrc, a);
}

int r2s_proto_add_tx_rrm(r2s_proto* p, const r2s_proto_tx_additional_rrm* a) {
  return add_record(p, kR2sTxRrm, a);
}

int r2s_proto_pack(r2s_proto* p, unsigned char* buf, int size) {
  if (!p) return kR2sNull;
  if (p->type != kR2sTx && p->type != kR2sRx) return kR2sBadType;
  return pack(p, buf, size);
}

int r2s_proto_unpack_tx(r2s_proto* p, unsigned char* buf, int len) {
  return unpack(p, kR2sTx, buf, len);
}

int r2s_proto_unpack_rx(r2s_proto* p, unsigned char* buf, int len) {
  return unpack(p, kR2sRx, buf, len);
}

int cmp_r2s_proto_source(r2s_proto* a, r2s_proto* b) {
  if (!a || !b) return -1;
  if (int d = difference(a->type, b->type)) return d;
  if (int d = difference(a->source_ssrc, b->source_ssrc)) return d;
  return difference(a->source_addr, b->source_addr);
}
