#include "l2/isdn/q931_trace.h"

#include <cstdarg>
#include <cstdio>

#include "l2/isdn/call_references.h"

namespace ISDN {

char logbuf[kLogbufSize];

namespace {

// Text written into a fixed buffer: what does not fit is cut, and the text stays terminated.
class Text {
 public:
  Text(char* out, unsigned size) : out_(out), size_(size) {
    if (size_) out_[0] = '\0';
  }

  void printf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (pos_ + 1 >= size_) return;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(out_ + pos_, size_ - pos_, format, args);
    va_end(args);
    if (n < 0) return;
    pos_ = pos_ + unsigned(n) < size_ ? pos_ + unsigned(n) : size_ - 1;
  }
  void put(char c) {
    if (pos_ + 1 >= size_) return;
    out_[pos_++] = c;
    out_[pos_] = '\0';
  }
  void bits(unsigned char octet, int start, int count) {
    char b[8];
    int n = printbits(b, &octet, start, count);
    for (int i = 0; i < n; ++i) put(b[i]);
  }
  // "<prefix><8 bits>\n"
  void octet_line(const char* prefix, unsigned char octet) {
    printf("%s", prefix);
    bits(octet, 8, 8);
    printf("\n");
  }
  // Octets as characters; unprintable ones as '.'.
  void chars(const unsigned char* p, unsigned n) {
    for (unsigned i = 0; i < n; ++i) put(p[i] >= 0x20 && p[i] < 0x7F ? char(p[i]) : '.');
  }

 private:
  char* out_;
  unsigned size_;
  unsigned pos_ = 0;
};

// The content octets of one variable-length element (octet 3 on), as far as the frame holds
// them.
struct Element {
  const unsigned char* p;
  unsigned n;
  const unsigned char* end() const { return p + n; }
};

using Printer = void (*)(Text&, const Element&);

struct MessageType {
  unsigned char type;
  const char* name;
};

const MessageType mtlist[] = {
    {0x01, "ALERTING"},
    {0x02, "CALL PROCEEDING"},
    {0x07, "CONNECT"},
    {0x0F, "CONNECT ACKNOWLEDGE"},
    {0x03, "PROGRESS"},
    {0x05, "SETUP"},
    {0x0D, "SETUP ACKNOWLEDGE"},
    {0x24, "HOLD"},
    {0x28, "HOLD ACKNOWLEDGE"},
    {0x30, "HOLD REJECT"},
    {0x31, "RETRIEVE"},
    {0x33, "RETRIEVE ACKNOWLEDGE"},
    {0x37, "RETRIEVE REJECT"},
    {0x26, "RESUME"},
    {0x2E, "RESUME ACKNOWLEDGE"},
    {0x22, "RESUME REJECT"},
    {0x25, "SUSPEND"},
    {0x2D, "SUSPEND ACKNOWLEDGE"},
    {0x21, "SUSPEND REJECT"},
    {0x20, "USER INFORMATION"},
    {0x45, "DISCONNECT"},
    {0x4D, "RELEASE"},
    {0x5A, "RELEASE COMPLETE"},
    {0x46, "RESTART"},
    {0x4E, "RESTART ACKNOWLEDGE"},
    {0x60, "SEGMENT"},
    {0x79, "CONGESTION CONTROL"},
    {0x7B, "INFORMATION"},
    {0x62, "FACILITY"},
    {0x6E, "NOTIFY"},
    {0x7D, "STATUS"},
    {0x75, "STATUS ENQUIRY"},
};

struct Cause {
  unsigned char value;
  const char* text;
};

// Q.850 cause values, printed in decimal as Q.850 numbers them.
const Cause cvlist[] = {
    {0x01, "Unallocated (unassigned) number"},
    {0x02, "No route to specified transit network"},
    {0x03, "No route to destination"},
    {0x04, "Send special information tone"},
    {0x05, "Misdialled trunk prefix"},
    {0x06, "Channel unacceptable"},
    {0x07, "Channel awarded and being delivered in an established channel"},
    {0x08, "Preemption"},
    {0x09, "Preemption - circuit reserved for reuse"},
    {0x10, "Normal call clearing"},
    {0x11, "User busy"},
    {0x12, "No user responding"},
    {0x13, "No answer from user (user alerted)"},
    {0x14, "Subscriber absent"},
    {0x15, "Call rejected"},
    {0x16, "Number changed"},
    {0x1A, "non-selected user clearing"},
    {0x1B, "Destination out of order"},
    {0x1C, "Invalid number format (address incomplete)"},
    {0x1D, "Facility rejected"},
    {0x1E, "Response to Status enquiry"},
    {0x1F, "Normal, unspecified"},
    {0x22, "No circuit/channel available"},
    {0x26, "Network out of order"},
    {0x27, "Permanent frame mode connection out-of-service"},
    {0x28, "Permanent frame mode connection operational"},
    {0x29, "Temporary failure"},
    {0x2A, "Switching equipment congestion"},
    {0x2B, "Access information discarded"},
    {0x2C, "Requested circuit/channel not available"},
    {0x2E, "Precedence call blocked"},
    {0x2F, "Resource unavailable, unspecified"},
    {0x31, "Quality of service unavailable"},
    {0x32, "Requested facility not subscribed"},
    {0x35, "Outgoing calls barred within CUG"},
    {0x37, "Incoming calls barred within CUG"},
    {0x39, "Bearer capability not authorized"},
    {0x3A, "Bearer capability not presently available"},
    {0x3E, "Inconsistency in designated outgoing access information and subscriber class "},
    {0x3F, "Service or option not available, unspecified"},
    {0x41, "Bearer capability not implemented"},
    {0x42, "Channel type not implemented"},
    // Q.850 values 69 and 70.
    {0x45, "Requested facility not implemented"},
    {0x46, "Only restricted digital information bearer capability is available"},
    {0x4F, "Service or option not implemented"},
    {0x51, "Invalid call reference value"},
    {0x52, "Identified channel does not exist"},
    {0x53, "A suspended call exists, but this call identity does not"},
    {0x54, "Call identity in use"},
    {0x55, "No call suspended"},
    {0x56, "Call having the requested call identity has been cleared"},
    {0x57, "User not member of CUG"},
    {0x58, "Incompatible destination"},
    {0x5A, "Non-existent CUG"},
    {0x5B, "Invalid transit network selection"},
    {0x5F, "Invalid message, unspecified"},
    {0x60, "Mandatory information element is missing"},
    {0x61, "Message type non-existent or not implemented"},
    {0x62,
     "Message not compatible with call state or message type non-existent or not implemented "},
    {0x63, "Information element/parameter non-existent or not implemented"},
    {0x64, "Invalid information element contents"},
    {0x65, "Message not compatible with call state"},
    {0x66, "Recovery on timer expiry"},
    {0x67, "Parameter non-existent or not implemented - passed on"},
    {0x6E, "Message with unrecognized parameter discarded"},
    {0x6F, "Protocol error, unspecified"},
    {0x7F, "Interworking, unspecified"},
};

// One line per content octet: octet 3, then a new number at each octet with bit 8 set and
// letters a, b, ... for the others.
void general(Text& t, const Element& e) {
  int number = 3;
  char letter = ' ';
  for (unsigned i = 0; i < e.n; ++i) {
    if (i > 0) {
      if (e.p[i] & 0x80) {
        ++number;
        letter = ' ';
      } else {
        letter = letter == ' ' ? 'a' : letter < 'z' ? char(letter + 1) : 'z';
      }
    }
    t.printf("    octet %d%c ", number, letter);
    t.bits(e.p[i], 8, 8);
    t.printf("\n");
  }
}

void prchident(Text& t, const Element& e) {
  if (e.n >= 1) t.octet_line("    octet 3 ", e.p[0]);
}

// Called and calling party numbers: octet 3 (and 3a), then the digits.
void number(Text& t, const Element& e, bool with_3a) {
  if (e.n < 1) return;
  t.octet_line("    octet 3 ", e.p[0]);
  unsigned digits = 1;
  if (with_3a && !(e.p[0] & 0x80) && e.n >= 2) {
    t.octet_line("    octet 3a ", e.p[1]);
    digits = 2;
  }
  t.printf("    number digits ");
  if (e.n > digits) t.chars(e.p + digits, e.n - digits);
  t.printf("\n");
}

void prcalled(Text& t, const Element& e) { number(t, e, false); }

void prcalling(Text& t, const Element& e) { number(t, e, true); }

void display(Text& t, const Element& e) {
  t.printf("   \"");
  t.chars(e.p, e.n);
  t.printf("\"\n");
}

void prbearer(Text& t, const Element& e) {
  const unsigned char* p = e.p;
  const unsigned char* end = e.end();
  if (p < end) t.octet_line("    octet 3  ", *p++);
  if (p >= end) return;
  const unsigned char octet4 = *p++;
  t.octet_line("    octet 4  ", octet4);
  if ((octet4 & 0x1F) == 0x18 && p < end) t.octet_line("    octet 4.1 ", *p++);
  // Layer 1 protocol: octet 5 and its extension octets 5a, 5b, ...
  if (p < end && ((*p >> 5) & 3) == 1) {
    t.octet_line("    octet 5 ", *p);
    char letter = 'a';
    while (!(*p & 0x80) && p + 1 < end) {
      ++p;
      char prefix[] = "    octet 5? ";
      prefix[11] = letter;
      t.octet_line(prefix, *p);
      letter = letter < 'z' ? char(letter + 1) : 'z';
    }
    ++p;
  }
  if (p < end && ((*p >> 5) & 3) == 2) t.octet_line("    octet 6  ", *p++);
  if (p < end && ((*p >> 5) & 3) == 3) t.octet_line("    octet 7  ", *p++);
}

void prcause(Text& t, const Element& e) {
  if (e.n < 1) return;
  t.printf("    coding ");
  t.bits(e.p[0], 7, 2);
  t.printf(" location ");
  t.bits(e.p[0], 4, 4);
  t.printf("\n");
  const unsigned char* p = skipext(e.p, e.end());
  if (p >= e.end()) return;
  const unsigned value = *p++ & 0x7F;
  const Cause* found = nullptr;
  for (const Cause& c : cvlist)
    if (c.value == value) found = &c;
  if (found)
    t.printf("  cause value %u : %s \n", value, found->text);
  else
    t.printf("Unknown cause type %u!\n", value);
  // Diagnostics: attribute, rejection and available triples.
  while (p < e.end()) {
    t.printf("    diag attribute %d ", p[0] & 0x7F);
    if (p + 1 >= e.end()) {
      t.printf("\n");
      return;
    }
    t.printf(" rej %d ", p[1] & 0x7F);
    if ((p[1] & 0x80) || p + 2 >= e.end()) {
      t.printf("\n");
      return;
    }
    t.printf(" av %d\n", p[2] & 0x7F);
    p += 3;
  }
}

void prfacility(Text& t, const Element& e) {
  if (e.n < 1) return;
  t.octet_line("    octet 3 ", e.p[0]);
  const unsigned char* p = e.p + 1;
  while (p < e.end()) {
    t.octet_line("   octet 4 ", *p++);
    if (p >= e.end()) return;
    unsigned n = *p++ & 0x7F;
    t.printf("   octet 5 %d\n", n);
    t.printf("   contents ");
    for (; n > 0 && p < e.end(); --n) t.printf("%2x ", *p++);
    t.printf("\n");
  }
}

struct ElementType {
  unsigned char id;
  const char* name;
  Printer print;
};

const ElementType ielist[] = {
    {0x00, "Segmented message", general},
    {0x04, "Bearer capability", prbearer},
    {0x08, "Cause", prcause},
    {0x10, "Call identity", general},
    {0x14, "Call state", general},
    {0x18, "Channel identification", prchident},
    {0x1C, "Facility", prfacility},
    {0x1E, "Progress indicator", general},
    {0x20, "Network-specific facilities", general},
    {0x27, "Notification indicator", general},
    {0x28, "Display", display},
    {0x29, "Date/Time", general},
    {0x2C, "Keypad facility", general},
    {0x34, "Signal", general},
    {0x40, "Information rate", general},
    {0x42, "End-to-end delay", general},
    {0x43, "Transit delay selection and indication", general},
    {0x44, "Packet layer binary parameters", general},
    {0x45, "Packet layer window size", general},
    {0x46, "Packet size", general},
    {0x47, "Closed user group", general},
    {0x4A, "Reverse charge indication", general},
    {0x6C, "Calling party number", prcalling},
    {0x6D, "Calling party subaddress", general},
    {0x70, "Called party number", prcalled},
    {0x71, "Called party subaddress", general},
    {0x74, "Redirecting number", general},
    {0x78, "Transit network selection", general},
    {0x79, "Restart indicator", general},
    {0x7C, "Low layer compatibility", general},
    {0x7D, "High layer compatibility", general},
    {0x7E, "User-user", general},
    {0x7F, "Escape for extension", general},
};

// Q.931 4.5.3: single-octet elements.
void single_octet(Text& t, unsigned char ie) {
  switch ((ie >> 4) & 7) {
    case 2:
      if (ie == 0xA0) t.printf("  More data\n");
      if (ie == 0xA1) t.printf("  Sending complete\n");
      break;
    case 1:
      t.printf("  Shift %x\n", ie & 0x0F);
      break;
    case 3:
      t.printf("  Congestion level %x\n", ie & 0x0F);
      break;
    case 5:
      t.printf("  Repeat indicator %x\n", ie & 0x0F);
      break;
    default:
      t.printf("  Reserved %x\n", ie);
      break;
  }
}

// Q.931 4.2 to 4.5: protocol discriminator, call reference, message type, elements.
void layer3(Text& t, const unsigned char* p, const unsigned char* end) {
  const unsigned size = unsigned(end - p);
  if (p[0] != 0x08) {
    t.printf("Unknown protocol %x!", p[0]);
    return;
  }
  Layer3Head head;
  switch (read_layer3_head(p, size, head)) {
    case Layer3Read::kTooShort:
      t.printf("frame too short\n");
      return;
    case Layer3Read::kBadLength:
      t.printf("invalid call reference length %u\n", head.octets);
      return;
    case Layer3Read::kOk:
      break;
  }
  const char* name = nullptr;
  for (const MessageType& m : mtlist)
    if (m.type == head.type) name = m.name;
  const char* side = head.flag ? "called" : "caller";
  if (name)
    t.printf("callref %u %s size %u message type %s\n", head.value, side, size, name);
  else
    t.printf("callref %u %s size %u unknown message type %x!\n", head.value, side, size,
             head.type);
  p += 3 + head.octets;
  while (p < end) {
    const unsigned char ie = *p;
    if (ie & 0x80) {
      single_octet(t, ie);
      ++p;
      continue;
    }
    const unsigned declared = p + 1 < end ? p[1] : 0;
    const unsigned left = unsigned(end - p) > 2 ? unsigned(end - p) - 2 : 0;
    const Element e{p + 2, declared < left ? declared : left};
    const ElementType* found = nullptr;
    for (const ElementType& type : ielist)
      if (type.id == ie) found = &type;
    if (found) {
      t.printf("  %s\n", found->name);
      found->print(t, e);
    } else {
      t.printf("  attribute %x attribute size %u\n", ie, declared);
    }
    if (unsigned(end - p) < declared + 2) break;
    p += declared + 2;
  }
}

}  // namespace

int printbits(char* out, const unsigned char* octet, int start, int count) {
  int n = 0;
  for (int bit = start; bit >= 1 && n < count; --bit)
    out[n++] = (*octet >> (bit - 1)) & 1 ? '1' : '0';
  return n;
}

const unsigned char* skipext(const unsigned char* p, const unsigned char* end) {
  while (p < end)
    if (*p++ & 0x80) return p;
  return end;
}

void dlogframe(const unsigned char* frame, unsigned length, int direction, char* out,
               unsigned out_size) {
  Text t(out, out_size);
  if (length <= 2) return;
  for (unsigned i = 0; i < length; ++i) t.printf(" %02X", frame[i]);
  t.printf("\n");
  t.printf("frame %s ", direction ? "network->user" : "user->network");
  const unsigned sapi = frame[0] >> 2;
  const unsigned tei = frame[1] >> 1;
  const unsigned char control = frame[2];
  unsigned start;
  if (tei == 127) {
    if (sapi == 0) {
      if (control != 0x03) {
        t.printf("no UI broadcast\n");
        return;
      }
      t.printf("broadcast\n");
      start = 3;
    } else if (sapi == 63) {
      t.printf("tei management:\n");
      return;
    } else {
      t.printf("unknown sapi %u broadcast\n", sapi);
      return;
    }
  } else if (sapi == 0) {
    if (control & 1) {
      // Q.921 3.4: control bits 2-1 are 01 in an S frame, 11 in a U frame.
      t.printf("%s tei = %u (", (control & 3) == 3 ? "UFrame" : "SFrame", tei);
      for (unsigned i = 2; i < length; ++i) t.printf("%02X ", frame[i]);
      t.printf(")\n");
      return;
    }
    t.printf("IFrame tei = %u\n", tei);
    start = 4;
  } else {
    t.printf("unknown sapi = %u; tei = %u\n", sapi, tei);
    return;
  }
  if (start >= length) {
    t.printf("frame too short\n");
    return;
  }
  layer3(t, frame + start, frame + length);
}

}  // namespace ISDN
