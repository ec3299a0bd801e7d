#include "tidewater/tw_present.h"

#include "tidewater/tw_setting_rows.h"

namespace tidewater {
namespace {

using Printer = WFTidewaterPrtObj;

constexpr UINT kPresentationSetFailed = 50159;

constexpr PageSetting kPresentationRows[] = {
    {readUS, nullptr, nullptr, resetTo<&CTwSettings::SetUS, 1>},
    {readAs<Printer::Resolution, &Printer::bidiROPGetResolution, &CTwSettings::SetResolution>,
     sendFrom<&Printer::bidiROPSetResolution, &CTwSettings::GetResolution>,
     resetTo<&CTwSettings::SetResolution, Printer::RES_300>, nullptr},
    {readAs<Printer::PrintDarkness, &Printer::bidiROPGetPrintDarkness, &CTwSettings::SetDarkness>,
     [](SettingCall& call) {
       return call.printer.bidiROPSetPrintDarkness(
           static_cast<Printer::PrintDarkness>(call.cache.GetDarkness()));
     },
     resetTo<&CTwSettings::SetDarkness, 3u>, nullptr},
    {readAs<unsigned, &Printer::bidiROPGetLinesPerPage, &CTwSettings::SetLinesPerPage>,
     sendFrom<&Printer::bidiROPSetLinesPerPage, &CTwSettings::GetLinesPerPage>,
     resetTo<&CTwSettings::SetLinesPerPage, 60u>, nullptr},
    // Defaults leave the margins alone.
    {readAs<int, &Printer::bidiROPGetTopMargin, &CTwSettings::SetTopMargin>,
     sendFrom<&Printer::bidiROPSetTopMargin, &CTwSettings::GetTopMargin>, nullptr, nullptr},
    {readAs<int, &Printer::bidiROPGetLeftMargin, &CTwSettings::SetLeftMargin>,
     sendFrom<&Printer::bidiROPSetLeftMargin, &CTwSettings::GetLeftMargin>, nullptr, nullptr},
    {readAs<Printer::ORIENTATIONS, &Printer::bidiROPGetOrientation, &CTwSettings::SetOrientation>,
     sendFrom<&Printer::bidiROPSetOrientation, &CTwSettings::GetOrientation>,
     resetTo<&CTwSettings::SetOrientation, Printer::ORIENT_PORTRAIT>, nullptr},
    {readAs<int, &Printer::bidiROPGetPQET, &CTwSettings::SetPQET>, nullptr, nullptr, nullptr},
    {readAs<int, &Printer::bidiROPGetEconomyMode, &CTwSettings::SetTonerSaver>,
     sendFrom<&Printer::bidiROPSetEconomyMode, &CTwSettings::GetTonerSaver>,
     resetTo<&CTwSettings::SetTonerSaver, 0>, nullptr},
    {nullptr, sendFrom<&Printer::bidiROPSetPQET, &CTwSettings::GetPQET>, resetTo<&CTwSettings::SetPQET, 1>,
     nullptr},
};

}  // namespace

const PageTable kPresentationTable{kPresentationRows, kPresentationSetFailed};

}  // namespace tidewater
