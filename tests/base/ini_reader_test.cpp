#include "base/ini_reader.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

enum AddressType : int { kNone = 0, kIpv4 = 2, kName = 4 };

const IniFile::Symbol<AddressType> kTypes[] = {{"ipv4", kIpv4}, {"name", kName}, {nullptr, kNone}};

// One subsection parsed from text (its header is the first "[...]" in it).
struct Sub {
  explicit Sub(const std::string& text) {
    std::istringstream in(text);
    in >> file;
    sub = file.begin()->mFirst;
  }
  IniFile::File file;
  IniFile::SubSection* sub;
};

// Each case binds one required key of a type to "k" and reads a subsection.
struct RequiredCase {
  const char* name;
  std::string text;  // the whole file
  char kind;         // 's' string, 'e' enumeration
  bool ok;
  const char* value;  // the variable afterwards, as text
  std::string log;
};

const RequiredCase kRequired[] = {
    {"StringEmpty", "[t]\nk =\n", 's', true, "", ""},
    {"EnumKeyword", "[t]\nk = ipv4\n", 'e', true, "2", ""},
    {"EnumHex", "[t]\nk = 0x10\n", 'e', true, "16", ""},
    {"EnumTrailingText", "[t]\nk = 12abc\n", 'e', false, "0",
     "p: required key \"k\" has invalid value=\"12abc\", line 2\n"},
    {"EnumOverflow", "[t]\nk = 999999999999999999999999\n", 'e', false, "0",
     "p: required key \"k\" has invalid value=\"999999999999999999999999\", line 2\n"},
    // What reaches the log cannot end a line or drive a terminal, and is cut when long.
    {"EnumValueLongAndRaw", "[t]\nk = 1" + std::string(1000088, 'x') + "\n", 'e', false, "0",
     "p: required key \"k\" has invalid value=\"1" + std::string(59, 'x') + "\"..., line 2\n"},
    {"EnumValueWithNul", std::string("[t]\nk = 1\0\x1b[2J\n", 15), 'e', false, "0",
     "p: required key \"k\" has invalid value=\"1\\x00\\x1b[2J\", line 2\n"},
    {"Missing", "\n\n\n[t]\nother = 1\n", 's', false, "", "p: required key \"k\" not present, line 4\n"},
    {"Duplicated", "[t]\nk = a\n\nk = b\n", 's', false, "",
     "p: required key \"k\" is duplicated!\np:  first occurence at 2 line.\np:  second occurence at 4 line.\n"},
};

TEST(IniReader, Required) {
  for (const RequiredCase& c : kRequired) {
    SCOPED_TRACE(c.name);
    Sub s(c.text);
    std::ostringstream log;
    IniFile::Reader reader("p: ", log);
    std::string text;
    AddressType type = kNone;
    bool* flag = c.kind == 's' ? &reader.required.add(&text, "k", 0)
                               : &reader.required.add(&type, "k", kTypes);
    EXPECT_EQ(reader.parse(*s.sub), c.ok);
    EXPECT_EQ(*flag, c.ok);
    EXPECT_EQ(c.kind == 's' ? text : std::to_string(int(type)), c.value);
    EXPECT_EQ(log.str(), c.log);
  }
}

TEST(IniReader, OptionalProblemsAreReportedAndSkipped) {
  Sub s("[traces]\nsignalling.hdlc = yes\nsignalling.hdlc = no\nbad = maybe\n"
        "x = 1\nx = 1\nx = 1\ngood = 1\n");
  std::ostringstream log;
  IniFile::Reader reader("traces: ", log);
  bool hdlc = false, bad = false, x = false, good = false;
  bool& f_hdlc = reader.optional.add(&hdlc, "signalling.hdlc", 0);
  bool& f_bad = reader.optional.add(&bad, "bad", 0);
  bool& f_x = reader.optional.add(&x, "x", 0);
  bool& f_good = reader.optional.add(&good, "good", 0);
  EXPECT_TRUE(reader.parse(*s.sub));
  EXPECT_EQ(log.str(),
            "traces: optional key \"signalling.hdlc\" is duplicated!\n"
            "traces:  first occurence at 2 line.\n"
            "traces:  second occurence at 3 line. Both keys will be ignored.\n"
            "traces: optional key \"bad\" has invalid value=\"maybe\", line 4. Key will be ignored.\n"
            "traces: optional key \"x\" specified more than once: 5 6 7 lines. All keys will be ignored.\n");
  EXPECT_FALSE(hdlc || bad || x);
  EXPECT_FALSE(f_hdlc || f_bad || f_x);
  EXPECT_TRUE(good);
  EXPECT_TRUE(f_good);
}

TEST(IniReader, RequiredFailureStopsBeforeLaterBindings) {
  Sub s("[snmpagent]\nname = a\nhost = 127.0.0.1:1\n");
  std::ostringstream log;
  IniFile::Reader reader("snmpagent: ", log);
  std::string host, name;
  bool opt = false;
  reader.required.add(&name, "missing", 0);
  bool& f_host = reader.required.add(&host, "host", 0);
  bool& f_opt = reader.optional.add(&opt, "name", 0);
  f_opt = true;
  EXPECT_FALSE(reader.parse(*s.sub));
  EXPECT_EQ(log.str(), "snmpagent: required key \"missing\" not present, line 1\n");
  EXPECT_FALSE(f_host);
  EXPECT_EQ(host, "");
  EXPECT_TRUE(f_opt);

  // The same bindings over a good subsection.
  Sub good("[snmpagent]\nmissing = m\nhost = 127.0.0.1:1\n");
  EXPECT_TRUE(reader.parse(*good.sub));
  EXPECT_EQ(host, "127.0.0.1:1");
  EXPECT_TRUE(f_host);
  EXPECT_FALSE(f_opt);
}

}  // namespace
