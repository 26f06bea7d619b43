#include "base/ini_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace IniFile {

namespace Private {

bool parse_bool(const char* text, bool& out) {
  static const struct {
    const char* word;
    bool value;
  } words[] = {{"true", true},      {"false", false},   {"yes", true},    {"no", false},
               {"enabled", true},   {"disabled", false}, {"enable", true}, {"disable", false},
               {"1", true},         {"0", false}};
  for (const auto& w : words) {
    if (std::strcmp(text, w.word) == 0) {
      out = w.value;
      return true;
    }
  }
  return false;
}

bool parse_long(const char* text, long& out) {
  if (*text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(text, &end, 0);
  if (*end != '\0' || errno == ERANGE) return false;
  out = n;
  return true;
}

}  // namespace Private

Reader::Field::~Field() {
  for (Private::KeyValue* item : items) delete item;
}

bool& Reader::Field::add(Private::KeyValue* binding) {
  items.push_back(binding);
  return binding->flag;
}

std::ostream& Reader::line() { return *log_ << prefix_; }

bool Reader::read(SubSection& sub, Private::KeyValue& binding, bool required_key) {
  Key& key = *sub[binding.name()];
  const char* name = binding.name();
  const char* kind = required_key ? "required key \"" : "optional key \"";
  if (!required_key) binding.flag = false;
  switch (key.mSubKeyCount) {
    case 0:
      if (!required_key) return true;
      line() << kind << name << "\" not present, line " << sub.mLineNo << std::endl;
      return false;
    case 1:
      // The parsers read a C string: a value with a NUL in it would be read as its start.
      binding.flag = key.mFirst->mValue.find('\0') == std::string::npos &&
                     binding.do_parse(key.mFirst->mValue.c_str());
      if (!binding.flag) {
        line() << kind << name << "\" has invalid value=" << quoted(key.mFirst->mValue) << ", line "
               << key.mFirst->mLineNo << (required_key ? "" : ". Key will be ignored.") << std::endl;
      }
      return binding.flag;
    case 2:
      line() << kind << name << "\" is duplicated!" << std::endl;
      line() << " first occurence at " << key.mFirst->mLineNo << " line." << std::endl;
      line() << " second occurence at " << key.mLast->mLineNo << " line."
             << (required_key ? "" : " Both keys will be ignored.") << std::endl;
      return false;
    default:
      line() << kind << name << "\" specified more than once:";
      for (const SubKey& value : key) *log_ << " " << value.mLineNo;
      *log_ << (required_key ? " lines" : " lines. All keys will be ignored.") << std::endl;
      return false;
  }
}

bool Reader::parse(SubSection& sub) {
  // Marked before anything is read, so that a key is never taken for an unknown one because a
  // required key before it ended the parse.
  sub.mRead = true;
  for (const Field* field : {&required, &optional}) {
    for (Private::KeyValue* binding : field->items) {
      auto known = sub.mIndex.find(binding->name());
      if (known != sub.mIndex.end()) known->second->mKnown = true;
    }
  }
  for (Private::KeyValue* binding : required.items)
    if (!read(sub, *binding, true)) return false;
  for (Private::KeyValue* binding : optional.items) read(sub, *binding, false);
  return true;
}

}  // namespace IniFile
