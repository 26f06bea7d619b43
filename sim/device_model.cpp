#include "sim/device_model.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "sim/record.h"
#include "sim/session.h"

int DeviceModel::accept_open(int) { return 0; }
void DeviceModel::on_open(Session&) {}
void DeviceModel::on_close(Session&) {}
void DeviceModel::on_write(Session&, const std::string&) {}
IoctlResult DeviceModel::on_ioctl(Session&, IoctlCall&) { return {-1, ENOTTY}; }
std::string DeviceModel::decode(const IoctlCall&) const { return ""; }
uint32_t DeviceModel::layout() const { return 0; }
bool DeviceModel::command(const Words&, Reply&) { return false; }

Session* DeviceModel::session_of(const std::string& device, int32_t pid, int32_t fd,
                                 int32_t asking) const {
  if (pid == -1) pid = asking;
  if (pid <= 0 || fd < 0 || !find_session_) return nullptr;
  struct stat st;
  const std::string path = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
  if (::stat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return nullptr;
  return find_session_(device, st.st_ino);
}

void DeviceModel::broadcast(const std::string& record) {
  for (Session* s : sessions_) s->send(record);
}

std::string describe(const DeviceModel& model, const IoctlCall& call) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08x", call.request);
  std::string text = number;
  std::string fields = model.decode(call);
  if (!fields.empty()) return text + " " + fields;
  if (!call.has_record) return text + " " + std::to_string(call.value);
  if (!call.bytes.empty()) text += " " + hex_bytes(call.bytes, " ");
  return text;
}
