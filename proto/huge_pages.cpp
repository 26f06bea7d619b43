#include "proto/huge_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>

bool advise_huge_pages(const char* what, void* storage, std::size_t bytes) {
  const long page_size = ::sysconf(_SC_PAGESIZE);
  const auto page = static_cast<std::uintptr_t>(page_size > 0 ? page_size : 4096);
  const auto start = reinterpret_cast<std::uintptr_t>(storage);
  const std::uintptr_t begin = (start + page - 1) / page * page;
  const std::uintptr_t end = (start + bytes) / page * page;
  if (end <= begin) return true;
#ifdef MADV_HUGEPAGE
  if (::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE) == 0) return true;
#else
  errno = ENOSYS;
#endif
  std::cerr << what << ": huge pages refused: " << std::strerror(errno) << std::endl;
  return false;
}
