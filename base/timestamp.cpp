#include "base/timestamp.h"

#include <ctime>

std::ostream& timestamp(std::ostream& os) {
  const time_t now = time(nullptr);
  if (now == static_cast<time_t>(-1)) return os;
  struct tm local;
  if (!localtime_r(&now, &local)) return os;
  char text[32];
  const size_t n = strftime(text, sizeof text, "%d/%m %H:%M:%S", &local);
  return os.write(text, static_cast<std::streamsize>(n));
}
