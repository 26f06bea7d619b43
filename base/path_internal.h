// Helpers of base/path.cpp, visible to its tests.
#pragma once

namespace Path {

// Called, when set, by open_folder_inside_root just before it opens the folder: the moment a
// test swaps a folder on the way for a link. Null outside tests.
extern void (*before_folder_open)();

}  // namespace Path
