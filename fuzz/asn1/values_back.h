// ValuesBack: every ASN.1 value object that one input made is gone once the input is handled.
//
// Value objects live in slabs of the thread's ValuePool, where a leaked one stays reachable and
// LeakSanitizer does not see it; the pool's count of blocks out does. Made first in a fuzz
// target's input function, so that it checks after everything else of the input is destroyed.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "asn1/value_pool.h"

namespace fuzz {

class ValuesBack {
 public:
  ValuesBack() : before_(ASN1::ValuePool::of_thread().live()) {}
  ~ValuesBack() {
    const size_t after = ASN1::ValuePool::of_thread().live();
    if (after == before_) return;
    std::fprintf(stderr, "value objects left behind by the input: %zu before, %zu after\n",
                 before_, after);
    std::abort();
  }
  ValuesBack(const ValuesBack&) = delete;
  ValuesBack& operator=(const ValuesBack&) = delete;

 private:
  size_t before_;
};

}  // namespace fuzz
