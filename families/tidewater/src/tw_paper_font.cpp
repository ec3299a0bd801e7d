#include "tidewater/tw_paper_font.h"

#include "common/printer_icon.h"
#include "framework/resources.h"
#include "tidewater/tw_setting_rows.h"

namespace tidewater {
namespace {

using LONG = WFPrtObj::LONG;
using Printer = WFTidewaterPrtObj;

constexpr UINT kSetFailed = 50158;
constexpr UINT kUnknownSymbolSet = 50157;

Printer::PAPERSOURCES sourceOf(UINT source) {
  return static_cast<Printer::PAPERSOURCES>(source);
}

void unreadUS(CTwSettings& cache) {
  cache.SetUS(1);
}

LONG readSource(SettingCall& call) {
  Printer::PAPERSOURCES source{};
  const LONG rc = call.printer.bidiROPGetPaperSource(&source);
  if (rc == 0) call.cache.SetTWPaperSource(static_cast<UINT>(source));
  return rc;
}
LONG sendSource(SettingCall& call) {
  return call.printer.bidiROPSetPaperSource(sourceOf(call.cache.GetTWPaperSource()));
}
void resetSource(CTwSettings& cache) {
  cache.SetTWPaperSource(3);
}

LONG readSize(SettingCall& call, UINT source) {
  Printer::PAPERSIZES size{};
  const LONG rc = call.printer.bidiROPGetPaperSize(sourceOf(source), &size);
  if (rc == 0) call.cache.SetTWPaperSize(source, static_cast<UINT>(size));
  return rc;
}
LONG readType(SettingCall& call, UINT source) {
  Printer::PAPERTYPES type{};
  const LONG rc = call.printer.bidiROPGetPaperType(sourceOf(source), &type);
  if (rc == 0) call.cache.SetTWPaperType(source, static_cast<UINT>(type));
  return rc;
}
LONG sendSize(SettingCall& call, UINT source) {
  return call.printer.bidiROPSetPaperSize(sourceOf(source), call.cache.GetTWPaperSize(source));
}
LONG sendType(SettingCall& call, UINT source) {
  return call.printer.bidiROPSetPaperType(
      sourceOf(source), static_cast<Printer::PAPERTYPES>(call.cache.GetTWPaperType(source)));
}

LONG readPapers(SettingCall& call) {
  for (UINT source = 1; source <= 4; ++source) {
    if (const LONG rc = readSize(call, source)) return rc;
    if (source == 1 || source == 3)
      if (const LONG rc = readType(call, source)) return rc;
  }
  return 0;
}
LONG sendCachedSize(SettingCall& call) {
  return sendSize(call, call.cache.GetTWPaperSource());
}
LONG sendCachedType(SettingCall& call) {
  return sendType(call, call.cache.GetTWPaperSource());
}

// Defaults go out in this order.
constexpr UINT kDefaultSizeSources[] = {3, 4, 1, 2};
constexpr UINT kDefaultTypeSources[] = {3, 1};

void resetSizes(CTwSettings& cache) {
  const bool us = cache.IsUS();
  for (UINT source : kDefaultSizeSources)
    cache.SetTWPaperSize(source, source == 2 ? (us ? 130u : 88u) : (us ? 1u : 22u));
}
LONG sendSizes(SettingCall& call) {
  for (UINT source : kDefaultSizeSources)
    if (const LONG rc = sendSize(call, source)) return rc;
  return 0;
}
void resetTypes(CTwSettings& cache) {
  for (UINT source : kDefaultTypeSources) cache.SetTWPaperType(source, 0);
}
LONG sendTypes(SettingCall& call) {
  for (UINT source : kDefaultTypeSources)
    if (const LONG rc = sendType(call, source)) return rc;
  return 0;
}

LONG readLinking(SettingCall& call) {
  int on = 0;
  const LONG rc = call.printer.bidiROPGetTrayLinking(&on);
  if (rc == 0) call.cache.SetTrayLinking(on ? 1 : 0);
  return rc;
}
LONG sendLinking(SettingCall& call) {
  return call.printer.bidiROPSetTrayLinking(call.cache.GetTrayLinking() ? 1 : 0);
}
void resetLinking(CTwSettings& cache) {
  cache.SetTrayLinking(0);
}

LONG readCopies(SettingCall& call) {
  unsigned copies = 0;
  const LONG rc = call.printer.bidiROPGetNumOfCopies(&copies);
  if (rc == 0) call.cache.SetNumCopies(copies);
  return rc;
}
LONG sendCopies(SettingCall& call) {
  return call.printer.bidiROPSetNumOfCopies(call.cache.GetNumCopies());
}
void resetCopies(CTwSettings& cache) {
  cache.SetNumCopies(1);
}

LONG readFont(SettingCall& call) {
  unsigned font = 0;
  const LONG rc = call.printer.bidiROPGetFontNumber(&font);
  // Above 25 the call itself refuses the answer; the page falls back to font 0.
  call.cache.SetFontNumber(rc == 0 ? font : 0);
  return rc;
}
LONG sendFont(SettingCall& call) {
  return call.printer.bidiROPSetFontNumber(call.cache.GetFontNumber());
}
void resetFont(CTwSettings& cache) {
  cache.SetFontNumber(0);
}

LONG readPitch(SettingCall& call) {
  float pitch = 0;
  const LONG rc = call.printer.bidiROPGetPitch(&pitch);
  call.cache.SetPitchSize(rc == 0 ? static_cast<UINT>(pitch) : 10);
  return rc;
}
void resetPitch(CTwSettings& cache) {
  cache.SetPitchSize(10);
}
LONG readPoint(SettingCall& call) {
  float size = 0;
  const LONG rc = call.printer.bidiROPGetPointSize(&size);
  call.cache.SetPointSize(rc == 0 ? static_cast<UINT>(size) : 12);
  return rc;
}
void resetPoint(CTwSettings& cache) {
  cache.SetPointSize(12);
}
// Defaults send both; a set only the one the font uses, as the page raises
// only that one's flag.
LONG sendPitch(SettingCall& call) {
  return call.printer.bidiROPSetPitch(static_cast<float>(call.cache.GetPitchSize()));
}
LONG sendPoint(SettingCall& call) {
  return call.printer.bidiROPSetPointSize(static_cast<float>(call.cache.GetPointSize()));
}

LONG readSymbolSet(SettingCall& call) {
  CString set;
  const LONG rc = call.printer.bidiROPGetSymbolSet(&set);
  if (rc == 0) {
    call.cache.SetSymbolSet(set);
    return rc;
  }
  // The workers hand every row the icon's own cache; its library tells
  // the unknown set.
  auto* icon = dynamic_cast<CWFPrinterIcon*>(static_cast<CTwSettingsHost*>(&call.cache));
  wf::fw::ResourceHandleSwitch resources(icon ? icon->GetResourceInstance(0) : HINSTANCE{});
  CString unknown;
  unknown.LoadString(kUnknownSymbolSet);
  call.cache.SetSymbolSet(unknown);
  return rc;
}
LONG sendSymbolSet(SettingCall& call) {
  return call.printer.bidiROPSetSymbolSet(call.cache.GetSymbolSet());
}
void resetSymbolSet(CTwSettings& cache) {
  cache.SetSymbolSet(cache.IsUS() ? "8U" : "12U");
}

constexpr PageSetting kRows[] = {
    {readUS, nullptr, nullptr, unreadUS},
    {readSource, sendSource, resetSource, nullptr},
    {readPapers, sendCachedSize, nullptr, nullptr},
    {nullptr, sendCachedType, nullptr, nullptr},
    {nullptr, sendSizes, resetSizes, nullptr},
    {nullptr, sendTypes, resetTypes, nullptr},
    {readLinking, sendLinking, resetLinking, nullptr},
    {readCopies, sendCopies, resetCopies, nullptr},
    {readFont, sendFont, resetFont, nullptr},
    {readPitch, sendPitch, resetPitch, nullptr},
    {readPoint, sendPoint, resetPoint, nullptr},
    {readSymbolSet, sendSymbolSet, resetSymbolSet, nullptr},
};

}  // namespace

const PageTable kPaperFontTable{kRows, kSetFailed};

}  // namespace tidewater
