#include "base/child_wait.h"

#include <cerrno>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

ChildWaitService* ChildWaitService::childWaitService = nullptr;
unsigned ChildWait::UsageCounter = 0;

namespace {

// The write end as the signal handler sees it; -1 while the service is inactive.
volatile std::sig_atomic_t wake_fd = -1;

}  // namespace

ChildWait::~ChildWait() {
  handler_->~Handler();
  Detach();
}

void ChildWait::Attach(int pid) {
  pid_ = pid;
  if (ChildWaitService* service = ChildWaitService::childWaitService)
    service->records_.push_back(this);
}

void ChildWait::Detach() {
  if (ChildWaitService* service = ChildWaitService::childWaitService)
    service->records_.remove(this);
}

void ChildWait::Activate() {
  if (ChildWaitService* service = ChildWaitService::childWaitService) service->activate();
}

void ChildWait::Initialize() {
  if (UsageCounter++ == 0) ChildWaitService::childWaitService = new ChildWaitService;
}

void ChildWait::Cleanup() {
  if (UsageCounter == 0 || --UsageCounter != 0) return;
  ChildWaitService* service = ChildWaitService::childWaitService;
  ChildWaitService::childWaitService = nullptr;
  service->Release();
  delete service;
}

ChildWaitService::~ChildWaitService() {
  wake_fd = -1;
  if (installed_) ::sigaction(SIGCHLD, &previous_, nullptr);
  while (records_.remove_from_head()) {
  }
}

void ChildWaitService::activate() {
  if (fd()) return;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0) {
    std::cerr << "ChildWaitService: initialize fails" << std::endl;
    return;
  }
  write_end_ = Fd(pair[0]);
  wake_fd = pair[0];
  Bind("ChildWaitService::OnChildEvent", &ChildWaitService::OnChildEvent, this);
  Schedule(Fd(pair[1]), POLLIN);
  struct sigaction action {};
  action.sa_sigaction = &ChildWaitService::SigChldHandlerWrapper;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  if (!installed_) installed_ = ::sigaction(SIGCHLD, &action, &previous_) == 0;
}

void ChildWaitService::SigChldHandlerWrapper(int, siginfo_t*, void*) {
  int saved = errno;
  int fd = wake_fd;
  char token = 0;
  // A full socket already holds a token: the loop is woken either way.
  if (fd >= 0 && ::write(fd, &token, 1) < 0) {
  }
  errno = saved;
}

void ChildWaitService::OnChildEvent(int fd, short revents) {
  if (!(revents & POLLIN)) return;
  char tokens[64];
  while (::read(fd, tokens, sizeof tokens) > 0) {
  }
  int status;
  pid_t pid;
  while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
    std::clog << "terminate child process, pid=" << pid << " status=" << status << std::endl;
    if (!deliver(pid, status)) return;
  }
}

bool ChildWaitService::deliver(int pid, int status) {
  for (ChildWait* record = records_.first(); record; record = record->next_item()) {
    if (record->pid_ != pid) continue;
    records_.remove(record);
    record->handler_->Invoke(*record, status);
    return childWaitService == this;
  }
  return true;
}
