#include "tests/support/test_schema.h"

namespace TestSchema {

using namespace ASN1;

namespace {


// Ranged integers and sized strings of the fields below.
const ConstrainedInfo Range0_127 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 127};
const ConstrainedInfo Range0_255 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 255};
const ConstrainedInfo Range0_31 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 31};
const ConstrainedInfo Range10_60 = {{&INTEGER::create, TagInteger}, FixedConstraint, 10, 60};
const ConstrainedInfo Range0_65535 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 65535};
const ConstrainedInfo RangeNeg = {{&INTEGER::create, TagInteger}, FixedConstraint, -128, 127};
const ConstrainedInfo RangeU32 = {{&INTEGER::create, TagInteger}, FixedConstraint, 0,
                                  4294967295u};
const ConstrainedInfo RangeExt = {{&INTEGER::create, TagInteger}, ExtendableConstraint, 0, 7};
const ConstrainedInfo RangeLower = {{&INTEGER::create, TagInteger}, PartiallyConstrained, -5,
                                    4294967295u};
const ConstrainedInfo RangeBig = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 100000};
const ConstrainedInfo Ip_info = {{&OCTET_STRING::create, TagOctetString}, FixedConstraint, 4, 4};
const ConstrainedInfo FixedBits = {{&BIT_STRING::create, TagBitString}, FixedConstraint, 12, 12};
const StringInfo Dname_info = {{{&IA5String::create, TagIA5String}, FixedConstraint, 1, 64},
                               ia5_character_set, 128, 7, 7, 8};
const StringInfo SmallPrintable = {
    {{&AbstractString::create, TagPrintableString}, FixedConstraint, 1, 2},
    printable_character_set, 74, 7, 7, 8};
const SequenceOfInfo List_info = {{{&SEQUENCE_OF_Base::create, TagSequence}, FixedConstraint, 0, 4},
                                  &Range0_255};
const TypeConstrainedOpenInfo OpenSlot_info = {{&TypeConstrainedOpenData::create, 0}, &Slot_info};

// Message
const TypeInfo* const Message_fieldInfos[] = {&INTEGER::theInfo, &Slot_info, &PDU::theInfo};
const int32_t Message_fieldIds[] = {0, 1, -1};
const char* const Message_fieldNames[] = {"seq", "slot", "pdu"};

const TypeInfo* const PDU_selectionInfos[] = {&Command_info, &Response_info, &Signal_info};
const char* const PDU_selectionNames[] = {"command", "response", "signal"};

const TypeInfo* const Command_selectionInfos[] = {&Null::theInfo, &CreateParams_info,
                                                  &OCTET_STRING::theInfo, &IoctlParams_info,
                                                  &Kinds_info};
const char* const Command_selectionNames[] = {"ping", "create", "userData", "ioctl", "kinds"};

const TypeInfo* const Response_selectionInfos[] = {&Null::theInfo, &ErrorCause::theInfo};
const char* const Response_selectionNames[] = {"success", "error"};

const char* const ErrorCause_names[] = {
    "invalidParams",  "insufficientResources", "invalidSlot",      "slotNotExists",
    "unexpectedMsgType", "internal",           "unsupported",      "reconnectionFail",
    "disconnectFail", "connectFail",           "busError",         "slotIdBusy",
    "destroyInProgress"};

const TypeInfo* const Signal_selectionInfos[] = {&OCTET_STRING::theInfo, &IoctlResponse_info,
                                                 &TonecCode_info, &IA5String::theInfo};
const char* const Signal_selectionNames[] = {"userData", "ioctl", "tonec", "number"};

const TypeInfo* const TonecCode_selectionInfos[] = {&Range0_127, &Null::theInfo, &Null::theInfo};
const char* const TonecCode_selectionNames[] = {"dtmf", "ced", "dtmfDone"};

const TypeInfo* const IoctlParams_selectionInfos[] = {&Null::theInfo, &HdlcPackages_info};
const char* const IoctlParams_selectionNames[] = {"deactivate", "hdlcPackages"};

const TypeInfo* const IoctlResponse_selectionInfos[] = {&Null::theInfo, &HdlcPackages_info};
const char* const IoctlResponse_selectionNames[] = {"startRecording", "hdlcPackages"};

const TypeInfo* const HdlcPackage_fieldInfos[] = {&OCTET_STRING::theInfo};
const int32_t HdlcPackage_fieldIds[] = {-1};
const char* const HdlcPackage_fieldNames[] = {"body"};

const TypeInfo* const CreateParams_selectionInfos[] = {&CreateRtpParams_info, &TrunkParams_info};
const char* const CreateParams_selectionNames[] = {"rtp", "trunk"};

const TypeInfo* const CreateRtpParams_fieldInfos[] = {&RtpParams_info, &Payload_info,
                                                      &Payload_info};
const int32_t CreateRtpParams_fieldIds[] = {-1, -1, -1};
const char* const CreateRtpParams_fieldNames[] = {"codecRTP", "txPayload", "rxPayload"};

const TypeInfo* const RtpParams_fieldInfos[] = {&HostAddress_info, &HostAddress_info,
                                                &Dname_info,       &Range10_60,
                                                &INTEGER::theInfo, &BOOLEAN::theInfo};
const int32_t RtpParams_fieldIds[] = {-1, 0, 1, -1, 2, -1};
const char* const RtpParams_fieldNames[] = {"local", "remote", "dname", "ptime", "jitter", "vad"};

const TypeInfo* const HostAddress_fieldInfos[] = {&Ip_info, &Range0_65535};
const int32_t HostAddress_fieldIds[] = {-1, -1};
const char* const HostAddress_fieldNames[] = {"ip", "port"};

const char* const Payload_names[] = {"pcmu", "gsm", "pcma", "g729", "dynamic", "telephone-event"};
const int32_t Payload_numbers[] = {0, 3, 8, 18, 96, 101};

const TypeInfo* const TrunkParams_fieldInfos[] = {&Range0_255, &Range0_31};
const int32_t TrunkParams_fieldIds[] = {-1, -1};
const char* const TrunkParams_fieldNames[] = {"trunk", "timeslot"};

const char* const Sparse_names[] = {"zero", "five", "alias", "gw-get-id", "next"};
const int32_t Sparse_numbers[] = {0, 5, 5, 4097, 4098};

const TypeInfo* const Kinds_fieldInfos[] = {
    &INTEGER::theInfo,        &Slot_info,
    &RangeNeg,                &RangeU32,
    &RangeExt,                &RangeLower,
    &RangeBig,                &Sparse::theInfo,
    &BOOLEAN::theInfo,        &Null::theInfo,
    &OBJECT_IDENTIFIER::theInfo, &OCTET_STRING::theInfo,
    &BIT_STRING::theInfo,     &FixedBits,
    &NumericString::theInfo,  &SmallPrintable,
    &VisibleString::theInfo,  &IA5String::theInfo,
    &Dname_info,              &GeneralString::theInfo,
    &BMPString::theInfo,      &GeneralizedTime::theInfo,
    &OpenData::theInfo,       &List_info,
    &Alt_info,                &INTEGER::theInfo,
    &Sparse::theInfo};
const int32_t Kinds_fieldIds[] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, -1, 2,
                                  -1, -1, -1, -1, -1, 3,  4,  5,  6,  7,  -1, -1};
const char* const Kinds_fieldNames[] = {
    "unc",      "range",   "neg",     "u32",   "ext",     "lb",    "big",
    "sparse",   "flag",    "nothing", "oid",   "octets",  "bits",  "fixed-bits",
    "numeric",  "printable", "visible", "ia5", "dname",   "general", "bmp",
    "time",     "open",    "list",    "alt",   "ext1",    "ext2"};

const TypeInfo* const Alt_selectionInfos[] = {&Null::theInfo, &BOOLEAN::theInfo, &OpenSlot_info,
                                              &IA5String::theInfo};
const char* const Alt_selectionNames[] = {"a", "b", "c", "d"};

}  // namespace

const ConstrainedInfo Slot_info = {{&INTEGER::create, TagInteger}, FixedConstraint, 0, 1023};

const SequenceInfo Message::theInfo = {{&create_as<Message>, TagSequence},
                                       false, Message_fieldInfos, Message_fieldIds, 3, 0, 2,
                                       nullptr, Message_fieldNames};
const ChoiceInfo PDU::theInfo = {{&create_as<PDU>, 0}, false, PDU_selectionInfos, 3, 3,
                                 nullptr, PDU_selectionNames};
const ChoiceInfo Command_info = {{&CHOICE::create, 0}, true, Command_selectionInfos, 5, 5,
                                 nullptr, Command_selectionNames};
const ChoiceInfo Response_info = {{&CHOICE::create, 0}, false, Response_selectionInfos, 2, 2,
                                  nullptr, Response_selectionNames};
const EnumeratedInfo ErrorCause::theInfo = {{&create_as<ErrorCause>, TagEnumerated}, true, 12,
                                            ErrorCause_names, 13, nullptr};
const ChoiceInfo Signal_info = {{&CHOICE::create, 0}, true, Signal_selectionInfos, 4, 4,
                                nullptr, Signal_selectionNames};
const ChoiceInfo TonecCode_info = {{&CHOICE::create, 0}, true, TonecCode_selectionInfos, 2, 3,
                                   nullptr, TonecCode_selectionNames};
const ChoiceInfo IoctlParams_info = {{&CHOICE::create, 0}, true, IoctlParams_selectionInfos, 2,
                                     2, nullptr, IoctlParams_selectionNames};
const ChoiceInfo IoctlResponse_info = {{&CHOICE::create, 0}, false,
                                       IoctlResponse_selectionInfos, 2, 2, nullptr,
                                       IoctlResponse_selectionNames};
const SequenceOfInfo HdlcPackages_info = {
    {{&SEQUENCE_OF_Base::create, TagSequence}, Unconstrained, 0, 4294967295u}, &HdlcPackage_info};
const SequenceInfo HdlcPackage_info = {{&SEQUENCE::create, TagSequence}, false,
                                       HdlcPackage_fieldInfos, HdlcPackage_fieldIds, 1, 0, 0,
                                       nullptr, HdlcPackage_fieldNames};
const ChoiceInfo CreateParams_info = {{&CHOICE::create, 0}, true, CreateParams_selectionInfos, 2,
                                      2, nullptr, CreateParams_selectionNames};
const SequenceInfo CreateRtpParams_info = {{&SEQUENCE::create, TagSequence}, true,
                                           CreateRtpParams_fieldInfos, CreateRtpParams_fieldIds,
                                           3, 0, 0, nullptr, CreateRtpParams_fieldNames};
const SequenceInfo RtpParams_info = {{&SEQUENCE::create, TagSequence}, false,
                                     RtpParams_fieldInfos, RtpParams_fieldIds, 6, 0, 3, nullptr,
                                     RtpParams_fieldNames};
const SequenceInfo HostAddress_info = {{&SEQUENCE::create, TagSequence}, false,
                                       HostAddress_fieldInfos, HostAddress_fieldIds, 2, 0, 0,
                                       nullptr, HostAddress_fieldNames};
const EnumeratedInfo Payload_info = {{&ENUMERATED::create, TagEnumerated}, true, 101,
                                     Payload_names, 6, Payload_numbers};
const SequenceInfo TrunkParams_info = {{&SEQUENCE::create, TagSequence}, false,
                                       TrunkParams_fieldInfos, TrunkParams_fieldIds, 2, 0, 0,
                                       nullptr, TrunkParams_fieldNames};
const EnumeratedInfo Sparse::theInfo = {{&create_as<Sparse>, TagEnumerated}, true, 4098,
                                        Sparse_names, 5, Sparse_numbers};
const SequenceInfo Kinds_info = {{&SEQUENCE::create, TagSequence}, true, Kinds_fieldInfos,
                                 Kinds_fieldIds, 25, 2, 8, nullptr, Kinds_fieldNames};
const ChoiceInfo Alt_info = {{&CHOICE::create, 0}, true, Alt_selectionInfos, 3, 4, nullptr,
                             Alt_selectionNames};

}  // namespace TestSchema
