// The line trunks of the board as the signalling slots number them, from 1: E1 trunks 1 to 4,
// basic-rate lines 1 to 8.
#pragma once

#include "board/e1_ctl.h"
#include "board/spi_ctrl.h"

// Whether `trunk` is a basic-rate line (`bri`) or an E1 trunk of the board.
inline bool IsLineTrunk(bool bri, int trunk) {
  return trunk >= 1 && trunk <= (bri ? spiCtrl::kChannels : E1Ctl::kTrunks);
}
