// Feeds arbitrary bytes to the configuration parser, then walks, dumps and reads the model and
// reports the lines read as nothing.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "base/ini_file.h"
#include "base/ini_ignored.h"
#include "base/ini_reader.h"

namespace {
enum Kind : int { kA = 1, kB = 2 };
const IniFile::Symbol<Kind> kKinds[] = {{"a", kA}, {"b", kB}, {nullptr, kA}};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IniFile::File file;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  in >> file;

  std::ostringstream sink;
  file.Dump(sink);
  for (IniFile::Section& section : file) {
    for (IniFile::SubSection& sub : section) {
      for (IniFile::Key& key : sub) {
        for (IniFile::SubKey& value : key) {
          value.GetBool(false);
          value.GetInt(0);
          value.GetFloat(0);
        }
      }
      IniFile::Reader reader("fuzz: ", sink);
      bool b = false;
      std::string s;
      Kind k = kA;
      reader.optional.add(&b, "b", 0);
      reader.optional.add(&s, "s", 0);
      reader.optional.add(&k, "k", kKinds);
      reader.parse(sub);
      IniFile::Reader strict("fuzz: ", sink);
      strict.required.add(&k, "k", kKinds);
      strict.required.add(&b, "b", 0);
      strict.parse(sub);
    }
  }
  IniFile::ReportIgnored(file, sink);
  return 0;
}
