#include "tidewater/tw_paper_tables.h"

#include <algorithm>
#include <cstring>

namespace tidewater {

const std::array<SymbolSet, 33> kSymbolSets = {{
    {"8U", "ROMAN8", "Roman-8"},
    {"10U", "PC8", "PC-8 Code Page 437"},
    {"11U", "PC8DN", "PC-8 Danish/Norwegian"},
    {"12U", "PC850", "PC-850 Multilingual"},
    {"0N", "ISOL1", "ISO 8859/1 Latin 1"},
    {"19U", "WINL1", "Windows 3.1 Latin 1"},
    {"9U", "WIN30", "Windows 3.0 Latin 1"},
    {"7J", "DESKTOP", "DeskTop"},
    {"10J", "PSTEXT", "PS Text"},
    {"12J", "12J", "MC Text"},
    {"13J", "VNINTL", "Ventura International"},
    {"14J", "VNUS", "Ventura US"},
    {"6J", "MSPUBL", "Microsoft Publishing"},
    {"17U", "PC852", "PC-852 Latin 2"},
    {"9T", "PC8TK", "PC-Turkish"},
    {"2N", "ISOL2", "ISO 8859/2 Latin 2"},
    {"5N", "ISOL5", "ISO 8859/9 Latin 5"},
    {"9E", "WINL2", "Windows 3.1 Latin 2"},
    {"5T", "WINL5", "Windows 3.1 Latin 5"},
    {"1U", "LEGAL", "Legal"},
    {"1E", "ISO4", "ISO-4 UK"},
    {"0U", "ISO6", "ISO-6 ASCII"},
    {"0S", "ISO11", "ISO-11 Swedish"},
    {"0I", "ISO15", "ISO-15 Italian"},
    {"2S", "ISO17", "ISO-17 Spanish"},
    {"1G", "ISO21", "ISO-21 German"},
    {"0D", "ISO60", "ISO-60 Norwegian"},
    {"1F", "ISO69", "ISO-69 French"},
    {"8M", "MATH8", "Math-8"},
    {"5M", "PSMATH", "PS Math"},
    {"6M", "VNMATH", "Ventura Math"},
    {"15U", "PIFONT", "Pi Font"},
    {"579L", "WINGDINGS", "Wingdings"},
}};

namespace {

constexpr int kSymbolRow = 32;
// Rows 13 to 18: the Latin 2 and Latin 5 sets, which class-2 fonts lack.
constexpr int kEasternFirst = 13;
constexpr int kEasternLast = 18;

constexpr PaperSize kSizes[] = {
    {50133, 1},  {50134, 7},  {50135, 9},  {50136, 22},  {50137, 23},  {50138, 53},
    {50139, 83}, {50140, 84}, {50141, 88}, {50142, 128}, {50143, 129}, {50144, 130},
};
constexpr std::size_t kPaperCount = 6;

}  // namespace

std::vector<int> SymbolSetRows(std::uint32_t symbolSetClass) {
  if (symbolSetClass == 3) return {kSymbolRow};
  std::vector<int> rows;
  for (int row = 0; row < kSymbolRow; ++row)
    if (symbolSetClass != 2 || row < kEasternFirst || row > kEasternLast) rows.push_back(row);
  return rows;
}

int SymbolSetPosition(std::span<const int> rows, const char* id) {
  if (!id) return -1;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (std::strcmp(kSymbolSets[static_cast<std::size_t>(rows[i])].id, id) == 0) return static_cast<int>(i);
  return -1;
}

const char* SymbolSetId(const char* display) {
  if (!display) return "";
  for (const SymbolSet& set : kSymbolSets)
    if (std::strcmp(set.display, display) == 0) return set.id;
  return "";
}

std::span<const PaperSize> PaperSizesOf(unsigned source) {
  const std::span<const PaperSize> all(kSizes);
  switch (source) {
    case 1:
    case 4:
      return all.first(kPaperCount);
    case 2:
      return all.subspan(kPaperCount);
    case 3:
      return all;
  }
  return {};
}

int PaperSizePosition(unsigned source, unsigned code) {
  const auto sizes = PaperSizesOf(source);
  const auto found =
      std::find_if(sizes.begin(), sizes.end(), [code](const PaperSize& s) { return s.code == code; });
  return found == sizes.end() ? -1 : static_cast<int>(found - sizes.begin());
}

std::vector<unsigned> PaperSourceStrings(bool tray7104) {
  std::vector<unsigned> strings = {486, 487, 481};
  if (tray7104) strings.push_back(482);
  return strings;
}

}  // namespace tidewater
