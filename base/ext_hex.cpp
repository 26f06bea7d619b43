#include "base/ext_hex.h"

#include <iomanip>

namespace ext {

void OutBufInHex::Put(std::ostream& os) const {
  std::ios_base::fmtflags flags = os.flags();
  const size_t size = static_cast<size_t>(end - begin);
  const bool cut = size > limit;
  const unsigned char* stop = cut ? begin + limit : end;
  os << std::hex << std::uppercase << std::setfill('0');
  for (const unsigned char* p = begin; p < stop; ++p)
    os << std::setw(2) << static_cast<unsigned>(*p) << ' ';
  os.flags(flags);
  os.fill(' ');
  if (cut) os << "... (" << size << " octets)";
}

void OutUnsignedInHex::Put(std::ostream& os) const {
  std::ios_base::fmtflags flags = os.flags();
  os << "0x" << std::hex << std::uppercase << std::setfill('0') << std::setw(width) << value;
  os.flags(flags);
  os.fill(' ');
}

}  // namespace ext
