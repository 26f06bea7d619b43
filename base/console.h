// Console: terminal modes of the standard input.
#pragma once

namespace Console {

// Non-canonical input without echo (signals and extended input processing stay).
void SwitchToBinaryMode();
// Non-blocking reads (FIONBIO).
void SwitchToNonBlockMode();

}  // namespace Console
