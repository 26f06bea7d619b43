// Golden texts: expected output kept in tests/l2/golden/<name>.txt. With ORVEX_UPDATE_GOLDEN=1
// in the environment the file is rewritten with the actual text instead of compared.
#pragma once

#include <string>

// A gtest failure naming the file when `actual` differs from the golden text `name`.
void expect_golden(const std::string& name, const std::string& actual);

// Octets from a hex text such as "02 FF 03"; blanks are ignored.
std::string unhex(const std::string& text);
