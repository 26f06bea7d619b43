#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/l2/golden.h"
#include "tests/support/temp_root.h"

void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = std::string(ORVEX_TEST_DIR) + "/golden/" + name + ".txt";
  const char* update = std::getenv("ORVEX_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    std::ofstream(path) << actual;
    return;
  }
  EXPECT_EQ(read_file(path), actual)
      << "golden text " << path << " (ORVEX_UPDATE_GOLDEN=1 rewrites it)";
}

std::string unhex(const std::string& text) {
  std::string out;
  std::istringstream in(text);
  std::string octet;
  while (in >> octet) out += static_cast<char>(std::stoul(octet, nullptr, 16));
  return out;
}
