// Octet strings as text: compact hexadecimal, two digits per octet, no separators.
#pragma once

#include <string>
#include <vector>

namespace Ctl {

// Upper-case digits: "C00105000340".
std::string to_hex(const std::vector<char>& bytes);

// Reads pairs of hex digits (either case); blanks and line breaks between digits are skipped.
// False on any other character or an odd number of digits; `bytes` is then unspecified.
bool from_hex(const std::string& text, std::vector<char>& bytes);

}  // namespace Ctl
