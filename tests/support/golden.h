// Golden traces: a test's record of a procedure (frames, primitives, states, one line each)
// compared with the expected exchange kept in tests/<subsystem>/golden/<case>.txt. With
// ORVEX_GOLDEN_UPDATE=1 in the environment the run rewrites the file instead, so a change of
// behaviour shows in review as a change of that file.
#pragma once

#include <string>

#include "tests/support/stream_capture.h"

// "" when `lines` are the file's lines (or the file was rewritten); otherwise what differs, as a
// unified diff from the file to the run, or why the file could not be read.
std::string golden_diff(const std::string& path, const Lines& lines);

// In a test: the trace against golden/<name>.txt beside the test's sources.
#define ORVEX_EXPECT_GOLDEN(name, lines) \
  EXPECT_EQ(golden_diff(std::string(ORVEX_TEST_DIR "/golden/") + (name) + ".txt", (lines)), "")
