#include "asn1/avn_encoder.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <exception>
#include <new>
#include <sstream>
#include <string>

#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/io_wrapper.h"
#include "asn1/open_data.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/strings.h"
#include "asn1/values.h"

namespace ASN1 {

bool AVNEncoder::spaces(int n) {
  static const char blanks[] = "                                                                ";
  for (; n > 0; n -= 64) strm.write(blanks, std::min(n, 64));
  return strm.good();
}

bool AVNEncoder::hex(const char* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  char buf[3 * 256];
  size_t used = 0;
  strm.put('\'');
  for (size_t i = 0; i < n; ++i) {
    if (used + 3 > sizeof buf) {
      strm.write(buf, static_cast<std::streamsize>(used));
      used = 0;
    }
    if (i) buf[used++] = ' ';
    uint8_t b = static_cast<uint8_t>(p[i]);
    buf[used++] = digits[b >> 4];
    buf[used++] = digits[b & 15];
  }
  strm.write(buf, static_cast<std::streamsize>(used));
  strm << "'H";
  return strm.good();
}

bool AVNEncoder::quoted(const std::string& text) {
  strm.put('"');
  for (size_t from = 0; from <= text.size();) {
    size_t quote = std::min(text.find('"', from), text.size());
    strm.write(text.data() + from, static_cast<std::streamsize>(quote - from));
    if (quote < text.size()) strm << "\"\"";
    from = quote + 1;
  }
  strm.put('"');
  return strm.good();
}

bool AVNEncoder::do_visit(const Null&) { return bool(strm << "NULL"); }

bool AVNEncoder::do_visit(const BOOLEAN& value) {
  return bool(strm << (value.value ? "TRUE" : "FALSE"));
}

bool AVNEncoder::do_visit(const INTEGER& value) {
  if (value.unsigned_range())
    strm << static_cast<uint32_t>(value.value);
  else
    strm << value.value;
  return strm.good();
}

bool AVNEncoder::do_visit(const IntegerWithNamedNumber& value) {
  std::string name;
  if (value.getName(name)) return bool(strm << name);
  return do_visit(static_cast<const INTEGER&>(value));
}

bool AVNEncoder::do_visit(const ENUMERATED& value) {
  if (const char* name = value.getName())
    return bool(strm.write(name, static_cast<std::streamsize>(enum_name_length(name))));
  return bool(strm << value.value);
}

bool AVNEncoder::do_visit(const OBJECT_IDENTIFIER& value) {
  strm << "{ ";
  for (uint32_t arc : value.value) strm << arc << ' ';
  strm << '}';
  return strm.good();
}

bool AVNEncoder::do_visit(const BIT_STRING& value) {
  strm.put('\'');
  size_t bits = value.totalBits > 0 ? static_cast<size_t>(value.totalBits) : 0;
  bits = std::min(bits, value.bitData.size() * 8);
  for (size_t i = 0; i < bits; ++i) strm.put(value[static_cast<unsigned>(i)] ? '1' : '0');
  strm << "'B";
  return strm.good();
}

bool AVNEncoder::do_visit(const OCTET_STRING& value) { return hex(value.data(), value.size()); }

bool AVNEncoder::do_visit(const AbstractString& value) { return quoted(value); }

bool AVNEncoder::do_visit(const BMPString& value) {
  // A string that the quoted form cannot carry back (a NUL inside, or a character the locale
  // cannot write) is written as quadruples.
  bool quotable = value.find(L'\0') == std::wstring::npos;
  std::string text(value.size() * MB_CUR_MAX + 1, '\0');
  size_t n = quotable ? std::wcstombs(&text[0], value.c_str(), text.size())
                      : static_cast<size_t>(-1);
  if (n != static_cast<size_t>(-1)) {
    text.resize(n);
    return quoted(text);
  }
  strm << '{';
  for (size_t i = 0; i < value.size(); ++i) {
    uint32_t code = static_cast<uint32_t>(value[i]);
    if (i) strm << ", ";
    strm << "{ 0, 0, " << code / 256 << ", " << code % 256 << '}';
  }
  strm << '}';
  return strm.good();
}

bool AVNEncoder::do_visit(const CHOICE& value) {
  const char* name = value.getSelectionName();
  if (name == nullptr || value.choice == nullptr) return false;
  strm << name << " : ";
  return strm.good() && value.choice->accept(*this);
}

bool AVNEncoder::do_visit(const OpenData& value) {
  if (value.data) return value.data->accept(*this);
  if (value.buf) return hex(value.buf->data(), value.buf->size());
  return false;
}

bool AVNEncoder::do_visit(const GeneralizedTime& value) {
  return bool(strm << '"' << value.get() << '"');
}

bool AVNEncoder::do_visit(const SEQUENCE_OF_Base& value) {
  strm << "{\n";
  indent += 2;
  bool first = true;
  for (const AbstractData* element : value.container) {
    if (!first) strm << ",\n";
    first = false;
    if (!spaces(indent) || !element->accept(*this)) return false;
  }
  indent -= 2;
  if (!value.empty()) strm.put('\n');
  spaces(indent);
  strm.put('}');
  return strm.good();
}

bool AVNEncoder::preVisitExtensionRoots(const SEQUENCE&) {
  outputSeparators.push_back(false);
  strm << "{\n";
  return strm.good();
}

bool AVNEncoder::visitExtensionRoot(const SEQUENCE& seq, int index) {
  const AbstractData* field = seq.fields[index];
  if (field == nullptr) return false;
  if (outputSeparators.back()) strm << ",\n";
  spaces(indent + 2);
  strm << seq.info()->fieldNames[index] << ' ';
  indent += 2;
  bool ok = strm.good() && field->accept(*this);
  indent -= 2;
  outputSeparators.back() = true;
  return ok;
}

bool AVNEncoder::visitKnownExtension(const SEQUENCE& seq, int index) {
  return visitExtensionRoot(seq, index);
}

bool AVNEncoder::afterVisitSequence(const SEQUENCE&) {
  if (outputSeparators.back()) strm.put('\n');
  outputSeparators.pop_back();
  spaces(indent);
  strm.put('}');
  return strm.good();
}

std::ios_base::iostate AbstractData::print_on(std::ostream& os) const {
  AVNEncoder encoder(os);
  return accept(encoder) ? std::ios_base::goodbit : std::ios_base::failbit;
}

std::string AbstractData::asValueNotation() const {
  std::ostringstream os;
  print_on(os);
  return os.str();
}

std::ostream& operator<<(std::ostream& os, const AbstractData& value) {
  return io_wrapper(os, [&] { return value.print_on(os); });
}

}  // namespace ASN1
