#include "tests/support/golden.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "tests/support/temp_root.h"

namespace {

std::string text_of(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

bool write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

// `diff -u` of the file at `path` against `text`.
std::string diff(const std::string& path, const std::string& text) {
  std::string run = (std::filesystem::temp_directory_path() / "orvex_golden_XXXXXX").string();
  int fd = ::mkstemp(&run[0]);
  if (fd < 0) return "cannot write the run's trace beside " + path;
  ::close(fd);
  write_file(run, text);
  std::string command = "diff -u --label '" + path + "' --label run '" + path + "' '" + run + "'";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  ::unlink(run.c_str());
  return out.empty() ? "the run differs from " + path : out;
}

}  // namespace

std::string golden_diff(const std::string& path, const Lines& lines) {
  std::string text = text_of(lines);
  const char* update = std::getenv("ORVEX_GOLDEN_UPDATE");
  if (update && std::string(update) == "1") {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    return write_file(path, text) ? "" : "cannot write " + path;
  }
  if (!std::filesystem::exists(path)) {
    return "no golden file " + path + " (ORVEX_GOLDEN_UPDATE=1 writes it)";
  }
  return read_file(path) == text ? "" : diff(path, text);
}
