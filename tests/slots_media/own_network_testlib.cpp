// The relay of these tests binds its fixed port in a network of their own, apart from any
// orvexd already running on the machine.
#include "tests/support/own_network_env.h"
