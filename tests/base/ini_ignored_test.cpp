#include "base/ini_ignored.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "base/ini_reader.h"
#include "base/trace_ctl.h"

namespace {

// The lines reported for `text` once [traces] and [agent] (required "host", then "name") are
// read, as the daemon reads its file.
std::string report(const std::string& text) {
  IniFile::File file;
  std::istringstream in(text);
  in >> file;
  file.mFileName = "f.conf";
  TraceCtl traces;
  traces.Configure(*file["traces"]);
  std::string host, name;
  for (IniFile::SubSection& sub : *file["agent"]) {
    std::ostringstream quiet;
    IniFile::Reader reader("agent: ", quiet);
    reader.required.add(&host, "host", nullptr);
    reader.required.add(&name, "name", nullptr);
    reader.parse(sub);
  }
  std::ostringstream out;
  IniFile::ReportIgnored(file, out);
  return out.str();
}

TEST(IniIgnored, EachLineReadAsNothingIsNamed) {
  const struct {
    const char* name;
    std::string text;
    std::string report;
  } cases[] = {
      {"Clean", "# c\n[traces]\nsignalling.hdlc = yes\n[agent]\nhost = h\nname = n\n[agent]\n"
                "host = i\nname = m\n",
       ""},
      {"MisspeltKeyEachTime", "[traces]\nmonitoring.internl = yes\nmonitoring.internl = no\n",
       "configuration f.conf line 2: key \"monitoring.internl\" of section \"traces\" unknown, "
       "ignored\n"
       "configuration f.conf line 3: key \"monitoring.internl\" of section \"traces\" unknown, "
       "ignored\n"},
      {"UnclosedHeaderAtTheEnd", "[traces]\n  [agent  ",
       "configuration f.conf line 2: \"[agent\" has no \"]\", ignored\n"},
      {"KeyBeforeAnySection", "  signalling.hdlc = yes  # on\n[traces]\n",
       "configuration f.conf line 1: \"signalling.hdlc = yes  # on\" before any section, "
       "ignored\n"},
      {"NoEqualsAndTextAfterHeader", "[traces] x\nsignalling.hdlc\n[traces]\nsignalling.hdlc",
       "configuration f.conf line 1: \"[traces] x\" has text after \"]\", ignored\n"
       "configuration f.conf line 1: section \"traces\" ignored: the one on line 3 is read\n"
       "configuration f.conf line 2: \"signalling.hdlc\" has no \"=\", ignored\n"
       "configuration f.conf line 4: \"signalling.hdlc\" has no \"=\", ignored\n"},
      {"UnknownSection", "[trace]\nsignalling.hdlc = yes\n",
       "configuration f.conf line 1: section \"trace\" unknown, ignored\n"},
      // A required key missing ends the reading early: the keys after it are still known.
      {"RequiredMissingFirst", "[agent]\nname = n\nnmae = x\n",
       "configuration f.conf line 3: key \"nmae\" of section \"agent\" unknown, ignored\n"},
      // What reaches the log cannot end a line or drive a terminal, and is cut when long.
      {"Escaped", "[traces]\n\x1b[2J\"k\\ = v\n\x01x\n" + std::string(70, 'y') + "\n",
       "configuration f.conf line 2: key \"\\x1b[2J\\\"k\\\\\" of section \"traces\" unknown, "
       "ignored\n"
       "configuration f.conf line 3: \"\\x01x\" has no \"=\", ignored\n"
       "configuration f.conf line 4: \"" + std::string(60, 'y') + "\"... has no \"=\", ignored\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(report(c.text), c.report) << c.name;
}

// A file of nothing but bad lines gives a bounded report: the first lines, then their count.
TEST(IniIgnored, ReportIsBounded) {
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += "x\n";
  const std::string text = report(lines);
  EXPECT_EQ(size_t(std::count(text.begin(), text.end(), '\n')), IniFile::File::kMaxIgnored + 1);
  EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1),
            "configuration f.conf: 8 more lines ignored\n");
}

}  // namespace
