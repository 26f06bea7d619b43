// What the radio's wire fields can carry. A controller's radio status, radio command or radio
// request is checked whole before anything of it is used: a value that its field on the wire (or
// in the DSP's record) cannot hold, or that is not what the field means, refuses the whole value,
// so that nothing is cut and nothing is sent. Each check gives the reason as a short text for the
// log line, or an empty text when every field fits.
//
// LEMZ: the priority is four bits (0..15); a caller identity holds at most 255 characters and no
// NUL; a session address (ip, session-addr) is a dotted IPv4 address (no NUL inside), and a
// session keyed by push-to-talk names a single host (INet4::names_one_host); a create's status
// sets no push-to-talk, as no session address has been given yet; a frequency is a decimal
// number a float holds, not below 0; a channel is not negative; a quality is a decimal number a
// float holds.
// ED-137: PTT type, squelch and BSS method are the standard's values (0..4, 0..1, 0..3); the
// radio type and the tx/rx mode of a radio response those of TERM (0..4, 0..2); a session address
// is a dotted IPv4 address, which names a single host when the command's PTT type is not
// ptt-off.
// Both: the delays of a radio request are not negative.
#pragma once

#include <cstdint>
#include <string>

namespace TERM {
class RadioStatus;
class RadioModifier;
class RtpRadioRequest;
}  // namespace TERM

namespace RTPSignalling {

std::string RefusalOf(const TERM::RadioStatus& status);
std::string RefusalOf(const TERM::RadioModifier& modifier);
// The status and the delays of a create's radio request.
std::string RefusalOf(const TERM::RtpRadioRequest& request);

// The radio keyed (or not) to `session_addr` (network order): empty when it is not keyed or the
// address names a single host, else the reason to refuse the state.
std::string RefusalOfKey(bool keyed, uint32_t session_addr);

// Why the decimal text of `field` is refused: not a number a float holds (ReadFloat), or
// negative unless `negative_too`; empty when it is taken. A frequency is taken when it is not
// negative, a quality (bss-val) when it is a number.
std::string RefusalOfNumber(const char* field, const std::string& text, bool negative_too);

// Why a frequency setting is refused: a channel outside 0..2147483647, or a frequency text
// that RefusalOfNumber refuses, negative ones too; empty when it is taken.
std::string RefusalOfFrequency(long long channel, const std::string& text);

// A decimal number that a float holds: the whole text, rounded to the nearest float and finite;
// -0 reads as 0. The empty text reads as 0.
bool ReadFloat(const std::string& text, float& value);

}  // namespace RTPSignalling
