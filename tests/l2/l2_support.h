// Helpers of the link-layer tests: golden texts, hex octets and tshark's reading of a capture.
#pragma once

#include <string>
#include <vector>

// Compares `actual` with tests/l2/golden/<name>.txt (a gtest failure naming the file when they
// differ). With ORVEX_UPDATE_GOLDEN=1 in the environment the file is rewritten instead.
void expect_golden(const std::string& name, const std::string& actual);

// Octets from a hex text such as "02 FF 03"; blanks are ignored.
std::string unhex(const std::string& text);

// True when tshark and text2pcap are installed.
bool have_tshark();

// The lines of "tshark -n -r CAPTURE ARGS -T fields -E separator=|" (with the fields in ARGS),
// one per frame, without line breaks.
std::vector<std::string> tshark_fields(const std::string& capture, const std::string& args);

// tshark_fields of a capture of raw LAPD frames (user link type 147, dissected as LAPD).
std::vector<std::string> tshark_lapd_fields(const std::vector<std::string>& frames,
                                            const std::string& args);
