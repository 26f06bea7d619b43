#include "base/ext_hex.h"

#include <iomanip>

namespace ext {

void OutBufInHex::Put(std::ostream& os) const {
  std::ios_base::fmtflags flags = os.flags();
  os << std::hex << std::uppercase << std::setfill('0');
  for (const unsigned char* p = begin; p < end; ++p)
    os << std::setw(2) << static_cast<unsigned>(*p) << ' ';
  os.flags(flags);
  os.fill(' ');
}

void OutUnsignedInHex::Put(std::ostream& os) const {
  std::ios_base::fmtflags flags = os.flags();
  os << "0x" << std::hex << std::uppercase << std::setfill('0') << std::setw(width) << value;
  os.flags(flags);
  os.fill(' ');
}

}  // namespace ext
