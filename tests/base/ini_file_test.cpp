#include "base/ini_file.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "tests/support/temp_root.h"

namespace {

// The model in one line: [section]@line{key=<value>@line,...} per subsection, in list order.
std::string shape(const IniFile::File& file) {
  std::ostringstream out;
  for (const IniFile::Section& section : file) {
    for (const IniFile::SubSection& sub : section) {
      out << "[" << section.mName << "]@" << sub.mLineNo << "{";
      for (const IniFile::Key& key : sub) {
        out << key.mName << "=";
        for (const IniFile::SubKey& value : key) out << "<" << value.mValue << ">@" << value.mLineNo;
        out << ";";
      }
      out << "}";
    }
  }
  return out.str();
}

std::string parse(const std::string& text) {
  IniFile::File file;
  std::istringstream in(text);
  in >> file;
  EXPECT_TRUE(file.ok());
  return shape(file);
}

struct ParseCase {
  const char* name;
  const char* text;
  const char* shape;
};

const ParseCase kParseCases[] = {
    {"LastLineWithoutLineFeed", "[s]\nkey = value", "[s]@1{key=<value>@2;}"},
    {"EmptyValue", "[s]\nkey =\n", "[s]@1{key=<>@2;}"},
    {"LineWithoutEqualsIgnored", "[s]\nkey value\n[next]\na=b\n", "[s]@1{}[next]@3{a=<b>@4;}"},
    {"RepeatedHeaderAndKey", "[traces]\na=1\n\n[traces]\na=2\na=3\n",
     "[traces]@1{a=<1>@2;}[traces]@4{a=<2>@5<3>@6;}"},
    {"HashWithoutBlankIsLiteral", "[s]\nx = a#b\n", "[s]@1{x=<a#b>@2;}"},
    {"TabAfterEqualsStartsValue", "[s]\nx =\tv\n", "[s]@1{x=<\tv>@2;}"},
    {"CrLfSameAsLf", "[s]\r\na = 1\r\n\r\nb = 2\r\n", "[s]@1{a=<1>@2;b=<2>@4;}"},
    {"LoneCrJoinsLines", "[s]\na = 1\rb = 2\n", "[s]@1{a=<1b = 2>@2;}"},
    {"CommentLines", "# [no]\n[s]  # c\n  # k = v\nk = v\n", "[s]@2{k=<v>@4;}"},
    {"BracketBeforeFirstHeader", "a = [b]\nk = v\n", "[b]@1{k=<v>@2;}"},
    {"UnfinishedHeaderDropsLines", "[s]\n[broken\nk = v\n[t]\nk = w\n", "[s]@1{}[t]@4{k=<w>@5;}"},
    {"KeyWithoutEqualsAtEnd", "[s]\nk", "[s]@1{}"},
    {"HighBytes", "[\xff]\n\xfe=\x80\n", "[\xff]@1{\xfe=<\x80>@2;}"},
    {"NoSectionsAtAll", "k = v\n", ""},
};

TEST(IniFile, Parse) {
  for (const ParseCase& c : kParseCases) EXPECT_EQ(parse(c.text), c.shape) << c.name;
}

// Neither throws nor waits for a writer: only a regular file is read, and only up to the bound.
TEST(IniFile, OpenRefusesWhatIsNotARegularFile) {
  TempRoot root;
  const std::string dir = root.path() + "/dir.conf", fifo = root.path() + "/fifo.conf";
  const std::string big = root.path() + "/big.conf";
  ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  std::ofstream(big) << "[s]\nk = v\n" << std::string(IniFile::File::kMaxSize - 10, '#');
  IniFile::File at_bound;
  EXPECT_TRUE(at_bound.Open(big));
  EXPECT_EQ(at_bound["s"]->mSubSectionCount, 1);
  std::ofstream(big, std::ios::app) << "#";
  const struct {
    const std::string& path;
    int error;
  } cases[] = {{dir, EISDIR}, {fifo, EINVAL}, {big, EFBIG}};
  for (const auto& c : cases) {
    IniFile::File file;
    errno = 0;
    EXPECT_FALSE(file.Open(c.path)) << c.path;
    EXPECT_EQ(errno, c.error) << c.path;
    EXPECT_EQ(file.mSectionCount, 0);
  }
}

}  // namespace
