// The control connector over UNIX-domain stream sockets, against a plain socket and against the
// acceptor, with socket paths in a private directory.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "proto/acceptor_unix.h"
#include "proto/connector_unix.h"
#include "tests/support/temp_root.h"
#include "tests/proto/proto_testlib.h"

namespace {

using Strings = std::vector<std::string>;
using State = Control::Service::State;
using Control::AcceptorUnix;
using Control::ConnectorUnix;

TcpPeer accept_from(const Fd& listener) {
  return TcpPeer(Fd(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)));
}

// Leaves at `at` what an earlier run could have left there: "socket" (one nobody listens on
// any more), "file" (holding "keep"), or nothing.
void leave_behind(const std::string& at, const std::string& what) {
  if (what == "socket") unix_listener(at);
  if (what == "file") std::ofstream(at) << "keep";
}

class UnixTransportTest : public TransportTest {
 protected:
  void TearDown() override {
    connector_.reset();
    acceptor_.reset();
    TransportTest::TearDown();
  }
  std::string path(const std::string& name) const { return root_.path() + "/" + name; }
  void make_acceptor(const std::string& at) {
    acceptor_.reset(new AcceptorUnix(at));
    acceptor_->Bind(&sink_);
  }
  void make_connector(ConnectorUnix* c) {
    connector_.reset(c);
    connector_->Bind(&far_sink_);
  }

  TempRoot root_;
  RecordingSink far_sink_;
  std::unique_ptr<AcceptorUnix> acceptor_;
  std::unique_ptr<ConnectorUnix> connector_;
};

}  // namespace

TEST_F(UnixTransportTest, ConnectorAndAcceptorCarryFramesBothWays) {
  const std::string server = path("ctl.sock"), local = path("client.sock");
  make_acceptor(server);
  ASSERT_TRUE(acceptor_->Activate());
  make_connector(new ConnectorUnix(server, local));
  ASSERT_TRUE(connector_->Activate());
  EXPECT_EQ(connector_->peer(), server);
  EXPECT_EQ(logs_.log.take(), "connected to " + server + "\n");
  turns();
  EXPECT_EQ(acceptor_->peer(), local);
  EXPECT_EQ(sink_.take(), Strings{"connect"});
  EXPECT_EQ(far_sink_.take(), Strings{"connect"});

  connector_->Send("request", 7);
  connector_->Send("second", 6);
  turns();
  EXPECT_EQ(sink_.take(), (Strings{"message request", "message second"}));
  acceptor_->Send("reply", 5);
  turns();
  EXPECT_EQ(far_sink_.take(), Strings{"message reply"});

  acceptor_->Disconnect();
  turns(2);
  EXPECT_EQ(far_sink_.take(), Strings{"disconnect"});
  EXPECT_EQ(logs_.err.take(), "control connection " + local + " closed.\ncontrol connection " +
                                  server + " closed.\n");
  connector_->Deactivate();
}

TEST_F(UnixTransportTest, ConnectorFindsAServerThatAppearsLater) {
  const std::string server = path("ctl.sock");
  make_connector(new ConnectorUnix(server));
  EXPECT_TRUE(connector_->Activate());
  EXPECT_EQ(logs_.err.take(), "can't connect to " + server + " : No such file or directory\n");
  Fd listener = unix_listener(server);
  advance(1000);
  EXPECT_EQ(connector_->state(), State::Connected);
  EXPECT_EQ(far_sink_.take(), Strings{"connect"});
  TcpPeer server_end = accept_from(listener);
  connector_->Send("up", 2);
  EXPECT_EQ(server_end.read(), tpkt("up"));
}

TEST_F(UnixTransportTest, ConnectorLocalPath) {
  const std::string server = path("ctl.sock");
  Fd listener = unix_listener(server);
  struct Case {
    const char* name;
    std::string local;
    // What lies at the local path before, for leave_behind.
    std::string before;
    std::string bind_error;
  } cases[] = {
      {"bound", path("client.sock"), "", ""},
      {"stale socket is removed", path("stale.sock"), "socket", ""},
      {"a file that is not a socket is kept", path("notes.txt"), "file",
       "Address already in use"},
      {"no such directory", path("missing/client.sock"), "", "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    leave_behind(c.local, c.before);
    make_connector(new ConnectorUnix(server, c.local));
    connector_->Activate();
    // A failed bind is logged and the attempt goes on unbound.
    EXPECT_EQ(logs_.err.take(), c.bind_error.empty() ? ""
                                                     : "can't bind to domain socket '" + c.local +
                                                           "': \"" + c.bind_error + "\n");
    EXPECT_EQ(connector_->state(), State::Connected);
    sockaddr_un peer{};
    socklen_t len = sizeof peer;
    Fd server_end(::accept4(listener.get(), reinterpret_cast<sockaddr*>(&peer), &len, 0));
    ASSERT_TRUE(server_end);
    EXPECT_EQ(std::string(peer.sun_path), c.bind_error.empty() ? c.local : "");
    EXPECT_EQ(c.before == "file", !is_socket(c.local) && ::access(c.local.c_str(), F_OK) == 0);
    connector_.reset();
    ::unlink(c.local.c_str());
  }
}

TEST_F(UnixTransportTest, NoDescriptorLeftStopsTheConnector) {
  make_connector(new ConnectorUnix(path("ctl.sock")));
  // A first round with descriptors to spare: the sanitizer checks the dynamic type of each call
  // once, through a pipe, and could not do it with none left.
  connector_->Activate();
  connector_->Deactivate();
  logs_.err.take();
  {
    DescriptorExhaustion exhausted;
    connector_->Activate();
  }
  EXPECT_EQ(connector_->state(), State::Idle);
  EXPECT_EQ(logs_.err.take(), "can't create domain socket:Too many open files\n");
  EXPECT_EQ(MultiplexerProbe::timer_count(), 0u);
}
