// DeviceModel: what one simulated device does. The framework (DeviceNode, Session) carries the
// opens, frames, records and requests; a model only answers them and keeps the device's state.
// A new device is one subclass of DeviceModel, registered in make_device_models() (models.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/command.h"

class Session;

// One request as it arrived: the request number and either a value or a record. The model
// changes `bytes` in place to answer (its size stays as sent).
struct IoctlCall {
  uint32_t request;
  bool has_record;
  uint64_t value;
  std::string bytes;
  // The model's record layout when the request arrived (DeviceModel::layout()), so that the
  // request log decodes it later as it was meant.
  uint32_t layout;
  // The process that asked (the peer of its request connection), 0 when unknown.
  int32_t pid;
};

struct IoctlResult {
  int result;
  int error;  // errno when result is -1
};

class DeviceModel {
 public:
  // `name` is the device's path under /dev, e.g. "hal" or "misc/gw-wd".
  explicit DeviceModel(std::string name) : name_(std::move(name)) {}
  virtual ~DeviceModel() = default;
  DeviceModel(const DeviceModel&) = delete;
  DeviceModel& operator=(const DeviceModel&) = delete;

  const std::string& name() const { return name_; }

  // An open with open(2) `flags`: 0 lets it succeed, an errno refuses it.
  virtual int accept_open(int flags);
  virtual void on_open(Session& session);
  virtual void on_close(Session& session);
  // One frame the daemon wrote.
  virtual void on_write(Session& session, const std::string& frame);
  // Answers one request. The default knows none: -1, ENOTTY.
  virtual IoctlResult on_ioctl(Session& session, IoctlCall& call);
  // The fields of `call` as it arrived, for the request log; "" prints its bytes (or value).
  // Called only when the log is listed, with the layout the call arrived under.
  virtual std::string decode(const IoctlCall& call) const;
  // What decoding a request depends on besides its bytes (e.g. an interface version); 0 here.
  virtual uint32_t layout() const;
  // A control command of this device (dispatched on the first word, never empty): false when
  // the command is not this device's.
  virtual bool command(const Words& words, Reply& reply);

  // How a model finds an open session of another device by its inode (null when none); the
  // Board sets it.
  using SessionFinder = std::function<Session*(const std::string& device, uint64_t inode)>;
  void set_session_finder(SessionFinder finder) { find_session_ = std::move(finder); }

 protected:
  // Queues `record` for the daemon on every session of this device.
  void broadcast(const std::string& record);
  const std::vector<Session*>& sessions() const { return sessions_; }
  // The open session of `device` that descriptor `fd` of process `pid` (-1: `asking`, the
  // process that made the request) names, through /proc/PID/fd/FD; null when none.
  Session* session_of(const std::string& device, int32_t pid, int32_t fd, int32_t asking) const;

 private:
  friend class DeviceNode;
  std::string name_;
  std::vector<Session*> sessions_;  // kept by DeviceNode
  SessionFinder find_session_;
};

// The request log's text for `call`: "0x%08x" and the model's decoding, else the record's bytes
// in hex or the value in decimal.
std::string describe(const DeviceModel& model, const IoctlCall& call);
