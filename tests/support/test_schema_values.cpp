#include "tests/support/test_schema_values.h"

#include "tools/orvex-ctl/lib/hex.h"

namespace TestSchema {

using namespace ASN1;

std::vector<char> unhex(const std::string& text) {
  std::vector<char> out;
  Ctl::from_hex(text, out);
  return out;
}

std::string hex(const std::vector<char>& bytes) { return Ctl::to_hex(bytes); }

bool per_encode(const AbstractData& value, std::vector<char>& out) {
  CoderEnv env;
  return encode(value, &env, std::back_inserter(out));
}

bool per_decode(const std::vector<char>& bytes, AbstractData& value) {
  CoderEnv env;
  return decode(bytes.data(), bytes.data() + bytes.size(), &env, value);
}

void make_response(Message& m, int cause) {
  PDU& pdu = m.get_pdu();
  pdu.select(PDU::response);
  CHOICE& response = *static_cast<CHOICE*>(pdu.choice);
  if (cause < 0) {
    response.select(0);
  } else {
    response.select(1);
    *static_cast<ENUMERATED*>(response.choice) = cause;
  }
}

static AbstractData* select_in(CHOICE& c, int id) {
  c.select(id);
  return c.choice;
}

void fill_kinds(SEQUENCE& k) {
  static_cast<INTEGER*>(k.fields[k_unc])->setValue(-70000);
  static_cast<INTEGER*>(k.fields[k_range])->setValue(1000);
  static_cast<INTEGER*>(k.fields[k_neg])->setValue(-100);
  static_cast<INTEGER*>(k.fields[k_u32])->setValue(-2);  // 4294967294
  static_cast<INTEGER*>(k.fields[k_ext])->setValue(300);
  static_cast<INTEGER*>(k.fields[k_lb])->setValue(-3);
  static_cast<INTEGER*>(k.fields[k_big])->setValue(99999);
  *static_cast<ENUMERATED*>(k.fields[k_sparse]) = 4097;
  static_cast<BOOLEAN*>(k.fields[k_flag])->value = true;
  k.includeOptionalField(0, k_null);
  k.includeOptionalField(1, k_oid);
  static_cast<OBJECT_IDENTIFIER*>(k.fields[k_oid])->value = {1, 3, 6, 1, 4, 1, 200000};
  *static_cast<OCTET_STRING*>(k.fields[k_octets]) = std::string("\x01\xab\x00\x7f", 4);
  k.includeOptionalField(2, k_bits);
  BIT_STRING& bits = *static_cast<BIT_STRING*>(k.fields[k_bits]);
  bits.totalBits = 19;
  bits.bitData = {'\xA5', '\x0F', '\xE0'};
  BIT_STRING& fixed = *static_cast<BIT_STRING*>(k.fields[k_fixedBits]);
  fixed.totalBits = 12;
  fixed.bitData = {'\x12', '\x30'};
  *static_cast<AbstractString*>(k.fields[k_numeric]) = "12 345";
  *static_cast<AbstractString*>(k.fields[k_printable]) = "A?";
  *static_cast<AbstractString*>(k.fields[k_visible]) = "x: {y}, z";
  *static_cast<AbstractString*>(k.fields[k_ia5]) = "line\none\ttab";
  k.includeOptionalField(3, k_dname);
  *static_cast<AbstractString*>(k.fields[k_dname]) = "host.example";
  k.includeOptionalField(4, k_general);
  *static_cast<AbstractString*>(k.fields[k_general]) = "\xe9t\xe9";
  k.includeOptionalField(5, k_bmp);
  static_cast<BMPString*>(k.fields[k_bmp])->assign(L"bmp");
  k.includeOptionalField(6, k_time);
  static_cast<GeneralizedTime*>(k.fields[k_time])->set("20261206211500.250-0130");
  k.includeOptionalField(7, k_open);
  static_cast<OpenData*>(k.fields[k_open])->buf.reset(new std::vector<char>{'\x05', '\x06'});
  SEQUENCE_OF_Base& list = *static_cast<SEQUENCE_OF_Base*>(k.fields[k_list]);
  list.resize(3);
  for (size_t i = 0; i < 3; ++i) static_cast<INTEGER*>(list.container[i])->setValue(int(i * 100));
  CHOICE& alt = *static_cast<CHOICE*>(k.fields[k_alt]);
  OpenData& c = *static_cast<OpenData*>(select_in(alt, 2));
  static_cast<INTEGER*>(c.data.get())->setValue(777);
  k.includeOptionalField(8, k_ext1);
  static_cast<INTEGER*>(k.fields[k_ext1])->setValue(42);
  k.includeOptionalField(9, k_ext2);
  *static_cast<ENUMERATED*>(k.fields[k_ext2]) = 5;
}

void make_hdlc_packages(Message& m, int n, int size) {
  PDU& pdu = m.get_pdu();
  CHOICE& signal = *static_cast<CHOICE*>(select_in(pdu, PDU::signal));
  CHOICE& ioctl = *static_cast<CHOICE*>(select_in(signal, sig_ioctl));
  SEQUENCE_OF_Base& list = *static_cast<SEQUENCE_OF_Base*>(select_in(ioctl, 1));
  list.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    SEQUENCE& package = *static_cast<SEQUENCE*>(list.container[static_cast<size_t>(i)]);
    static_cast<OCTET_STRING*>(package.fields[0])->assign(static_cast<size_t>(size), char(i));
  }
  m.set_slot(17);
}

void make_create_rtp(Message& m) {
  m.set_seq(1234);
  m.set_slot(100);
  CHOICE& command = *static_cast<CHOICE*>(select_in(m.get_pdu(), PDU::command));
  CHOICE& create = *static_cast<CHOICE*>(select_in(command, cmd_create));
  SEQUENCE& rtp = *static_cast<SEQUENCE*>(select_in(create, 0));
  SEQUENCE& params = *static_cast<SEQUENCE*>(rtp.fields[0]);
  SEQUENCE& local = *static_cast<SEQUENCE*>(params.fields[0]);
  *static_cast<OCTET_STRING*>(local.fields[0]) = std::string("\x7f\x00\x00\x01", 4);
  static_cast<INTEGER*>(local.fields[1])->setValue(4000);
  params.includeOptionalField(0, 1);
  SEQUENCE& remote = *static_cast<SEQUENCE*>(params.fields[1]);
  *static_cast<OCTET_STRING*>(remote.fields[0]) = std::string("\x7f\x00\x00\x02", 4);
  static_cast<INTEGER*>(remote.fields[1])->setValue(4002);
  params.includeOptionalField(1, 2);
  *static_cast<AbstractString*>(params.fields[2]) = "gw1";
  static_cast<INTEGER*>(params.fields[3])->setValue(20);
  static_cast<BOOLEAN*>(params.fields[5])->value = true;
  *static_cast<ENUMERATED*>(rtp.fields[1]) = 8;
  *static_cast<ENUMERATED*>(rtp.fields[2]) = 101;
}

}  // namespace TestSchema
