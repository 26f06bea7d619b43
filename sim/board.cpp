#include "sim/board.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/errno_names.h"
#include "sim/event_loop.h"
#include "sim/folders.h"
#include "sim/session.h"

namespace {

// The folders the daemon writes to or reads from.
const char* const kFolders[] = {
    "/dev", "/var/run", "/var/log", "/var/monitoring", "/usr/local/etc", "/proc",
};

// The board's status files, written with plausible contents when the tree has none: versions,
// temperature, the voice driver, and two E1 framers.
const struct {
  const char* path;
  const char* text;
} kBoardFiles[] = {
    {"/var/version", "orvex-board 2.4.1\n"},
    {"/var/u-boot-version", "U-Boot 2019.07\n"},
    {"/var/fpga-version", "fpga 0x1a07\n"},
    {"/var/board-version", "rev C\n"},
    {"/proc/temperature", "41 C\n"},
    {"/proc/voice/version", "voice 3.2.0 2024-05-01 sim\n"},
    {"/proc/driver/hdlc/peb22554/0",
     "Current state           : No Carrier\nLoss of Signal          : yes\n"
     "Loss of Frame Alignment : yes\nReceive Slip Negative   : 0\nReceive Slip Positive   : 0\n"},
    {"/proc/driver/hdlc/peb22554/1",
     "Current state           : No Carrier\nLoss of Signal          : yes\n"
     "Loss of Frame Alignment : yes\nReceive Slip Negative   : 0\nReceive Slip Positive   : 0\n"},
};

std::string folder_of(const std::string& path) { return path.substr(0, path.rfind('/')); }

// Writes `text` to `path` unless the file exists; false with errno.
bool write_absent(const std::string& path, const char* text) {
  if (::access(path.c_str(), F_OK) == 0) return true;
  if (!make_folders(folder_of(path))) return false;
  std::ofstream out(path);
  out << text;
  out.close();
  if (!out) errno = EIO;
  return bool(out);
}

}  // namespace

Board::Board(EventLoop& loop, std::string root)
    : loop_(loop),
      root_(std::move(root)),
      requests_(loop, root_ + "/dev/.board",
                [this](uint64_t inode, IoctlCall& call) { return ioctl(inode, call); }),
      syslog_(loop, root_) {}

Board::~Board() = default;

bool Board::create(std::vector<std::unique_ptr<DeviceModel>> models) {
  for (const char* folder : kFolders) {
    if (!make_folders(root_ + folder)) {
      std::cerr << "boardsim: " << root_ + folder << ": " << std::strerror(errno) << std::endl;
      return false;
    }
  }
  for (const auto& file : kBoardFiles) {
    if (!write_absent(root_ + file.path, file.text)) {
      std::cerr << "boardsim: " << root_ + file.path << ": " << std::strerror(errno) << std::endl;
      return false;
    }
  }
  for (auto& model : models) {
    model->set_session_finder([this](const std::string& device, uint64_t inode) {
      return live_session(device, inode);
    });
    std::string path = root_ + "/dev/" + model->name();
    auto node = std::make_unique<DeviceNode>(loop_, path, std::move(model));
    if (!make_folders(folder_of(path)) || !node->plug()) {
      std::cerr << "boardsim: " << path << ": " << std::strerror(errno) << std::endl;
      return false;
    }
    nodes_.push_back(std::move(node));
  }
  if (!syslog_.open()) {
    std::cerr << "boardsim: " << root_ << "/dev/log: " << std::strerror(errno) << std::endl;
    return false;
  }
  if (!requests_.open()) {
    std::cerr << "boardsim: " << root_ << "/dev/.board: " << std::strerror(errno) << std::endl;
    return false;
  }
  return true;
}

DeviceNode* Board::node(const std::string& name) {
  for (auto& n : nodes_) {
    if (n->name() == name) return n.get();
  }
  return nullptr;
}

Session* Board::live_session(const std::string& device, uint64_t inode) {
  DeviceNode* n = node(device);
  Session* s = n ? n->session(inode) : nullptr;
  // A session whose last descriptor the daemon closed, the close not yet handled, is gone.
  pollfd entry{s ? s->fd() : -1, 0, 0};
  if (!s || (::poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP))) return nullptr;
  return s;
}

IoctlResult Board::ioctl(uint64_t inode, IoctlCall& call) {
  for (auto& n : nodes_) {
    if (Session* session = n->session(inode)) return n->ioctl(*session, call);
  }
  return {-1, EBADF};
}

void Board::settle() {
  std::vector<int> fds;
  for (auto& n : nodes_) n->session_fds(fds);
  loop_.run_ready(fds);
}

Reply Board::command(const Words& words) {
  const std::string& name = words[0];
  if (name == "ping") {
    if (words.size() > 2) return Reply::error("usage: ping [WORD]");
    return Reply::line(words.size() == 2 ? "ok " + words[1] : "ok");
  }
  if (name == "log") return log(words);
  if (name == "fail") return fail(words);
  if (name == "plug" || name == "unplug") return plug(words, name == "plug");
  if (name == "sessions") return sessions(words);
  if (name == "devices") return devices(words);
  Reply reply;
  for (auto& n : nodes_) {
    if (n->model().command(words, reply)) return reply;
  }
  return Reply::error("unknown command: " + printable(name.substr(0, 64)));
}

Reply Board::log(const Words& words) {
  bool times = words.size() == 3 && words[2] == "times";
  DeviceNode* n = words.size() >= 2 ? node(words[1]) : nullptr;
  if (!n || (words.size() != 2 && !times)) return Reply::error("usage: log DEVICE [times]");
  const DeviceModel& model = n->model();
  return Reply::of_list(
      n->log().lines(times, [&model](const IoctlCall& call) { return describe(model, call); }));
}

Reply Board::fail(const Words& words) {
  const char* usage = "usage: fail DEVICE open|write|REQUEST ERRNO";
  DeviceNode* n = words.size() == 4 ? node(words[1]) : nullptr;
  int error;
  if (!n || !parse_errno(words[3], error)) return Reply::error(usage);
  const std::string& what = words[2];
  uint32_t request;
  if (what == "open") {
    n->fail_next_open(error);
  } else if (what == "write") {
    // A socket's write can only be refused as a whole: the daemon sees EPIPE.
    if (error != EPIPE) return Reply::error("a write can only fail with EPIPE");
    n->refuse_writes();
  } else if (parse_u32(what, request)) {
    n->fail_next_request(request, error);
  } else {
    return Reply::error(usage);
  }
  return Reply::ok();
}

Reply Board::plug(const Words& words, bool plugged) {
  DeviceNode* n = words.size() == 2 ? node(words[1]) : nullptr;
  if (!n) return Reply::error(words[0] + " DEVICE: no such device");
  if (!plugged) {
    n->unplug();
  } else if (!n->plug()) {
    return Reply::error(std::string("plug: ") + std::strerror(errno));
  }
  return Reply::ok();
}

Reply Board::sessions(const Words& words) {
  DeviceNode* n = words.size() == 2 ? node(words[1]) : nullptr;
  if (!n) return Reply::error("usage: sessions DEVICE");
  return Reply::line(std::to_string(n->session_count()));
}

Reply Board::devices(const Words& words) {
  if (words.size() != 1) return Reply::error("usage: devices");
  std::vector<std::string> names;
  for (auto& n : nodes_) names.push_back(n->name() + (n->plugged() ? "" : " unplugged"));
  return Reply::of_list(names);
}
