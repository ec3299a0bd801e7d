#pragma once
// Building blocks of the settings pages' rows: a read that stores the
// printer's answer, a send of the cached value, a reset to a fixed value.
#include "tidewater/tw_settings_page.h"

namespace tidewater {

template <class V, auto Get, auto Store>
WFPrtObj::LONG readAs(SettingCall& call) {
  V value{};
  const WFPrtObj::LONG rc = (call.printer.*Get)(&value);
  if (rc == 0) (call.cache.*Store)(value);
  return rc;
}
template <auto Send, auto Load>
WFPrtObj::LONG sendFrom(SettingCall& call) {
  return (call.printer.*Send)((call.cache.*Load)());
}
template <auto Store, auto value>
void resetTo(CTwSettings& cache) {
  (cache.*Store)(value);
}

// The printer speaks of non-US defaults, the cache of US ones.
inline WFPrtObj::LONG readUS(SettingCall& call) {
  int nonUS = 0;
  const WFPrtObj::LONG rc = call.printer.bidiROPGetNonUSDefaults(&nonUS);
  if (rc == 0) call.cache.SetUS(nonUS ? 0 : 1);
  return rc;
}
inline WFPrtObj::LONG sendUS(SettingCall& call) {
  return call.printer.bidiROPSetNonUSDefaults(call.cache.IsUS() ? 0 : 1);
}

}  // namespace tidewater
