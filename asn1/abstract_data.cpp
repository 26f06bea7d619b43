#include "asn1/abstract_data.h"

#include <new>

#include "asn1/value_pool.h"

namespace ASN1 {

void* AbstractData::operator new(size_t size) { return ValuePool::of_thread().allocate(size); }
void AbstractData::operator delete(void* p, size_t size) noexcept {
  ValuePool::of_thread().release(p, size);
}

unsigned MaximumArraySize = 128;
unsigned MaximumStringSize = 16384;

unsigned CountBits(uint32_t n) {
  if (n == 0) return 32;
  unsigned bits = 0;
  while (bits < 32 && (uint64_t{1} << bits) < n) ++bits;
  return bits;
}

int lexicographic_compare_bytes(const char* first1, const char* last1, const char* first2,
                                const char* last2) {
  for (; first1 != last1 && first2 != last2; ++first1, ++first2) {
    int a = static_cast<unsigned char>(*first1);
    int b = static_cast<unsigned char>(*first2);
    if (a != b) return a - b;
  }
  if (first1 != last1) return 1;
  if (first2 != last2) return -1;
  return 0;
}

}  // namespace ASN1
