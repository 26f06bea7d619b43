// A local-time stamp for log lines.
#pragma once

#include <ostream>

// Writes the local time as "%d/%m %H:%M:%S"; nothing when the time cannot be read.
std::ostream& timestamp(std::ostream& os);
