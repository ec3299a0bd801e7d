#pragma once
// Makers for every slot of the factory table that record what each factory
// hands its class and answer a plain object, so a factory's result is not null.
#include <vector>

#include "factories.h"

namespace wf::netui::testing {

struct Made {
  Factory factory;
  MakerContext context;
};

inline std::vector<Made>& madeLog() {
  static std::vector<Made> log;
  return log;
}

class MadeObject : public CObject {};

template <Factory F>
CObject* recordingMaker(const MakerContext& context) {
  madeLog().push_back({F, context});
  return new MadeObject;
}

inline void installRecordingMakers() {
  madeLog().clear();
  setFactoryMaker(Factory::ConAdIn, &recordingMaker<Factory::ConAdIn>);
  setFactoryMaker(Factory::ConAdP4, &recordingMaker<Factory::ConAdP4>);
  setFactoryMaker(Factory::ConAdS4, &recordingMaker<Factory::ConAdS4>);
  setFactoryMaker(Factory::ConAdPR, &recordingMaker<Factory::ConAdPR>);
  setFactoryMaker(Factory::ConAdSR, &recordingMaker<Factory::ConAdSR>);
  setFactoryMaker(Factory::NPPCL, &recordingMaker<Factory::NPPCL>);
  setFactoryMaker(Factory::NPPIP, &recordingMaker<Factory::NPPIP>);
  setFactoryMaker(Factory::NWConf, &recordingMaker<Factory::NWConf>);
  setFactoryMaker(Factory::NWSearch, &recordingMaker<Factory::NWSearch>);
  setFactoryMaker(Factory::IPConf, &recordingMaker<Factory::IPConf>);
  setFactoryMaker(Factory::CLConf, &recordingMaker<Factory::CLConf>);
  setFactoryMaker(Factory::P2PConf, &recordingMaker<Factory::P2PConf>);
}

}  // namespace wf::netui::testing
