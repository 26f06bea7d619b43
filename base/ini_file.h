// IniFile: the in-memory model of an INI configuration file.
//
// A File owns its Sections, a Section one SubSection per occurrence of its header, a SubSection
// its Keys, a Key one SubKey per occurrence of the key. Every child list is an intrusive doubly
// linked list in file order with an element count; File and SubSection also index their children
// by name (byte-wise, case-sensitive). Nothing is ever merged: deciding what a repeated header or
// key means is left to the user of the model (see IniFile::Reader).
//
// Lookups with operator[] add what they do not find (empty), so they never return null.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace IniFile {

// Walks one of the intrusive lists; the end iterator holds null.
template <class T>
class GenericIterator {
 public:
  explicit GenericIterator(T* item = nullptr) : item_(item) {}
  T& operator*() const { return *item_; }
  T* operator->() const { return item_; }
  GenericIterator& operator++() {
    if (item_) item_ = item_->mNext;
    return *this;
  }
  GenericIterator operator++(int) {
    GenericIterator old = *this;
    ++*this;
    return old;
  }
  bool operator!=(const GenericIterator& other) const { return item_ != other.item_; }
  bool operator==(const GenericIterator& other) const { return item_ == other.item_; }

 private:
  T* item_;
};

class SubKey {
 public:
  SubKey(const std::string& value, int line) : mValue(value), mLineNo(line) {}
  SubKey(const SubKey&) = delete;
  SubKey& operator=(const SubKey&) = delete;

  // "true", "yes", "1", "on" / "false", "no", "0", "off"; anything else gives def.
  bool GetBool(bool def) const;
  void SetBool(bool value);
  // The number at the start of the value (after white space); def when there is none or it
  // does not fit an int.
  int GetInt(int def) const;
  void SetInt(int value);
  float GetFloat(float def) const;
  void SetFloat(float value);
  void Dump(std::ostream& out) const;

  std::string mValue;
  int mLineNo;
  SubKey* mNext = nullptr;
  SubKey* mPrev = nullptr;
};

class Key {
 public:
  using iterator = GenericIterator<SubKey>;

  explicit Key(const std::string& name) : mName(name) {}
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() { CleanSubKeys(); }

  SubKey* NewSubKey(const std::string& value, int line);
  // Gives a key without values the empty value on line -1.
  void CheckEmpty();
  void CleanSubKeys();
  void Dump(std::ostream& out) const;

  iterator begin() const { return iterator(mFirst); }
  iterator end() const { return iterator(); }

  std::string mName;
  // Set by a Reader that has a binding of this name.
  bool mKnown = false;
  int mSubKeyCount = 0;
  SubKey* mFirst = nullptr;
  SubKey* mLast = nullptr;
  Key* mNext = nullptr;
  Key* mPrev = nullptr;
};

class SubSection {
 public:
  using iterator = GenericIterator<Key>;

  explicit SubSection(int line) : mLineNo(line) {}
  SubSection(const SubSection&) = delete;
  SubSection& operator=(const SubSection&) = delete;
  ~SubSection() { CleanKeys(); }

  // The key of that name, added without values when absent.
  Key* operator[](const std::string& name);
  SubKey* NewSubKey(const std::string& name, const std::string& value, int line);
  void CleanKeys();
  void Dump(std::ostream& out) const;

  iterator begin() const { return iterator(mFirst); }
  iterator end() const { return iterator(); }

  int mLineNo;
  // Set by a Reader that read this subsection.
  bool mRead = false;
  int mKeyCount = 0;
  Key* mFirst = nullptr;
  Key* mLast = nullptr;
  SubSection* mNext = nullptr;
  SubSection* mPrev = nullptr;
  std::map<std::string, Key*> mIndex;
};

class Section {
 public:
  using iterator = GenericIterator<SubSection>;

  explicit Section(const std::string& name) : mName(name) {}
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;
  ~Section() { CleanSubSections(); }

  SubSection* NewSubSection(int line);
  // Gives a section without occurrences one subsection on line -1.
  void CheckEmpty();
  void CleanSubSections();
  void Dump(std::ostream& out) const;

  iterator begin() const { return iterator(mFirst); }
  iterator end() const { return iterator(); }

  std::string mName;
  int mSubSectionCount = 0;
  SubSection* mFirst = nullptr;
  SubSection* mLast = nullptr;
  Section* mNext = nullptr;
  Section* mPrev = nullptr;
};

// A line, or the part of one, that the parser or the readers dropped: the line's number and
// what was dropped and why, as one phrase ("\"k = v\" before any section").
struct Ignored {
  int line;
  std::string what;
};

// Ignored lines in the order found: the first File::kMaxIgnored kept, all counted.
struct IgnoredLines {
  std::vector<Ignored> kept;
  int count = 0;
  void add(int line, std::string what);
};

class File {
 public:
  using iterator = GenericIterator<Section>;

  // A larger file is not read at all (errno EFBIG).
  static constexpr size_t kMaxSize = 1 << 20;
  // What is kept of the ignored lines; the rest are only counted.
  static constexpr size_t kMaxIgnored = 32;

  File() = default;
  explicit File(const std::string& path) { Open(path); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Reads the file at path; true when it could be opened, whatever it holds. Anything but a
  // regular file (a directory, a FIFO, a device) is not opened: false, errno EISDIR or EINVAL;
  // nor is a file above kMaxSize: false, errno EFBIG.
  bool Open(const std::string& path);
  void Close();
  void Sync() {}
  bool ok() const { return ok_; }

  // The section of that name, added without subsections when absent.
  Section* operator[](const std::string& name);
  SubSection* NewSubSection(const std::string& name, int line);
  void Dump(std::ostream& out) const;

  iterator begin() const { return iterator(mFirst); }
  iterator end() const { return iterator(); }

  std::string mFileName;
  int mSectionCount = 0;
  Section* mFirst = nullptr;
  Section* mLast = nullptr;
  std::map<std::string, Section*> mIndex;
  // The lines the parser dropped (a header without "]", a line without "=", text outside any
  // section), in file order.
  IgnoredLines mIgnored;

 private:
  friend std::istream& operator>>(std::istream& in, File& file);
  void Parse(std::istream& in);
  void Clear();

  bool ok_ = false;
};

// Replaces the content of file by what the stream holds; the file then reads as open.
std::istream& operator>>(std::istream& in, File& file);

// A text of the file (a value, a name, a line) as a log line quotes it: between double quotes,
// escaped as ext::escaped does, and cut after its first 60 bytes, "..." after the quotes then
// telling that more followed.
std::string quoted(std::string_view text);

}  // namespace IniFile
