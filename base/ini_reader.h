// IniFile::Reader: reads one IniFile::SubSection into typed program variables.
//
// The user binds each key to a variable, as required or as optional, then calls parse(). A
// required key must be present exactly once with a value its binding accepts, or the
// subsection is rejected; a bad optional key is reported and skipped. Every problem is one
// report on the reader's stream, each line opened by the reader's prefix.
//
//   IniFile::Reader reader("traces: ", std::cerr);
//   reader.optional.add(&hdlc, "signalling.hdlc", 0);
//   reader.parse(sub);
#pragma once

#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "base/ini_file.h"

namespace IniFile {

// One keyword of a keyword table; a table ends with an entry whose name is null.
template <class T>
struct Symbol {
  const char* name;
  T value;
};

namespace Private {

class KeyValue {
 public:
  KeyValue() = default;
  KeyValue(const KeyValue&) = delete;
  KeyValue& operator=(const KeyValue&) = delete;
  virtual ~KeyValue() = default;
  virtual const char* name() const = 0;
  // Converts the text into the bound variable; false (variable untouched) when rejected.
  virtual bool do_parse(const char* text) = 0;

  // Set by parse: the key was present once with an accepted value.
  bool flag = false;
};

// Words of bool keys: "true", "yes", "enabled", "enable", "1" and their opposites.
bool parse_bool(const char* text, bool& out);
// A whole, non-empty number as strtol reads it with base 0 (decimal, 0x hex, 0 octal).
bool parse_long(const char* text, long& out);

// Whether n is a value of the integer type U.
template <class U>
bool fits(long n) {
  if (std::is_signed<U>::value)
    return n >= static_cast<long>(std::numeric_limits<U>::min()) &&
           n <= static_cast<long>(std::numeric_limits<U>::max());
  return n >= 0 && static_cast<unsigned long>(n) <= static_cast<unsigned long>(std::numeric_limits<U>::max());
}

template <class T>
class TKeyValue : public KeyValue {
  static_assert(std::is_enum<T>::value, "bind bool, std::string or an enumeration");

 public:
  TKeyValue(T* var, const char* key, const Symbol<T>* table) : var_(var), key_(key), table_(table) {}
  const char* name() const override { return key_; }
  bool do_parse(const char* text) override {
    if (table_) {
      for (const Symbol<T>* s = table_; s->name; ++s) {
        if (std::strcmp(s->name, text) == 0) {
          *var_ = s->value;
          return true;
        }
      }
    }
    using U = typename std::underlying_type<T>::type;
    long n;
    if (!parse_long(text, n) || !fits<U>(n)) return false;
    *var_ = static_cast<T>(static_cast<U>(n));
    return true;
  }

 private:
  T* var_;
  const char* key_;
  const Symbol<T>* table_;
};

template <>
class TKeyValue<bool> : public KeyValue {
 public:
  TKeyValue(bool* var, const char* key, const Symbol<bool>*) : var_(var), key_(key) {}
  const char* name() const override { return key_; }
  bool do_parse(const char* text) override { return parse_bool(text, *var_); }

 private:
  bool* var_;
  const char* key_;
};

template <>
class TKeyValue<std::string> : public KeyValue {
 public:
  TKeyValue(std::string* var, const char* key, const Symbol<std::string>*) : var_(var), key_(key) {}
  const char* name() const override { return key_; }
  bool do_parse(const char* text) override {
    *var_ = text;
    return true;
  }

 private:
  std::string* var_;
  const char* key_;
};

template <class T>
struct NonDeduced {
  using type = T;
};

}  // namespace Private

class Reader {
 public:
  // An ordered list of key bindings, owned.
  class Field {
   public:
    Field() = default;
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;
    ~Field();

    // Appends the binding (taking it) and returns its flag, valid while the Reader lives.
    bool& add(Private::KeyValue* binding);
    // Binds the variable to the key; the key text must outlive the binding. The table is used
    // for enumerations only and may be null (0).
    template <class T>
    bool& add(T* var, const char* key, const typename Private::NonDeduced<Symbol<T>>::type* table) {
      return add(new Private::TKeyValue<T>(var, key, table));
    }

    std::vector<Private::KeyValue*> items;
  };

  Reader(const std::string& prefix, std::ostream& log) : prefix_(prefix), log_(&log) {}

  // True when every required key was read; false at the first required key that is missing,
  // repeated or invalid (later bindings are then not looked at). Marks the subsection read and
  // every key of it that a binding names known (see IniFile::ReportIgnored).
  bool parse(SubSection& sub);

  Field required;
  Field optional;

 private:
  // Reads one binding and reports what is wrong; false when the key was not read.
  bool read(SubSection& sub, Private::KeyValue& binding, bool required_key);
  std::ostream& line();

  std::string prefix_;
  std::ostream* log_;
};

}  // namespace IniFile
