// Value-notation parser: reads what the printer (asn1/avn_encoder.h) writes into an existing
// value, guided by its type records. Insensitive to line breaks and spacing between tokens;
// identifiers end at white space, ',', '}' and ':'; quoted strings are taken as they stand,
// except that "" inside one is a single quote.
//
// A strict decoder (for the tools that read what people type) also refuses two forms that the
// plain one accepts: a SEQUENCE that leaves out a mandatory member, and NULL, TRUE or FALSE
// written with white space inside. After a failure it tells where, as an offset in the stream,
// and what it expected there: every mandatory member that a SEQUENCE lacks, with its type, at
// the place of the first ("missing members freq (RadioFrequency), rte (RadioRTE) of
// LemzRadioStatus"), or every name a CHOICE or ENUMERATED could take; a failure inside the value
// of a member (or of a CHOICE's alternative) names it ("member timeslot: ..."), and an unknown
// member is told with every member of its SEQUENCE, the optional ones marked. Told to read only
// what can be sent (only_sendable), it asks the aligned PER encoder about each value as it is
// read and refuses what the encoder refuses, naming the member and what it can take: an INTEGER
// outside its fixed range (a negative number for a range from 0, and a number past 32 bits, with
// that range too); a string, octets, bits or SEQUENCE OF whose length is outside its
// fixed range or above the codec's 16,383; a character missing from an alphabet that PER writes
// as an index into it (an IA5String's eight-bit characters carry any octet); an enumerator that
// PER cannot carry (not-use(-1) of RadioStandby). Beyond the encoder, it refuses a number that
// names no enumerator of a type without an extension marker. Nothing that extensible types,
// extension additions or open types carry is refused. The plain decoder keeps no such record
// and refuses, without naming a range, only what the codec cannot hold at all (a number past
// the 32 bits of an INTEGER).
#pragma once

#include <ios>
#include <istream>
#include <string>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class AVNDecoder : public Visitor {
 public:
  explicit AVNDecoder(std::istream& is, bool strict = false) : strm(is), strict_(strict) {}

  // Strict decoder, after a failure: the offset in the stream of the token where reading failed
  // (-1 when the stream cannot tell), and what was expected there.
  std::streamoff error_offset() const { return error_offset_; }
  const std::string& error() const { return error_; }
  // Strict decoder: refuse values that aligned PER cannot carry, for text that is to be sent.
  void only_sendable() { only_sendable_ = true; }

  bool do_visit(Null& value) override;
  bool do_visit(BOOLEAN& value) override;
  bool do_visit(INTEGER& value) override;
  bool do_visit(IntegerWithNamedNumber& value) override;
  bool do_visit(ENUMERATED& value) override;
  bool do_visit(OBJECT_IDENTIFIER& value) override;
  bool do_visit(OCTET_STRING& value) override;
  bool do_visit(BIT_STRING& value) override;
  bool do_visit(AbstractString& value) override;
  bool do_visit(BMPString& value) override;
  bool do_visit(CHOICE& value) override;
  bool do_visit(SEQUENCE_OF_Base& value) override;
  bool do_visit(OpenData& value) override;
  bool do_revisit(OpenData& value) override;
  bool do_visit(TypeConstrainedOpenData& value) override;
  bool do_visit(GeneralizedTime& value) override;

  int preVisitExtensionRoots(SEQUENCE& seq) override;
  int visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) override;
  int preVisitExtensions(SEQUENCE& seq) override;
  int visitKnownExtension(SEQUENCE& seq, int index, int optionalId) override;
  bool visitUnknownExtensions(SEQUENCE& seq) override;

 private:
  // An identifier; a lone ',', '}' or ':' is read as a word of its own.
  bool readWord(std::string& word);
  // Letters, white space between them skipped (NULL, TRUE, FALSE).
  std::string readLetters();
  bool peekNumber();
  bool readBMP(BMPString& value);
  // Strict decoder reading only what can be sent: false, the failure recorded, for an
  // enumerator that aligned PER cannot carry.
  bool sendable(const ENUMERATED& value);
  std::string sendable_names(const ENUMERATED& value);
  // False when the decoder reads only what can be sent and aligned PER cannot encode `value`.
  bool sends(const AbstractData& value) const;
  // Strict decoder: records the failure of a value, naming the member (or alternative) read.
  bool expect_value(const std::string& what);
  // Strict decoder: notes where the next token starts (white space skipped).
  void mark();
  // The SEQUENCE being read: the identifier last read in it, the members read, and the
  // mandatory members found left out so far (strict decoder) with the offset of the first.
  struct Members {
    std::string name;
    std::vector<unsigned> read;
    std::vector<unsigned> missing;
    std::streamoff missing_at = -1;
  };

  // Strict decoder: records the first failure, at the last mark or at `at`; always false.
  bool expect(const std::string& what);
  bool expect(const std::string& what, std::streamoff at);
  // Strict decoder: false, and every member of `open.missing` and every mandatory root field
  // from `first` on named in the failure, when any was left out.
  bool mandatory_named(const SEQUENCE& seq, unsigned first, Members& open);
  // The identifier on top does not fit field `index` (-1: none is left). True when it names a
  // later member, so that field `index`, noted as left out, is skipped; else false, the failure
  // recorded.
  bool wrong_member(const SEQUENCE& seq, int index);
  // The SEQUENCE on top has ended, fields from `first` on unread: false when the strict decoder
  // finds mandatory members left out.
  bool closed(const SEQUENCE& seq, unsigned first);

  std::istream& strm;
  std::vector<Members> open_;
  // The member or alternative whose value is being read ("member timeslot", "alternative
  // connect"), empty at the top.
  std::string member_;
  bool strict_;
  bool only_sendable_ = false;
  std::streamoff token_ = -1;
  std::streamoff error_offset_ = -1;
  std::string error_;
};

// A quoted string: '"', every character up to the closing '"' as it stands, "" read as '"'.
bool get_string(std::istream& is, std::string& text);
// A bit string 'bbb'B or a hexadecimal string 'hhh'H.
bool get_value_from(std::istream& is, std::vector<char>& bytes, unsigned& bitCount);
// Converts binary (base 2) or hexadecimal (base 16) digits, spaces and newlines ignored, into
// bytes padded with zero bits; bitCount is the number of bits the digits give.
bool get_from_string(std::string digits, std::vector<char>& bytes, unsigned& bitCount, int base);
// Position of `name` among the first `count` names.
bool get_id(const char* const* names, unsigned count, const std::string& name, int& index);

}  // namespace ASN1
