// FramerDataHolder: the last observed state of one E1 framer, read from the text file that the
// framer driver publishes for it (/proc/driver/hdlc/peb22554/N). The monitoring service reads
// the file on its background check and hands the bytes to setFramerStatus, which reports
// whether any field changed. The record owns its strings and is copied by value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class FramerDataHolder {
 public:
  // The labels of the driver's file, each 26 characters: the name padded, a colon, a space.
  static const char kStateLabel[];
  static const char kSignalLossLabel[];
  static const char kFrameAlignLossLabel[];
  static const char kSlipNegativeLabel[];
  static const char kSlipPositiveLabel[];

  // E1 `number` (1 to 4) read from `path`; "absent", not connected, both losses set, no slips.
  FramerDataHolder(int number, const std::string& path);

  // Parses the bytes of the driver's file (up to the first NUL); true when a field changed.
  // Every line is tested for every label; a later line of the same label wins.
  bool setFramerStatus(const std::vector<unsigned char>& data);

  bool connected = false;
  std::string state = "absent";
  bool loss_of_signal = true;
  bool loss_of_frame_alignment = true;
  int32_t slips_negative = 0;
  int32_t slips_positive = 0;
  int32_t number;
  std::string path;

 private:
  // Applies one line; true when it changed a field.
  bool apply_line(const std::string& line);
};
