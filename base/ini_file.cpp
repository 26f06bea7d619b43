#include "base/ini_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <sstream>

#include "base/ext_escaped.h"
#include "base/fd.h"
#include "base/regular_file.h"

namespace IniFile {

namespace {

template <class T>
T* append(T*& first, T*& last, int& count, T* item) {
  item->mPrev = last;
  item->mNext = nullptr;
  (last ? last->mNext : first) = item;
  last = item;
  ++count;
  return item;
}

// The child of that name, appended and indexed when absent.
template <class T>
T* find_or_add(std::map<std::string, T*>& index, T*& first, T*& last, int& count,
               const std::string& name) {
  auto it = index.find(name);
  if (it != index.end()) return it->second;
  T* item = append(first, last, count, new T(name));
  index.emplace(name, item);
  return item;
}

template <class T>
void destroy(T*& first, T*& last, int& count) {
  while (first) {
    T* next = first->mNext;
    delete first;
    first = next;
  }
  last = nullptr;
  count = 0;
}

// The whole content of the regular file at path. Opened non-blocking, so that a FIFO never
// waits for a writer; anything but a regular file is refused (errno EISDIR for a directory,
// EINVAL otherwise), and so is one above `limit` bytes, also when it grows while it is read
// (errno EFBIG). A read error ends the text there.
bool read_regular_file(const std::string& path, size_t limit, std::string& text) {
  Fd fd(RegularFile::open(path));
  struct stat st;
  if (!fd || ::fstat(fd.get(), &st) != 0) return false;
  if (st.st_size < 0 || uint64_t(st.st_size) > limit) {
    errno = EFBIG;
    return false;
  }
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd.get(), buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
    if (n <= 0) continue;
    if (text.size() + size_t(n) > limit) {
      text.clear();
      errno = EFBIG;
      return false;
    }
    text.append(buf, size_t(n));
  }
  return true;
}

// A line as it is quoted in a note: blanks around it dropped.
std::string quoted_line(const std::string& raw) {
  const size_t first = raw.find_first_not_of(" \t");
  if (first == std::string::npos) return quoted("");
  const size_t last = raw.find_last_not_of(" \t");
  return quoted(std::string_view(raw).substr(first, last + 1 - first));
}

template <class T>
void dump_all(std::ostream& out, const T* first) {
  for (const T* item = first; item; item = item->mNext) item->Dump(out);
}

}  // namespace

std::string quoted(std::string_view text) {
  constexpr size_t kShown = 60;
  std::ostringstream out;
  out << ext::escaped(text.substr(0, kShown)) << (text.size() > kShown ? "..." : "");
  return out.str();
}

// --- SubKey ---

bool SubKey::GetBool(bool def) const {
  static const struct {
    const char* word;
    bool value;
  } words[] = {{"true", true}, {"false", false}, {"yes", true}, {"no", false},
               {"1", true},    {"0", false},     {"on", true},  {"off", false}};
  for (const auto& w : words)
    if (mValue == w.word) return w.value;
  return def;
}

void SubKey::SetBool(bool value) { mValue = value ? "yes" : "no"; }

int SubKey::GetInt(int def) const {
  // As scanf("%d"): leading white space, an optional sign, decimal digits, the rest ignored.
  const char* text = mValue.c_str();
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE || n < INT_MIN || n > INT_MAX) return def;
  return int(n);
}

void SubKey::SetInt(int value) { mValue = std::to_string(value); }

float SubKey::GetFloat(float def) const {
  const char* text = mValue.c_str();
  char* end = nullptr;
  float f = std::strtof(text, &end);
  return end == text ? def : f;
}

void SubKey::SetFloat(float value) {
  std::ostringstream out;
  out << value;
  mValue = out.str();
}

void SubKey::Dump(std::ostream& out) const {
  out << "dumping IniFile::SubKey\n"
      << "mValue=\"" << mValue << "\"\n"
      << "mLineNo=" << mLineNo << "\n";
}

// --- Key ---

SubKey* Key::NewSubKey(const std::string& value, int line) {
  return append(mFirst, mLast, mSubKeyCount, new SubKey(value, line));
}

void Key::CheckEmpty() {
  if (mSubKeyCount == 0) NewSubKey("", -1);
}

void Key::CleanSubKeys() { destroy(mFirst, mLast, mSubKeyCount); }

void Key::Dump(std::ostream& out) const {
  out << "dumping IniFile::Key\n"
      << "mName=\"" << mName << "\"\n"
      << "mSubKeyCount=" << mSubKeyCount << "\n";
  dump_all(out, mFirst);
}

// --- SubSection ---

Key* SubSection::operator[](const std::string& name) {
  return find_or_add(mIndex, mFirst, mLast, mKeyCount, name);
}

SubKey* SubSection::NewSubKey(const std::string& name, const std::string& value, int line) {
  return (*this)[name]->NewSubKey(value, line);
}

void SubSection::CleanKeys() {
  destroy(mFirst, mLast, mKeyCount);
  mIndex.clear();
}

void SubSection::Dump(std::ostream& out) const {
  out << "dumping IniFile::SubSection\n"
      << "mLineNo=\"" << mLineNo << "\"\n"
      << "mKeyCount=" << mKeyCount << "\n";
  dump_all(out, mFirst);
}

// --- Section ---

SubSection* Section::NewSubSection(int line) {
  return append(mFirst, mLast, mSubSectionCount, new SubSection(line));
}

void Section::CheckEmpty() {
  if (mSubSectionCount == 0) NewSubSection(-1);
}

void Section::CleanSubSections() { destroy(mFirst, mLast, mSubSectionCount); }

void Section::Dump(std::ostream& out) const {
  out << "dumping IniFile::Section\n"
      << "mName=\"" << mName << "\"\n"
      << "mSubSectionCount=" << mSubSectionCount << "\n";
  dump_all(out, mFirst);
}

// --- File ---

File::~File() { Clear(); }

void File::Clear() {
  destroy(mFirst, mLast, mSectionCount);
  mIndex.clear();
  mIgnored = IgnoredLines();
}

void IgnoredLines::add(int line, std::string what) {
  if (kept.size() < File::kMaxIgnored) kept.push_back(Ignored{line, std::move(what)});
  ++count;
}

bool File::Open(const std::string& path) {
  Close();
  mFileName = path;
  std::string text;
  if (!read_regular_file(path, kMaxSize, text)) return false;
  std::istringstream in(text);
  Parse(in);
  return ok_;
}

void File::Close() {
  if (!ok_) return;
  Clear();
  ok_ = false;
}

Section* File::operator[](const std::string& name) {
  return find_or_add(mIndex, mFirst, mLast, mSectionCount, name);
}

SubSection* File::NewSubSection(const std::string& name, int line) {
  return (*this)[name]->NewSubSection(line);
}

void File::Dump(std::ostream& out) const {
  out << "dumping IniFile::File\n"
      << "mFileName=\"" << mFileName << "\"\n"
      << "\n"
      << "mSectionCount=" << mSectionCount << "\n";
  dump_all(out, mFirst);
}

// The parser is a byte-wise state machine. States: 0 before the first header, 1 inside a
// section name, 2 after a header's "]", 3 between lines, 4 inside a key, 5 after "=", 6 inside
// a value. Blanks inside keys and values are held back and only written out when a further
// character follows, so trailing blanks are dropped.
void File::Parse(std::istream& in) {
  ok_ = true;
  std::streambuf* buf = in.rdbuf();
  if (!buf) return;

  enum { BeforeFirst, Header, AfterHeader, BetweenLines, InKey, AfterEquals, InValue };
  int state = BeforeFirst;
  int line = 1;
  bool comment = false;
  size_t held = 0;
  std::string section, key, value;
  SubSection* sub = nullptr;
  // What the current line is noted for when it ends (null: nothing of it was dropped), the
  // line as written (enough of it to quote), and whether the last header had no "]".
  const char* dropped = nullptr;
  std::string raw;
  bool broken_header = false;

  auto store = [&] {
    sub->NewSubKey(key, value, line);
    key.clear();
  };
  auto drop = [&](const char* why) {
    if (!dropped) dropped = why;
  };
  auto end_line = [&] {
    if (dropped) mIgnored.add(line, quoted_line(raw) + " " + dropped);
    dropped = nullptr;
    raw.clear();
  };

  for (;;) {
    int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) break;
    if (c == '\r') continue;
    if (c != '\n' && raw.size() <= 64) raw += char(c);
    if (comment) {
      if (c != '\n') continue;
      comment = false;
    }
    switch (state) {
      case BeforeFirst:
        if (c == '#') {
          comment = true;
        } else if (c == '[') {
          section.clear();
          dropped = nullptr;
          state = Header;
        } else if (c != ' ' && c != '\t' && c != '\n') {
          drop(broken_header ? "under a header without \"]\", ignored"
                             : "before any section, ignored");
        }
        break;
      case Header:
        if (c == '\n') {
          drop("has no \"]\": ignored with the lines up to the next header");
          broken_header = true;
          state = BeforeFirst;
        } else if (c == ']') {
          sub = NewSubSection(section, line);
          broken_header = false;
          state = AfterHeader;
        } else {
          section += char(c);
        }
        break;
      case AfterHeader:
        if (c == '\n')
          state = BetweenLines;
        else if (c == '#')
          comment = true;
        else if (c != ' ' && c != '\t')
          drop("has text after \"]\", ignored");
        break;
      case BetweenLines:
        if (c == ' ' || c == '\t' || c == '\n') {
        } else if (c == '#') {
          comment = true;
        } else if (c == '[') {
          section.clear();
          state = Header;
        } else {
          key.assign(1, char(c));
          held = 0;
          state = InKey;
        }
        break;
      case InKey:
        if (c == ' ') {
          ++held;
        } else if (c == '=') {
          value.clear();
          state = AfterEquals;
        } else if (c == '\n') {
          drop("has no \"=\", ignored");
          key.clear();
          held = 0;
          state = BetweenLines;
        } else {
          key.append(held, ' ');
          held = 0;
          key += char(c);
        }
        break;
      case AfterEquals:
        if (c == ' ') {
        } else if (c == '#') {
          comment = true;
        } else if (c == '\n') {
          store();
          state = BetweenLines;
        } else {
          value += char(c);
          held = 0;
          state = InValue;
        }
        break;
      case InValue:
        if (c == ' ') {
          ++held;
        } else if (c == '#' && held > 0) {
          comment = true;
          held = 0;
        } else if (c == '\n') {
          store();
          state = BetweenLines;
        } else {
          value.append(held, ' ');
          held = 0;
          value += char(c);
        }
        break;
    }
    if (c == '\n') {
      end_line();
      ++line;
    }
  }
  if (state == AfterEquals || state == InValue) store();
  if (state == Header) drop("has no \"]\", ignored");
  if (state == InKey) drop("has no \"=\", ignored");
  end_line();
  in.setstate(std::ios::eofbit);
}

std::istream& operator>>(std::istream& in, File& file) {
  file.Close();
  file.mFileName.clear();
  file.Parse(in);
  return in;
}

}  // namespace IniFile
