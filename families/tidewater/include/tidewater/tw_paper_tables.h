#pragma once
// The fixed lists of the paper and font page: symbol sets, paper sizes per
// source, sources and types. Positions are what the page's lists show; the
// lookups say when a cached value has no place in a list as filled.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tidewater {

struct SymbolSet {
  const char* id;       // what the cache and the printer carry
  const char* name;     // the printer language's name
  const char* display;  // what the list shows
};

extern const std::array<SymbolSet, 33> kSymbolSets;

// The rows of kSymbolSets a font of `symbolSetClass` offers, in list order:
// class 3 the symbol set alone, class 2 the text sets without six of them,
// any other class every text set.
std::vector<int> SymbolSetRows(std::uint32_t symbolSetClass);

// The list position of identifier `id` among `rows`; -1 when not listed.
int SymbolSetPosition(std::span<const int> rows, const char* id);

// The identifier of a display name, over all rows; "" when none has it.
const char* SymbolSetId(const char* display);

struct PaperSize {
  unsigned string;  // the family string the list shows
  unsigned code;    // the printer's size code
};

// The sizes source 1 to 4 offers, in list order; none for another source.
std::span<const PaperSize> PaperSizesOf(unsigned source);

// The list position of `code` for `source`; -1 when the list lacks it.
int PaperSizePosition(unsigned source, unsigned code);

// The sources' list strings; position + 1 is the source. The fourth source
// exists only with the tray option 7104.
std::vector<unsigned> PaperSourceStrings(bool tray7104);

// The types' list strings; the position is the type.
inline constexpr std::array<unsigned, 5> kPaperTypeStrings = {50154, 50155, 471, 472, 50156};

// Sources 2 and 4 take no paper type.
constexpr bool PaperTypeApplies(unsigned source) {
  return source == 1 || source == 3;
}

}  // namespace tidewater
