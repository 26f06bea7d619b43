// Helpers of base/path.cpp, visible to its tests.
#pragma once

namespace Path {

// Called, when set, by open_folder_inside_root between the check of the folder and its opening:
// the moment a test swaps a folder on the way for a link. Null outside tests.
extern void (*after_folder_check)();

}  // namespace Path
