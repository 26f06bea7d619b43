// errno values by name ("EIO") and back, for the control commands.
#pragma once

#include <string>

// `text` as an errno: a name such as "EIO" or a number from 1 to 4095. False when neither.
bool parse_errno(const std::string& text, int& error);

// The name of `error` ("EIO"), or its number when it has none.
std::string errno_name(int error);
