// Type-information records: the constant tables that give a runtime value its ASN.1 type.
//
// A value (asn1/abstract_data.h) holds one pointer to its record. The value classes never know
// the schema: the codecs, the value-notation printer and parser and the checkers read the record
// for constraints, names and component tables. Every record is a constant aggregate that starts
// with the common head (TypeInfo); each kind appends its own fields, so a record is written as
// nested braces, for example
//
//   const ASN1::ConstrainedInfo slot_info = {{&ASN1::INTEGER::create, 2}, ASN1::FixedConstraint,
//                                            0, 1023};
//
// The kind of a record follows from the value class whose create() it names. Records are never
// freed and never change; they may point to each other in any order (only addresses are stored),
// so a schema needs no start-up code.
//
// `create` is called with the record itself and returns a new default value owned by the caller.
// A generated class that derives from a runtime class (a SEQUENCE, CHOICE, ENUMERATED or
// SEQUENCE OF with typed accessors) names ASN1::create_as<TheClass> (asn1/abstract_data.h), so
// that every value of that type, decoded, parsed or cloned, is an object of that class; other
// records name the runtime class's own create().
#pragma once

#include <cstdint>

namespace ASN1 {

class AbstractData;

typedef AbstractData* (*CreateFunction)(const void* info);

// Tag word: class bits of the identifier octet (0x00 universal, 0x40 application, 0x80 context,
// 0xC0 private) shifted left by 16, ORed with the tag number; 0 for a type without a tag of its
// own (CHOICE, open type).
struct TypeInfo {
  CreateFunction create;
  uint32_t tag;
};

// Records of NULL, BOOLEAN, OBJECT IDENTIFIER, GeneralizedTime and open types have the head
// alone.
typedef TypeInfo NullInfo;

enum ConstraintType : int32_t {
  Unconstrained = 0,
  PartiallyConstrained = 1,  // lower bound only
  FixedConstraint = 2,       // lowerLimit..upperLimit
  ExtendableConstraint = 3,  // lowerLimit..upperLimit, ...
};

// INTEGER (the value range), BIT STRING, OCTET STRING (the size range). A range whose
// lowerLimit is not negative is read as unsigned: INTEGER (0..4294967295) has upperLimit
// 4294967295.
struct ConstrainedInfo : TypeInfo {
  int32_t constraintType;
  int32_t lowerLimit;
  uint32_t upperLimit;
};

// INTEGER with named numbers: `names` sorted by ascending value.
struct NameEntry {
  int32_t value;
  const char* name;
};
struct NamedIntegerInfo : ConstrainedInfo {
  const NameEntry* names;
  uint32_t entryCount;
};

// Character strings (NumericString, PrintableString, VisibleString, IA5String, GeneralString):
// the size constraint, then the permitted characters in ascending code order (characterSetSize
// 0: no restriction) and the bits per character in the canonical form, unaligned and aligned
// PER. A record of a string type with its own size constraint points characterSet at one of the
// runtime sets below (for example ASN1::ia5_character_set) and copies its size and widths.
struct StringInfo : ConstrainedInfo {
  const char* characterSet;
  uint32_t characterSetSize;
  uint32_t canonicalCharacterBits;
  uint32_t unalignedCharacterBits;
  uint32_t alignedCharacterBits;
};

// BMPString: the size constraint, then the permitted code range and the PER widths.
struct BMPStringInfo : ConstrainedInfo {
  uint32_t firstCharacter;
  uint32_t lastCharacter;
  uint32_t unalignedCharacterBits;
  uint32_t alignedCharacterBits;
};

// ENUMERATED. `names` holds one entry per enumerator in definition order (`nameCount` of them)
// and `numbers` the number of each entry; several entries may share a number. An entry is the
// enumerator's name, optionally followed by "=" and its number ("gw-get-id=4097"); only the
// part before "=" is the name. `maxEnumValue`
// is the largest number: aligned PER carries the number as a whole number in 0..maxEnumValue.
// A value prints as the name of the first entry with its number (or as the number when no entry
// has it); value notation accepts the name of any entry. `numbers` may be null for a dense
// enumeration, whose entry i has the number i.
struct EnumeratedInfo : TypeInfo {
  bool extendable;
  int32_t maxEnumValue;
  const char* const* names;
  uint32_t nameCount;
  const int32_t* numbers;
};

// SEQUENCE. `fieldInfos` and `fieldNames` have one entry per field, root fields first, then the
// extension additions this side knows. `fieldIds` has one entry per root field: -1 for a
// mandatory field, else the field's optional id (0, 1, 2 ... in root order); known extensions
// take the ids after the optional roots. `defaultExtensionMap` is a packed bitmap (first bit =
// 0x80 of byte 0) of the known extensions present in a new value, or null. Fields are tagged
// automatically in BER: field i carries the context tag [i].
struct SequenceInfo : TypeInfo {
  bool extendable;
  const TypeInfo* const* fieldInfos;
  const int32_t* fieldIds;
  uint32_t numberOfRoots;
  uint32_t numberOfKnownExtensions;
  uint32_t numberOfOptionals;
  const char* defaultExtensionMap;
  const char* const* fieldNames;
};

// CHOICE. `selectionInfos` and `selectionNames` have `totalSelections` entries, the
// `numberOfRoots` root alternatives first, then the known extension alternatives.
// `tagToSelection` is null (alternative i carries the context tag [i] in BER).
struct ChoiceInfo : TypeInfo {
  bool extendable;
  const TypeInfo* const* selectionInfos;
  uint32_t numberOfRoots;
  uint32_t totalSelections;
  const uint32_t* tagToSelection;
  const char* const* selectionNames;
};

// SEQUENCE OF / SET OF (tag 16 / 17): the size constraint, then the element's record.
struct SequenceOfInfo : ConstrainedInfo {
  const TypeInfo* elementInfo;
};

// Open type whose contained type is known: the record of that type, or null.
struct TypeConstrainedOpenInfo : TypeInfo {
  const TypeInfo* type;
};

// Universal tag numbers of the records.
enum UniversalTag : uint32_t {
  TagBoolean = 1,
  TagInteger = 2,
  TagBitString = 3,
  TagOctetString = 4,
  TagNull = 5,
  TagObjectIdentifier = 6,
  TagEnumerated = 10,
  TagSequence = 16,
  TagSet = 17,
  TagNumericString = 18,
  TagPrintableString = 19,
  TagIA5String = 22,
  TagGeneralizedTime = 24,
  TagVisibleString = 26,
  TagGeneralString = 27,
  TagBMPString = 30,
};

// Character sets of the runtime string records (tables in asn1/strings.cpp).
extern const char numeric_character_set[];    // 11: space, 0-9
extern const char printable_character_set[];  // 74
extern const char visible_character_set[];    // 95: codes 32..126
extern const char ia5_character_set[];        // 128: codes 0..127
extern const char general_character_set[];    // 256: codes 0..255

}  // namespace ASN1
