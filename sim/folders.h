// Folders of the board's tree.
#pragma once

#include <string>

// mkdir -p with mode 0755; false with errno.
bool make_folders(const std::string& path);
