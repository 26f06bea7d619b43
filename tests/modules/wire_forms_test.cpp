// Encodings that the schemas fix: ranges, sparse and negative enumerator numbers, the sized
// string, extension markers and additions. Each value is built through the generated classes,
// encoded in aligned PER and compared with its octets, then decoded back to an equal value; a
// value that the schema does not allow must fail to encode.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/modules/lemzgw.h"
#include "asn1/modules/lgcp.h"
#include "asn1/modules/mon.h"
#include "asn1/modules/term.h"
#include "tools/orvex-ctl/lib/hex.h"

namespace {

struct WireForm {
  const char* name;
  std::function<ASN1::AbstractData*()> build;
  std::string hex;  // empty: the encoding must fail
};

void PrintTo(const WireForm& form, std::ostream* os) { *os << form.name; }

template <class T>
std::function<ASN1::AbstractData*()> value(std::function<void(T&)> fill) {
  return [fill]() { T* v = new T; fill(*v); return v; };
}

// An enumerated value of type T.
template <class T, class N>
std::function<ASN1::AbstractData*()> enumerated(N n) {
  return value<T>([n](T& e) { e = n; });
}

void success_response(LGCP::Message& m) { m.get_pdu().select_response().select_success(); }

TERM::RtpParams* rtp_params(TERM::Payload::NamedNumber payload) {
  TERM::RtpParams* p = new TERM::RtpParams;
  p->set_payload(payload);
  return p;
}

std::function<ASN1::AbstractData*()> rtp_with_dname(size_t length) {
  return [length]() {
    TERM::RtpParams* p = rtp_params(TERM::Payload::ptG711_Alaw);
    p->set_dname(std::string(length, 'a'));
    return p;
  };
}

std::function<ASN1::AbstractData*()> radio_addr(uint32_t ssrc) {
  return value<TERM::RadioModifierAddr>([ssrc](TERM::RadioModifierAddr& a) {
    a.set_session_ssrc(ssrc);
  });
}

std::string times(const char* hex, size_t n) {
  std::string s;
  while (n--) s += hex;
  return s;
}

const WireForm wire_forms[] = {
    {"Slot1024", value<LGCP::Message>([](LGCP::Message& m) {
       m.set_slot(1024);
       success_response(m);
     }),
     ""},
    {"UnselectedPdu", value<LGCP::Message>([](LGCP::Message&) {}), ""},
    {"LargestErrorCause", enumerated<LGCP::ErrorCause>(LGCP::ErrorCause::destroyInProgress), "60"},
    {"DtmfDoneExtensionAddition", value<LGCP::Message>([](LGCP::Message& m) {
       LGCP::TonecEvent& t = m.get_pdu().select_signal().select_tonec();
       t.set_timestamp(0);
       t.get_event().select_dtmfDone();
     }),
     "20400100800100"},
    {"PayloadR2SInSevenBits", [] { return rtp_params(TERM::Payload::ptR2S); }, "0007B0000000"},
    {"PayloadG729InSevenBits", [] { return rtp_params(TERM::Payload::ptG729); }, "000030000000"},
    {"DscpEf", enumerated<TERM::IpQoSDSCP>(TERM::IpQoSDSCP::ef), "B8"},
    {"StandbyStandby", enumerated<TERM::RadioStandby>(TERM::RadioStandby::standby), "80"},
    {"StandbyNotUse", enumerated<TERM::RadioStandby>(TERM::RadioStandby::not_use), ""},
    {"Dname64", rtp_with_dname(64), "200000000000FC" + times("61", 64)},
    {"Dname65", rtp_with_dname(65), ""},
    {"DnameEmpty", rtp_with_dname(0), ""},
    {"SessionSsrcMax", radio_addr(4294967295u), "00C0FFFFFFFF"},
    {"LemzGwKeepAlive", enumerated<LEMZGW::ProtoLemzMsgID>(LEMZGW::ProtoLemzMsgID::gw_keep_alive),
     "001002"},
    {"MonPing", value<MON::Message>([](MON::Message& m) {
       m.get_pdu().select_command().select_ping();
     }),
     "18"},
    {"TrapsinkWithoutPort", value<MON::SnmpTrapsink>([](MON::SnmpTrapsink&) {}), "0000"},
};

class WireForms : public testing::TestWithParam<WireForm> {};

TEST_P(WireForms, EncodeAndDecodeBack) {
  const WireForm& form = GetParam();
  std::unique_ptr<ASN1::AbstractData> v(form.build());
  ASN1::CoderEnv env;
  std::vector<char> octets;
  bool encoded = ASN1::encode(*v, &env, std::back_inserter(octets));
  if (form.hex.empty()) {
    EXPECT_FALSE(encoded) << Ctl::to_hex(octets);
    EXPECT_TRUE(octets.empty());
    return;
  }
  ASSERT_TRUE(encoded);
  EXPECT_EQ(Ctl::to_hex(octets), form.hex);

  std::unique_ptr<ASN1::AbstractData> decoded(v->type_info()->create(v->info()));
  ASSERT_TRUE(ASN1::decode(octets.data(), octets.data() + octets.size(), &env, *decoded));
  EXPECT_EQ(decoded->compare(*v), 0) << decoded->asValueNotation();
}

INSTANTIATE_TEST_SUITE_P(Schemas, WireForms, testing::ValuesIn(wire_forms),
                         [](const testing::TestParamInfo<WireForm>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
