#include "slots/media/rtp_factory.h"

#include <iostream>

#include "base/ext_header.h"
#include "slots/media/rtp_setup.h"
#include "slots/media/rtp_slot.h"

RtpFactory& RtpFactory::instance() {
  static RtpFactory factory;
  return factory;
}

RtpFactory::RtpFactory() { IQuery(); }

Slot* RtpFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.is_rtp() || params.get_rtp().get_codecRTP().has_radio()) return nullptr;
  const LGCP::CreateRtpParams& create = params.get_rtp();
  std::clog << ext::header(this) << "do create rtp: " << create.get_codecRTP() << std::endl;
  RtpSetup setup(create, capacity_);
  if (!setup.CheckPayload() || !setup.OpenRtcp(true) || !setup.OpenSession() ||
      !setup.FillParams() || !setup.BeginSession() || !setup.AddChannel(0)) {
    return nullptr;
  }
  auto* slot = new RtpSlot(setup.channel.tdm, setup.session, setup.params);
  slot->startRTPC(setup.rtcp, setup.RtcpPeer());
  slot->SetEcho(setup.rtp());
  return slot;
}

void RtpFactory::Query(LGCP::Resources& report) {
  IQuery();
  capacity_.Fill(report);
}

uint16_t RtpFactory::translateCodec(int payload) {
  switch (payload) {
    case TERM::Payload::ptG711_Alaw:
      return 8;
    case TERM::Payload::ptG711_Ulaw:
      return 0;
    case TERM::Payload::ptG723:
      return 4;
    case TERM::Payload::ptG729:
      return 18;
    case TERM::Payload::ptG711mcc_Alaw:
      return 136;
    case TERM::Payload::ptG711mcc_Ulaw:
      return 128;
    case TERM::Payload::ptG728:
      return 15;
    default:
      return 0;
  }
}

uint16_t RtpFactory::translateCodec(int codec, int override) {
  const bool g711 =
      override == TERM::Payload::ptG711_Alaw || override == TERM::Payload::ptG711_Ulaw;
  return translateCodec(g711 && override != codec ? override : codec);
}
