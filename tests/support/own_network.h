// A network of its own for a test process, so that its fixed ports (the PPP authentication
// relay's 127.0.0.1:52000) never meet those of a daemon that runs on the same machine.
//
// enter_own_network() moves the calling thread into a fresh network namespace whose loopback is
// up; the threads and processes it starts from then on (the daemon, the simulated board) share
// it, and so do the sockets it opens. It needs root. Where it cannot be had, a test that binds a
// fixed port checks it first with port_holder() and skips when something holds it.
#pragma once

#include <string>

// True when the calling thread is now in a network namespace of its own; else false, with the
// reason in `why`.
bool enter_own_network(std::string& why);

// True when enter_own_network() succeeded in this process.
bool in_own_network();

// What listens on TCP `port` of 127.0.0.1 (or of every address) in the current network: "" when
// nothing does, else the program and its process ("orvexd (pid 1234)"), or "an unknown process"
// when no process of ours shows the socket.
std::string port_holder(unsigned short port);

// "" when `port` is free or the process has a network of its own; else the reason to skip a
// test that binds it: "127.0.0.1:52000 is held by orvexd (pid 1234)".
std::string fixed_port_conflict(unsigned short port);
