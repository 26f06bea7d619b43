// Each daemon of these tests, its simulated board and the test's own sockets share a network of
// their own, apart from any orvexd already running on the machine.
#include "tests/support/own_network_env.h"
