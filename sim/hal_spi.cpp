#include "sim/hal_spi.h"

#include <cerrno>

#include "hw/hal_records.h"
#include "sim/record.h"

bool HalSpi::knows(uint32_t request) const {
  return request == SpiIoctl::kRead || request == SpiIoctl::kWrite;
}

IoctlResult HalSpi::on_ioctl(IoctlCall& call) {
  if (!present_) return {-1, ENODEV};
  spi_register reg;
  if (!read_record(call, reg) || reg.channel >= kChannels) return {-1, EINVAL};
  uint8_t& value = registers_[reg.channel][reg.address];
  if (call.request == SpiIoctl::kWrite) {
    value = reg.data;
    return {0, 0};
  }
  reg.data = value;
  write_record(call, reg);
  return {value, 0};
}

std::string HalSpi::decode(const IoctlCall& call) const {
  spi_register reg;
  if (!read_record(call, reg)) return "";
  std::string text = call.request == SpiIoctl::kWrite ? "SPI_WRITE" : "SPI_READ";
  text += " ch=" + std::to_string(reg.channel) + " reg=" + hex_number(reg.address);
  if (call.request == SpiIoctl::kWrite) text += " data=" + hex_number(reg.data);
  return text;
}

bool HalSpi::command(const Words& words, Reply& reply) {
  if (words[0] != "spi") return false;
  uint32_t v[3] = {};
  bool numbers = words.size() >= 4 && words.size() <= 5;
  for (size_t i = 2; numbers && i < words.size(); ++i) numbers = parse_u32(words[i], v[i - 2]);
  numbers = numbers && v[0] < kChannels && v[1] < 256 && v[2] < 256;
  if (words.size() == 2 && (words[1] == "absent" || words[1] == "present")) {
    present_ = words[1] == "present";
    reply = Reply::ok();
  } else if (numbers && words.size() == 5 && words[1] == "set") {
    registers_[v[0]][v[1]] = static_cast<uint8_t>(v[2]);
    reply = Reply::ok();
  } else if (numbers && words.size() == 4 && words[1] == "get") {
    reply = Reply::line(hex_number(registers_[v[0]][v[1]]));
  } else {
    reply = Reply::error("usage: spi set CH REG VALUE | spi get CH REG | spi absent | "
                         "spi present (CH 0-7, REG and VALUE 0-255)");
  }
  return true;
}
