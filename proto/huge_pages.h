// Transparent huge pages for a large static store such as the packet pool's blocks.
//
// Blocks handed out first in first out are each the one used longest ago: on 4 KiB pages every
// one of them needs a TLB entry of its own, while huge pages cover the whole pool with a few
// dozen. The advice is asked for before the memory is first written, so that its first faults
// already map huge pages. The price is memory: every huge page that is touched at all is
// resident in full. Where the kernel has no transparent huge pages, or has them off, the memory
// stays on small pages and nothing else changes.
#pragma once

#include <cstddef>

// Advises the kernel to back the whole pages inside [storage, storage + bytes) with huge pages.
// When it refuses, logs "WHAT: huge pages refused: REASON" and returns false; the memory works
// as before. A range holding no whole page is left alone (true).
bool advise_huge_pages(const char* what, void* storage, std::size_t bytes);
