// Each recipe's daemon, its simulated board and the programs the recipe runs share a network of
// their own, apart from any orvexd already running on the machine.
#include "tests/support/own_network_env.h"
