#include "tests/support/own_network.h"

#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/fd.h"

namespace {

bool own_network = false;

bool loopback_up(std::string& why) {
  Fd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  if (!s || ::ioctl(s.get(), SIOCGIFFLAGS, &request) < 0) {
    why = std::string("reading the flags of lo: ") + std::strerror(errno);
    return false;
  }
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  if (::ioctl(s.get(), SIOCSIFFLAGS, &request) < 0) {
    why = std::string("bringing lo up: ") + std::strerror(errno);
    return false;
  }
  return true;
}

// The inode of the socket listening on `port` of 127.0.0.1 or 0.0.0.0, from /proc/net/tcp; ""
// when none.
std::string listening_inode(unsigned short port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
        timeout >> inode;
    const size_t colon = local.find(':');
    if (colon == std::string::npos || state != "0A") continue;
    const std::string address = local.substr(0, colon);
    if (address != "0100007F" && address != "00000000") continue;
    if (std::stoul(local.substr(colon + 1), nullptr, 16) == port) return inode;
  }
  return "";
}

// The process that has `socket` ("socket:[inode]") open, as "name (pid N)"; "" when none.
std::string owner_of(const std::string& socket) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return "";
  std::string found;
  while (dirent* process = ::readdir(proc)) {
    const std::string pid = process->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string fds = "/proc/" + pid + "/fd";
    DIR* dir = ::opendir(fds.c_str());
    if (!dir) continue;
    while (dirent* fd = ::readdir(dir)) {
      char target[64];
      const ssize_t n = ::readlink((fds + "/" + fd->d_name).c_str(), target, sizeof target - 1);
      if (n <= 0 || std::string(target, size_t(n)) != socket) continue;
      std::string name;
      std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
      found = name + " (pid " + pid + ")";
      break;
    }
    ::closedir(dir);
    if (!found.empty()) break;
  }
  ::closedir(proc);
  return found;
}

}  // namespace

bool enter_own_network(std::string& why) {
  // The thread's own namespace, to go back to when the new one cannot be used.
  Fd before(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC));
  if (::unshare(CLONE_NEWNET) != 0) {
    why = std::string("no network namespace: ") + std::strerror(errno);
    return false;
  }
  if (!loopback_up(why)) {
    if (before) ::setns(before.get(), CLONE_NEWNET);
    return false;
  }
  own_network = true;
  return true;
}

bool in_own_network() { return own_network; }

std::string port_holder(unsigned short port) {
  const std::string inode = listening_inode(port);
  if (inode.empty()) return "";
  const std::string owner = owner_of("socket:[" + inode + "]");
  return owner.empty() ? "an unknown process" : owner;
}

std::string fixed_port_conflict(unsigned short port) {
  if (own_network) return "";
  const std::string holder = port_holder(port);
  if (holder.empty()) return "";
  return "127.0.0.1:" + std::to_string(port) + " is held by " + holder +
         "; the test needs it (run the tests as root to give them a network of their own)";
}
