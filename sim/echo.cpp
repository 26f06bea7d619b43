#include "sim/echo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/session.h"

namespace {

struct SumRecord {
  uint32_t a;
  uint32_t b;
};
static_assert(sizeof(SumRecord) == 8, "SumRecord layout");

constexpr uint32_t kMaxBurstRecords = 100000;
constexpr uint32_t kMaxBurstBytes = 64 * 1024 * 1024;

bool sum_record(const IoctlCall& call, SumRecord& record) {
  if (call.request != Echo::kSum || !call.has_record || call.bytes.size() != sizeof record) {
    return false;
  }
  std::memcpy(&record, call.bytes.data(), sizeof record);
  return true;
}

}  // namespace

// COUNT records of SIZE bytes: each opens with its index (uint32, native order) and is filled
// with the index's low byte.
Reply Echo::burst(const Words& words) {
  uint32_t count, size;
  if (words.size() != 4 || !parse_u32(words[2], count) || !parse_u32(words[3], size) ||
      count > kMaxBurstRecords || size < sizeof(uint32_t) || size > 65536 ||
      uint64_t(count) * size > kMaxBurstBytes) {
    return Reply::error("usage: echo burst COUNT SIZE (SIZE 4 to 65536, at most 64 MiB)");
  }
  for (uint32_t i = 0; i < count; ++i) {
    std::string record(size, static_cast<char>(i & 0xff));
    std::memcpy(&record[0], &i, sizeof i);
    broadcast(record);
  }
  return Reply::ok();
}

void Echo::on_write(Session& session, const std::string& frame) { session.send(frame); }

IoctlResult Echo::on_ioctl(Session&, IoctlCall& call) {
  if (!call.has_record) return {static_cast<int>(call.value), 0};
  SumRecord sum;
  if (sum_record(call, sum)) {
    SumRecord answer{sum.a + sum.b, sum.a * sum.b};
    std::memcpy(&call.bytes[0], &answer, sizeof answer);
    return {0, 0};
  }
  if (call.request == kSum) return {-1, EINVAL};
  std::reverse(call.bytes.begin(), call.bytes.end());
  return {static_cast<int>(call.bytes.size()), 0};
}

std::string Echo::decode(const IoctlCall& call) const {
  SumRecord sum;
  if (!sum_record(call, sum)) return "";
  return "a=" + std::to_string(sum.a) + " b=" + std::to_string(sum.b);
}

bool Echo::command(const Words& words, Reply& reply) {
  if (words[0] != "echo") return false;
  if (words.size() >= 3 && words[1] == "send") {
    // The remaining words, joined by one space, are the record.
    std::string record = words[2];
    for (size_t i = 3; i < words.size(); ++i) record += " " + words[i];
    broadcast(record);
    reply = Reply::ok();
  } else if (words.size() >= 2 && words[1] == "burst") {
    reply = burst(words);
  } else {
    reply = Reply::error("usage: echo send TEXT | echo burst COUNT SIZE");
  }
  return true;
}
