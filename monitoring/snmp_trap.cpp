#include "monitoring/snmp_trap.h"

#include <net-snmp/library/asn1.h>
#include <net-snmp/library/snmp.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

const char kDefaultTrapCommunity[] = "vermol";

namespace {

constexpr u_char kSequence = ASN_SEQUENCE | ASN_CONSTRUCTOR;
constexpr u_char kInteger = ASN_UNIVERSAL | ASN_PRIMITIVE | ASN_INTEGER;
constexpr u_char kOctets = ASN_UNIVERSAL | ASN_PRIMITIVE | ASN_OCTET_STR;

u_char* build_int(u_char* at, size_t* left, int value) {
  const long v = value;
  return at ? asn_build_int(at, left, kInteger, &v, sizeof v) : nullptr;
}

u_char* build_header(u_char* at, size_t* left, u_char type) {
  return at ? asn_build_sequence(at, left, type, 0) : nullptr;
}

// Rewrites the four-byte header at `header` with the length of [start, end).
bool fix_length(u_char* header, const u_char* start, const u_char* end) {
  size_t room = 4;
  return asn_build_sequence(header, &room, header[0], size_t(end - start)) != nullptr;
}

}  // namespace

unsigned long get_uptime() {
  static unsigned long last = 0;
  timespec now;
  if (::clock_gettime(CLOCK_BOOTTIME, &now) == 0) {
    const unsigned long ticks =
        (unsigned long)now.tv_sec * 100 + (unsigned long)now.tv_nsec / 10000000;
    if (ticks > last) last = ticks;
  }
  return last;
}

int snmp_session_seed(trap_context* ctx, int seed) {
  if (ctx) ctx->request_id = seed;
  return 0;
}

int trap_init(trap_context* ctx, const char* community) {
  if (!ctx) return 0;
  ctx->version = 1;
  ctx->pdu_type = 0xA7;
  const uint64_t seed = uint32_t(ctx->request_id);
  ctx->request_id = int(((seed * 850009u + 991873u) % (uint64_t(1) << 31)) | 1u);
  ctx->error_status = 0;
  ctx->error_index = 0;
  std::memset(ctx->community, 0, sizeof ctx->community);
  const char* text = community ? community : kDefaultTrapCommunity;
  std::memcpy(ctx->community, text, strnlen(text, sizeof ctx->community - 1));
  std::memset(ctx->buffer, 0, sizeof ctx->buffer);
  ctx->remaining = sizeof ctx->buffer;
  ctx->packed_length = 0;
  ctx->state = trap_context::kInitialised;
  ctx->message_start = ctx->pdu_header = ctx->pdu_start = nullptr;
  ctx->bindings_header = ctx->bindings_start = ctx->position = nullptr;
  return 0;
}

int trap_pack_begin(trap_context* ctx) {
  if (!ctx || ctx->state != trap_context::kInitialised) return -1;
  ctx->state = trap_context::kBegun;
  size_t left = ctx->remaining;
  u_char* at = build_header(ctx->buffer, &left, kSequence);
  ctx->message_start = at;
  at = build_int(at, &left, ctx->version);
  if (at)
    at = asn_build_string(at, &left, kOctets, reinterpret_cast<const u_char*>(ctx->community),
                          std::strlen(ctx->community));
  ctx->pdu_header = at;
  at = build_header(at, &left, u_char(ctx->pdu_type));
  ctx->pdu_start = at;
  at = build_int(at, &left, ctx->request_id);
  at = build_int(at, &left, ctx->error_status);
  at = build_int(at, &left, ctx->error_index);
  ctx->bindings_header = at;
  at = build_header(at, &left, kSequence);
  ctx->bindings_start = at;
  if (!at) return -1;
  ctx->position = at;
  ctx->remaining = unsigned(left);
  return 0;
}

int trap_pack_add(trap_context* ctx, const oid* name, size_t name_length, unsigned char value_type,
                  const void* value, size_t value_length) {
  if (!ctx || (ctx->state != trap_context::kBegun && ctx->state != trap_context::kAdded) ||
      !ctx->position)
    return -1;
  size_t left = ctx->remaining;
  size_t length = name_length;
  u_char* at =
      snmp_build_var_op(ctx->position, const_cast<oid*>(name), &length, value_type, value_length,
                        static_cast<u_char*>(const_cast<void*>(value)), &left);
  if (!at) return -1;
  ctx->position = at;
  ctx->remaining = unsigned(left);
  ctx->state = trap_context::kAdded;
  return 0;
}

int trap_pack_end(trap_context* ctx) {
  if (!ctx || (ctx->state != trap_context::kBegun && ctx->state != trap_context::kAdded)) return -1;
  if (!ctx->message_start || !ctx->pdu_header || !ctx->pdu_start || !ctx->bindings_header ||
      !ctx->bindings_start || !ctx->position)
    return -1;
  if (!fix_length(ctx->bindings_header, ctx->bindings_start, ctx->position) ||
      !fix_length(ctx->pdu_header, ctx->pdu_start, ctx->position) ||
      !fix_length(ctx->buffer, ctx->message_start, ctx->position))
    return -1;
  ctx->packed_length = unsigned(ctx->position - ctx->buffer);
  ctx->state = trap_context::kFinished;
  return 0;
}

int parse_oid(oid* out, int max, const char* text) {
  if (!out || max <= 0 || !text) return 0;
  char work[128] = {};
  std::strncpy(work, text, sizeof work - 1);
  int count = 0;
  char* rest = work;
  while (count < max) {
    char* piece = strsep(&rest, ".");
    if (!piece) break;
    if (*piece) out[count++] = oid(std::strtoul(piece, nullptr, 10));
  }
  return count;
}
