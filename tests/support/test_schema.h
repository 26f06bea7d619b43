// A hand-written schema in the record form the schema generator emits, covering every kind of
// type the runtime handles. The messages are shaped like the control protocol's, so tests,
// fuzzers and benchmarks exercise the same paths as real traffic.
//
//   Message ::= SEQUENCE { seq INTEGER OPTIONAL, slot INTEGER (0..1023) OPTIONAL, pdu PDU }
//   PDU ::= CHOICE { command Command, response Response, signal Signal }
//   Command ::= CHOICE { ping NULL, create CreateParams, userData OCTET STRING,
//                        ioctl IoctlParams, kinds Kinds, ... }
//   Response ::= CHOICE { success NULL, error ErrorCause }
//   ErrorCause ::= ENUMERATED { invalidParams, ..., destroyInProgress (12), ... }
//   Signal ::= CHOICE { userData OCTET STRING, ioctl IoctlResponse, tonec TonecCode,
//                       number IA5String, ... }
//   TonecCode ::= CHOICE { dtmf INTEGER (0..127), ced NULL, ..., dtmfDone NULL }
//   IoctlParams ::= CHOICE { deactivate NULL, hdlcPackages SEQUENCE OF HdlcPackage, ... }
//   IoctlResponse ::= CHOICE { startRecording NULL, hdlcPackages SEQUENCE OF HdlcPackage }
//   HdlcPackage ::= SEQUENCE { body OCTET STRING }
//   CreateParams ::= CHOICE { rtp CreateRtpParams, trunk TrunkParams, ... }
//   CreateRtpParams ::= SEQUENCE { codecRTP RtpParams, txPayload Payload, rxPayload Payload, ... }
//   RtpParams ::= SEQUENCE { local HostAddress, remote HostAddress OPTIONAL,
//                            dname IA5String (SIZE (1..64)) OPTIONAL, ptime INTEGER (10..60),
//                            jitter INTEGER OPTIONAL, vad BOOLEAN }
//   HostAddress ::= SEQUENCE { ip OCTET STRING (SIZE (4)), port INTEGER (0..65535) }
//   Payload ::= ENUMERATED { pcmu (0), gsm (3), pcma (8), g729 (18), dynamic (96),
//                            telephone-event (101), ... }
//   TrunkParams ::= SEQUENCE { trunk INTEGER (0..255), timeslot INTEGER (0..31) }
//   Sparse ::= ENUMERATED { zero, five (5), alias (5), gw-get-id (4097), next, ... }
//   Kinds ::= SEQUENCE { every other kind, see test_schema.cpp, ..., ext1, ext2 }
#pragma once

#include "asn1/asn1.h"

namespace TestSchema {

class Sparse : public ASN1::ENUMERATED {
 public:
  enum NamedNumber { zero = 0, five = 5, alias = 5, gw_get_id = 4097, next = 4098 };
  static const ASN1::EnumeratedInfo theInfo;
  Sparse() : ENUMERATED(&theInfo) {}
  using ENUMERATED::operator=;
};

class ErrorCause : public ASN1::ENUMERATED {
 public:
  enum NamedNumber { invalidParams = 0, invalidSlot = 2, destroyInProgress = 12 };
  static const ASN1::EnumeratedInfo theInfo;
  ErrorCause() : ENUMERATED(&theInfo) {}
  using ENUMERATED::operator=;
};

class PDU : public ASN1::CHOICE {
 public:
  enum Choice_Ids { command = 0, response = 1, signal = 2 };
  static const ASN1::ChoiceInfo theInfo;
  PDU() : CHOICE(&theInfo) {}
};

class Message : public ASN1::SEQUENCE {
 public:
  enum { seq_id = 0, slot_id = 1 };
  static const ASN1::SequenceInfo theInfo;
  Message() : SEQUENCE(&theInfo) {}

  ASN1::INTEGER& get_seq() { return *static_cast<ASN1::INTEGER*>(fields[0]); }
  ASN1::INTEGER& get_slot() { return *static_cast<ASN1::INTEGER*>(fields[1]); }
  PDU& get_pdu() { return *static_cast<PDU*>(fields[2]); }
  void set_seq(int32_t v) {
    includeOptionalField(seq_id, 0);
    get_seq().setValue(v);
  }
  void set_slot(int32_t v) {
    includeOptionalField(slot_id, 1);
    get_slot().setValue(v);
  }
};

// The records of the other types (values of the runtime classes).
extern const ASN1::ChoiceInfo Command_info;
extern const ASN1::ChoiceInfo Response_info;
extern const ASN1::ChoiceInfo Signal_info;
extern const ASN1::ChoiceInfo TonecCode_info;
extern const ASN1::ChoiceInfo IoctlParams_info;
extern const ASN1::ChoiceInfo IoctlResponse_info;
extern const ASN1::SequenceOfInfo HdlcPackages_info;
extern const ASN1::SequenceInfo HdlcPackage_info;
extern const ASN1::ChoiceInfo CreateParams_info;
extern const ASN1::SequenceInfo CreateRtpParams_info;
extern const ASN1::SequenceInfo RtpParams_info;
extern const ASN1::SequenceInfo HostAddress_info;
extern const ASN1::EnumeratedInfo Payload_info;
extern const ASN1::SequenceInfo TrunkParams_info;
extern const ASN1::SequenceInfo Kinds_info;
extern const ASN1::ChoiceInfo Alt_info;
extern const ASN1::ConstrainedInfo Slot_info;

// Alternative and field positions used by tests.
enum CommandIds { cmd_ping, cmd_create, cmd_userData, cmd_ioctl, cmd_kinds };
enum SignalIds { sig_userData, sig_ioctl, sig_tonec, sig_number };
enum KindsFields {
  k_unc, k_range, k_neg, k_u32, k_ext, k_lb, k_big, k_sparse, k_flag, k_null, k_oid, k_octets,
  k_bits, k_fixedBits, k_numeric, k_printable, k_visible, k_ia5, k_dname, k_general, k_bmp,
  k_time, k_open, k_list, k_alt, k_ext1, k_ext2, k_count
};

}  // namespace TestSchema
