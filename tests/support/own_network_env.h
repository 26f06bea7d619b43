// The GoogleTest environment that gives a test executable a network of its own (own_network.h)
// before its first test. A test executable takes it by including this header in one of its
// sources (a *_testlib.cpp of the folder, say).
#pragma once

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "tests/support/own_network.h"

class OwnNetworkEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    std::string why;
    if (!enter_own_network(why))
      std::cerr << "note: the tests share the machine's network (" << why
                << "); a test whose fixed port is held skips." << std::endl;
  }
};

inline testing::Environment* const own_network_environment =
    testing::AddGlobalTestEnvironment(new OwnNetworkEnvironment);
