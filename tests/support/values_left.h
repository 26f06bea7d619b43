// ValuesLeft: fails every test that ends with more ASN.1 value objects alive than it began with.
//
// Value objects live in slabs of the thread's ValuePool, where a leaked one is still reachable
// and so invisible to LeakSanitizer; the pool's count of blocks out shows it instead. A test
// executable of codec tests turns the check on for all its tests with
//
//   [[maybe_unused]] const bool kValuesChecked = ValuesLeft::check_every_test();
#pragma once

#include <gtest/gtest.h>

#include <cstddef>

#include "asn1/value_pool.h"

class ValuesLeft : public testing::EmptyTestEventListener {
 public:
  static bool check_every_test() {
    testing::UnitTest::GetInstance()->listeners().Append(new ValuesLeft);
    return true;
  }

  void OnTestStart(const testing::TestInfo&) override { at_start_ = live(); }
  void OnTestEnd(const testing::TestInfo&) override {
    EXPECT_EQ(live(), at_start_) << "value objects left behind by the test";
  }

 private:
  static size_t live() { return ASN1::ValuePool::of_thread().live(); }

  size_t at_start_ = 0;
};
