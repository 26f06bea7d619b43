#include "tests/e2e/server_host.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <memory>

#include "base/dpc.h"
#include "base/multiplexer.h"
#include "base/mux_clock.h"
#include "proto/acceptor_check.h"
#include "server/ctrl/ctrl_server.h"
#include "server/ctrl/heartbeat_ctl.h"

namespace {

class ScriptService : public CtrlSrv::Service {
 public:
  ScriptService() { later_.Bind(this, &ScriptService::OnLater); }

  void OnConnect() override {}
  void OnDisconnect() override { later_.Deactivate(); }
  bool OnCommand(const LGCP::Command& c) override {
    switch (c.currentSelection()) {
      case LGCP::Command::e_query: {
        LGCP::Signal s;
        s.select_activated();
        SendSignal(s);
        Success();
        return true;
      }
      case LGCP::Command::e_userData: {
        LGCP::Signal s;
        s.select_userData() = c.get_userData();
        SendSignal(s);
        Success();
        return true;
      }
      case LGCP::Command::e_connect:
        Error(LGCP::ErrorCause::invalidSlot);
        return true;
      case LGCP::Command::e_destroy:
        delayed_slot_ = GetSlot();
        delayed_seq_ = delayResponse();
        later_.Activate();
        return true;
      case LGCP::Command::e_deactivate:
        return true;
      default:
        return false;
    }
  }

 private:
  void OnLater() {
    later_.Deactivate();
    delayedSuccess(delayed_slot_, delayed_seq_);
  }

  Dpc later_;
  unsigned delayed_slot_ = 0;
  unsigned delayed_seq_ = 0;
};

class ObserverService : public CtrlSrv::Service {
 public:
  void OnConnect() override {}
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command&) override { return false; }
  void OnSignal(const LGCP::Signal& s) override { observed.push_back(s.getSelectionName()); }

  std::vector<std::string> observed;
};

ScriptService script;
ObserverService observer;

}  // namespace

ServerHost& ServerHost::instance() {
  static ServerHost host;
  return host;
}

ServerHost::ServerHost() {
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    wake_write_ = Fd(ends[1]);
    wake_.Bind("ServerHost::OnWake", &ServerHost::OnWake, this);
    wake_.Schedule(Fd(ends[0]), POLLIN);
  }
  ctrlServer.Bind(&HeartBeatCtl::instance());
  ctrlServer.Bind(&script);
  ctrlServer.Bind(&observer);
  auto* acceptor = new Control::AcceptorNetCheckConnection(0, true);
  ctrlServer.Activate(acceptor);
  port_ = acceptor->local_port();
  thread_ = std::thread([] { multiplexer.run(false, false); });
}

void ServerHost::OnWake(int fd, short revents) {
  if (!(revents & POLLIN)) return;
  char drain[64];
  while (::read(fd, drain, sizeof drain) > 0) {
  }
  for (;;) {
    std::function<void()> f;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return;
      f = std::move(queue_.front());
      queue_.pop_front();
    }
    f();
  }
}

bool ServerHost::call(const std::function<void()>& f) {
  if (!thread_.joinable()) return false;
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back([f, done] {
      f();
      done->set_value();
    });
  }
  const char one = 1;
  if (::write(wake_write_.get(), &one, 1) != 1 && errno != EAGAIN) return false;
  return finished.wait_for(std::chrono::milliseconds(wait_ms)) == std::future_status::ready;
}

bool ServerHost::wait_disconnected() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    bool up = true;
    if (!call([&up] { ctrlServer.CheckServerConnection(up); })) return false;
    if (!up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

std::vector<std::string> ServerHost::take_observed() {
  std::vector<std::string> seen;
  call([&seen] { seen.swap(observer.observed); });
  return seen;
}

void ServerHost::stop() {
  if (!thread_.joinable()) return;
  call([] { multiplexer.terminate(); });
  thread_.join();
  ctrlServer.Deactivate();
  wake_.Release();
  Mux::TestClock::release();
}
