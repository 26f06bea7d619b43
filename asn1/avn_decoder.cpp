#include "asn1/avn_decoder.h"

#include <cxxabi.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <sstream>
#include <type_traits>
#include <typeinfo>

#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/io_wrapper.h"
#include "asn1/open_data.h"
#include "asn1/per_encoder.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/strings.h"
#include "asn1/values.h"

namespace ASN1 {

namespace {

bool ends_word(int c) { return std::isspace(c) || c == ',' || c == '}' || c == ':'; }

int digit_value(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

std::string demangled(const AbstractData& value) {
  int status = -1;
  std::unique_ptr<char, void (*)(void*)> full(
      abi::__cxa_demangle(typeid(value).name(), nullptr, nullptr, &status), std::free);
  return status == 0 && full ? std::string(full.get()) : std::string();
}

// The ASN.1 name of a value's type from its C++ class: "TrunkParams", "INTEGER",
// "SEQUENCE OF IA5String".
std::string asn1_name(const std::string& cxx) {
  static const char kSequenceOf[] = "ASN1::SEQUENCE_OF<";
  if (cxx.compare(0, sizeof kSequenceOf - 1, kSequenceOf) == 0) {
    // The element's class is the first template argument.
    const size_t from = sizeof kSequenceOf - 1;
    size_t end = from;
    for (int depth = 0; end < cxx.size(); ++end) {
      if (cxx[end] == '<') ++depth;
      else if (cxx[end] == '>' && depth-- == 0) break;
      else if (cxx[end] == ',' && depth == 0) break;
    }
    return "SEQUENCE OF " + asn1_name(cxx.substr(from, end - from));
  }
  const std::string plain = cxx.substr(0, cxx.find('<'));  // template arguments left out
  const size_t colons = plain.rfind("::");
  std::string name = colons == std::string::npos ? plain : plain.substr(colons + 2);
  if (plain.compare(0, 6, "ASN1::") != 0) return name;
  if (name == "Null") return "NULL";
  if (name == "IntegerWithNamedNumber" || name == "Constrained_INTEGER") return "INTEGER";
  std::replace(name.begin(), name.end(), '_', ' ');  // OCTET STRING, OBJECT IDENTIFIER
  return name;
}

// The name of a generated class ("TrunkParams", its module left out), empty for the runtime's
// own classes.
std::string type_name(const AbstractData& value) {
  const std::string name = demangled(value);
  if (name.empty() || name.compare(0, 6, "ASN1::") == 0) return std::string();
  return asn1_name(name);
}

// " of TrunkParams", or nothing for a type without a class of its own.
std::string of_type(const AbstractData& value) {
  const std::string name = type_name(value);
  return name.empty() ? name : " of " + name;
}

// The type of field `index` of `seq`, for a message.
std::string field_type(const SEQUENCE& seq, unsigned index) {
  if (seq.fields[index]) return asn1_name(demangled(*seq.fields[index]));
  const TypeInfo* f = seq.info()->fieldInfos[index];
  std::unique_ptr<AbstractData> made(f->create(f));
  return made ? asn1_name(demangled(*made)) : std::string();
}

// The names (the part of each before "="), listed "a, b or c".
std::string listed(const char* const* names, unsigned count) {
  std::string text;
  for (unsigned i = 0; i < count; ++i) {
    if (i > 0) text += i + 1 == count ? " or " : ", ";
    const char* name = names[i] ? names[i] : "";
    text.append(name, std::strcspn(name, "="));
  }
  return text;
}

// "expected a, b or c" for a few names; with more, "expected <what> of Type: a, b, ... or z".
std::string expected_one_of(const char* const* names, unsigned count, const std::string& what,
                            const AbstractData& value) {
  constexpr unsigned kBare = 8;
  if (count == 0) return "expected " + what + of_type(value);
  if (count <= kBare) return "expected " + listed(names, count);
  return "expected " + what + of_type(value) + ": " + listed(names, count);
}

// "0..31" or "-5..5": the fixed range of `r`, unsigned when its lower limit is not negative.
std::string range_text(const ConstrainedInfo* r) {
  const std::string lower = std::to_string(r->lowerLimit);
  if (r->lowerLimit >= 0) return lower + ".." + std::to_string(r->upperLimit);
  return lower + ".." + std::to_string(static_cast<int32_t>(r->upperLimit));
}

// True when aligned PER encodes `value` as it stands.
bool encodes(const AbstractData& value) {
  std::vector<char> scratch;
  PEREncoder encoder(scratch);
  return value.accept(encoder);
}

// True when `size` fits the length that aligned PER writes for `r`: within a fixed range, and no
// longer than the codec writes without fragments.
bool length_fits(const ConstrainedInfo* r, size_t size) {
  if (r->constraintType == FixedConstraint && !size_within(r, size, true)) return false;
  return size <= PEREncoder::kMaxUnfragmented;
}

// Why a value of `size` has no encoding of its length: "70 characters out of range 1..64", or
// "16384 octets, above the codec's 16383". With no `r` (an open type), the codec alone bounds it.
std::string length_refusal(const ConstrainedInfo* r, size_t size, const char* what) {
  const std::string count = std::to_string(size) + " " + what;
  if (r && r->constraintType == FixedConstraint && !size_within(r, size, true))
    return count + " out of range " + range_text(r);
  return count + ", above the codec's " + std::to_string(PEREncoder::kMaxUnfragmented);
}

// Why a string that aligned PER refuses has no encoding: of a length that encodes, a character
// that the alphabet (written as an index into it) lacks; else its length.
template <class Text>
std::string string_refusal(const Text& value) {
  using Code = std::make_unsigned_t<typename Text::value_type>;
  const auto outside = std::find_if(value.begin(), value.end(),
                                    [&value](auto c) { return !value.legalCharacter(c); });
  if (outside == value.end() || !length_fits(value.info(), value.size()))
    return length_refusal(value.info(), value.size(), "characters");
  return "character " + std::to_string(static_cast<uint32_t>(static_cast<Code>(*outside))) +
         " is not in the string's alphabet";
}

// The INTEGER's value as its range reads it.
std::string number_text(const INTEGER& value) {
  return value.unsigned_range() ? std::to_string(static_cast<uint32_t>(value.value))
                                : std::to_string(value.value);
}

// Names `text` as what is being read for as long as it lives, then restores the name before.
class Naming {
 public:
  Naming(std::string& name, std::string text) : name_(name), before_(std::move(name)) {
    name_ = std::move(text);
  }
  ~Naming() { name_ = std::move(before_); }
  Naming(const Naming&) = delete;
  Naming& operator=(const Naming&) = delete;

 private:
  std::string& name_;
  std::string before_;
};

// Reads a whole number's text from `is` (blanks skipped): '-' (or '+' when `plus_too`) and
// digits. False, with what was taken, when no digit follows the sign.
bool read_whole_number(std::istream& is, bool plus_too, std::string& text) {
  is >> std::ws;
  int c = is.peek();
  if (c == '-' || (plus_too && c == '+')) text.push_back(static_cast<char>(is.get()));
  while ((c = is.peek()) != std::char_traits<char>::eof() && c >= '0' && c <= '9')
    text.push_back(static_cast<char>(is.get()));
  is.clear(is.rdstate() & ~std::ios_base::eofbit);
  return !text.empty() && std::isdigit(static_cast<unsigned char>(text.back()));
}

bool parse_arc(const std::string& digits, uint32_t& arc) {
  if (digits.empty() || digits.size() > 10) return false;
  uint64_t v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > UINT32_MAX) return false;
  arc = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

bool get_string(std::istream& is, std::string& text) {
  char c;
  if (!(is >> c) || c != '"') return false;
  text.clear();
  for (;;) {
    std::string piece;
    std::getline(is, piece, '"');
    if (is.eof() || is.fail()) return false;
    text += piece;
    if (is.peek() != '"') break;
    is.get();
    text.push_back('"');  // X.680 12.14: a quote inside is written twice
  }
  is.clear(is.rdstate() & ~std::ios_base::eofbit);
  return true;
}

bool get_from_string(std::string digits, std::vector<char>& bytes, unsigned& bitCount, int base) {
  if (base != 2 && base != 16) return false;
  std::string clean;
  clean.reserve(digits.size());
  for (char c : digits)
    if (!std::isspace(static_cast<unsigned char>(c))) clean.push_back(c);
  unsigned per_digit = base == 2 ? 1 : 4;
  if (clean.size() > UINT_MAX / per_digit) return false;
  bitCount = static_cast<unsigned>(clean.size()) * per_digit;
  size_t group = base == 2 ? 8 : 2;
  while (clean.size() % group) clean.push_back('0');
  bytes.clear();
  bytes.reserve(clean.size() / group);
  for (size_t i = 0; i < clean.size(); i += group) {
    int byte = 0;
    for (size_t j = 0; j < group; ++j) {
      int d = digit_value(clean[i + j], base);
      if (d < 0) return false;
      byte = byte * base + d;
    }
    bytes.push_back(static_cast<char>(byte));
  }
  return true;
}

bool get_value_from(std::istream& is, std::vector<char>& bytes, unsigned& bitCount) {
  char c;
  if (!(is >> c) || c != '\'') return false;
  std::string digits;
  std::getline(is, digits, '\'');
  if (is.eof() || is.fail() || !(is >> c)) return false;
  if (c == 'B') return get_from_string(digits, bytes, bitCount, 2);
  if (c == 'H') return get_from_string(digits, bytes, bitCount, 16);
  return false;
}

bool get_id(const char* const* names, unsigned count, const std::string& name, int& index) {
  for (unsigned i = 0; i < count; ++i) {
    if (names[i] && name == names[i]) {
      index = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

bool AVNDecoder::readWord(std::string& word) {
  word.clear();
  strm >> std::ws;
  int c = strm.peek();
  if (c == std::char_traits<char>::eof()) return false;
  if (ends_word(c)) {
    word.push_back(static_cast<char>(strm.get()));
    return true;
  }
  while ((c = strm.peek()) != std::char_traits<char>::eof() && !ends_word(c))
    word.push_back(static_cast<char>(strm.get()));
  strm.clear(strm.rdstate() & ~std::ios_base::eofbit);
  return true;
}

std::string AVNDecoder::readLetters() {
  std::string word;
  if (strict_) {
    strm >> std::ws;
    for (int c = strm.peek(); c != std::char_traits<char>::eof() && std::isalpha(c);
         c = strm.peek())
      word.push_back(static_cast<char>(strm.get()));
    strm.clear(strm.rdstate() & ~std::ios_base::eofbit);
    return word;
  }
  char c;
  while (strm >> c) {
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      strm.unget();
      break;
    }
    word.push_back(c);
  }
  strm.clear(strm.rdstate() & ~(std::ios_base::eofbit | std::ios_base::failbit));
  return word;
}

bool AVNDecoder::peekNumber() {
  strm >> std::ws;
  int c = strm.peek();
  return c == '-' || (c >= '0' && c <= '9');
}

void AVNDecoder::mark() {
  if (!strict_) return;
  std::streambuf* buf = strm.rdbuf();
  if (!buf) return;
  int c;
  while ((c = buf->sgetc()) != std::char_traits<char>::eof() && std::isspace(c)) buf->sbumpc();
  token_ = buf->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
}

bool AVNDecoder::expect(const std::string& what) { return expect(what, token_); }

bool AVNDecoder::expect_value(const std::string& what) {
  return expect(member_.empty() ? what : member_ + ": " + what);
}

bool AVNDecoder::expect(const std::string& what, std::streamoff at) {
  if (strict_ && error_.empty()) {
    error_ = what;
    error_offset_ = at;
  }
  return false;
}

bool AVNDecoder::mandatory_named(const SEQUENCE& seq, unsigned first, Members& open) {
  const SequenceInfo* r = seq.info();
  if (open.missing.empty()) open.missing_at = token_;
  for (unsigned i = first; i < r->numberOfRoots; ++i) {
    if (r->fieldIds[i] == -1) open.missing.push_back(i);
  }
  if (open.missing.empty()) return true;
  std::string names;
  for (unsigned i : open.missing) {
    if (!names.empty()) names += ", ";
    names += std::string(r->fieldNames[i]) + " (" + field_type(seq, i) + ")";
  }
  return expect((open.missing.size() == 1 ? "missing member " : "missing members ") + names +
                    of_type(seq),
                open.missing_at);
}

bool AVNDecoder::wrong_member(const SEQUENCE& seq, int index) {
  if (!strict_) return false;
  const SequenceInfo* r = seq.info();
  Members& open = open_.back();
  const std::string& name = open.name;
  const unsigned count = r->numberOfRoots + r->numberOfKnownExtensions;
  int at = -1;
  get_id(r->fieldNames, count, name, at);
  if (index >= 0 && name == "}") return mandatory_named(seq, static_cast<unsigned>(index), open);
  if (index >= 0 && at > index) {
    // A member left out: noted, and reading goes on with the one named, so that one message
    // names every member the SEQUENCE lacks.
    if (open.missing.empty()) open.missing_at = token_;
    open.missing.push_back(static_cast<unsigned>(index));
    return true;
  }
  if (at >= 0) {
    const bool repeated =
        std::find(open.read.begin(), open.read.end(), unsigned(at)) != open.read.end();
    return expect("member " + name + of_type(seq) + (repeated ? " repeated" : " out of order"));
  }
  std::string members;
  for (unsigned i = 0; i < count; ++i) {
    members += i == 0 ? "; its members: " : ", ";
    members += r->fieldNames[i];
    if (i >= r->numberOfRoots || r->fieldIds[i] != -1) members += " (optional)";
  }
  return expect("unknown member " + name + of_type(seq) + members);
}

bool AVNDecoder::do_visit(Null&) {
  mark();
  return readLetters() == "NULL" || expect_value("expected NULL");
}

bool AVNDecoder::do_visit(BOOLEAN& value) {
  mark();
  std::string word = readLetters();
  if (word == "TRUE") value.value = true;
  else if (word == "FALSE") value.value = false;
  else return expect_value("expected TRUE or FALSE");
  return true;
}

bool AVNDecoder::do_visit(INTEGER& value) {
  mark();
  const bool non_negative = value.unsigned_range();
  const char* expected = non_negative ? "expected a number, 0 or more" : "expected a number";
  std::string text;
  if (!read_whole_number(strm, !non_negative, text)) return expect_value(expected);
  // What the codec keeps of an INTEGER: 32 bits, unsigned for a range from 0.
  const long long lowest = non_negative ? 0 : std::numeric_limits<int32_t>::min();
  const long long highest = non_negative ? std::numeric_limits<uint32_t>::max()
                                         : std::numeric_limits<int32_t>::max();
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || v < lowest || v > highest) {
    // A number written whole that the type cannot hold: named with the range it takes.
    if (!only_sendable_) return expect_value(expected);
    const ConstrainedInfo* r = value.info();
    return expect_value(text + " out of range " +
                        (r->constraintType == FixedConstraint
                             ? range_text(r)
                             : std::to_string(lowest) + ".." + std::to_string(highest)));
  }
  value.value = static_cast<int32_t>(static_cast<uint32_t>(v));
  // Only a fixed range bounds what aligned PER carries: an extensible one takes any number.
  return sends(value) || expect_value(number_text(value) + " out of range " +
                                      range_text(value.info()));
}

bool AVNDecoder::do_visit(IntegerWithNamedNumber& value) {
  if (peekNumber()) return do_visit(static_cast<INTEGER&>(value));
  mark();
  std::string word;
  if (!readWord(word) || !value.setFromName(word))
    return expect_value("expected a number or a name");
  return sends(value) || expect_value(word + " (" + number_text(value) + ") out of range " +
                                      range_text(value.info()));
}

bool AVNDecoder::do_visit(ENUMERATED& value) {
  mark();
  if (peekNumber()) {
    int32_t v;
    if (!(strm >> v)) return expect_value("expected a number");
    value.value = v;
    return sendable(value);
  }
  std::string word;
  if (readWord(word) && value.setFromName(word)) return sendable(value);
  if (!strict_) return false;
  if (!only_sendable_)
    return expect_value(
        expected_one_of(value.info()->names, value.info()->nameCount, "a value", value));
  return expect_value(sendable_names(value));
}

// Aligned PER carries an enumerator as its number in 0..largest (any number of 0 or more after
// the extension marker): a negative one, or a number above the largest of a type without the
// marker, has no encoding; a number within that names no enumerator of a type without the
// marker is no value of the type. Reading only what can be sent, the strict decoder refuses
// them, naming the member and what it can take.
bool AVNDecoder::sendable(const ENUMERATED& value) {
  const char* name = value.getName();
  if (!strict_ || !only_sendable_ || (encodes(value) && (name || value.info()->extendable)))
    return true;
  if (!name)
    return expect_value(std::to_string(value.value) + " is no value" + of_type(value) + "; " +
                        sendable_names(value));
  return expect_value(std::string(name, enum_name_length(name)) + of_type(value) +
                      " cannot be encoded; " + sendable_names(value));
}

// The encoder is asked, so the reader refuses no value that the codec can send.
bool AVNDecoder::sends(const AbstractData& value) const {
  return !strict_ || !only_sendable_ || encodes(value);
}

// "expected a, b or c": the enumerators that aligned PER carries.
std::string AVNDecoder::sendable_names(const ENUMERATED& value) {
  const EnumeratedInfo* r = value.info();
  std::vector<const char*> names;
  for (uint32_t i = 0; i < r->nameCount; ++i) {
    const int32_t number = r->numbers ? r->numbers[i] : static_cast<int32_t>(i);
    if (number >= 0 && number <= r->maxEnumValue) names.push_back(r->names[i]);
  }
  return expected_one_of(names.data(), unsigned(names.size()), "a value", value);
}

bool AVNDecoder::do_visit(OBJECT_IDENTIFIER& value) {
  mark();
  char c;
  if (!(strm >> c) || c != '{') return expect_value("expected an OBJECT IDENTIFIER in braces");
  std::string text;
  std::getline(strm, text, '}');
  if (strm.eof() || strm.fail()) return expect_value("expected an OBJECT IDENTIFIER in braces");
  std::istringstream words(text);
  std::string word;
  value.value.clear();
  while (words >> word) {
    uint32_t arc;
    size_t open = word.find('(');
    if (open != std::string::npos && word.back() == ')' && open > 0) {
      if (!parse_arc(word.substr(open + 1, word.size() - open - 2), arc)) return false;
    } else if (!parse_arc(word, arc)) {
      return expect_value("expected an OBJECT IDENTIFIER in braces");
    }
    value.value.push_back(arc);
  }
  return sends(value) || expect_value("an OBJECT IDENTIFIER that aligned PER cannot carry");
}

bool AVNDecoder::do_visit(OCTET_STRING& value) {
  mark();
  unsigned bits;
  if (!get_value_from(strm, value, bits)) return expect_value("expected octets as 'hex'H or 'bits'B");
  return sends(value) || expect_value(length_refusal(value.info(), value.size(), "octets"));
}

bool AVNDecoder::do_visit(BIT_STRING& value) {
  mark();
  unsigned bits;
  if (!get_value_from(strm, value.bitData, bits) || bits > INT32_MAX)
    return expect_value("expected bits as 'bits'B or 'hex'H");
  value.totalBits = static_cast<int32_t>(bits);
  return sends(value) || expect_value(length_refusal(value.info(), bits, "bits"));
}

bool AVNDecoder::do_visit(AbstractString& value) {
  mark();
  if (!get_string(strm, value)) return expect_value("expected a string in double quotes");
  return sends(value) || expect_value(string_refusal(value));
}

bool AVNDecoder::do_visit(BMPString& value) {
  mark();
  if (!readBMP(value)) return expect_value("expected a string in double quotes");
  return sends(value) || expect_value(string_refusal(value));
}

bool AVNDecoder::readBMP(BMPString& value) {
  strm >> std::ws;
  if (strm.peek() == '{') {
    // { {0, 0, row, cell}, ... } (X.680 Quadruple)
    char c;
    strm >> c >> c;
    std::wstring wide;
    if (!strm) return false;
    if (c != '}') {
      strm.unget();
      for (;;) {
        unsigned q[4];
        char open, sep[3], close, next;
        if (!(strm >> open >> q[0] >> sep[0] >> q[1] >> sep[1] >> q[2] >> sep[2] >> q[3] >>
              close >> next))
          return false;
        if (open != '{' || sep[0] != ',' || sep[1] != ',' || sep[2] != ',' || close != '}' ||
            q[0] != 0 || q[1] != 0 || q[2] > 255 || q[3] > 255)
          return false;
        wide.push_back(static_cast<wchar_t>(q[2] * 256 + q[3]));
        if (next == '}') break;
        if (next != ',') return false;
      }
    }
    value.assign(wide);
    return true;
  }
  std::string text;
  if (!get_string(strm, text)) return false;
  std::wstring wide(text.size() + 1, L'\0');
  size_t n = std::mbstowcs(&wide[0], text.c_str(), wide.size());
  if (n == static_cast<size_t>(-1)) return false;
  wide.resize(n);
  if (!std::all_of(wide.begin(), wide.end(), in_bmp)) return false;
  value.assign(wide);
  return true;
}

bool AVNDecoder::do_visit(CHOICE& value) {
  const ChoiceInfo* r = value.info();
  mark();
  std::string name;
  int index = -1;
  if (readWord(name)) get_id(r->selectionNames, r->totalSelections, name, index);
  if (index < 0) {
    if (!strict_) return false;
    return expect_value(
        expected_one_of(r->selectionNames, r->totalSelections, "an alternative", value));
  }
  mark();
  char colon;
  if (!(strm >> colon) || colon != ':') return expect("expected ':' after " + name);
  Naming naming(member_, "alternative " + name);
  return value.select(index) && value.choice->accept(*this);
}

bool AVNDecoder::do_visit(SEQUENCE_OF_Base& value) {
  char c;
  mark();
  if (!(strm >> c) || c != '{') return expect("expected '{'");
  mark();
  if (!(strm >> c)) return expect("expected an element or '}'");
  value.clear();
  if (c == '}') return sends(value) || expect_value(length_refusal(value.info(), 0, "elements"));
  strm.unget();
  for (;;) {
    AbstractData* element = value.create_element();
    if (!element->accept(*this)) {
      delete element;
      return false;
    }
    mark();
    if (!(strm >> c)) {
      delete element;
      return expect("expected ',' or '}'");
    }
    value.push_back_owned(element);
    if (c == '}')
      return sends(value) || expect_value(length_refusal(value.info(), value.size(), "elements"));
    if (c != ',') return expect("expected ',' or '}'");
  }
}

bool AVNDecoder::do_visit(OpenData& value) {
  if (value.data) return value.data->accept(*this);
  mark();
  std::unique_ptr<std::vector<char>> bytes(new std::vector<char>);
  unsigned bits;
  if (!get_value_from(strm, *bytes, bits)) return expect_value("expected octets as 'hex'H");
  value.buf = std::move(bytes);
  return sends(value) || expect_value(length_refusal(nullptr, value.buf->size(), "octets"));
}

bool AVNDecoder::do_revisit(OpenData&) { return false; }

bool AVNDecoder::do_visit(TypeConstrainedOpenData& value) {
  return do_visit(static_cast<OpenData&>(value));
}

bool AVNDecoder::do_visit(GeneralizedTime& value) {
  mark();
  std::string text;
  return (get_string(strm, text) && value.set(text.c_str())) ||
         expect_value("expected a time in double quotes");
}

int AVNDecoder::preVisitExtensionRoots(SEQUENCE& seq) {
  char c;
  mark();
  if (!(strm >> c) || c != '{') {
    expect("expected '{'");
    return FAIL;
  }
  mark();
  if (!(strm >> c)) {
    expect("expected a member or '}'");
    return FAIL;
  }
  if (c == '}') {
    Members none;
    return strict_ && !mandatory_named(seq, 0, none) ? FAIL : STOP;
  }
  strm.unget();
  open_.emplace_back();
  return readWord(open_.back().name) ? CONTINUE : FAIL;
}

int AVNDecoder::visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) {
  if (open_.back().name != seq.info()->fieldNames[index]) {
    if (optionalId == -1) return wrong_member(seq, index) ? CONTINUE : FAIL;
    seq.removeOptionalField(static_cast<unsigned>(optionalId));
    return CONTINUE;
  }
  if (optionalId != -1) {
    seq.includeOptionalField(static_cast<unsigned>(optionalId), static_cast<unsigned>(index));
  } else if (seq.fields[index] == nullptr) {
    const TypeInfo* f = seq.info()->fieldInfos[index];
    seq.fields[index] = f->create(f);
  }
  open_.back().read.push_back(static_cast<unsigned>(index));
  {
    Naming naming(member_, std::string("member ") + seq.info()->fieldNames[index]);
    if (!seq.fields[index]->accept(*this)) return FAIL;
  }
  mark();
  char c;
  if (strm >> c && c == ',') {
    mark();
    if (readWord(open_.back().name)) return CONTINUE;
    expect("expected a member or '}'");
    return FAIL;
  }
  if (strm && c == '}') return closed(seq, static_cast<unsigned>(index) + 1) ? STOP : FAIL;
  expect("expected ',' or '}'");
  return FAIL;
}

int AVNDecoder::preVisitExtensions(SEQUENCE&) { return CONTINUE; }

int AVNDecoder::visitKnownExtension(SEQUENCE& seq, int index, int optionalId) {
  return visitExtensionRoot(seq, index, optionalId);
}

bool AVNDecoder::visitUnknownExtensions(SEQUENCE& seq) {
  if (open_.back().name != "}") return wrong_member(seq, -1);
  return closed(seq, seq.info()->numberOfRoots);
}

bool AVNDecoder::closed(const SEQUENCE& seq, unsigned first) {
  const bool complete = !strict_ || mandatory_named(seq, first, open_.back());
  open_.pop_back();
  return complete;
}

std::ios_base::iostate AbstractData::get_from(std::istream& is) {
  AVNDecoder decoder(is);
  return accept(decoder) ? std::ios_base::goodbit : std::ios_base::failbit;
}

bool AbstractData::setFromValueNotation(const std::string& text) {
  std::istringstream is(text);
  return get_from(is) == std::ios_base::goodbit;
}

std::istream& operator>>(std::istream& is, AbstractData& value) {
  return io_wrapper(is, [&] { return value.get_from(is); });
}

}  // namespace ASN1
