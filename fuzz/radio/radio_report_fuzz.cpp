// Runs arbitrary bytes through a radio gateway control as its receive loop does (the first byte
// picks ED-137 or LEMZ): every packet that the control takes must come out as an rtpExt report
// that the control protocol can carry, strictly valid and surviving BER and aligned PER.
// The controls have no header-extension session here: the reports are all that is looked at.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "asn1/modules/term.h"
#include "fuzz/asn1/round_trip.h"
#include "radio/ed137_radio_control.h"
#include "radio/lemz_radio_control.h"

namespace {

struct CheckReports : RTPSignalling::IRadioControlNotify {
  void RadioControlNotify(const TERM::RtpRadioRequest& report) override {
    if (!report.isStrictlyValid()) fuzz::fail("report not valid", report, nullptr);
    fuzz::check_codec(report, ASN1::CoderEnv::ber);
    fuzz::check_codec(report, ASN1::CoderEnv::per_Aligned);
  }
};

// Opens the protected path from a packet's bytes to its report.
struct Ed137 : RTPSignalling::ED137RadioGWControl {
  using ED137RadioGWControl::ED137RadioGWControl;
  void Feed(unsigned char* packet, int n) {
    r2s_proto r;
    r2s_proto_init(&r, 0);
    if (Unpack(r, packet, n) == 0) OnRtpProtoRXEvent(r);
  }
};

struct Lemz : RTPSignalling::LemzRadioGWControl {
  using LemzRadioGWControl::LemzRadioGWControl;
  void Feed(unsigned char* packet, int n) {
    sig_proto p;
    sig_proto_init(&p);
    if (Unpack(p, packet, n) == 0) OnRtpProtoRXEvent(p);
  }
};

template <class Control>
Control& control(const rtp_ext_init_params& init) {
  static CheckReports reports;
  static Control* c = [&] {
    ::setenv("ORVEXD_ROOT", "/nonexistent", 1);  // no engine: the session stays closed
    auto* made = new Control(init);
    made->SetNotify(&reports);
    return made;
  }();
  return *c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::ValuesBack values_back;
  std::vector<unsigned char> packet(data + 1, data + size);  // exactly sized for ASan
  const int n = static_cast<int>(packet.size());
  if (data[0] & 1)
    control<Lemz>(rtp_ext_init_params{0x1337, 0, 0, 0, 0, 0}).Feed(packet.data(), n);
  else
    control<Ed137>(rtp_ext_init_params{0x0167, 0, 1, 123, 10, 1}).Feed(packet.data(), n);
  return 0;
}
